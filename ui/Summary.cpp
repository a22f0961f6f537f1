#include "ui/Summary.h"

#include <algorithm>

namespace Tessavo::Ui {

DocumentSummary summaryOf(const QList<DocumentRecord>& records)
{
    DocumentSummary s;
    s.total = int(records.size());
    for (const DocumentRecord& r : records) {
        s.needsOcr += r.state == NeedsOcr;
        s.unreadable += r.state == Unreadable || r.state == Encrypted;
        s.pending += r.decision == NeedsReview;
        s.accepted += r.decision == Accepted;
        s.changed += r.decision == Changed;
        s.ignored += r.decision == Ignored;
        s.exportable += exportable(r);
        s.ready += exportable(r) && (r.decision == Accepted || r.decision == Changed);
        s.suggestions += !r.suggestion.isEmpty();
        s.conflicts += r.suggestion.conflict;
    }
    const UndecidedExports undecided = undecidedExports(records);
    s.undecided = undecided.undecided;
    s.undecidedConflicts = undecided.conflicting;
    return s;
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
