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

} // namespace Tessavo::Ui
