#pragma once

#include "core/Rule.h"

#include <QAbstractListModel>
#include <QList>

namespace Tessavo::Ui {

// The conditions of a rule as one readable line, or "no conditions".
QString ruleSummary(const Rule& rule);

// The system's one rule list, in rule-list order, as the Rules page sees it.
class RuleListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        NameRole = Qt::UserRole + 1,
        CategoryRole,
        PriorityRole,
        SummaryRole,
        EnabledRole,
        IdRole,
    };
    Q_ENUM(Role)

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    void appendRule(const Rule& rule);
    // Valid until the list is next modified; null for a row outside the list.
    Rule* ruleAt(int row);
    void removeRule(int row);
    void setRules(const QList<Rule>& rules);
    void notifyRowChanged(int row);
    const QList<Rule>& ruleList() const { return m_rules; }

private:
    QList<Rule> m_rules;
};

} // namespace Tessavo::Ui
