#pragma once

#include "core/DocumentRecord.h"
#include "flows/ValueListModel.h"

namespace Tessavo::Flows {

// The imported documents in import order: the one list the flows share. Each change announces
// itself through the model's row signals; the interface shows the list through a model of its own
// that adds the roles.
class DocumentList : public ValueListModel<DocumentRecord> {
    Q_OBJECT

public:
    using ValueListModel::ValueListModel;

    // The file name for Qt::DisplayRole; nothing else.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override
    {
        const DocumentRecord* record = valueAt(index);
        return record && role == Qt::DisplayRole ? QVariant(record->fileName) : QVariant();
    }

    void appendRecord(const DocumentRecord& record) { appendValue(record); }
    // Null for a row outside the list; valid until the list is next modified.
    const DocumentRecord* recordAt(int row) const { return at(row); }
    const QList<DocumentRecord>& records() const { return m_items; }
    void clear() { resetValues({}); }
    void setRecords(const QList<DocumentRecord>& records) { resetValues(records); }
};

} // namespace Tessavo::Flows
