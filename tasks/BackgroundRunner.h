#pragma once

#include <QFuture>
#include <QPromise>
#include <QString>
#include <QThreadPool>

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

namespace Tessavo::Tasks {

// What a running task sees of itself: whether it should stop, and where to report progress.
class TaskControl {
public:
    TaskControl(std::function<bool()> cancelled, std::function<void(int)> progress)
        : m_cancelled(std::move(cancelled))
        , m_progress(std::move(progress))
    {}

    // True once the caller cancelled the task's future.
    bool isCancelled() const { return m_cancelled(); }
    // Progress in percent, clamped to 0..100; the future only reports increases.
    void setProgress(int percent) const
    {
        m_progress(percent < 0 ? 0 : percent > 100 ? 100 : percent);
    }

private:
    std::function<bool()> m_cancelled;
    std::function<void(int)> m_progress;
};

// How a task ended. A task that threw reports it here: nothing it throws leaves its thread.
template <typename T> struct TaskResult {
    bool ok = false; // the function returned a value
    T value{};
    QString error; // what the function threw, when it did
};

// Runs functions on one shared thread pool and hands back typed futures: QFutureWatcher reports
// progress and the end on the watcher's thread, QFuture::cancel() asks the task to stop. A task
// cancelled before a thread takes it never runs; its future then ends cancelled, with no result.
// A runner is a light handle: it counts its own tasks, so waitForDone() waits only for those.
class BackgroundRunner {
public:
    // The application's pool (QThreadPool::globalInstance()) unless a test gives its own.
    explicit BackgroundRunner(QThreadPool* pool = nullptr);
    // Cancels nothing and waits for nothing: the tasks hold what they need.
    ~BackgroundRunner() = default;
    BackgroundRunner(const BackgroundRunner&) = delete;
    BackgroundRunner& operator=(const BackgroundRunner&) = delete;

    template <typename Function>
    auto run(Function function)
        -> QFuture<TaskResult<std::invoke_result_t<Function, const TaskControl&>>>
    {
        using T = std::invoke_result_t<Function, const TaskControl&>;
        auto promise = std::make_shared<QPromise<TaskResult<T>>>();
        QFuture<TaskResult<T>> future = promise->future();
        promise->setProgressRange(0, 100);
        const std::shared_ptr<Tracker> tracker = m_tracker;
        tracker->begin();
        m_pool->start([promise, tracker, function = std::move(function)]() mutable {
            promise->start();
            if (!promise->isCanceled()) {
                const TaskControl control(
                    [&promise] { return promise->isCanceled(); },
                    [&promise](int percent) { promise->setProgressValue(percent); });
                TaskResult<T> result;
                try {
                    result.value = function(control);
                    result.ok = true;
                } catch (const std::exception& e) {
                    result.error = QString::fromLocal8Bit(e.what());
                } catch (...) {
                    result.error = QStringLiteral("unknown exception");
                }
                if (!promise->isCanceled())
                    promise->addResult(std::move(result));
            }
            promise->finish();
            tracker->end();
        });
        return future;
    }

    // Tasks of this runner not finished yet.
    int active() const;
    // Waits up to timeoutMs (-1: no limit) for every task of this runner; true when none is left.
    // Only for shutting down: it blocks the calling thread.
    bool waitForDone(int timeoutMs) const;

private:
    struct Tracker {
        std::mutex mutex;
        std::condition_variable idle;
        int running = 0;
        void begin();
        void end();
    };

    QThreadPool* m_pool;
    std::shared_ptr<Tracker> m_tracker = std::make_shared<Tracker>();
};

} // namespace Tessavo::Tasks
