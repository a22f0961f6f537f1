#pragma once

#include "core/DocumentRecord.h"
#include "core/PdfInspection.h"

#include <QString>

#include <memory>
#include <vector>

namespace Tessavo {

// Inspects PDFs in long-lived worker processes, so that a file that hangs or crashes the PDF
// engine costs one worker, never the application. The wait keeps the caller's event loop turning
// in slices of at most 20 ms. A call made while another one waits (from that event loop) gets a
// worker of its own. If no worker can be started, files are inspected in this process.
class PdfInspector {
public:
    // program is started with the private worker option; by default this executable.
    explicit PdfInspector(QString program = {}, int timeoutMs = pdfOpenTimeoutMs);
    ~PdfInspector();

    PdfInspector(const PdfInspector&) = delete;
    PdfInspector& operator=(const PdfInspector&) = delete;

    // The inspected record. The time-out runs from the moment the path was handed to a worker,
    // here or by an earlier prefetch.
    DocumentRecord inspect(const QString& path);

    // Hands a path that will be inspected soon to a spare worker, so that the engine works on it
    // while the caller does other things. Does nothing when no spare worker is free.
    void prefetch(const QString& path);

    // Process id of a worker that is waiting for work, or 0 when none is.
    qint64 idleWorkerProcessId() const;

    // The process id of the worker inspecting for the innermost waiting call, or 0.
    qint64 busyWorkerProcessId() const { return m_busyPid; }

private:
    struct Worker;

    Worker* freeWorker(bool mayExceedLimit);
    std::unique_ptr<Worker> startWorker();
    void send(Worker& worker, const QString& path);
    void reapUnclaimed();
    void discard(Worker* worker);
    DocumentRecord failedRecord(const QString& path, const QString& why) const;

    QString m_program;
    int m_timeoutMs;
    int m_spareLimit;
    std::vector<std::unique_ptr<Worker>> m_workers;
    bool m_workersUnavailable = false;
    qint64 m_busyPid = 0;
};

} // namespace Tessavo
