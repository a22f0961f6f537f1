#pragma once

#include "core/DocumentRecord.h"
#include "flows/DocumentList.h"

#include <QIdentityProxyModel>

namespace Tessavo::Ui {

// The shared document list as the pages see it: the same rows, with the roles the pages read.
class DocumentListModel : public QIdentityProxyModel {
    Q_OBJECT

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

private:
    Flows::DocumentList* m_list;
};

} // namespace Tessavo::Ui
