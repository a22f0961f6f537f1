#pragma once

#include "inspection/PdfInspection.h"
#include "inspection/ProcessCpuTime.h"
#include "inspection/WorkerProcess.h"
#include "inspection/WorkerProtocol.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

namespace Tessavo::Inspection {

// How a request ended before its Done. By the time a client hears of it the worker is killed.
struct JobFailure {
    enum class Kind {
        NotStarted,   // the worker did not run, or never answered at all
        Stopped,      // it ended, or said what no worker says at that point
        OpenTimedOut, // opening spent its limit
        LoopTimedOut, // opening a file whose page tree contains itself spent its short limit
        PageTimedOut, // no page within the request's page limit
    };
    Kind kind = Kind::Stopped;
    bool opening = false; // the file had not been opened for this request yet
    int page = 0;         // the first page of the request without an answer
};

// One answer for one page: a text, or for recognition why there is none; for a render, the
// image and the rectangles of the terms on it, or why there is none.
struct PageAnswer {
    int pageIndex = 0;
    QString text;
    QString errorText;
    QImage image;
    QList<QRect> highlights;
};

// What the pool tells the client of a request. Each call may submit or cancel requests.
class WorkerClient {
public:
    virtual ~WorkerClient() = default;
    // The file opened, or did not: the outcome the worker reported.
    virtual void jobLoaded(quint64 jobId, const LoadedMessage& loaded) = 0;
    // The next page of the request, in order.
    virtual void jobPage(quint64 jobId, const PageAnswer& page) = 0;
    // Every page the request asked for and the file has has come; the worker is free again.
    virtual void jobDone(quint64 jobId) = 0;
    virtual void jobFailed(quint64 jobId, const JobFailure& failure) = 0;
    // A worker may be free for another request.
    virtual void workersAvailable() = 0;
};

// The inspection workers of the whole application, shared by everything that runs the PDF engine:
// at most `capacity` processes at once, whoever asks. A request goes to an idle worker, preferably
// one that has its file open already, or to a new worker while there is room. The pool follows
// every request through its stages and enforces the limits:
// - a worker must answer a request within startTimeoutMs;
// - opening a file may take openTimeoutMs of the worker's processor time (loopOpenTimeoutMs for a
//   page tree that contains itself), and openWallTimeoutMs of real time at most;
// - then a page must come within the request's own page limit of the last one.
// A worker that breaks a limit, crashes, or says something out of turn is killed and its request
// fails. Workers' Log frames reach this process's log. Time comes from an injectable clock, so the
// limits can be driven without waiting.
class WorkerPool : public QObject {
    Q_OBJECT

public:
    // Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    struct Options {
        QString program;           // started with the worker option; by default this executable
        int capacity = 0;          // by default one per core, at least two
        WorkerFactory startWorker; // by default a process running program
        Clock clock;               // by default a monotonic clock
        CpuClock cpuClock = processCpuTimeMs;
        int startTimeoutMs = 30000;
        int openTimeoutMs = pdfOpenTimeoutMs; // processor time
        int loopOpenTimeoutMs = 3000;         // processor time, for a page tree that loops
        int openWallTimeoutMs = 120000;       // real time, whatever the processor time
        int checkIntervalMs = 100;            // how often the limits are checked
    };

    explicit WorkerPool(QObject* parent = nullptr);
    explicit WorkerPool(Options options, QObject* parent = nullptr);
    ~WorkerPool() override; // kills every worker and reaps it

    // The pool of this process, made on first use and owned by the application object.
    static WorkerPool* shared();

    int capacity() const { return m_options.capacity; }
    int running() const;

    // A file id that no other client of this pool uses: a worker keeps its open file by id.
    quint64 newFileId() { return m_nextFileId++; }

    void attach(WorkerClient* client);
    // Kills the client's busy workers and those it used last, and reaps them; nothing more is
    // told to the client.
    void detach(WorkerClient* client);

    // Sends the request (its job id is assigned here) to a worker; 0 when none is free.
    // pageTimeoutMs limits the time between two pages.
    quint64 submit(WorkerClient* client, PageRequest request, int pageTimeoutMs);
    // The same for one page drawn as an image: its one answer carries the image.
    quint64 submit(WorkerClient* client, RenderRequest request, int pageTimeoutMs);
    // Stops a request by killing its worker; nothing more is told of it.
    void cancel(quint64 jobId);

    // Process ids of the workers busy for the client, and of the idle ones it used last.
    QList<qint64> processIds(const WorkerClient* client, bool busyOnly = false) const;

    // Enforces the limits now; runs by itself while a request is in flight.
    void checkDeadlines();

private:
    struct Worker;

    Worker* workerFor(quint64 fileId);
    // Hands a request to a worker; its job id is assigned here and given to encode.
    quint64 start(WorkerClient* client, const PageRequest& request, bool render, int pageTimeoutMs,
                  const std::function<QByteArray(quint64 jobId)>& encode);
    Worker* workerOfJob(quint64 jobId) const;
    void onFrame(Worker& worker, const Frame& frame);
    void onWorkerFailed(Worker& worker, WorkerProcess::Failure failure);
    void fail(Worker& worker, JobFailure::Kind kind);
    void retire(Worker& worker);
    void prune();
    void postAvailable();
    void tellAvailable();
    bool openingExpired(const Worker& worker, qint64 time) const;
    qint64 now() const;

    Options m_options;
    QElapsedTimer m_monotonic;
    std::vector<std::unique_ptr<Worker>> m_workers;
    std::vector<WorkerClient*> m_clients;
    QTimer m_deadlineTimer;
    quint64 m_nextJobId = 1;
    quint64 m_nextFileId = 1;
    size_t m_nextToTell = 0; // clients are told of free workers in turn
    int m_delivering = 0;    // depth of calls into clients
    bool m_availablePosted = false;
};

} // namespace Tessavo::Inspection
