#pragma once

#include "core/DocumentRecord.h"
#include "inspection/PdfInspection.h"
#include "inspection/ProcessCpuTime.h"
#include "inspection/WorkerProcess.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>

#include <deque>
#include <memory>

namespace Tessavo::Inspection {

// Inspects queued files in worker processes and hands the records out in the order the files were
// queued. Several workers run at once; a long document is shared among them by page ranges, and
// its SHA-256 is computed on a thread of this process while the workers read its text. The PDF
// engine never runs in this process, and nothing here waits: everything moves on signals.
//
// Limits: opening a file may take openTimeoutMs of processor time from the moment its worker
// starts opening it, so that a busy machine never drops a file that merely waited for a core (a
// far larger limit in real time is the safety net); a file whose page tree contains itself gets
// loopOpenTimeoutMs. After that a worker must deliver a page at least every progressTimeoutMs. A
// worker that breaks a limit, crashes or sends something malformed is killed and its file ends
// Unreadable.
class ImportSession : public QObject {
    Q_OBJECT

public:
    struct Options {
        QString program; // started with the worker option; by default this executable
        int workers = 0; // at most this many at once; by default one per core, at least two
        WorkerFactory startWorker;            // by default a process running program
        int openTimeoutMs = pdfOpenTimeoutMs; // processor time
        int loopOpenTimeoutMs = 3000;         // processor time, for a page tree that loops
        int openWallTimeoutMs = 120000;       // real time, whatever the processor time
        CpuClock cpuClock = processCpuTimeMs; // the processor time a worker has had
        int progressTimeoutMs = 15000;
        int startTimeoutMs = 30000; // for a worker to answer its first request at all
        // Text kept per document in this process (64 MiB of UTF-16); the rest is dropped with a
        // note on the record, so that a bomb file costs its worker, not the application.
        qint64 maxTextChars = 32 * 1024 * 1024;
    };

    explicit ImportSession(QObject* parent = nullptr);
    explicit ImportSession(Options options, QObject* parent = nullptr);
    ~ImportSession() override; // stops every worker at once

    // Queues absolute file paths, in order, behind those already queued.
    void enqueue(const QStringList& paths);
    // The same for paths given as the file system's bytes, which may name files whose names are
    // not valid UTF-8.
    void enqueue(const QList<QByteArray>& rawPaths);

    // Whether the path is queued or being inspected (not yet handed out).
    bool contains(const QString& path) const;
    bool contains(const QByteArray& rawPath) const;

    // Forgets everything queued and stops what is in flight: nothing of it is handed out later.
    void cancel();

    // Files queued or in flight.
    int remaining() const { return int(m_files.size()); }
    bool active() const { return !m_files.empty(); }

    // How many of the remaining files' worth of pages have been read already, counting long
    // documents only; lets progress move while one long document is read.
    double partialFiles() const;

    // Process ids of the running workers, and of those among them that have a request.
    QList<qint64> workerProcessIds() const;
    QList<qint64> busyWorkerProcessIds() const;

signals:
    // One per queued file, in queue order.
    void inspected(const Tessavo::DocumentRecord& record);
    // partialFiles() moved.
    void progressed();
    // The queue is empty and nothing is in flight. Not emitted after cancel().
    void finished();

private:
    struct File;
    struct Slot;

    void schedule();
    File* nextFileWithWork();
    Slot* slotFor(const File& file);
    bool begin(File& file);
    void dispatch(Slot& slot, File& file, int firstPage, int pageCount);
    void onFrame(Slot& slot, const Frame& frame);
    void onLoaded(Slot& slot, File& file, int state, const QString& errorText, int pages,
                  const QString& title);
    void onPage(Slot& slot, File& file, int pageIndex, const QString& text);
    void keepBoundedText(File& file, PageText& page, const QString& text);
    void onRequestDone(Slot& slot);
    void onWorkerFailed(Slot& slot, WorkerProcess::Failure failure);
    void onHashed(quint64 fileId, FileDigest digest);
    void checkDeadlines();
    void failFile(File& file, const QString& why);
    void settleIfComplete(File& file);
    void postHandOut();
    void handOut();
    void restart(File& file);
    void retire(Slot& slot);
    void reportProgress(File& file);

    Options m_options;
    std::deque<std::unique_ptr<File>> m_files; // queue order
    QHash<quint64, File*> m_byId;
    QSet<QByteArray> m_paths; // as the file system spells them
    std::vector<std::unique_ptr<Slot>> m_slots;
    QThreadPool m_hashPool;
    QTimer m_deadlineTimer;
    quint64 m_nextFileId = 1;
    quint64 m_nextJobId = 1;
    quint64 m_generation = 0; // counts cancellations
    bool m_handOutPosted = false;
};

} // namespace Tessavo::Inspection
