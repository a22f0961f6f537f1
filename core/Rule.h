#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace Tessavo {

// One deterministic classification rule. All set conditions must hold for a match.
struct Rule {
    QString id;
    QString name;
    QString category;
    bool enabled = true;
    int priority = 100; // lower numbers win
    QString fileContains;
    QString textContains;
    int minPages = 0; // 0 or less: no limit, likewise for the other limits
    int maxPages = 0;
    qint64 minBytes = 0;
    qint64 maxBytes = 0;
    // The document's heading: its PDF title and the first three non-empty lines of its first page
    // with text.
    QString titleContains;
    QStringList textAnyOf;   // some page holds at least one term
    QStringList textAllOf;   // every term appears somewhere in the document
    QStringList textNoneOf;  // no page holds any term
    QStringList fileAnyOf;   // the file name holds at least one term
    QStringList fileNoneOf;  // the file name holds none of the terms
    bool wholeWords = false; // every term of the rule matches only at word boundaries

    friend bool operator==(const Rule&, const Rule&) = default;
};

// The eight export categories, in order.
QStringList categoryList();

// "rule-" and eight lowercase hexadecimal digits from a fresh random UUID.
QString newRuleId();

// A text condition counts when it is non-blank, a term list when it holds a non-blank term, a
// numeric one when it is above zero. wholeWords alone is no condition.
bool hasConditions(const Rule& rule);

// The terms of a list that count: the non-blank ones, as stored.
QStringList termsOf(const QStringList& list);

// Named, categorised and with at least one condition.
bool isValid(const Rule& rule);

// Precedence: lower priority first, then name without regard to case.
bool ranksBefore(const Rule& a, const Rule& b);

// The position of the rule with this id, -1 when none has it (an empty id never matches).
qsizetype indexOfRule(const QList<Rule>& rules, const QString& id);

// The nine built-in rules, each with a fresh id.
QList<Rule> defaultRules();

} // namespace Tessavo
