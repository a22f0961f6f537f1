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

    friend bool operator==(const Rule&, const Rule&) = default;
};

// The eight export categories, in order.
QStringList categoryList();

// "rule-" and eight lowercase hexadecimal digits from a fresh random UUID.
QString newRuleId();

// A text condition counts when it is non-blank, a numeric one when it is above zero.
bool hasConditions(const Rule& rule);

// Named, categorised and with at least one condition.
bool isValid(const Rule& rule);

// Precedence: lower priority first, then name without regard to case.
bool ranksBefore(const Rule& a, const Rule& b);

// The nine built-in rules, each with a fresh id.
QList<Rule> defaultRules();

} // namespace Tessavo
