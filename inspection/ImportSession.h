#pragma once

#include "core/DocumentRecord.h"
#include "core/FileIdentity.h"
#include "inspection/FileDigest.h"
#include "inspection/PdfInspection.h"
#include "inspection/WorkerPool.h"
#include "tasks/BackgroundRunner.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>

#include <deque>
#include <memory>

namespace Tessavo::Inspection {

// Inspects queued files in inspection workers and hands the records out in the order the files
// were queued. Several workers of the pool serve it at once; a long document is shared among them
// by page ranges, and its SHA-256 is computed on a thread of this process while the workers read
// its text. The PDF engine never runs in this process, and nothing here waits: everything moves on
// signals.
//
// The pool enforces the limits on opening a file and on starting a worker; after the opening a
// worker must deliver a page at least every progressTimeoutMs. A worker that breaks a limit,
// crashes or sends something malformed is killed and its file ends Unreadable.
class ImportSession : public QObject, private WorkerClient {
    Q_OBJECT

public:
    struct Options {
        WorkerPool* pool = nullptr; // by default the pool of this process
        int workers = 0;            // at most this many requests at once; by default the pool's
        int progressTimeoutMs = 15000;
        // Text kept per document in this process (64 MiB of UTF-16); the rest is dropped with a
        // note on the record, so that a bomb file costs its worker, not the application.
        qint64 maxTextChars = 32 * 1024 * 1024;
        // Where the files are hashed; by default on the application's thread pool.
        Tasks::BackgroundRunner* hashing = nullptr;
    };

    explicit ImportSession(QObject* parent = nullptr);
    explicit ImportSession(Options options, QObject* parent = nullptr);
    ~ImportSession() override; // stops every worker at once

    // Queues absolute file paths, in order, behind those already queued.
    void enqueue(const QStringList& paths);
    // The same for paths given as the file system's bytes, which may name files whose names are
    // not valid UTF-8.
    void enqueue(const QList<QByteArray>& rawPaths);
    // The same for files a folder walk looked at: their size and time are taken as the walk saw
    // them, and each record handed out carries that time.
    void enqueue(const QList<FileIdentity>& files);

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

    // Process ids of the workers that serve this session (those with a request, and the idle ones
    // it used last), and of those among them that have a request.
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
    struct Job;
    struct HashMailbox;

    void jobLoaded(quint64 jobId, const LoadedMessage& loaded) override;
    void jobPage(quint64 jobId, const PageAnswer& page) override;
    void jobDone(quint64 jobId) override;
    void jobFailed(quint64 jobId, const JobFailure& failure) override;
    void workersAvailable() override;

    int workers() const;
    size_t startWindow() const;
    void schedule();
    File* nextFileWithWork();
    bool begin(File& file);
    bool dispatch(File& file, int firstPage, int pageCount);
    void onLoaded(quint64 jobId, File& file, const LoadedMessage& loaded);
    void onPage(File& file, int pageIndex, const QString& text);
    void keepBoundedText(File& file, PageText& page, const QString& text);
    void onHashed(quint64 fileId, FileDigest digest);
    void stopJobs(const File* file);
    void failFile(File& file, const QString& why);
    void settleIfComplete(File& file);
    void postHandOut();
    void handOut();
    void restart(File& file);
    void reportProgress(File& file);

    Options m_options;
    QPointer<WorkerPool> m_pool;               // the shared pool goes with the application object
    std::deque<std::unique_ptr<File>> m_files; // queue order
    QHash<quint64, File*> m_byId;
    QSet<QByteArray> m_paths;   // as the file system spells them
    QHash<quint64, Job> m_jobs; // requests in flight, by job id
    std::unique_ptr<Tasks::BackgroundRunner> m_ownHashing;
    Tasks::BackgroundRunner* m_hashing = nullptr;
    std::shared_ptr<HashMailbox> m_mailbox;
    quint64 m_generation = 0; // counts cancellations
    bool m_handOutPosted = false;
};

} // namespace Tessavo::Inspection
