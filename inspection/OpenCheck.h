#pragma once

#include <QString>

namespace Tessavo::Inspection {

// Opens a PDF in a worker process of its own and tells whether it opened: an empty text when it
// did (with at least one page), else the reason. Blocks for at most the open time-out plus the
// worker's start; meant for one-shot command-line checks, never for the window.
QString checkOpensInWorker(const QString& path, const QString& program = {});

} // namespace Tessavo::Inspection
