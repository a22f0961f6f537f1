#pragma once

#include <QAbstractListModel>
#include <QList>

namespace Tessavo::Flows {

// A flat, one-column list model over plain values addressed by row. Derived models name the
// operations and supply the roles.
template <typename T> class ValueListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_items.size());
    }

    // The value at a row; null for a row outside the list.
    const T* at(int row) const
    {
        return row >= 0 && row < m_items.size() ? &m_items.at(row) : nullptr;
    }

    // Lets change(T&) alter the value at a row and, when it returns true, announces a change of
    // every role of that row. False for a row outside the list or a change that declined.
    template <typename Change> bool update(int row, Change&& change)
    {
        if (row < 0 || row >= m_items.size() || !change(m_items[row]))
            return false;
        emit dataChanged(index(row), index(row), {});
        return true;
    }

    // The same for every row, with one announcement for each run of adjacent rows that changed;
    // returns the rows that changed.
    template <typename Change> QList<int> updateEach(Change&& change)
    {
        QList<int> changed;
        int runStart = -1;
        for (int row = 0; row <= m_items.size(); ++row) {
            const bool changedHere = row < m_items.size() && change(m_items[row]);
            if (changedHere) {
                changed.append(row);
                if (runStart < 0)
                    runStart = row;
            } else if (runStart >= 0) {
                emit dataChanged(index(runStart), index(row - 1), {});
                runStart = -1;
            }
        }
        return changed;
    }

    // Puts a value in place of the one at a row; nothing for a row outside the list.
    void replace(int row, const T& value)
    {
        update(row, [&value](T& item) {
            item = value;
            return true;
        });
    }

protected:
    // The value behind an index, or null for an invalid index or a row outside the list.
    const T* valueAt(const QModelIndex& index) const
    {
        if (!index.isValid() || index.row() >= m_items.size())
            return nullptr;
        return &m_items.at(index.row());
    }

    void appendValue(const T& value)
    {
        const int row = int(m_items.size());
        beginInsertRows(QModelIndex(), row, row);
        m_items.append(value);
        endInsertRows();
    }

    // Row is within 0..size.
    void insertValue(int row, const T& value)
    {
        beginInsertRows(QModelIndex(), row, row);
        m_items.insert(row, value);
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

} // namespace Tessavo::Flows
