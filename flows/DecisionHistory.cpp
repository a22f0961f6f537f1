#include "flows/DecisionHistory.h"

namespace Tessavo::Flows {

namespace {

// Enough for any reviewer's second thoughts on one document.
constexpr int earlierLimit = 32;

} // namespace

ReviewState reviewStateOf(const DocumentRecord& record)
{
    return {record.decision, record.finalCategory};
}

void applyReviewState(DocumentRecord& record, const ReviewState& state)
{
    record.decision = state.decision;
    record.finalCategory = state.finalCategory;
}

DecisionHistory::DecisionHistory(int limit)
    : m_limit(limit > 0 ? limit : 1)
{}

void DecisionHistory::record(const DecisionStep& step)
{
    if (step.changes.isEmpty() && !step.rule)
        return;
    m_undone.clear();
    m_done.append(step);
    if (m_done.size() > m_limit)
        m_done.removeFirst();
    forward(step);
}

DecisionStep* DecisionHistory::takeUndo()
{
    if (m_done.isEmpty())
        return nullptr;
    m_undone.append(m_done.takeLast());
    backward(m_undone.last());
    return &m_undone.last();
}

DecisionStep* DecisionHistory::takeRedo()
{
    if (m_undone.isEmpty())
        return nullptr;
    m_done.append(m_undone.takeLast());
    forward(m_done.last());
    return &m_done.last();
}

std::optional<ReviewState> DecisionHistory::earlier(int row) const
{
    const auto at = m_earlier.constFind(row);
    if (at == m_earlier.constEnd() || at->isEmpty())
        return std::nullopt;
    return at->constLast();
}

void DecisionHistory::clear()
{
    m_done.clear();
    m_undone.clear();
    m_earlier.clear();
}

// A decision pushes the one it replaced; going back takes that one off again.
void DecisionHistory::forward(const DecisionStep& step)
{
    for (const DecisionChange& c : step.changes) {
        QList<ReviewState>& trail = m_earlier[c.row];
        if (c.wentBack) {
            if (!trail.isEmpty())
                trail.removeLast();
        } else if (c.before != c.after) {
            trail.append(c.before);
            if (trail.size() > earlierLimit)
                trail.removeFirst();
        }
    }
}

void DecisionHistory::backward(const DecisionStep& step)
{
    for (auto c = step.changes.crbegin(); c != step.changes.crend(); ++c) {
        QList<ReviewState>& trail = m_earlier[c->row];
        if (c->wentBack)
            trail.append(c->after);
        else if (c->before != c->after && !trail.isEmpty())
            trail.removeLast();
    }
}

} // namespace Tessavo::Flows
