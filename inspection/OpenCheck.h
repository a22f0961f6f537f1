#pragma once

#include "core/Failure.h"

#include <QString>

namespace Tessavo::Inspection {

// Opens a PDF in a worker process of its own and tells whether it opened with at least one page,
// and if not, why. Blocks for at most the open time-out plus the
// worker's start; meant for one-shot command-line checks, never for the window.
Status checkOpensInWorker(const QString& path, const QString& program = {});

} // namespace Tessavo::Inspection
