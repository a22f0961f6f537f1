#pragma once

#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <limits>
#include <memory>

namespace Morvane {

struct TaskState;
class TaskContext;

// Runs functions on a pool of its own with a bounded waiting queue, a time-out per task and
// cooperative cancellation. Every signal is emitted on the thread that owns the service, from a
// 20 ms timer that polls the tasks' shared state.
class TaskService : public QObject {
    Q_OBJECT

public:
    enum class Outcome { Succeeded = 0, Failed = 1, Cancelled = 2, TimedOut = 3 };
    Q_ENUM(Outcome)

    struct Options {
        int maxConcurrent = 2; // 1 to 64; also the pool's thread count
        int maxQueued = 32;    // 0 to 65536 tasks waiting for a thread
    };

    using TaskFunction = std::function<QVariant(const TaskContext&)>;

    explicit TaskService(QObject* parent = nullptr);
    TaskService(const Options& options, QObject* parent = nullptr);
    ~TaskService() override;

    // Accepts a task and returns its id, or 0 when it is refused; errorString() then says why.
    // timeoutMs counts from now and includes the time spent waiting; -1 means none. The function
    // is consumed either way.
    [[nodiscard]] quint64 submit(TaskFunction function, int timeoutMs = -1);

    // Like submit, except that the time-out counts from the task's last progress report (from
    // now until the first one): a task that keeps reporting progress is never cut off.
    [[nodiscard]] quint64 submitWithIdleTimeout(TaskFunction function, int idleTimeoutMs);

    // Why the last submission was refused; empty when it was accepted.
    QString errorString() const;

    // Asks one task to stop. False when the id names no unfinished task or the caller is on
    // another thread.
    bool cancel(quint64 id);

    // Stops dispatching, asks every task to stop and waits up to timeoutMs (-1: no limit) for the
    // pool; reports every task that ended before returning. True when the pool became idle.
    bool shutdown(int timeoutMs);

signals:
    void started(qulonglong id);
    void progress(qulonglong id, int percent);
    void cancellationRequested(qulonglong id, Morvane::TaskService::Outcome reason);
    void finished(qulonglong id, Morvane::TaskService::Outcome outcome, QVariant result,
                  QString error);

private:
    struct Private;
    quint64 accept(TaskFunction function, int timeoutMs, bool renewOnProgress);
    void dispatch();
    void tick();

    std::unique_ptr<Private> d;
};

// State shared by the service, the running task and its context; guarded by its own mutex.
struct TaskState {
    QMutex mutex;
    qint64 deadlineNs = std::numeric_limits<qint64>::max();
    qint64 renewNs = 0; // when above 0, every progress report moves the deadline this far ahead
    bool cancelRequested = false;
    bool isFinished = false;
    bool isStarted = false;
    TaskService::Outcome reason = TaskService::Outcome::Cancelled;
    TaskService::Outcome outcome = TaskService::Outcome::Succeeded;
    int progressPercent = -1;
    QVariant result;
    QString error;

    // With the mutex held: marks a task whose deadline has passed as timed out.
    void checkDeadline();
};

// What a running task can see of its own state.
class TaskContext {
public:
    explicit TaskContext(std::shared_ptr<TaskState> state);

    // True once the task timed out, was cancelled or the service is shutting down.
    bool isCancellationRequested() const;

    // Reports progress in percent, clamped to 0..100. For a task with an idle time-out it also
    // restarts the time-out, even when the percentage is unchanged.
    void setProgress(int percent) const;

private:
    std::shared_ptr<TaskState> m_state;
};

} // namespace Morvane
