#include "ui/Summary.h"

#include <algorithm>
#include <array>

namespace Tessavo::Ui {

namespace {

bool decidedFor(const DocumentRecord& r)
{
    return r.decision == Accepted || r.decision == Changed;
}

bool undecidedFor(const DocumentRecord& r)
{
    return exportable(r) && r.decision == NeedsReview;
}

// Each counter and which rows it counts; a row's counters are remembered as one bit per entry.
struct Counter {
    using Test = bool (*)(const DocumentRecord&);
    Counter(int DocumentSummary::*f, Test t)
        : field(f)
        , counts(t)
    {}
    int DocumentSummary::*field;
    Test counts;
};

const std::array<Counter, 12> counters = {
    Counter(&DocumentSummary::needsOcr,
            [](const DocumentRecord& r) { return r.state == NeedsOcr; }),
    Counter(&DocumentSummary::unreadable,
            [](const DocumentRecord& r) { return r.state == Unreadable || r.state == Encrypted; }),
    Counter(&DocumentSummary::pending,
            [](const DocumentRecord& r) { return r.decision == NeedsReview; }),
    Counter(&DocumentSummary::accepted,
            [](const DocumentRecord& r) { return r.decision == Accepted; }),
    Counter(&DocumentSummary::changed,
            [](const DocumentRecord& r) { return r.decision == Changed; }),
    Counter(&DocumentSummary::ignored,
            [](const DocumentRecord& r) { return r.decision == Ignored; }),
    Counter(&DocumentSummary::exportable, [](const DocumentRecord& r) { return exportable(r); }),
    Counter(&DocumentSummary::ready,
            [](const DocumentRecord& r) { return exportable(r) && decidedFor(r); }),
    // As undecidedExports counts them: what an export would take without a decision.
    Counter(&DocumentSummary::undecided,
            [](const DocumentRecord& r) { return undecidedFor(r) && !r.suggestion.conflict; }),
    Counter(&DocumentSummary::undecidedConflicts,
            [](const DocumentRecord& r) { return undecidedFor(r) && r.suggestion.conflict; }),
    Counter(&DocumentSummary::suggestions,
            [](const DocumentRecord& r) { return !r.suggestion.isEmpty(); }),
    Counter(&DocumentSummary::conflicts,
            [](const DocumentRecord& r) { return r.suggestion.conflict; }),
};

quint16 countersOf(const DocumentRecord& r)
{
    quint16 flags = 0;
    for (size_t i = 0; i < counters.size(); ++i) {
        if (counters[i].counts(r))
            flags |= quint16(1u << i);
    }
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
    m_summary.total += sign;
    for (size_t i = 0; i < counters.size(); ++i) {
        if (flags & (1u << i))
            m_summary.*(counters[i].field) += sign;
    }
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
