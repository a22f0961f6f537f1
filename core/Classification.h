#pragma once

#include "core/DocumentRecord.h"
#include "core/Rule.h"
#include "core/RuleMatch.h"
#include "core/Suggestion.h"

#include <QList>
#include <QString>

namespace Tessavo {

// A conflict note names matches until it holds this many characters; the others are counted.
constexpr qsizetype maxConflictNoteChars = 2000;

// The outcome of testing one rule against one document.
struct RuleEvaluation {
    bool matched = false;
    QString evidence; // the conditions that held, joined with "; "
    int page = -1;    // zero-based page of the text hit; -1 without a text condition
};

// Tests every set condition of the rule, in a fixed order; ignores whether the rule is enabled.
RuleEvaluation matchRule(const Rule& rule, const DocumentRecord& record);

// The best-ranked enabled matching rule, every match, and any disagreement between them.
Suggestion classify(const QList<Rule>& rules, const DocumentRecord& record);

} // namespace Tessavo
