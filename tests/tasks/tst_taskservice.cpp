#include "TaskRecorder.h"

#include <QRunnable>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <array>
#include <atomic>
#include <stdexcept>
#include <thread>

using Morvane::TaskContext;
using Morvane::TaskService;
using Outcome = TaskService::Outcome;
using Kind = TaskEventRecord::Kind;

namespace {

constexpr int generous = 20000; // ms; bounds for waits on a loaded machine

const QString unusable =
    QStringLiteral("TaskService requires a live event dispatcher and valid options");

// Blocks the calling thread, without processing events, until the flag is set.
void spinUntil(const std::atomic<bool>& flag)
{
    QDeadlineTimer deadline(generous);
    while (!flag.load() && !deadline.hasExpired())
        QThread::msleep(1);
}

TaskService::TaskFunction waitFor(const std::atomic<bool>& gate, QVariant value = {})
{
    return [&gate, value](const TaskContext&) {
        spinUntil(gate);
        return value;
    };
}

// A task that runs until it is asked to stop, setting running once it has started.
TaskService::TaskFunction untilCancelled(std::atomic<bool>& running)
{
    return [&running](const TaskContext& context) {
        running = true;
        QDeadlineTimer deadline(generous);
        while (!context.isCancellationRequested() && !deadline.hasExpired())
            QThread::msleep(1);
        return QVariant(1);
    };
}

} // namespace

class TestTaskService : public QObject {
    Q_OBJECT

private slots:
    void zeroTimeoutNeverRuns();
    void timeoutArguments();
    void lateResultIsDropped();
    void quickTaskStartsAndFinishesInOneTick();
    void capacityCountsUnreapedTasks();
    void invalidOptionsRefuseEverySubmit_data();
    void invalidOptionsRefuseEverySubmit();
    void threadWithoutEventDispatcher();
    void submitFromAPoolThread();
    void shutdownCancelsQueuedTasksWithoutStarting();
    void slotMayDestroyTheService();
    void tasksAreReportedInIdOrder();
    void exceptionsBecomeFailures();
    void cancellingOneTask();
    void progressIsReportedWhenItChanges();
    void idleTimeoutCountsFromTheLastProgress();
    void outcomeIsARegisteredMetaType();
};

void TestTaskService::zeroTimeoutNeverRuns()
{
    TaskService service;
    TaskRecorder recorder(&service);
    std::atomic<bool> ran = false;
    QCOMPARE(service.submit(TaskService::TaskFunction()), 0u);
    QVERIFY(!service.errorString().isEmpty());
    const quint64 id = service.submit(
        [&ran](const TaskContext&) {
            ran = true;
            return QVariant(1);
        },
        0);
    QVERIFY(id != 0);
    QVERIFY(service.errorString().isEmpty()); // an accepted task clears the last refusal
    QTRY_VERIFY_WITH_TIMEOUT(recorder.isFinished(id), generous);
    const QList<TaskEventRecord> events = recorder.of(id);
    QCOMPARE(events.size(), 2);
    QCOMPARE(events[0].kind, Kind::Cancellation);
    QCOMPARE(events[0].outcome, Outcome::TimedOut);
    QCOMPARE(events[1].outcome, Outcome::TimedOut);
    QVERIFY(!events[1].result.isValid());
    QVERIFY(events[1].error.isEmpty());
    QVERIFY(!ran);
}

void TestTaskService::timeoutArguments()
{
    TaskService service;
    TaskRecorder recorder(&service);
    const quint64 id = service.submit([](const TaskContext&) { return QVariant(7); }, -1);
    QVERIFY(id != 0);
    QTRY_VERIFY_WITH_TIMEOUT(recorder.isFinished(id), generous);
    QCOMPARE(recorder.of(id).constLast().outcome, Outcome::Succeeded);
    QCOMPARE(recorder.of(id).constLast().result, QVariant(7));

    QCOMPARE(service.submit([](const TaskContext&) { return QVariant(); }, -2), 0u);
    QCOMPARE(service.errorString(), QStringLiteral("Invalid task function or timeout"));
    QCOMPARE(service.submit(TaskService::TaskFunction(), 100), 0u);
    QCOMPARE(service.errorString(), QStringLiteral("Invalid task function or timeout"));
}

void TestTaskService::lateResultIsDropped()
{
    TaskService service;
    TaskRecorder recorder(&service);
    const quint64 id = service.submit(
        [](const TaskContext&) {
            QThread::msleep(150);
            return QVariant(42);
        },
        30);
    QTRY_VERIFY_WITH_TIMEOUT(recorder.isFinished(id), generous);
    const TaskEventRecord last = recorder.of(id).constLast();
    QCOMPARE(last.outcome, Outcome::TimedOut);
    QVERIFY(!last.result.isValid());
    QVERIFY(last.error.isEmpty());
    QCOMPARE(recorder.of(id).constFirst().kind, Kind::Started);
}

void TestTaskService::quickTaskStartsAndFinishesInOneTick()
{
    TaskService service;
    TaskRecorder recorder(&service);
    std::atomic<bool> done = false;
    const quint64 id = service.submit([&done](const TaskContext&) {
        done = true;
        return QVariant(QStringLiteral("x"));
    });
    spinUntil(done);
    QThread::msleep(20); // no events processed: the first tick sees the task already finished
    QTRY_VERIFY_WITH_TIMEOUT(recorder.isFinished(id), generous);
    const QList<TaskEventRecord> events = recorder.of(id);
    QCOMPARE(events.size(), 2);
    QCOMPARE(events[0].kind, Kind::Started);
    QCOMPARE(events[1].kind, Kind::Finished);
    QCOMPARE(recorder.events.size(), 2); // adjacent: emitted by the same tick
}

void TestTaskService::capacityCountsUnreapedTasks()
{
    {
        TaskService service({.maxConcurrent = 1, .maxQueued = 4});
        TaskRecorder recorder(&service);
        std::atomic<bool> gate = false;
        QList<quint64> ids;
        for (int i = 0; i < 5; ++i)
            ids.append(service.submit(waitFor(gate)));
        QVERIFY(!ids.contains(0u));
        QCOMPARE(service.submit(waitFor(gate), -1), 0u);
        QCOMPARE(service.errorString(), QStringLiteral("Task waiting queue is full"));
        gate = true;
        QTRY_VERIFY_WITH_TIMEOUT(recorder.isFinished(ids.last()), generous);
    }
    {
        // A finished task counts until a tick has reaped it.
        TaskService service({.maxConcurrent = 1, .maxQueued = 0});
        TaskRecorder recorder(&service);
        std::atomic<bool> done = false;
        const quint64 first = service.submit([&done](const TaskContext&) {
            done = true;
            return QVariant();
        });
        spinUntil(done);
        QThread::msleep(20);
        QCOMPARE(service.submit(waitFor(done), -1), 0u);
        QCOMPARE(service.errorString(), QStringLiteral("Task waiting queue is full"));
        QTRY_VERIFY_WITH_TIMEOUT(recorder.isFinished(first), generous);
        QVERIFY(service.submit(waitFor(done)) != 0);
    }
}

void TestTaskService::invalidOptionsRefuseEverySubmit_data()
{
    QTest::addColumn<int>("maxConcurrent");
    QTest::addColumn<int>("maxQueued");
    QTest::newRow("no thread") << 0 << 32;
    QTest::newRow("too many threads") << 65 << 32;
    QTest::newRow("queue too long") << 2 << 65537;
    QTest::newRow("negative queue") << 2 << -1;
}

void TestTaskService::invalidOptionsRefuseEverySubmit()
{
    QFETCH(int, maxConcurrent);
    QFETCH(int, maxQueued);
    TaskService service({maxConcurrent, maxQueued});
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(service.submit([](const TaskContext&) { return QVariant(); }, -1), 0u);
        QCOMPARE(service.errorString(), unusable);
    }
    TaskService edge({64, 65536});
    QVERIFY(edge.submit([](const TaskContext&) { return QVariant(); }) != 0);
    QVERIFY(edge.shutdown(-1));
}

void TestTaskService::threadWithoutEventDispatcher()
{
    QString error;
    quint64 id = 1;
    std::thread plain([&] {
        TaskService service;
        id = service.submit([](const TaskContext&) { return QVariant(); }, -1);
        error = service.errorString();
    });
    plain.join();
    QCOMPARE(id, 0u);
    QCOMPARE(error, unusable);
}

void TestTaskService::submitFromAPoolThread()
{
    TaskService valid;
    TaskService invalid({0, 0});
    QString validError, invalidError;
    std::atomic<bool> done = false;
    QThreadPool::globalInstance()->start([&] {
        if (valid.submit([](const TaskContext&) { return QVariant(); }, -1) == 0)
            validError = valid.errorString();
        if (invalid.submit(TaskService::TaskFunction(), -5) == 0)
            invalidError = invalid.errorString();
        done = true;
    });
    spinUntil(done);
    QThreadPool::globalInstance()->waitForDone();
    const QString wrongThread = QStringLiteral("TaskService must be called in its QObject thread");
    QCOMPARE(validError, wrongThread);
    QCOMPARE(invalidError, wrongThread);
}

void TestTaskService::shutdownCancelsQueuedTasksWithoutStarting()
{
    TaskService service({.maxConcurrent = 1, .maxQueued = 4});
    TaskRecorder recorder(&service);
    std::atomic<bool> running = false;
    const quint64 first = service.submit(untilCancelled(running));
    const quint64 second = service.submit([](const TaskContext&) { return QVariant(2); });
    const quint64 third = service.submit([](const TaskContext&) { return QVariant(3); });
    spinUntil(running);

    QVERIFY(service.shutdown(-1));
    // Everything is reported before shutdown returns.
    for (quint64 id : {first, second, third}) {
        QVERIFY(recorder.isFinished(id));
        QCOMPARE(recorder.of(id).constLast().outcome, Outcome::Cancelled);
        QVERIFY(!recorder.of(id).constLast().result.isValid());
    }
    QCOMPARE(recorder.of(first).constFirst().kind, Kind::Started);
    for (quint64 id : {second, third}) {
        for (const TaskEventRecord& e : recorder.of(id))
            QVERIFY(e.kind != Kind::Started);
    }
    QCOMPARE(service.submit([](const TaskContext&) { return QVariant(); }, -1), 0u);
    QCOMPARE(service.errorString(), unusable);
    QVERIFY(!service.shutdown(-2));
}

void TestTaskService::slotMayDestroyTheService()
{
    auto* service = new TaskService({.maxConcurrent = 2, .maxQueued = 0});
    QList<quint64> finished;
    connect(service, &TaskService::finished, this, [&](qulonglong id) {
        finished.append(id);
        delete service;
    });
    std::atomic<int> done = 0;
    auto quick = [&done](const TaskContext&) {
        ++done;
        return QVariant();
    };
    QVERIFY(service->submit(quick) != 0);
    QVERIFY(service->submit(quick) != 0);
    QDeadlineTimer deadline(generous);
    while (done.load() < 2 && !deadline.hasExpired())
        QThread::msleep(1);
    QThread::msleep(50); // both finished before the first tick
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, generous);
    QTest::qWait(100);
    QCOMPARE(finished.size(), 1);
}

void TestTaskService::tasksAreReportedInIdOrder()
{
    TaskService service({.maxConcurrent = 4, .maxQueued = 4});
    TaskRecorder recorder(&service);
    std::array<std::atomic<bool>, 4> gates{};
    std::array<std::atomic<bool>, 4> done{};
    QList<quint64> ids;
    for (int i = 0; i < 4; ++i) {
        ids.append(service.submit([&, i](const TaskContext&) {
            spinUntil(gates[i]);
            done[i] = true;
            return QVariant(i);
        }));
    }
    // Let them finish in reverse id order, all before a tick looks at them: no events are
    // processed here, and shutdown waits for the pool before its one tick reports them all.
    for (int i = 3; i >= 0; --i) {
        gates[i] = true;
        spinUntil(done[i]);
    }
    QVERIFY(recorder.events.isEmpty());
    QVERIFY(service.shutdown(-1));
    QList<quint64> finishedOrder;
    for (const TaskEventRecord& e : std::as_const(recorder.events)) {
        if (e.kind == Kind::Finished)
            finishedOrder.append(e.id);
    }
    QCOMPARE(finishedOrder, ids);
}

void TestTaskService::exceptionsBecomeFailures()
{
    TaskService service;
    TaskRecorder recorder(&service);
    const quint64 standard = service.submit(
        [](const TaskContext&) -> QVariant { throw std::runtime_error("disk on fire ✓"); });
    const quint64 other = service.submit([](const TaskContext&) -> QVariant { throw 42; });
    QTRY_VERIFY_WITH_TIMEOUT(recorder.isFinished(standard) && recorder.isFinished(other), generous);
    QCOMPARE(recorder.of(standard).constLast().outcome, Outcome::Failed);
    QCOMPARE(recorder.of(standard).constLast().error, QStringLiteral("disk on fire ✓"));
    QVERIFY(!recorder.of(standard).constLast().result.isValid());
    QCOMPARE(recorder.of(other).constLast().outcome, Outcome::Failed);
    QCOMPARE(recorder.of(other).constLast().error, QStringLiteral("Unknown task exception"));

    const quint64 longText = service.submit(
        [](const TaskContext&) -> QVariant { throw std::runtime_error(std::string(5000, 'e')); });
    QTRY_VERIFY_WITH_TIMEOUT(recorder.isFinished(longText), generous);
    QCOMPARE(recorder.of(longText).constLast().error.size(), 4096);
}

void TestTaskService::cancellingOneTask()
{
    TaskService service({.maxConcurrent = 1, .maxQueued = 2});
    TaskRecorder recorder(&service);
    std::atomic<bool> running = false;
    const quint64 first = service.submit(untilCancelled(running));
    const quint64 second = service.submit([](const TaskContext&) { return QVariant(2); });
    spinUntil(running);
    QVERIFY(service.cancel(first));
    QVERIFY(!service.cancel(12345));
    QTRY_VERIFY_WITH_TIMEOUT(recorder.isFinished(first) && recorder.isFinished(second), generous);
    QCOMPARE(recorder.of(first).constLast().outcome, Outcome::Cancelled);
    QCOMPARE(recorder.of(second).constLast().outcome, Outcome::Succeeded);
    QCOMPARE(recorder.of(second).constLast().result, QVariant(2));
    QVERIFY(!service.cancel(second)); // already reported
}

void TestTaskService::progressIsReportedWhenItChanges()
{
    TaskService service;
    TaskRecorder recorder(&service);
    std::atomic<bool> gate = false;
    const quint64 id = service.submit([&gate](const TaskContext& context) {
        context.setProgress(150);
        spinUntil(gate);
        return QVariant();
    });
    QTRY_VERIFY_WITH_TIMEOUT(
        !recorder.of(id).isEmpty() && recorder.of(id).constLast().kind == Kind::Progress, generous);
    QTest::qWait(60); // further ticks with the same value report nothing new
    gate = true;
    QTRY_VERIFY_WITH_TIMEOUT(recorder.isFinished(id), generous);
    int progressEvents = 0;
    for (const TaskEventRecord& e : recorder.of(id)) {
        if (e.kind == Kind::Progress) {
            ++progressEvents;
            QCOMPARE(e.percent, 100); // clamped
        }
    }
    QCOMPARE(progressEvents, 1);
}

void TestTaskService::outcomeIsARegisteredMetaType()
{
    TaskService service;
    const QMetaType type = QMetaType::fromName("Morvane::TaskService::Outcome");
    QVERIFY(type.isValid());
    const QMetaObject& meta = TaskService::staticMetaObject;
    QCOMPARE(meta.method(meta.methodOffset()).name(), QByteArray("started"));
    QCOMPARE(meta.method(meta.methodOffset() + 3).methodSignature(),
             QByteArray("finished(qulonglong,Morvane::TaskService::Outcome,QVariant,QString)"));
    QCOMPARE(meta.enumerator(meta.enumeratorOffset()).keyCount(), 4);
}

void TestTaskService::idleTimeoutCountsFromTheLastProgress()
{
    TaskService service({.maxConcurrent = 3, .maxQueued = 0});
    TaskRecorder recorder(&service);
    // Reports the same percentage every 20 ms for 1.5 s, three times its time-out.
    const auto steady = [](const TaskContext& context) {
        QDeadlineTimer end(1500);
        while (!end.hasExpired() && !context.isCancellationRequested()) {
            context.setProgress(5);
            QThread::msleep(20);
        }
        return QVariant(context.isCancellationRequested() ? 0 : 1);
    };
    std::atomic<bool> stalledNoticed = false;
    const auto stalls = [&stalledNoticed](const TaskContext& context) {
        for (int i = 0; i < 10; ++i) {
            context.setProgress(i);
            QThread::msleep(20);
        }
        QDeadlineTimer deadline(generous);
        while (!context.isCancellationRequested() && !deadline.hasExpired())
            QThread::msleep(1);
        stalledNoticed = context.isCancellationRequested();
        return QVariant(2);
    };
    const quint64 moving = service.submitWithIdleTimeout(steady, 500);
    const quint64 fixed = service.submit(steady, 500);
    const quint64 stalled = service.submitWithIdleTimeout(stalls, 500);
    QVERIFY(moving && fixed && stalled);
    QTRY_VERIFY_WITH_TIMEOUT(recorder.isFinished(moving) && recorder.isFinished(fixed) &&
                                 recorder.isFinished(stalled),
                             generous);
    QCOMPARE(recorder.of(moving).constLast().outcome, Outcome::Succeeded);
    QCOMPARE(recorder.of(moving).constLast().result, QVariant(1));
    QCOMPARE(recorder.of(fixed).constLast().outcome, Outcome::TimedOut);
    QCOMPARE(recorder.of(stalled).constLast().outcome, Outcome::TimedOut);
    QVERIFY(stalledNoticed);
}

QTEST_GUILESS_MAIN(TestTaskService)
#include "tst_taskservice.moc"
