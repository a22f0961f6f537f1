#pragma once

#include "core/Rule.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace Tessavo {

// One rule object as read: missing keys and values of the wrong type take the defaults, and an
// empty id is replaced by a fresh one. valid tells whether the rule may be used. A value of the
// wrong type under one of the later condition keys (a heading, a term list, whole words), or a
// term that is not a string, is left unset and counted in wrongTypes.
struct RuleReading {
    Rule rule;
    bool valid = false;
    int wrongTypes = 0;
};

RuleReading ruleFromJson(const QJsonObject& object);

// The valid rules of the array, in array order; anything else is skipped.
QList<Rule> rulesFromJson(const QJsonArray& array);

// The eleven basic members of the rule, and each later condition only when it is set (a
// non-empty heading or term list, whole words on), so a rule without them is written as an
// earlier version wrote it. A rule without id is written with a fresh one.
QJsonObject ruleToJson(const Rule& rule);

QJsonArray rulesToJson(const QList<Rule>& rules);

// The "rules" member of an object, a top-level array itself, or else an empty array.
QJsonArray rulesArrayOf(const QJsonDocument& document);

// The whole rules document as written to disk: indented JSON with "schemaVersion" and "rules".
QByteArray rulesDocument(const QList<Rule>& rules);

// The valid rules of a rules document; bytes that are not JSON give none.
QList<Rule> readRulesDocument(const QByteArray& bytes);

// Limits on what a rules file may hold. Longer texts and further rules are refused on reading.
constexpr qint64 maxRulesFileBytes = 16 * 1024 * 1024;
constexpr qsizetype maxRuleTextChars = 4096;
constexpr qsizetype maxRuleCount = 10000;
constexpr qsizetype maxRuleTerms = 256; // terms in one list

// Every text and term of the rule is at most maxRuleTextChars long and no term list holds more
// than maxRuleTerms terms.
bool withinTextLimit(const Rule& rule);

// The rules of a document read within the limits, and how many valid rules were refused.
struct RulesReading {
    QList<Rule> rules;
    int refusedTooLong = 0; // a text longer than maxRuleTextChars, or too many terms
    int refusedTooMany = 0; // beyond the first maxRuleCount rules
    int wrongTypes = 0;     // values left unset for their type, over the valid rules
};

RulesReading readRulesWithinLimits(const QByteArray& bytes);

// The bytes of a rules file. Only a regular file of at most maxRulesFileBytes is read; anything
// else (a folder, a pipe, a device, a link to one) is refused without waiting for it.
struct [[nodiscard]] RulesFileBytes {
    bool ok = false;
    QString error;        // set when !ok
    bool missing = false; // no file at all
    QByteArray bytes;
};

RulesFileBytes readRulesFileBytes(const QString& path);

} // namespace Tessavo
