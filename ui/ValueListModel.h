#pragma once

#include <QAbstractListModel>
#include <QList>

namespace Tessavo::Ui {

// A flat, one-column list model over plain values addressed by row. Derived models name the
// operations and supply the roles.
template <typename T> class ValueListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_items.size());
    }

    // Announces a change of every role of one row; nothing for a row outside the list.
    void notifyRowChanged(int row)
    {
        if (row >= 0 && row < m_items.size())
            emit dataChanged(index(row), index(row), {});
    }

protected:
    // The value behind an index, or null for an invalid index or a row outside the list.
    const T* valueAt(const QModelIndex& index) const
    {
        if (!index.isValid() || index.row() >= m_items.size())
            return nullptr;
        return &m_items.at(index.row());
    }

    // Valid until the list is next modified; null for a row outside the list.
    T* mutableAt(int row) { return row >= 0 && row < m_items.size() ? &m_items[row] : nullptr; }

    void appendValue(const T& value)
    {
        const int row = int(m_items.size());
        beginInsertRows(QModelIndex(), row, row);
        m_items.append(value);
        endInsertRows();
    }

    void removeValue(int row)
    {
        if (row < 0 || row >= m_items.size())
            return;
        beginRemoveRows(QModelIndex(), row, row);
        m_items.removeAt(row);
        endRemoveRows();
    }

    void resetValues(const QList<T>& values)
    {
        beginResetModel();
        m_items = values;
        endResetModel();
    }

    QList<T> m_items;
};

} // namespace Tessavo::Ui
