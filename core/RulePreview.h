#pragma once

#include "core/DocumentRecord.h"
#include "core/LearnedModel.h"
#include "core/Rule.h"

#include <QList>
#include <QString>

namespace Tessavo {

// How one document's suggestion would change.
struct SuggestionChange {
    int row = -1;         // in the list previewed
    QString before;       // suggested category now; empty for none
    QString after;        // with the rule; empty for none
    bool decided = false; // accepted or changed: the document keeps its category whatever changes
};

// What saving a rule would do to the list, before it is saved.
struct RulePreview {
    int matched = 0;                 // documents the rule's conditions hold for
    QList<SuggestionChange> changes; // in list order
};

// Previews the rule as an addition to the rules, or as the new form of the rule with the same id.
// Only enabled rules suggest, so a disabled rule matches documents but changes nothing.
RulePreview previewRule(const QList<Rule>& rules, const Rule& rule,
                        const QList<DocumentRecord>& records);
// The same where what the filed documents taught suggests when no rule matches.
RulePreview previewRule(const QList<Rule>& rules, const LearnedModel& learned, const Rule& rule,
                        const QList<DocumentRecord>& records);

} // namespace Tessavo
