#pragma once

#include "core/DocumentRecord.h"

#include <QList>
#include <QVariantMap>

namespace Tessavo::Ui {

// The counters the pages show. "exportable" counts what an export would take; of those, "ready"
// are decided, "undecided" and "undecidedConflicts" are not.
QVariantMap summaryOf(const QList<DocumentRecord>& records);

// Percentage of the running import done so far: 0 when idle, 100 with nothing left to inspect.
// partialFiles counts the part of the pending files already read (long documents move the
// percentage while they are read).
int importProgressPercent(bool importing, int importedCount, qsizetype pendingCount,
                          double partialFiles = 0);

} // namespace Tessavo::Ui
