#include "ui/RuleListModel.h"

#include <QStringList>

namespace Tessavo::Ui {

QString ruleSummary(const Rule& rule)
{
    QStringList parts;
    if (!rule.fileContains.trimmed().isEmpty())
        parts << QStringLiteral("file name contains \"%1\"").arg(rule.fileContains);
    if (!rule.textContains.trimmed().isEmpty())
        parts << QStringLiteral("text contains \"%1\"").arg(rule.textContains);
    if (rule.minPages > 0)
        parts << QStringLiteral("pages >= %1").arg(rule.minPages);
    if (rule.maxPages > 0)
        parts << QStringLiteral("pages <= %1").arg(rule.maxPages);
    if (rule.minBytes > 0)
        parts << QStringLiteral("size >= %1 KB").arg(rule.minBytes / 1024);
    if (rule.maxBytes > 0)
        parts << QStringLiteral("size <= %1 KB").arg(rule.maxBytes / 1024);
    return parts.isEmpty() ? QStringLiteral("no conditions") : parts.join(QStringLiteral("; "));
}

QVariant RuleListModel::data(const QModelIndex& index, int role) const
{
    const Rule* value = valueAt(index);
    if (!value)
        return {};
    const Rule& rule = *value;
    switch (role) {
    case Qt::DisplayRole:
    case NameRole:
        return rule.name;
    case CategoryRole:
        return rule.category;
    case PriorityRole:
        return rule.priority;
    case SummaryRole:
        return ruleSummary(rule);
    case EnabledRole:
        return rule.enabled;
    case IdRole:
        return rule.id;
    default:
        return {};
    }
}

QHash<int, QByteArray> RuleListModel::roleNames() const
{
    return {
        {NameRole, "name"},           {CategoryRole, "category"}, {PriorityRole, "priority"},
        {SummaryRole, "ruleSummary"}, {EnabledRole, "enabled"},   {IdRole, "ruleId"},
    };
}

} // namespace Tessavo::Ui
