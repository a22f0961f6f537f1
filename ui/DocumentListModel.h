#pragma once

#include "core/DocumentRecord.h"
#include "ui/ValueListModel.h"

namespace Tessavo::Ui {

// The imported documents as the pages see them; rows are DocumentRecord values in import order.
class DocumentListModel : public ValueListModel<DocumentRecord> {
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

    using ValueListModel::ValueListModel;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    void appendRecord(const DocumentRecord& record) { appendValue(record); }
    // Null for a row outside the list; valid until the list is next modified.
    const DocumentRecord* recordAt(int row) const { return at(row); }
    const QList<DocumentRecord>& records() const { return m_items; }
    void clear() { resetValues({}); }
    void setRecords(const QList<DocumentRecord>& records) { resetValues(records); }
};

} // namespace Tessavo::Ui
