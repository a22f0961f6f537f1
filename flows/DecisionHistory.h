#pragma once

#include "core/DocumentRecord.h"
#include "core/Rule.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace Tessavo::Flows {

// What a review decision leaves on a record.
struct ReviewState {
    Decision decision = NeedsReview;
    QString finalCategory;
    bool operator==(const ReviewState&) const = default;
};

ReviewState reviewStateOf(const DocumentRecord& record);
void applyReviewState(DocumentRecord& record, const ReviewState& state);

// One document's part of a user action. A reset goes back to the document's earlier decision
// (wentBack), which that decision then no longer is.
struct DecisionChange {
    int row = -1;
    QString sourcePath; // the row must still hold this document when the change is undone
    ReviewState before;
    ReviewState after;
    bool wentBack = false;
};

// A change to the rule list: the rule as it was and as it became (a rule added has no before, a
// rule removed no after), and the row it was added at or removed from. Rules are found again by
// their id, which a rule put back keeps.
struct RuleChange {
    enum Kind { Added, Removed, Edited };
    Kind kind = Edited;
    Rule before;
    Rule after;
    int row = -1;
};

// One user action: however many documents it decided, or one rule it changed.
struct DecisionStep {
    QList<DecisionChange> changes;
    std::optional<RuleChange> rule;
};

// The decisions that can be undone and redone, one step per user action, the oldest dropped
// beyond a limit; and per document the decisions before its current one, where a reset goes.
class DecisionHistory {
public:
    explicit DecisionHistory(int limit = 200);

    // A step just taken: redo is no longer possible.
    void record(const DecisionStep& step);
    bool canUndo() const { return !m_done.isEmpty(); }
    bool canRedo() const { return !m_undone.isEmpty(); }
    // The step to undo (or redo), moved to the other side, where it stays until the history
    // next changes; null when there is none.
    DecisionStep* takeUndo();
    DecisionStep* takeRedo();
    int undoSize() const { return int(m_done.size()); }

    // The decision this row had before its current one; nothing when none is known.
    std::optional<ReviewState> earlier(int row) const;
    // Rows moved or went away: what was kept by row no longer holds.
    void clear();

private:
    void forward(const DecisionStep& step);
    void backward(const DecisionStep& step);

    int m_limit;
    QList<DecisionStep> m_done;
    QList<DecisionStep> m_undone;
    QHash<int, QList<ReviewState>> m_earlier; // per row, the latest last
};

} // namespace Tessavo::Flows
