#include "tasks/TaskService.h"

#include <QAbstractEventDispatcher>
#include <QMutexLocker>
#include <QPointer>
#include <QRunnable>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <chrono>
#include <deque>
#include <exception>
#include <map>

namespace Morvane {

namespace {

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool hasEventDispatcher(const QThread* thread)
{
    return QAbstractEventDispatcher::instance(const_cast<QThread*>(thread)) != nullptr;
}

// Runs one task on a pool thread; deletes itself when done.
class TaskRunnable : public QRunnable {
public:
    TaskRunnable(std::shared_ptr<TaskState> state, TaskService::TaskFunction function)
        : m_state(std::move(state))
        , m_function(std::move(function))
    {
        setAutoDelete(true);
    }

    void run() override
    {
        {
            QMutexLocker lock(&m_state->mutex);
            m_state->checkDeadline();
            if (m_state->cancelRequested) {
                m_state->isFinished = true;
                m_state->outcome = m_state->reason;
                return;
            }
            m_state->isStarted = true;
        }

        auto outcome = TaskService::Outcome::Succeeded;
        QVariant result;
        QString error;
        try {
            result = m_function(TaskContext(m_state));
        } catch (const std::exception& e) {
            outcome = TaskService::Outcome::Failed;
            error = QString::fromUtf8(QByteArray(e.what()).left(4096));
        } catch (...) {
            outcome = TaskService::Outcome::Failed;
            error = QStringLiteral("Unknown task exception");
        }
        m_function = nullptr; // release what the task owned before reporting

        QMutexLocker lock(&m_state->mutex);
        m_state->checkDeadline();
        if (m_state->cancelRequested) {
            m_state->outcome = m_state->reason;
        } else {
            m_state->outcome = outcome;
            m_state->result = std::move(result);
            m_state->error = std::move(error);
        }
        m_state->isFinished = true;
    }

private:
    std::shared_ptr<TaskState> m_state;
    TaskService::TaskFunction m_function;
};

struct TaskEntry {
    std::shared_ptr<TaskState> state;
    TaskService::TaskFunction function;
    bool dispatched = false;
    bool startedReported = false;
    bool cancelReported = false;
    int lastProgress = -1;
};

// What one tick reports about one task.
struct TaskEvent {
    quint64 id = 0;
    bool started = false;
    bool cancelled = false;
    TaskService::Outcome reason = TaskService::Outcome::Cancelled;
    int progress = -1;
    bool finished = false;
    TaskService::Outcome outcome = TaskService::Outcome::Succeeded;
    QVariant result;
    QString error;
};

const QString errorWrongThread = QStringLiteral("TaskService must be called in its QObject thread");
const QString errorUnusable =
    QStringLiteral("TaskService requires a live event dispatcher and valid options");
const QString errorInvalidTask = QStringLiteral("Invalid task function or timeout");
const QString errorIdsExhausted = QStringLiteral("Task id space exhausted");
const QString errorQueueFull = QStringLiteral("Task waiting queue is full");

} // namespace

void TaskState::checkDeadline()
{
    if (!isFinished && !cancelRequested && nowNs() >= deadlineNs) {
        cancelRequested = true;
        reason = TaskService::Outcome::TimedOut;
    }
}

TaskContext::TaskContext(std::shared_ptr<TaskState> state)
    : m_state(std::move(state))
{}

bool TaskContext::isCancellationRequested() const
{
    QMutexLocker lock(&m_state->mutex);
    m_state->checkDeadline();
    return m_state->cancelRequested;
}

void TaskContext::setProgress(int percent) const
{
    QMutexLocker lock(&m_state->mutex);
    m_state->progressPercent = std::clamp(percent, 0, 100);
    // A deadline that has already passed stays passed: a late report does not revive the task.
    m_state->checkDeadline();
    if (m_state->renewNs > 0 && !m_state->cancelRequested)
        m_state->deadlineNs = nowNs() + m_state->renewNs;
}

struct TaskService::Private {
    Options options;
    QThreadPool pool;
    QTimer* timer = nullptr;
    std::map<quint64, TaskEntry> tasks;
    std::deque<quint64> waiting;
    quint64 nextId = 1;
    int runningCount = 0;
    bool valid = false;
    bool stopping = false;
    QString error; // why the last submission was refused
};

TaskService::TaskService(QObject* parent)
    : TaskService(Options(), parent)
{}

TaskService::TaskService(const Options& options, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    qRegisterMetaType<Morvane::TaskService::Outcome>("Morvane::TaskService::Outcome");
    d->options = options;
    d->valid = options.maxConcurrent >= 1 && options.maxConcurrent <= 64 &&
               unsigned(options.maxQueued) <= 65536u && hasEventDispatcher(thread());
    if (d->valid)
        d->pool.setMaxThreadCount(options.maxConcurrent);
    d->timer = new QTimer(this);
    d->timer->setInterval(20);
    connect(d->timer, &QTimer::timeout, this, &TaskService::tick);
}

TaskService::~TaskService()
{
    d->timer->stop();
    for (auto& [id, entry] : d->tasks) {
        QMutexLocker lock(&entry.state->mutex);
        if (!entry.state->isFinished)
            entry.state->cancelRequested = true;
    }
    d->pool.waitForDone();
}

quint64 TaskService::submit(TaskFunction function, int timeoutMs)
{
    return accept(std::move(function), timeoutMs, false);
}

quint64 TaskService::submitWithIdleTimeout(TaskFunction function, int idleTimeoutMs)
{
    return accept(std::move(function), idleTimeoutMs, true);
}

QString TaskService::errorString() const
{
    // A submission from another thread is always refused, and the bookkeeping of the owning
    // thread is not for other threads to read.
    if (QThread::currentThread() != thread())
        return errorWrongThread;
    return d->error;
}

quint64 TaskService::accept(TaskFunction function, int timeoutMs, bool renewOnProgress)
{
    // Only the owning thread may touch the service's bookkeeping, its last error included.
    if (QThread::currentThread() != thread())
        return 0;
    d->error.clear();
    auto refuse = [this](const QString& message) -> quint64 {
        d->error = message;
        return 0;
    };
    // The function is a by-value parameter: it is destroyed on return whatever happens.
    if (!d->valid || !hasEventDispatcher(thread()) || d->stopping)
        return refuse(errorUnusable);
    if (!function || timeoutMs < -1)
        return refuse(errorInvalidTask);
    if (d->nextId == 0)
        return refuse(errorIdsExhausted);
    const qsizetype capacity = qsizetype(d->options.maxConcurrent) + d->options.maxQueued;
    const bool allBusy = d->runningCount >= d->options.maxConcurrent &&
                         qsizetype(d->waiting.size()) >= d->options.maxQueued;
    if (qsizetype(d->tasks.size()) >= capacity || allBusy)
        return refuse(errorQueueFull);

    const quint64 id = d->nextId++;
    auto state = std::make_shared<TaskState>();
    if (timeoutMs >= 0) {
        state->deadlineNs = nowNs() + qint64(timeoutMs) * 1000000;
        if (renewOnProgress)
            state->renewNs = qint64(timeoutMs) * 1000000;
    }
    d->tasks.emplace(id, TaskEntry{std::move(state), std::move(function)});
    d->waiting.push_back(id);
    dispatch();
    d->timer->start();
    return id;
}

bool TaskService::cancel(quint64 id)
{
    if (QThread::currentThread() != thread())
        return false;
    const auto it = d->tasks.find(id);
    if (it == d->tasks.end())
        return false;
    TaskState& state = *it->second.state;
    QMutexLocker lock(&state.mutex);
    if (state.isFinished)
        return false;
    state.checkDeadline();
    if (!state.cancelRequested) {
        state.cancelRequested = true;
        state.reason = Outcome::Cancelled;
    }
    return true;
}

void TaskService::dispatch()
{
    while (!d->stopping && d->runningCount < d->options.maxConcurrent && !d->waiting.empty()) {
        const quint64 id = d->waiting.front();
        d->waiting.pop_front();
        TaskEntry& entry = d->tasks.at(id);
        {
            QMutexLocker lock(&entry.state->mutex);
            entry.state->checkDeadline();
            if (entry.state->cancelRequested) {
                entry.state->isFinished = true;
                entry.state->outcome = entry.state->reason;
                continue;
            }
        }
        entry.dispatched = true;
        ++d->runningCount;
        d->pool.start(new TaskRunnable(entry.state, std::move(entry.function)), 0);
        entry.function = nullptr;
    }
}

void TaskService::tick()
{
    QList<TaskEvent> events;
    for (auto it = d->tasks.begin(); it != d->tasks.end();) {
        TaskEntry& entry = it->second;
        TaskEvent event;
        event.id = it->first;
        {
            TaskState& state = *entry.state;
            QMutexLocker lock(&state.mutex);
            state.checkDeadline();
            if (!entry.dispatched && state.cancelRequested) {
                state.isFinished = true;
                state.outcome = state.reason;
            }
            event.started = state.isStarted && !entry.startedReported;
            entry.startedReported = entry.startedReported || state.isStarted;
            event.cancelled = state.cancelRequested && !entry.cancelReported;
            entry.cancelReported = entry.cancelReported || state.cancelRequested;
            event.reason = state.reason;
            if (state.progressPercent != entry.lastProgress) {
                event.progress = state.progressPercent;
                entry.lastProgress = state.progressPercent;
            }
            event.finished = state.isFinished;
            if (state.isFinished) {
                event.outcome = state.outcome;
                event.result = state.result;
                event.error = state.error;
            }
        }
        const bool report =
            event.started || event.cancelled || event.finished || event.progress >= 0;
        if (event.finished) {
            if (entry.dispatched)
                --d->runningCount;
            it = d->tasks.erase(it);
        } else {
            ++it;
        }
        if (report)
            events.append(std::move(event));
    }

    std::erase_if(d->waiting, [this](quint64 id) { return !d->tasks.contains(id); });
    dispatch();
    if (d->tasks.empty())
        d->timer->stop();

    // Every signal may run a slot that destroys this service.
    const QPointer<TaskService> alive(this);
    for (const TaskEvent& e : std::as_const(events)) {
        if (e.started) {
            if (!alive)
                return;
            emit started(e.id);
        }
        if (e.cancelled) {
            if (!alive)
                return;
            emit cancellationRequested(e.id, e.reason);
        }
        if (e.progress >= 0) {
            if (!alive)
                return;
            emit progress(e.id, e.progress);
        }
        if (e.finished) {
            if (!alive)
                return;
            emit finished(e.id, e.outcome, e.result, e.error);
        }
    }
}

bool TaskService::shutdown(int timeoutMs)
{
    if (QThread::currentThread() != thread() || timeoutMs < -1)
        return false;
    d->stopping = true;
    for (auto& [id, entry] : d->tasks) {
        QMutexLocker lock(&entry.state->mutex);
        if (entry.state->isFinished)
            continue;
        entry.state->checkDeadline();
        if (!entry.state->cancelRequested) {
            entry.state->cancelRequested = true;
            entry.state->reason = Outcome::Cancelled;
        }
    }
    const bool idle = d->pool.waitForDone(timeoutMs);
    tick();
    return idle;
}

} // namespace Morvane
