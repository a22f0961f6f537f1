#include "core/Rule.h"

#include <QUuid>

namespace Tessavo {

QStringList categoryList()
{
    return {
        QStringLiteral("01_Solicitation"), QStringLiteral("02_Forms"),
        QStringLiteral("03_Pricing"),      QStringLiteral("04_Technical"),
        QStringLiteral("05_References"),   QStringLiteral("06_Insurance"),
        QStringLiteral("07_Appendices"),   QStringLiteral("08_Other"),
    };
}

QString newRuleId()
{
    return QStringLiteral("rule-") + QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
}

bool hasConditions(const Rule& rule)
{
    return !rule.fileContains.trimmed().isEmpty() || !rule.textContains.trimmed().isEmpty() ||
           rule.minPages > 0 || rule.maxPages > 0 || rule.minBytes > 0 || rule.maxBytes > 0;
}

bool isValid(const Rule& rule)
{
    return !rule.name.trimmed().isEmpty() && !rule.category.trimmed().isEmpty() &&
           hasConditions(rule);
}

bool ranksBefore(const Rule& a, const Rule& b)
{
    if (a.priority != b.priority)
        return a.priority < b.priority;
    return QString::compare(a.name, b.name, Qt::CaseInsensitive) < 0;
}

QList<Rule> defaultRules()
{
    struct BuiltIn {
        const char* name;
        const char* category;
        int priority;
        const char* fileContains;
        const char* textContains;
    };
    static constexpr BuiltIn builtIns[] = {
        {"Solicitation document", "01_Solicitation", 10, "", "request for proposals"},
        {"Bid bond", "02_Forms", 20, "", "bid bond"},
        {"MWBE forms", "02_Forms", 25, "", "MWBE"},
        {"Form 3A", "02_Forms", 30, "", "form 3a"},
        {"Pricing schedule", "03_Pricing", 40, "", "pricing schedule"},
        {"Technical approach", "04_Technical", 50, "", "technical approach"},
        {"References", "05_References", 60, "reference", ""},
        {"Certificate of insurance", "06_Insurance", 70, "", "certificate of insurance"},
        {"Appendix", "07_Appendices", 80, "appendix", ""},
    };

    QList<Rule> rules;
    rules.reserve(std::size(builtIns));
    for (const BuiltIn& b : builtIns) {
        Rule rule;
        rule.id = newRuleId();
        rule.name = QString::fromLatin1(b.name);
        rule.category = QString::fromLatin1(b.category);
        rule.priority = b.priority;
        rule.fileContains = QString::fromLatin1(b.fileContains);
        rule.textContains = QString::fromLatin1(b.textContains);
        rules.append(rule);
    }
    return rules;
}

} // namespace Tessavo
