#pragma once

#include <QtGlobal>

#include <functional>

namespace Tessavo::Inspection {

// The processor time, user and system, that the process with the given id has been given so far,
// in milliseconds; -1 when the process is gone or its accounting cannot be read.
qint64 processCpuTimeMs(qint64 pid);

// A source of that time, replaceable in tests.
using CpuClock = std::function<qint64(qint64 pid)>;

} // namespace Tessavo::Inspection
