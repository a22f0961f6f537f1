// Submits, cancels, times out and shuts down thousands of short tasks with random durations and
// checks that every accepted task is reported finished exactly once, and last.
#include "TaskRecorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>
#include <stdexcept>

using Morvane::TaskContext;
using Morvane::TaskService;
using Outcome = TaskService::Outcome;
using Kind = TaskEventRecord::Kind;

namespace {

struct Planned {
    bool throws = false;
    quint64 token = 0; // what the task returns on success
};

// Checks the signal sequence of one task; the service may have been destroyed before it ended.
void checkSequence(quint64 id, const QList<TaskEventRecord>& events, const Planned& plan,
                   bool mustFinish)
{
    int started = 0, cancelled = 0, finished = 0;
    Outcome cancelReason = Outcome::Succeeded;
    for (qsizetype i = 0; i < events.size(); ++i) {
        const TaskEventRecord& e = events[i];
        switch (e.kind) {
        case Kind::Started:
            QVERIFY2(cancelled == 0, "started after cancellationRequested");
            ++started;
            break;
        case Kind::Cancellation:
            ++cancelled;
            cancelReason = e.outcome;
            QVERIFY(e.outcome == Outcome::Cancelled || e.outcome == Outcome::TimedOut);
            break;
        case Kind::Progress:
            QVERIFY(e.percent >= 0 && e.percent <= 100);
            break;
        case Kind::Finished:
            ++finished;
            QVERIFY2(i == events.size() - 1,
                     qPrintable(QStringLiteral("task %1: finished is not last").arg(id)));
            if (cancelled) {
                QCOMPARE(e.outcome, cancelReason);
                QVERIFY(!e.result.isValid());
            } else if (plan.throws) {
                QCOMPARE(e.outcome, Outcome::Failed);
                QCOMPARE(e.error, QStringLiteral("planned failure"));
            } else {
                QCOMPARE(e.outcome, Outcome::Succeeded);
                QCOMPARE(e.result.toULongLong(), plan.token);
            }
            if (e.outcome == Outcome::Succeeded || e.outcome == Outcome::Failed)
                QCOMPARE(started, 1);
            break;
        }
    }
    QVERIFY(started <= 1);
    QVERIFY(cancelled <= 1);
    if (mustFinish)
        QVERIFY2(finished == 1,
                 qPrintable(QStringLiteral("task %1 finished %2 times").arg(id).arg(finished)));
    else
        QVERIFY(finished <= 1);
}

} // namespace

class TestTaskServiceStress : public QObject {
    Q_OBJECT

private slots:
    void everyAcceptedTaskFinishesOnceAndLast();
};

void TestTaskServiceStress::everyAcceptedTaskFinishesOnceAndLast()
{
    QRandomGenerator random(0x7A55);
    int acceptedTotal = 0;
    int refusedTotal = 0;
    QElapsedTimer clock;
    clock.start();

    for (int round = 0; round < 14; ++round) {
        const TaskService::Options options{1 + int(random.bounded(6)), int(random.bounded(12))};
        auto service = std::make_unique<TaskService>(options);
        TaskRecorder recorder(service.get());
        QHash<quint64, Planned> plans;
        QList<quint64> ids;

        QElapsedTimer roundClock;
        roundClock.start();
        for (int attempt = 0; ids.size() < 160 && roundClock.elapsed() < 30000; ++attempt) {
            const int choice = int(random.bounded(10));
            const int timeout = choice < 5 ? -1 : choice < 6 ? 0 : 1 + int(random.bounded(30));
            const int durationUs = int(random.bounded(3000));
            const bool throws = random.bounded(15) == 0;
            const bool cooperative = random.bounded(2) == 0;
            const quint64 token = quint64(round) * 1000 + quint64(attempt);
            const quint64 id = service->submit(
                [durationUs, throws, cooperative, token](const TaskContext& context) {
                    QElapsedTimer spent;
                    spent.start();
                    while (spent.nsecsElapsed() / 1000 < durationUs) {
                        if (cooperative && context.isCancellationRequested())
                            break;
                        context.setProgress(
                            int(spent.nsecsElapsed() / 1000 * 100 / (durationUs + 1)));
                        QThread::usleep(200);
                    }
                    if (throws)
                        throw std::runtime_error("planned failure");
                    return QVariant::fromValue(token);
                },
                timeout);
            if (id == 0) {
                QCOMPARE(service->errorString(), QStringLiteral("Task waiting queue is full"));
                ++refusedTotal;
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                QThread::msleep(1);
                continue;
            }
            ids.append(id);
            plans.insert(id, {throws, token});
            if (random.bounded(8) == 0)
                service->cancel(ids.at(random.bounded(int(ids.size()))));
            if (random.bounded(3) == 0)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        }
        acceptedTotal += int(ids.size());

        const int ending = int(random.bounded(10));
        bool mustFinish = true;
        if (ending < 5) {
            // Let everything run to its end.
            QTRY_VERIFY_WITH_TIMEOUT(
                std::all_of(ids.cbegin(), ids.cend(),
                            [&](quint64 id) { return recorder.isFinished(id); }),
                60000);
        } else if (ending < 9) {
            const bool idle = service->shutdown(ending == 8 ? 0 : -1);
            if (!idle) {
                QTRY_VERIFY_WITH_TIMEOUT(
                    std::all_of(ids.cbegin(), ids.cend(),
                                [&](quint64 id) { return recorder.isFinished(id); }),
                    60000);
            }
        } else {
            service.reset(); // destroyed with work in flight: no further signals
            mustFinish = false;
        }

        for (const TaskEventRecord& e : std::as_const(recorder.events))
            QVERIFY2(plans.contains(e.id), "signal for a task that was never accepted");
        for (quint64 id : std::as_const(ids)) {
            checkSequence(id, recorder.of(id), plans.value(id), mustFinish);
            if (QTest::currentTestFailed())
                return;
        }
    }
    qInfo("%d tasks accepted, %d refused, %lld ms", acceptedTotal, refusedTotal,
          qint64(clock.elapsed()));
    QVERIFY(acceptedTotal >= 2000);
}

QTEST_GUILESS_MAIN(TestTaskServiceStress)
#include "tst_taskservice_stress.moc"
