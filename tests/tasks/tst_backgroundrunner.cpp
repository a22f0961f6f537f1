#include "tasks/BackgroundRunner.h"

#include <QFutureWatcher>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>
#include <stdexcept>

using namespace Tessavo::Tasks;

class TestBackgroundRunner : public QObject {
    Q_OBJECT

private slots:
    void resultArrivesOnTheWatchersThread();
    void exceptionsNeverLeaveTheTask();
    void cancellingStopsARunningTask();
    void aTaskCancelledBeforeItsTurnNeverRuns();
    void progressIsReportedAsItRises();
    void manyTasksEachFinishOnce();
    void waitForDoneCountsOnlyItsOwnTasks();
};

void TestBackgroundRunner::resultArrivesOnTheWatchersThread()
{
    BackgroundRunner runner;
    QThread* taskThread = nullptr;
    QFutureWatcher<TaskResult<int>> watcher;
    QThread* reportedOn = nullptr;
    connect(&watcher, &QFutureWatcherBase::finished, this,
            [&] { reportedOn = QThread::currentThread(); });
    QSignalSpy finished(&watcher, &QFutureWatcherBase::finished);
    watcher.setFuture(runner.run([&taskThread](const TaskControl&) {
        taskThread = QThread::currentThread();
        return 42;
    }));
    QVERIFY(finished.wait(5000));
    const TaskResult<int> result = watcher.future().result();
    QVERIFY(result.ok);
    QCOMPARE(result.value, 42);
    QVERIFY(result.error.isEmpty());
    QVERIFY(taskThread != QThread::currentThread());
    QCOMPARE(reportedOn, QThread::currentThread());
    QVERIFY(runner.waitForDone(5000));
    QCOMPARE(runner.active(), 0);
}

void TestBackgroundRunner::exceptionsNeverLeaveTheTask()
{
    BackgroundRunner runner;
    QFuture<TaskResult<int>> thrown =
        runner.run([](const TaskControl&) -> int { throw std::runtime_error("disk on fire"); });
    QFuture<TaskResult<QString>> odd = runner.run([](const TaskControl&) -> QString { throw 7; });
    QVERIFY(runner.waitForDone(5000));
    QCOMPARE(thrown.resultCount(), 1);
    QVERIFY(!thrown.result().ok);
    QCOMPARE(thrown.result().error, QStringLiteral("disk on fire"));
    QVERIFY(!odd.result().ok);
    QCOMPARE(odd.result().error, QStringLiteral("unknown exception"));
    QVERIFY(!thrown.isCanceled());
}

void TestBackgroundRunner::cancellingStopsARunningTask()
{
    BackgroundRunner runner;
    std::atomic<bool> started = false;
    std::atomic<bool> sawCancel = false;
    QFuture<TaskResult<int>> future = runner.run([&](const TaskControl& control) {
        started = true;
        while (!control.isCancelled())
            QThread::yieldCurrentThread();
        sawCancel = true;
        return 1;
    });
    QTRY_VERIFY(started.load());
    QVERIFY(!future.isFinished());
    future.cancel();
    QVERIFY(runner.waitForDone(5000));
    QVERIFY(sawCancel.load());
    QVERIFY(future.isFinished());
    QVERIFY(future.isCanceled());
    QCOMPARE(future.resultCount(), 0); // a cancelled task hands back nothing
}

void TestBackgroundRunner::aTaskCancelledBeforeItsTurnNeverRuns()
{
    QThreadPool pool;
    pool.setMaxThreadCount(1);
    BackgroundRunner runner(&pool);
    QSemaphore release;
    std::atomic<bool> secondRan = false;
    QFuture<TaskResult<int>> first = runner.run([&release](const TaskControl&) {
        release.acquire();
        return 1;
    });
    QFuture<TaskResult<int>> second = runner.run([&secondRan](const TaskControl&) {
        secondRan = true;
        return 2;
    });
    QCOMPARE(runner.active(), 2);
    second.cancel();
    release.release();
    QVERIFY(runner.waitForDone(5000));
    QVERIFY(!secondRan.load());
    QVERIFY(second.isCanceled());
    QCOMPARE(first.result().value, 1);
}

void TestBackgroundRunner::progressIsReportedAsItRises()
{
    BackgroundRunner runner;
    QSemaphore step;
    QFutureWatcher<TaskResult<int>> watcher;
    QList<int> seen;
    connect(&watcher, &QFutureWatcherBase::progressValueChanged, this,
            [&seen](int value) { seen.append(value); });
    QSignalSpy finished(&watcher, &QFutureWatcherBase::finished);
    watcher.setFuture(runner.run([&step](const TaskControl& control) {
        for (int percent : {-5, 10, 10, 60, 40, 250}) {
            step.acquire();
            control.setProgress(percent);
        }
        return 0;
    }));
    for (int expected : {0, 10, 10, 60, 60, 100}) {
        step.release();
        QTRY_COMPARE(watcher.progressValue(), expected);
    }
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY(!seen.isEmpty());
    QCOMPARE(seen.constLast(), 100);
    QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    QCOMPARE(watcher.progressMaximum(), 100);
}

void TestBackgroundRunner::manyTasksEachFinishOnce()
{
    QThreadPool pool;
    pool.setMaxThreadCount(4);
    BackgroundRunner runner(&pool);
    constexpr int count = 3000;
    std::atomic<int> runs = 0;
    QList<QFuture<TaskResult<int>>> futures;
    for (int i = 0; i < count; ++i) {
        futures.append(runner.run([i, &runs](const TaskControl&) {
            ++runs;
            if (i % 7 == 0)
                throw std::runtime_error("every seventh fails");
            return i;
        }));
        if (i % 5 == 0)
            futures.last().cancel(); // some before they start, some while they run
    }
    QVERIFY(runner.waitForDone(60000));
    QCOMPARE(runner.active(), 0);
    int succeeded = 0, failed = 0, cancelled = 0;
    for (int i = 0; i < count; ++i) {
        const QFuture<TaskResult<int>>& future = futures.at(i);
        QVERIFY(future.isFinished());
        if (future.isCanceled()) {
            QCOMPARE(i % 5, 0); // only those asked to stop
            ++cancelled;
            continue;
        }
        QCOMPARE(future.resultCount(), 1);
        const TaskResult<int> result = future.result();
        if (result.ok) {
            QCOMPARE(result.value, i);
            ++succeeded;
        } else {
            QCOMPARE(result.error, QStringLiteral("every seventh fails"));
            ++failed;
        }
    }
    QCOMPARE(succeeded + failed + cancelled, count);
    QVERIFY(cancelled > 0 && cancelled <= count / 5);
    QVERIFY(runs.load() <= count);
    QVERIFY(runs.load() >= succeeded + failed);
}

void TestBackgroundRunner::waitForDoneCountsOnlyItsOwnTasks()
{
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    BackgroundRunner busy(&pool);
    BackgroundRunner idle(&pool);
    QSemaphore release;
    QFuture<TaskResult<int>> blocked = busy.run([&release](const TaskControl&) {
        release.acquire();
        return 3;
    });
    QFuture<TaskResult<int>> quick = idle.run([](const TaskControl&) { return 4; });
    QVERIFY(idle.waitForDone(5000));
    QCOMPARE(quick.result().value, 4);
    QVERIFY(!busy.waitForDone(0));
    QCOMPARE(busy.active(), 1);
    release.release();
    QVERIFY(busy.waitForDone(-1));
    QCOMPARE(blocked.result().value, 3);
}

QTEST_GUILESS_MAIN(TestBackgroundRunner)
#include "tst_backgroundrunner.moc"
