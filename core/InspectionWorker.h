#pragma once

#include "core/DocumentRecord.h"

#include <QByteArray>

namespace Tessavo {

// The private command-line option that turns the executable into an inspection worker.
inline constexpr char inspectionWorkerOption[] = "--inspection-worker";

// What the worker sends back: the file and content fields of a record (path to page texts).
QByteArray encodeInspection(const DocumentRecord& record);

// Reads what encodeInspection wrote; false for anything malformed.
bool decodeInspection(const QByteArray& bytes, DocumentRecord* record);

// True when the process was started as an inspection worker.
bool isInspectionWorkerInvocation(int argc, char** argv);

// The worker's whole life: read a path from standard input, inspect it, answer on standard
// output, until standard input closes. Messages go to standard error.
int runInspectionWorker(int argc, char** argv);

} // namespace Tessavo
