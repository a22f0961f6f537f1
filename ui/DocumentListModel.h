#pragma once

#include "core/DocumentRecord.h"
#include "flows/DocumentList.h"
#include "ui/ImportRoots.h"

#include <QHash>
#include <QIdentityProxyModel>
#include <QTimer>

namespace Tessavo::Ui {

// The shared document list as the pages see it: the same rows, with the roles the pages read.
class DocumentListModel : public QIdentityProxyModel {
    Q_OBJECT
    // Byte-identical copies of an earlier document that are not ignored yet.
    Q_PROPERTY(int duplicateCount READ duplicateCount NOTIFY duplicateCountChanged)

public:
    enum Role {
        FileNameRole = Qt::UserRole + 1,
        SourcePathRole,
        PagesRole,
        TextPagesRole,
        SizeTextRole,
        StateTextRole,
        CategoryRole,
        RuleNameRole,
        EvidenceRole,
        ConflictRole,
        ConflictNoteRole,
        DecisionRole,
        DecisionTextRole,
        ShaRole,
        NoteRole,
        HasSuggestionRole,
        ErrorTextRole,
        SuggestedCategoryRole,
        FileStatusRole,
        FileStatusTextRole,
        RecognitionTextRole,
        StateRole, // a DocumentState
        CanAcceptRole,
        FolderRole,      // the folder relative to what was imported: "Tender/Lot 1"
        DuplicateOfRole, // the name of the first document with the same content; empty if none
    };
    Q_ENUM(Role)

    explicit DocumentListModel(Flows::DocumentList* list, QObject* parent = nullptr);

    using QIdentityProxyModel::index;
    // The index of a row, as a list model spells it.
    QModelIndex index(int row) const { return QIdentityProxyModel::index(row, 0); }
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Null for a row outside the list; valid until the list is next modified.
    const DocumentRecord* recordAt(int row) const { return m_list->recordAt(row); }
    const QList<DocumentRecord>& records() const { return m_list->records(); }

    // What the user imported: the documents' folders are shown relative to it.
    void addImportRoots(const QList<QByteArray>& selection);
    // The row of the first document with the same content as this row's, or -1.
    int duplicateOf(int row) const;
    int duplicateCount() const { return m_duplicateCount; }

signals:
    void duplicateCountChanged();

private:
    // How the rows changed since the duplicates were last found.
    enum class RowChange { InPlace, Appended, Moved };
    void scheduleDuplicates(RowChange change);
    void findDuplicates();
    void noteFolders(int first, int last);

    Flows::DocumentList* m_list;
    ImportRoots m_roots;
    QHash<QByteArray, QString> m_folders; // by path: the folder shown, as imported
    QList<int> m_firstOfContent;     // per row: the first row with its content (itself when first)
    QList<QString> m_duplicateFlags; // per row: the first copy's name, or empty
    int m_duplicateCount = 0;
    QTimer m_duplicatesTimer; // runs while the duplicates are to be found again
    bool m_rowsMoved = false; // rows were inserted before others or removed since the last time
};

} // namespace Tessavo::Ui
