#pragma once

#include "core/Rule.h"
#include "flows/ValueListModel.h"

namespace Tessavo::Flows {

// The system's one rule list, in rule-list order. The rule book changes it; the interface shows it
// through a model of its own that adds the roles.
class RuleList : public ValueListModel<Rule> {
    Q_OBJECT

public:
    using ValueListModel::ValueListModel;

    // The rule's name for Qt::DisplayRole; nothing else.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override
    {
        const Rule* rule = valueAt(index);
        return rule && role == Qt::DisplayRole ? QVariant(rule->name) : QVariant();
    }

    void appendRule(const Rule& rule) { appendValue(rule); }
    // Row is within 0..size.
    void insertRule(int row, const Rule& rule) { insertValue(row, rule); }
    // Null for a row outside the list; valid until the list is next modified.
    const Rule* ruleAt(int row) const { return at(row); }
    void removeRule(int row) { removeValue(row); }
    void setRules(const QList<Rule>& rules) { resetValues(rules); }
    const QList<Rule>& ruleList() const { return m_items; }
};

} // namespace Tessavo::Flows
