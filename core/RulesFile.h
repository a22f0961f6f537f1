#pragma once

#include "core/Rule.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

namespace Tessavo {

// Reads one rule object. Missing keys and values of the wrong type take the defaults; an empty
// id is replaced by a fresh one. *valid tells whether the rule may be used.
Rule ruleFromJson(const QJsonObject& object, bool* valid = nullptr);

// The valid rules of the array, in array order; anything else is skipped.
QList<Rule> rulesFromJson(const QJsonArray& array);

// All eleven members of the rule; a rule without id is written with a fresh one.
QJsonObject ruleToJson(const Rule& rule);

QJsonArray rulesToJson(const QList<Rule>& rules);

// The "rules" member of an object, a top-level array itself, or else an empty array.
QJsonArray rulesArrayOf(const QJsonDocument& document);

// The whole rules document as written to disk: indented JSON with "schemaVersion" and "rules".
QByteArray rulesDocument(const QList<Rule>& rules);

// The valid rules of a rules document; bytes that are not JSON give none.
QList<Rule> readRulesDocument(const QByteArray& bytes);

} // namespace Tessavo
