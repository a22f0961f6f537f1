#pragma once

#include "core/Rule.h"
#include "flows/RuleList.h"

#include <QIdentityProxyModel>

namespace Tessavo::Ui {

// The conditions of a rule as one readable line, or "no conditions".
QString ruleSummary(const Rule& rule);

// The system's one rule list, in rule-list order, as the Rules page sees it: the same rows, with
// the roles the page reads.
class RuleListModel : public QIdentityProxyModel {
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

    explicit RuleListModel(Flows::RuleList* list, QObject* parent = nullptr);

    using QIdentityProxyModel::index;
    // The index of a row, as a list model spells it.
    QModelIndex index(int row) const { return QIdentityProxyModel::index(row, 0); }
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    const QList<Rule>& ruleList() const { return m_list->ruleList(); }

private:
    Flows::RuleList* m_list;
};

} // namespace Tessavo::Ui
