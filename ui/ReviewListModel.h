#pragma once

#include "ui/DocumentListModel.h"

#include <QCollator>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QSortFilterProxyModel>
#include <QString>

namespace Tessavo::Ui {

// The documents as the review list shows them: filtered by decision, category and a typed name,
// sorted by a chosen key, with the rows the user selected. Rows are this model's; each one names
// its document's row in the shared list (documentRow), which is what the review's commands take.
class ReviewListModel : public QSortFilterProxyModel {
    Q_OBJECT
    Q_PROPERTY(Tessavo::Ui::DocumentListModel* documents READ documents WRITE setDocuments NOTIFY
                   documentsChanged)
    Q_PROPERTY(int show READ show WRITE setShow NOTIFY filterChanged)
    Q_PROPERTY(QString category READ category WRITE setCategory NOTIFY filterChanged)
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY filterChanged)
    // Why only some documents are shown (showOnly); empty when that filter is off.
    Q_PROPERTY(QString onlyReason READ onlyReason NOTIFY filterChanged)
    Q_PROPERTY(int sortKey READ sortKey WRITE setSortKey NOTIFY sortKeyChanged)
    // Whether anything is left out: the whole-list commands then apply to the rows shown.
    Q_PROPERTY(bool filtered READ filtered NOTIFY filterChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    Q_PROPERTY(int totalCount READ totalCount NOTIFY countChanged)
    Q_PROPERTY(int selectedCount READ selectedCount NOTIFY selectionChanged)

public:
    // Which decisions are shown.
    enum Show { All, Undecided, Conflicts, AcceptedOnly, ChangedOnly, IgnoredOnly, Learned };
    Q_ENUM(Show)
    enum SortKey { ImportOrder, ByName, ByFolder, ByCategory, ByPages, BySize };
    Q_ENUM(SortKey)
    // How a click changes the selection: this row alone, this row added or taken away, or every
    // row from the last one clicked to this one.
    enum SelectMode { SelectOnly, Toggle, Extend };
    Q_ENUM(SelectMode)
    enum Role { SelectedRole = DocumentListModel::DuplicateOfRole + 100, DocumentRowRole };

    explicit ReviewListModel(QObject* parent = nullptr);

    DocumentListModel* documents() const { return m_documents; }
    void setDocuments(DocumentListModel* documents);
    int show() const { return m_show; }
    void setShow(int show);
    QString category() const { return m_category; }
    void setCategory(const QString& category);
    QString searchText() const { return m_searchText; }
    void setSearchText(const QString& text);
    QString onlyReason() const { return m_onlyReason; }
    // Shows only the documents at these source paths, saying why ("Each file at most 50 MB"),
    // together with the other filters; an empty reason shows every document again.
    Q_INVOKABLE void showOnly(const QStringList& paths, const QString& reason);

    int sortKey() const { return m_sortKey; }
    void setSortKey(int key);
    bool filtered() const;
    int count() const { return rowCount(); }
    int totalCount() const;

    // The document's row in the shared list for a row shown here, and back; -1 when none.
    Q_INVOKABLE int documentRow(int row) const;
    Q_INVOKABLE int rowOf(int documentRow) const;
    // The documents shown, in the order shown.
    Q_INVOKABLE QList<int> shownDocuments() const;

    // The selection: rows of the shared list, so it survives a new filter or order. Only the
    // selected rows that are shown count.
    Q_INVOKABLE void select(int row, int mode);
    Q_INVOKABLE void selectAll();
    Q_INVOKABLE void clearSelection();
    Q_INVOKABLE bool isSelected(int row) const;
    // The selected documents shown, in the order shown.
    Q_INVOKABLE QList<int> selectedDocuments() const;
    int selectedCount() const;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Lower case without accents: what a typed name is compared in.
    static QString folded(const QString& text);

signals:
    void documentsChanged();
    void filterChanged();
    void sortKeyChanged();
    void countChanged();
    void selectionChanged();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    void refilter();
    void setSelection(const QSet<int>& rows);
    void forgetRows(); // the shared list's rows moved: nothing remembered by row holds
    const QString& searchKeyOf(int sourceRow) const;

    QPointer<DocumentListModel> m_documents;
    int m_show = All;
    QString m_category;
    QString m_searchText;
    QString m_foldedSearch;
    QSet<QString> m_onlyPaths; // kept by path: rows move, a document keeps its path
    QString m_onlyReason;
    int m_sortKey = ImportOrder;
    QCollator m_collator;
    QSet<int> m_selected;                // rows of the shared list
    int m_anchor = -1;                   // the shared list's row a Shift+click extends from
    mutable QList<QString> m_searchKeys; // per row of the shared list: name and folder, folded
};

} // namespace Tessavo::Ui
