#pragma once

#include <QtGlobal>

namespace Tessavo::Inspection {

// The environment variable through which the application tells a worker its process id.
inline constexpr char parentPidVariable[] = "TESSAVO_WORKER_PARENT";

// Ends this process as soon as its parent is gone, even while the main thread is busy inside the
// PDF engine or the recogniser: a thread looks every pollMs whether the parent is still the
// process named in parentPidVariable (or, without it, the parent at the time of the call).
void endWithParent(int pollMs = 100);

} // namespace Tessavo::Inspection
