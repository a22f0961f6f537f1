#include "core/RulePreview.h"

#include "core/Classification.h"

#include <algorithm>
#include <optional>

namespace Tessavo {

RulePreview previewRule(const QList<Rule>& rules, const Rule& rule,
                        const QList<DocumentRecord>& records)
{
    return previewRule(rules, LearnedModel(), rule, records);
}

RulePreview previewRule(const QList<Rule>& rules, const LearnedModel& learned, const Rule& rule,
                        const QList<DocumentRecord>& records)
{
    QList<Rule> changed = rules;
    std::optional<Rule> earlier;
    if (const qsizetype same = indexOfRule(changed, rule.id); same >= 0) {
        earlier = changed.at(same);
        changed[same] = rule;
    } else {
        changed.append(rule);
    }

    // Only a document that the rule, or its earlier form, matches can be suggested otherwise:
    // a rule that does not match takes no part in the ranking, and the learned suggestion
    // stands in only where no rule matches. The others cost one match each.
    RulePreview preview;
    for (int row = 0; row < records.size(); ++row) {
        const DocumentRecord& record = records.at(row);
        const bool matches = matchRule(rule, record).matched;
        if (matches)
            ++preview.matched;
        if (!matches && !(earlier && matchRule(*earlier, record).matched))
            continue;
        const QString before = suggestFor(rules, learned, record).category;
        const QString after = suggestFor(changed, learned, record).category;
        if (before != after)
            preview.changes.append(
                {row, before, after, record.decision == Accepted || record.decision == Changed});
    }
    return preview;
}

} // namespace Tessavo
