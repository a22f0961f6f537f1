#pragma once

#include "core/DocumentRecord.h"

#include <QAbstractListModel>
#include <QList>

namespace Tessavo::Ui {

// The imported documents as the pages see them; rows are DocumentRecord values in import order.
class DocumentListModel : public QAbstractListModel {
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
    };
    Q_ENUM(Role)

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    void appendRecord(const DocumentRecord& record);
    // Valid until the list is next modified; null for a row outside the list.
    DocumentRecord* recordAt(int row);
    const QList<DocumentRecord>& records() const { return m_records; }
    void clear();
    void notifyRowChanged(int row);
    void notifyAllChanged();

private:
    QList<DocumentRecord> m_records;
};

} // namespace Tessavo::Ui
