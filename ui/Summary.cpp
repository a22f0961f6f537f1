#include "ui/Summary.h"

#include <algorithm>

namespace Tessavo::Ui {

namespace {

enum Counter : quint16 {
    NeedsOcrRow = 1 << 0,
    UnreadableRow = 1 << 1,
    PendingRow = 1 << 2,
    AcceptedRow = 1 << 3,
    ChangedRow = 1 << 4,
    IgnoredRow = 1 << 5,
    ExportableRow = 1 << 6,
    ReadyRow = 1 << 7,
    UndecidedRow = 1 << 8,
    UndecidedConflictRow = 1 << 9,
    SuggestionRow = 1 << 10,
    ConflictRow = 1 << 11,
};

quint16 countersOf(const DocumentRecord& r)
{
    const bool exports = exportable(r);
    const bool conflict = r.suggestion.conflict;
    quint16 flags = 0;
    const auto set = [&flags](bool on, Counter counter) {
        if (on)
            flags |= counter;
    };
    set(r.state == NeedsOcr, NeedsOcrRow);
    set(r.state == Unreadable || r.state == Encrypted, UnreadableRow);
    set(r.decision == NeedsReview, PendingRow);
    set(r.decision == Accepted, AcceptedRow);
    set(r.decision == Changed, ChangedRow);
    set(r.decision == Ignored, IgnoredRow);
    set(exports, ExportableRow);
    set(exports && (r.decision == Accepted || r.decision == Changed), ReadyRow);
    // As undecidedExports counts them: what an export would take without a decision.
    set(exports && r.decision == NeedsReview && !conflict, UndecidedRow);
    set(exports && r.decision == NeedsReview && conflict, UndecidedConflictRow);
    set(!r.suggestion.isEmpty(), SuggestionRow);
    set(conflict, ConflictRow);
    return flags;
}

} // namespace

DocumentSummary summaryOf(const QList<DocumentRecord>& records)
{
    SummaryTally tally;
    tally.reset(records);
    return tally.summary();
}

void SummaryTally::count(quint16 flags, int sign)
{
    DocumentSummary& s = m_summary;
    s.total += sign;
    s.needsOcr += (flags & NeedsOcrRow) ? sign : 0;
    s.unreadable += (flags & UnreadableRow) ? sign : 0;
    s.pending += (flags & PendingRow) ? sign : 0;
    s.accepted += (flags & AcceptedRow) ? sign : 0;
    s.changed += (flags & ChangedRow) ? sign : 0;
    s.ignored += (flags & IgnoredRow) ? sign : 0;
    s.exportable += (flags & ExportableRow) ? sign : 0;
    s.ready += (flags & ReadyRow) ? sign : 0;
    s.undecided += (flags & UndecidedRow) ? sign : 0;
    s.undecidedConflicts += (flags & UndecidedConflictRow) ? sign : 0;
    s.suggestions += (flags & SuggestionRow) ? sign : 0;
    s.conflicts += (flags & ConflictRow) ? sign : 0;
}

void SummaryTally::reset(const QList<DocumentRecord>& records)
{
    m_rows.clear();
    m_summary = {};
    inserted(records, 0, int(records.size()) - 1);
}

void SummaryTally::inserted(const QList<DocumentRecord>& records, int first, int last)
{
    if (first < 0 || first > m_rows.size() || last < first || last >= records.size())
        return;
    QList<quint16> added;
    added.reserve(last - first + 1);
    for (int row = first; row <= last; ++row) {
        added.append(countersOf(records.at(row)));
        count(added.constLast(), 1);
    }
    m_rows.insert(first, added.size(), 0);
    std::copy(added.cbegin(), added.cend(), m_rows.begin() + first);
}

void SummaryTally::removed(int first, int last)
{
    if (first < 0 || last < first || last >= m_rows.size())
        return;
    for (int row = first; row <= last; ++row)
        count(m_rows.at(row), -1);
    m_rows.remove(first, last - first + 1);
}

void SummaryTally::changed(const QList<DocumentRecord>& records, int first, int last)
{
    first = std::max(first, 0);
    last = std::min({last, int(m_rows.size()) - 1, int(records.size()) - 1});
    for (int row = first; row <= last; ++row) {
        const quint16 now = countersOf(records.at(row));
        if (now == m_rows.at(row))
            continue;
        count(m_rows.at(row), -1);
        count(now, 1);
        m_rows[row] = now;
    }
}

} // namespace Tessavo::Ui
