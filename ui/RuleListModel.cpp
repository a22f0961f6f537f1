#include "ui/RuleListModel.h"

#include <QStringList>

namespace Tessavo::Ui {

namespace {

// The first three terms quoted, and how many more there are.
QString termList(const QStringList& list)
{
    const QStringList terms = termsOf(list);
    QStringList quoted;
    for (qsizetype i = 0; i < terms.size() && i < 3; ++i)
        quoted << QStringLiteral("\"%1\"").arg(terms.at(i));
    QString text = quoted.join(QStringLiteral(", "));
    if (terms.size() > 3)
        text += QStringLiteral(" and %1 more").arg(terms.size() - 3);
    return text;
}

} // namespace

QString ruleSummary(const Rule& rule)
{
    QStringList parts;
    if (!rule.fileContains.trimmed().isEmpty())
        parts << QStringLiteral("file name contains \"%1\"").arg(rule.fileContains);
    if (!termsOf(rule.fileAnyOf).isEmpty())
        parts << QStringLiteral("file name contains any of %1").arg(termList(rule.fileAnyOf));
    if (!termsOf(rule.fileNoneOf).isEmpty())
        parts << QStringLiteral("file name contains none of %1").arg(termList(rule.fileNoneOf));
    if (!rule.titleContains.trimmed().isEmpty())
        parts << QStringLiteral("heading contains \"%1\"").arg(rule.titleContains);
    if (!rule.textContains.trimmed().isEmpty())
        parts << QStringLiteral("text contains \"%1\"").arg(rule.textContains);
    if (!termsOf(rule.textAnyOf).isEmpty())
        parts << QStringLiteral("text contains any of %1").arg(termList(rule.textAnyOf));
    if (!termsOf(rule.textAllOf).isEmpty())
        parts << QStringLiteral("text contains all of %1").arg(termList(rule.textAllOf));
    if (!termsOf(rule.textNoneOf).isEmpty())
        parts << QStringLiteral("text contains none of %1").arg(termList(rule.textNoneOf));
    if (rule.minPages > 0)
        parts << QStringLiteral("pages >= %1").arg(rule.minPages);
    if (rule.maxPages > 0)
        parts << QStringLiteral("pages <= %1").arg(rule.maxPages);
    if (rule.minBytes > 0)
        parts << QStringLiteral("size >= %1 KB").arg(rule.minBytes / 1024);
    if (rule.maxBytes > 0)
        parts << QStringLiteral("size <= %1 KB").arg(rule.maxBytes / 1024);
    if (rule.wholeWords && !parts.isEmpty())
        parts << QStringLiteral("whole words");
    return parts.isEmpty() ? QStringLiteral("no conditions") : parts.join(QStringLiteral("; "));
}

RuleListModel::RuleListModel(Flows::RuleList* list, QObject* parent)
    : QIdentityProxyModel(parent)
    , m_list(list)
{
    setSourceModel(list);
}

QVariant RuleListModel::data(const QModelIndex& index, int role) const
{
    const Rule* value =
        index.isValid() && index.model() == this ? m_list->ruleAt(index.row()) : nullptr;
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
