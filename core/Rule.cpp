#include "core/Rule.h"

#include <QUuid>

#include <algorithm>

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

QStringList termsOf(const QStringList& list)
{
    QStringList terms;
    for (const QString& term : list) {
        if (!term.trimmed().isEmpty())
            terms.append(term);
    }
    return terms;
}

namespace {

bool hasTerm(const QStringList& list)
{
    return std::any_of(list.cbegin(), list.cend(),
                       [](const QString& term) { return !term.trimmed().isEmpty(); });
}

} // namespace

bool hasConditions(const Rule& rule)
{
    return !rule.fileContains.trimmed().isEmpty() || !rule.textContains.trimmed().isEmpty() ||
           rule.minPages > 0 || rule.maxPages > 0 || rule.minBytes > 0 || rule.maxBytes > 0 ||
           !rule.titleContains.trimmed().isEmpty() || hasTerm(rule.textAnyOf) ||
           hasTerm(rule.textAllOf) || hasTerm(rule.textNoneOf) || hasTerm(rule.fileAnyOf) ||
           hasTerm(rule.fileNoneOf);
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
    // Each built-in rule looks for phrases that documents of its kind use, as whole words. The
    // solicitation rule wants a solicitation naming itself ("this RFQ", "this addendum", "Request
    // for Quotation (RFQ)") and leaves out proposals that answer one and bonds that cite one; the
    // appendix rule leaves out files named as attachments that price, bond, insure or propose.
    struct BuiltIn {
        const char* name;
        const char* category;
        int priority;
        const char* textContains;
        std::initializer_list<const char*> textAnyOf;
        std::initializer_list<const char*> textNoneOf;
        std::initializer_list<const char*> fileAnyOf;
        bool wholeWords;
    };
    static const BuiltIn builtIns[] = {
        {"Solicitation document",
         "01_Solicitation",
         10,
         "",
         {"request for proposals",
          "request for proposal (",
          "request for quotation (",
          "request for quote (",
          "invitation to bid (",
          "invitation for bids (",
          "this request for",
          "this rfq",
          "this rfp",
          "this solicitation",
          "this invitation",
          "this addendum",
          "this amendment",
          "addendum no",
          "addendum #",
          "amendment no",
          "amendment #",
          "to all bidders",
          "all potential bidders",
          "hereby issues"},
         {"our team", "our approach", "we propose", "obligee", "penal sum"},
         {},
         true},
        {"Bid bond", "02_Forms", 20, "", {"bid bond"}, {"addendum", "amendment"}, {}, true},
        {"MWBE forms", "02_Forms", 25, "", {"MWBE", "M/WBE"}, {}, {}, true},
        {"Form 3A", "02_Forms", 30, "form 3a", {}, {}, {}, true},
        {"Pricing schedule",
         "03_Pricing",
         40,
         "",
         {"pricing schedule", "price schedule", "price proposal", "cost proposal", "fee proposal",
          "schedule of prices", "unit price", "total bid", "hourly rate"},
         {},
         {},
         true},
        {"Technical approach",
         "04_Technical",
         50,
         "",
         {"technical approach", "technical proposal", "our approach", "our team", "our solution",
          "our prototype", "our project plan"},
         {"the contractor shall", "the vendor shall"},
         {},
         true},
        {"References",
         "05_References",
         60,
         "",
         {"references", "reference form", "past performance questionnaire",
          "to whom it may concern"},
         {},
         {},
         true},
        {"Certificate of insurance",
         "06_Insurance",
         70,
         "",
         {"certificate of insurance", "certificates of insurance", "additional insured",
          "additional insureds", "general liability"},
         {},
         {},
         true},
        {"Appendix",
         "07_Appendices",
         80,
         "",
         {},
         {"price proposal", "cost proposal", "fee proposal", "unit price", "bid bond", "our team",
          "our approach", "certificate of insurance", "non-disclosure", "nondisclosure"},
         {"appendix", "attachment", "annex", "exhibit"},
         false},
    };
    const auto list = [](std::initializer_list<const char*> terms) {
        QStringList out;
        for (const char* term : terms)
            out.append(QString::fromLatin1(term));
        return out;
    };

    QList<Rule> rules;
    rules.reserve(std::size(builtIns));
    for (const BuiltIn& b : builtIns) {
        Rule rule;
        rule.id = newRuleId();
        rule.name = QString::fromLatin1(b.name);
        rule.category = QString::fromLatin1(b.category);
        rule.priority = b.priority;
        rule.textContains = QString::fromLatin1(b.textContains);
        rule.textAnyOf = list(b.textAnyOf);
        rule.textNoneOf = list(b.textNoneOf);
        rule.fileAnyOf = list(b.fileAnyOf);
        rule.wholeWords = b.wholeWords;
        rules.append(rule);
    }
    return rules;
}

qsizetype indexOfRule(const QList<Rule>& rules, const QString& id)
{
    if (id.isEmpty())
        return -1;
    const auto at =
        std::find_if(rules.cbegin(), rules.cend(), [&id](const Rule& r) { return r.id == id; });
    return at == rules.cend() ? -1 : at - rules.cbegin();
}

} // namespace Tessavo
