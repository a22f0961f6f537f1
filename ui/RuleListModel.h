#pragma once

#include "core/Rule.h"
#include "ui/ValueListModel.h"

namespace Tessavo::Ui {

// The conditions of a rule as one readable line, or "no conditions".
QString ruleSummary(const Rule& rule);

// The system's one rule list, in rule-list order, as the Rules page sees it.
class RuleListModel : public ValueListModel<Rule> {
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

    using ValueListModel::ValueListModel;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    void appendRule(const Rule& rule) { appendValue(rule); }
    // Null for a row outside the list; valid until the list is next modified.
    const Rule* ruleAt(int row) const { return at(row); }
    void removeRule(int row) { removeValue(row); }
    void setRules(const QList<Rule>& rules) { resetValues(rules); }
    const QList<Rule>& ruleList() const { return m_items; }
};

} // namespace Tessavo::Ui
