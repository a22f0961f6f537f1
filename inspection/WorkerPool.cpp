#include "inspection/WorkerPool.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <limits>
#include <utility>

namespace Tessavo::Inspection {

namespace {

// Counts the calls into clients in progress: while one runs, no worker record is freed.
class Delivering {
public:
    explicit Delivering(int& depth)
        : m_depth(depth)
    {
        ++m_depth;
    }
    ~Delivering() { --m_depth; }
    Delivering(const Delivering&) = delete;
    Delivering& operator=(const Delivering&) = delete;

private:
    int& m_depth;
};

} // namespace

struct WorkerPool::Worker {
    enum class Stage { Idle, AwaitingAnswer, Opening, Reading };

    WorkerProcess* process = nullptr; // null once retired
    Stage stage = Stage::Idle;
    WorkerClient* client = nullptr;     // of the request in flight
    WorkerClient* lastClient = nullptr; // of the latest request
    quint64 jobId = 0;
    quint64 fileId = 0;     // of the request in flight
    quint64 openFileId = 0; // the file the worker has open
    bool recognise = false;
    bool render = false;
    int endPage = 0;     // one past the last page asked for
    int lastPage = -1;   // the last page answered
    int expectedEnd = 0; // one past the last page to come, once the file is loaded
    int pageTimeoutMs = 0;
    bool loaded = false;
    bool answeredOnce = false;
    bool loopFound = false; // the file being opened has a page tree that contains itself
    qint64 openCpuMs = -1;  // the worker's processor time when the opening (or loop) began
    qint64 since = 0;       // the pool's clock at the last sign of progress

    bool idle() const { return process && stage == Stage::Idle; }
};

WorkerPool::WorkerPool(QObject* parent)
    : WorkerPool(Options{}, parent)
{}

WorkerPool::WorkerPool(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    if (m_options.program.isEmpty())
        m_options.program = QCoreApplication::applicationFilePath();
    if (m_options.capacity <= 0)
        m_options.capacity = std::max(2, QThread::idealThreadCount());
    if (!m_options.cpuClock)
        m_options.cpuClock = processCpuTimeMs;
    m_monotonic.start();
    m_deadlineTimer.setInterval(std::max(1, m_options.checkIntervalMs));
    connect(&m_deadlineTimer, &QTimer::timeout, this, &WorkerPool::checkDeadlines);
}

WorkerPool::~WorkerPool()
{
    // Every worker gets its signal first; each is reaped as its object goes.
    for (const auto& worker : m_workers) {
        if (worker->process) {
            worker->process->disconnect(this);
            worker->process->kill();
        }
    }
}

WorkerPool* WorkerPool::shared()
{
    static QPointer<WorkerPool> pool;
    if (!pool)
        pool = new WorkerPool(QCoreApplication::instance());
    return pool;
}

int WorkerPool::running() const
{
    return int(std::count_if(m_workers.begin(), m_workers.end(),
                             [](const auto& worker) { return worker->process != nullptr; }));
}

void WorkerPool::attach(WorkerClient* client)
{
    if (std::find(m_clients.begin(), m_clients.end(), client) == m_clients.end())
        m_clients.push_back(client);
}

void WorkerPool::detach(WorkerClient* client)
{
    for (const auto& worker : m_workers) {
        if (!worker->process || (worker->client != client && worker->lastClient != client))
            continue;
        WorkerProcess* process = std::exchange(worker->process, nullptr);
        process->disconnect(this);
        process->kill();
        worker->stage = Worker::Stage::Idle;
        worker->client = nullptr;
        if (m_delivering > 0)
            process->deleteLater(); // one of its signals may still be on the way out
        else
            delete process; // reaps it now
    }
    std::erase(m_clients, client);
    for (auto& worker : m_workers) {
        if (worker->lastClient == client)
            worker->lastClient = nullptr;
    }
    prune();
    postAvailable();
}

quint64 WorkerPool::submit(WorkerClient* client, PageRequest request, int pageTimeoutMs)
{
    return start(client, request, false, pageTimeoutMs, [&request](quint64 jobId) {
        request.jobId = jobId;
        return encode(request);
    });
}

quint64 WorkerPool::submit(WorkerClient* client, RenderRequest request, int pageTimeoutMs)
{
    request.page.pageCount = 1;
    return start(client, request.page, true, pageTimeoutMs, [&request](quint64 jobId) {
        request.page.jobId = jobId;
        return encode(request);
    });
}

quint64 WorkerPool::start(WorkerClient* client, const PageRequest& request, bool render,
                          int pageTimeoutMs, const std::function<QByteArray(quint64)>& encode)
{
    Worker* worker = workerFor(request.fileId);
    if (!worker)
        return 0;
    worker->stage = Worker::Stage::AwaitingAnswer;
    worker->client = client;
    worker->lastClient = client;
    worker->jobId = m_nextJobId++;
    worker->fileId = request.fileId;
    worker->recognise = request.recognise();
    worker->render = render;
    worker->endPage = int(std::min<qint64>(qint64(request.firstPage) + request.pageCount,
                                           std::numeric_limits<qint32>::max()));
    worker->lastPage = request.firstPage - 1;
    worker->expectedEnd = 0;
    worker->pageTimeoutMs = pageTimeoutMs;
    worker->loaded = false;
    worker->loopFound = false;
    worker->since = now();
    worker->process->send(encode(worker->jobId));
    if (!m_deadlineTimer.isActive())
        m_deadlineTimer.start();
    return worker->jobId;
}

void WorkerPool::cancel(quint64 jobId)
{
    if (Worker* worker = workerOfJob(jobId)) {
        retire(*worker);
        postAvailable();
    }
}

QList<qint64> WorkerPool::processIds(const WorkerClient* client, bool busyOnly) const
{
    QList<qint64> ids;
    for (const auto& worker : m_workers) {
        if (!worker->process)
            continue;
        const bool busy = worker->stage != Worker::Stage::Idle && worker->client == client;
        const bool lastUsed = worker->stage == Worker::Stage::Idle && worker->lastClient == client;
        if (busy || (!busyOnly && lastUsed))
            ids << worker->process->processId();
    }
    return ids;
}

void WorkerPool::checkDeadlines()
{
    prune();
    const qint64 time = now();
    bool busy = false;
    std::vector<Worker*> workers;
    for (const auto& worker : m_workers)
        workers.push_back(worker.get());
    // Records stay while this runs: clients submit (and so may add workers), but nothing is pruned.
    for (Worker* worker : workers) {
        if (!worker->process || worker->stage == Worker::Stage::Idle)
            continue;
        busy = true;
        switch (worker->stage) {
        case Worker::Stage::AwaitingAnswer:
            if (time - worker->since > m_options.startTimeoutMs)
                fail(*worker, worker->answeredOnce ? JobFailure::Kind::Stopped
                                                   : JobFailure::Kind::NotStarted);
            break;
        case Worker::Stage::Opening:
            if (openingExpired(*worker, time))
                fail(*worker, worker->loopFound ? JobFailure::Kind::LoopTimedOut
                                                : JobFailure::Kind::OpenTimedOut);
            break;
        case Worker::Stage::Reading:
            if (time - worker->since > worker->pageTimeoutMs)
                fail(*worker, JobFailure::Kind::PageTimedOut);
            break;
        case Worker::Stage::Idle:
            break;
        }
    }
    if (!busy)
        m_deadlineTimer.stop();
}

// An idle worker, preferably one that has the file open already; a new one while there is room.
WorkerPool::Worker* WorkerPool::workerFor(quint64 fileId)
{
    if (m_delivering == 0)
        prune();
    Worker* idle = nullptr;
    for (const auto& worker : m_workers) {
        if (!worker->idle())
            continue;
        if (worker->openFileId == fileId)
            return worker.get();
        if (!idle)
            idle = worker.get();
    }
    if (idle || running() >= m_options.capacity)
        return idle;
    auto worker = std::make_unique<Worker>();
    Worker* raw = worker.get();
    raw->process = m_options.startWorker ? m_options.startWorker(this)
                                         : new WorkerProcess(m_options.program, this);
    connect(raw->process, &WorkerProcess::frameReceived, this,
            [this, raw](const Frame& frame) { onFrame(*raw, frame); });
    connect(raw->process, &WorkerProcess::failed, this,
            [this, raw](WorkerProcess::Failure failure) { onWorkerFailed(*raw, failure); });
    raw->process->start();
    m_workers.push_back(std::move(worker));
    return raw;
}

WorkerPool::Worker* WorkerPool::workerOfJob(quint64 jobId) const
{
    for (const auto& worker : m_workers) {
        if (worker->process && worker->stage != Worker::Stage::Idle && worker->jobId == jobId)
            return worker.get();
    }
    return nullptr;
}

void WorkerPool::onFrame(Worker& worker, const Frame& frame)
{
    if (frame.type == MessageType::Log) {
        if (const auto message = decodeLog(frame.body))
            logWorkerMessage(message->level, message->text);
        return;
    }
    const bool busy = worker.stage != Worker::Stage::Idle;
    WorkerClient* client = worker.client;
    const quint64 job = worker.jobId;
    switch (frame.type) {
    case MessageType::Loading:
        if (busy && decodeJobId(frame.body) == job &&
            worker.stage == Worker::Stage::AwaitingAnswer) {
            worker.stage = Worker::Stage::Opening;
            worker.answeredOnce = true;
            worker.openFileId = 0;
            worker.loopFound = false;
            worker.openCpuMs = m_options.cpuClock(worker.process->processId());
            worker.since = now();
            return;
        }
        break;
    case MessageType::LoopFound:
        if (busy && decodeJobId(frame.body) == job && worker.stage == Worker::Stage::Opening &&
            !worker.loopFound) {
            // The engine's own limit starts now.
            worker.loopFound = true;
            worker.openCpuMs = m_options.cpuClock(worker.process->processId());
            return;
        }
        break;
    case MessageType::Loaded:
        if (const auto loaded = decodeLoaded(frame.body);
            busy && loaded && loaded->jobId == job && !worker.loaded) {
            worker.stage = Worker::Stage::Reading;
            worker.loaded = true;
            worker.answeredOnce = true;
            worker.openFileId = worker.fileId;
            worker.expectedEnd = loaded->errorText.isEmpty()
                                     ? std::min(worker.endPage, int(loaded->pages))
                                     : worker.lastPage + 1;
            worker.since = now();
            const Delivering delivering(m_delivering);
            if (client)
                client->jobLoaded(job, *loaded);
            return;
        }
        break;
    case MessageType::Page:
    case MessageType::Recognised:
    case MessageType::Rendered: {
        std::optional<PageAnswer> answer;
        if (worker.render) {
            if (frame.type == MessageType::Rendered) {
                if (auto page = decodeRendered(frame.body); page && page->jobId == job)
                    answer = PageAnswer{page->pageIndex,
                                        {},
                                        std::move(page->errorText),
                                        std::move(page->image),
                                        std::move(page->highlights)};
            }
        } else if (frame.type == MessageType::Page && !worker.recognise) {
            if (auto page = decodePage(frame.body); page && page->jobId == job)
                answer = PageAnswer{page->pageIndex, std::move(page->text), {}, {}, {}};
        } else if (frame.type == MessageType::Recognised && worker.recognise) {
            if (auto page = decodeRecognised(frame.body); page && page->jobId == job)
                answer = PageAnswer{
                    page->pageIndex, std::move(page->text), std::move(page->errorText), {}, {}};
        }
        if (busy && answer && worker.loaded && answer->pageIndex == worker.lastPage + 1 &&
            answer->pageIndex < worker.expectedEnd) {
            worker.lastPage = answer->pageIndex;
            worker.since = now();
            const Delivering delivering(m_delivering);
            if (client)
                client->jobPage(job, *answer);
            return;
        }
        break;
    }
    case MessageType::Done:
        if (busy && decodeJobId(frame.body) == job && worker.loaded) {
            if (worker.lastPage + 1 < worker.expectedEnd)
                break; // it skipped pages it was asked for
            worker.stage = Worker::Stage::Idle;
            worker.client = nullptr;
            worker.jobId = 0;
            postAvailable();
            const Delivering delivering(m_delivering);
            if (client)
                client->jobDone(job);
            return;
        }
        break;
    default:
        break;
    }
    // Anything out of turn means the worker cannot be trusted with its request.
    fail(worker, JobFailure::Kind::Stopped);
}

void WorkerPool::onWorkerFailed(Worker& worker, WorkerProcess::Failure failure)
{
    // A worker that ends before it ever answered did not really start.
    const bool notStarted = failure == WorkerProcess::Failure::NotStarted ||
                            (failure == WorkerProcess::Failure::Stopped && !worker.answeredOnce);
    fail(worker, notStarted ? JobFailure::Kind::NotStarted : JobFailure::Kind::Stopped);
}

void WorkerPool::fail(Worker& worker, JobFailure::Kind kind)
{
    const bool busy = worker.stage != Worker::Stage::Idle;
    WorkerClient* client = worker.client;
    const quint64 job = worker.jobId;
    const JobFailure failure{kind, !worker.loaded, worker.lastPage + 1};
    retire(worker);
    postAvailable();
    if (!busy || !client)
        return;
    const Delivering delivering(m_delivering);
    client->jobFailed(job, failure);
}

// Kills the worker without a further signal and lets its object go once control returns to the
// event loop (a worker may be retired from inside its own signal).
void WorkerPool::retire(Worker& worker)
{
    if (!worker.process)
        return;
    WorkerProcess* process = std::exchange(worker.process, nullptr);
    process->disconnect(this);
    process->kill();
    process->deleteLater();
    worker.stage = Worker::Stage::Idle;
    worker.client = nullptr;
    worker.jobId = 0;
}

void WorkerPool::prune()
{
    if (m_delivering > 0)
        return;
    std::erase_if(m_workers,
                  [](const std::unique_ptr<Worker>& worker) { return !worker->process; });
}

void WorkerPool::postAvailable()
{
    if (m_availablePosted)
        return;
    m_availablePosted = true;
    QMetaObject::invokeMethod(this, &WorkerPool::tellAvailable, Qt::QueuedConnection);
}

// Every client may take a free worker; the one told first changes each time, so that an import
// and a recognition both move on while they share the pool.
void WorkerPool::tellAvailable()
{
    m_availablePosted = false;
    prune();
    const std::vector<WorkerClient*> clients = m_clients;
    if (clients.empty())
        return;
    const size_t first = m_nextToTell % clients.size();
    m_nextToTell = first + 1;
    for (size_t i = 0; i < clients.size(); ++i) {
        WorkerClient* client = clients[(first + i) % clients.size()];
        if (std::find(m_clients.begin(), m_clients.end(), client) == m_clients.end())
            continue; // detached meanwhile
        const Delivering delivering(m_delivering);
        client->workersAvailable();
    }
}

// Counted in the processor time the worker was given since the opening began, or in real time when
// its accounting cannot be read; whatever the processor time, real time is a safety net.
bool WorkerPool::openingExpired(const Worker& worker, qint64 time) const
{
    const int limit = worker.loopFound ? m_options.loopOpenTimeoutMs : m_options.openTimeoutMs;
    if (time - worker.since > m_options.openWallTimeoutMs)
        return true;
    const qint64 cpuNow =
        worker.openCpuMs >= 0 ? m_options.cpuClock(worker.process->processId()) : -1;
    if (cpuNow < 0)
        return time - worker.since > limit;
    return cpuNow - worker.openCpuMs > limit;
}

qint64 WorkerPool::now() const
{
    return m_options.clock ? m_options.clock() : m_monotonic.elapsed();
}

} // namespace Tessavo::Inspection
