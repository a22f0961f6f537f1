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
    // The conditions that decided the match, joined with "; ": every condition that held except
    // the none-of ones, which are named only when nothing else is.
    QString evidence;
    int page = -1; // zero-based page of the text hit; -1 without a text condition
};

// Tests every set condition of the rule, in a fixed order; ignores whether the rule is enabled.
RuleEvaluation matchRule(const Rule& rule, const DocumentRecord& record);

// The best-ranked enabled matching rule, every match, and any disagreement between them.
Suggestion classify(const QList<Rule>& rules, const DocumentRecord& record);

// The document's heading as heading conditions see it, case-folded with white space runs as one
// space: its PDF title, and the first three non-empty lines of its first page with text.
struct DocumentHeading {
    QString title;
    QString lines; // joined by one space
    int page = -1; // zero-based page of the lines; -1 when no page has text
};
DocumentHeading documentHeading(const DocumentRecord& record);

} // namespace Tessavo
