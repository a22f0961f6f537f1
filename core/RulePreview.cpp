#include "core/RulePreview.h"

#include "core/Classification.h"

#include <algorithm>

namespace Tessavo {

RulePreview previewRule(const QList<Rule>& rules, const Rule& rule,
                        const QList<DocumentRecord>& records)
{
    QList<Rule> changed = rules;
    const auto same = std::find_if(changed.begin(), changed.end(), [&rule](const Rule& r) {
        return !rule.id.isEmpty() && r.id == rule.id;
    });
    if (same != changed.end())
        *same = rule;
    else
        changed.append(rule);

    RulePreview preview;
    for (int row = 0; row < records.size(); ++row) {
        const DocumentRecord& record = records.at(row);
        if (matchRule(rule, record).matched)
            ++preview.matched;
        const QString before = classify(rules, record).category;
        const QString after = classify(changed, record).category;
        if (before != after)
            preview.changes.append(
                {row, before, after, record.decision == Accepted || record.decision == Changed});
    }
    return preview;
}

} // namespace Tessavo
