#include "ui/Summary.h"

#include <algorithm>

namespace Tessavo::Ui {

QVariantMap summaryOf(const QList<DocumentRecord>& records)
{
    int needsOcr = 0, unreadable = 0, pending = 0, accepted = 0, changed = 0, ignored = 0;
    int exportableCount = 0, ready = 0, suggestions = 0, conflicts = 0;
    for (const DocumentRecord& r : records) {
        needsOcr += r.state == NeedsOcr;
        unreadable += r.state == Unreadable || r.state == Encrypted;
        pending += r.decision == NeedsReview;
        accepted += r.decision == Accepted;
        changed += r.decision == Changed;
        ignored += r.decision == Ignored;
        exportableCount += exportable(r);
        ready += exportable(r) && (r.decision == Accepted || r.decision == Changed);
        suggestions += !r.suggestion.isEmpty();
        conflicts += r.suggestion.conflict;
    }
    const UndecidedExports undecided = undecidedExports(records);
    return {
        {QStringLiteral("total"), int(records.size())},
        {QStringLiteral("needsOcr"), needsOcr},
        {QStringLiteral("unreadable"), unreadable},
        {QStringLiteral("pending"), pending},
        {QStringLiteral("accepted"), accepted},
        {QStringLiteral("changed"), changed},
        {QStringLiteral("ignored"), ignored},
        {QStringLiteral("exportable"), exportableCount},
        {QStringLiteral("ready"), ready},
        {QStringLiteral("undecided"), undecided.undecided},
        {QStringLiteral("undecidedConflicts"), undecided.conflicting},
        {QStringLiteral("suggestions"), suggestions},
        {QStringLiteral("conflicts"), conflicts},
    };
}

int importProgressPercent(bool importing, int importedCount, qsizetype pendingCount,
                          double partialFiles)
{
    if (!importing)
        return 0;
    const double all = double(importedCount) + double(pendingCount);
    if (all <= 0)
        return 100;
    const double done = double(importedCount) + std::clamp(partialFiles, 0.0, double(pendingCount));
    return int(done * 100.0 / all);
}

} // namespace Tessavo::Ui
