#pragma once

#include "core/DocumentRecord.h"

#include <QList>
#include <QObject>

namespace Tessavo::Ui {

// The counters the pages show, a value type for QML (App.summary.total). "exportable" counts
// what an export would take; of those, "ready" are decided, "undecided" and
// "undecidedConflicts" are not.
struct DocumentSummary {
    Q_GADGET
    Q_PROPERTY(int total MEMBER total)
    Q_PROPERTY(int needsOcr MEMBER needsOcr)
    Q_PROPERTY(int unreadable MEMBER unreadable)
    Q_PROPERTY(int pending MEMBER pending)
    Q_PROPERTY(int accepted MEMBER accepted)
    Q_PROPERTY(int changed MEMBER changed)
    Q_PROPERTY(int ignored MEMBER ignored)
    Q_PROPERTY(int exportable MEMBER exportable)
    Q_PROPERTY(int ready MEMBER ready)
    Q_PROPERTY(int undecided MEMBER undecided)
    Q_PROPERTY(int undecidedConflicts MEMBER undecidedConflicts)
    Q_PROPERTY(int suggestions MEMBER suggestions)
    Q_PROPERTY(int conflicts MEMBER conflicts)

public:
    int total = 0;
    int needsOcr = 0;
    int unreadable = 0; // unreadable or encrypted
    int pending = 0;
    int accepted = 0;
    int changed = 0;
    int ignored = 0;
    int exportable = 0;
    int ready = 0;
    int undecided = 0;
    int undecidedConflicts = 0;
    int suggestions = 0;
    int conflicts = 0;

    friend bool operator==(const DocumentSummary&, const DocumentSummary&) = default;
};

DocumentSummary summaryOf(const QList<DocumentRecord>& records);

// The counters of a list kept up to date as it changes: what each row adds is remembered, so a
// change costs the rows it touches, not the whole list. Each call names rows as they are in the
// list after the change.
class SummaryTally {
public:
    void reset(const QList<DocumentRecord>& records);
    void inserted(const QList<DocumentRecord>& records, int first, int last);
    void removed(int first, int last);
    void changed(const QList<DocumentRecord>& records, int first, int last);
    const DocumentSummary& summary() const { return m_summary; }

private:
    void count(quint16 flags, int sign);

    QList<quint16> m_rows; // what each row adds, one bit per counter
    DocumentSummary m_summary;
};

} // namespace Tessavo::Ui
