// The worker pool and its clients with workers played by the test: what a hostile or broken worker
// can do, the limits on an injected clock, and one cap on workers whatever asks for them.
#include "inspection/ImportSession.h"
#include "inspection/OpenCheck.h"
#include "inspection/RecognitionSession.h"
#include "inspection/WorkerPool.h"
#include "support/PdfFixtures.h"
#include "support/WorkerTestMain.h"

#include <QCryptographicHash>
#include <QPointer>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace Tessavo;
using namespace Tessavo::Inspection;

namespace {

constexpr int generous = 20000;

// Workers played by the test: every request they are sent is kept, and the test answers it.
class Puppets : public QObject {
public:
    struct Sent {
        QPointer<WorkerProcess> worker;
        PageRequest request;
    };

    WorkerProcess* make(QObject* owner)
    {
        WorkerProcess* worker = WorkerProcess::scripted(owner);
        ++started;
        connect(worker, &WorkerProcess::requestSent, this, [this, worker](const QByteArray& bytes) {
            FrameReader reader;
            reader.append(bytes);
            const std::optional<Frame> frame = reader.next();
            const std::optional<PageRequest> request =
                frame ? decodePageRequest(frame->type, frame->body) : std::nullopt;
            QVERIFY(request);
            sent.append({worker, *request});
        });
        return worker;
    }

    WorkerPool::Options options(int capacity)
    {
        WorkerPool::Options options;
        options.capacity = capacity;
        options.program = QStringLiteral("/nonexistent/worker");
        options.startWorker = [this](QObject* owner) {
            return make(owner);
        };
        options.clock = [this] {
            return now;
        };
        options.cpuClock = [this](qint64) {
            return cpu;
        };
        options.checkIntervalMs = 3600000; // the test checks the limits itself
        return options;
    }

    // The requests not answered yet by the test, oldest first.
    Sent take()
    {
        if (sent.isEmpty())
            qFatal("no request was sent");
        return sent.takeFirst();
    }

    int started = 0;
    QList<Sent> sent;
    qint64 now = 1000;
    qint64 cpu = 0;
};

QByteArray loaded(quint64 job, int pages, const QString& error = {})
{
    return encode(LoadedMessage{job, error.isEmpty() ? int(Ready) : int(Unreadable), error, pages,
                                QStringLiteral("Title")});
}

QByteArray page(quint64 job, int index)
{
    return encode(PageMessage{job, index, QStringLiteral("words on page %1").arg(index + 1)});
}

// A whole honest answer to a read request for a document of the given number of pages.
QByteArray honestRead(const PageRequest& request, int pages)
{
    QByteArray bytes = encodeLoading(request.jobId) + loaded(request.jobId, pages);
    const int end = std::min(pages, request.firstPage + request.pageCount);
    for (int i = request.firstPage; i < end; ++i)
        bytes += page(request.jobId, i);
    return bytes + encodeDone(request.jobId);
}

// How a played worker answers its request.
using Script = std::function<QByteArray(const PageRequest&)>;

// A session whose workers come from the given pool.
ImportSession::Options servedBy(WorkerPool& pool)
{
    ImportSession::Options options;
    options.pool = &pool;
    return options;
}

struct Records : QObject {
    explicit Records(ImportSession& session)
    {
        connect(&session, &ImportSession::inspected, this,
                [this](const DocumentRecord& record) { list << record; });
    }
    QList<DocumentRecord> list;
};

} // namespace

Q_DECLARE_METATYPE(Script)

class TestWorkerPool : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void hostileWorkerFailsItsFileOnly_data();
    void hostileWorkerFailsItsFileOnly();
    void limitsRunOnTheInjectedClock_data();
    void limitsRunOnTheInjectedClock();
    void importAndRecognitionShareOneCap();
    void recognitionWorkerThatLiesFailsItsPage();
    void hashingRunsOnTheThreadPoolItIsGiven();
    void openCheckGoesThroughThePool();

private:
    QString fixture(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

void TestWorkerPool::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // The puppets never open anything: any bytes do, as long as there are enough of them for the
    // pages a puppet claims.
    QVERIFY(PdfFixtures::writeBytes(fixture("a.pdf"), QByteArray(4096, 'a')));
    QVERIFY(PdfFixtures::writeBytes(fixture("b.pdf"), QByteArray(4096, 'b')));
    QVERIFY(PdfFixtures::writeBytes(fixture("c.pdf"), QByteArray(4096, 'c')));
}

void TestWorkerPool::hostileWorkerFailsItsFileOnly_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<bool>("ends"); // the worker's process ends after the script
    QTest::addColumn<QString>("error");
    const QString stopped = QStringLiteral("PDF engine stopped while reading this file");

    QTest::newRow("dies while opening")
        << Script([](const PageRequest& r) { return encodeLoading(r.jobId); }) << true << stopped;
    QTest::newRow("dies before a word")
        << Script([](const PageRequest&) { return QByteArray(); }) << true
        << QStringLiteral("PDF engine could not be started");
    QTest::newRow("claims more pages than bytes") << Script([](const PageRequest& r) {
        return encodeLoading(r.jobId) + loaded(r.jobId, 1'000'000);
    }) << false << QStringLiteral("PDF claims more pages than the file can hold");
    QTest::newRow("skips a page") << Script([](const PageRequest& r) {
        return encodeLoading(r.jobId) + loaded(r.jobId, 3) + page(r.jobId, 0) + page(r.jobId, 2) +
               encodeDone(r.jobId);
    }) << false << stopped;
    QTest::newRow("says done too early") << Script([](const PageRequest& r) {
        return encodeLoading(r.jobId) + loaded(r.jobId, 3) + page(r.jobId, 0) + encodeDone(r.jobId);
    }) << false << stopped;
    QTest::newRow("pages beyond its count") << Script([](const PageRequest& r) {
        return encodeLoading(r.jobId) + loaded(r.jobId, 1) + page(r.jobId, 0) + page(r.jobId, 1);
    }) << false << stopped;
    QTest::newRow("a page before the opening")
        << Script([](const PageRequest& r) { return encodeLoading(r.jobId) + page(r.jobId, 0); })
        << false << stopped;
    QTest::newRow("another job's answer")
        << Script([](const PageRequest& r) { return encodeLoading(r.jobId + 7); }) << false
        << stopped;
    QTest::newRow("recognition answers to a read") << Script([](const PageRequest& r) {
        return encodeLoading(r.jobId) + loaded(r.jobId, 1) +
               encode(RecognisedMessage{r.jobId, 0, QStringLiteral("x"), {}});
    }) << false << stopped;
    QTest::newRow("floods with an endless frame")
        << Script([](const PageRequest&) { return QByteArray("\xff\xff\xff\xff\x0c", 5); }) << false
        << stopped;
}

void TestWorkerPool::hostileWorkerFailsItsFileOnly()
{
    QFETCH(Script, script);
    QFETCH(bool, ends);
    QFETCH(QString, error);
    Puppets puppets;
    WorkerPool pool(puppets.options(1));
    ImportSession session(servedBy(pool));
    Records records(session);
    session.enqueue({fixture("a.pdf"), fixture("b.pdf")});

    QCOMPARE(puppets.sent.size(), 1); // one worker at most
    const Puppets::Sent hostile = puppets.take();
    hostile.worker->receive(script(hostile.request));
    if (ends && hostile.worker)
        hostile.worker->end();

    // The next file goes to a fresh worker, which answers honestly.
    QTRY_COMPARE_WITH_TIMEOUT(puppets.sent.size(), 1, generous);
    const Puppets::Sent honest = puppets.take();
    QVERIFY(honest.worker != hostile.worker);
    QCOMPARE(puppets.started, 2);
    QCOMPARE(honest.request.path, QFile::encodeName(fixture("b.pdf")));
    honest.worker->receive(honestRead(honest.request, 2));

    QTRY_COMPARE_WITH_TIMEOUT(records.list.size(), 2, generous);
    const DocumentRecord& failed = records.list.at(0);
    QCOMPARE(failed.fileName, QStringLiteral("a.pdf"));
    QCOMPARE(failed.state, int(Unreadable));
    QCOMPARE(failed.errorText, error);
    QCOMPARE(failed.pages, 0);
    QVERIFY(failed.pageTexts.isEmpty());
    QCOMPARE(failed.sha256,
             QCryptographicHash::hash(QByteArray(4096, 'a'), QCryptographicHash::Sha256).toHex());
    const DocumentRecord& read = records.list.at(1);
    QCOMPARE(read.state, int(Ready));
    QCOMPARE(read.pages, 2);
    QCOMPARE(read.pageTexts.at(1).text, QStringLiteral("words on page 2"));
    QVERIFY(pool.running() <= 1);
}

void TestWorkerPool::limitsRunOnTheInjectedClock_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<qint64>("wall"); // how far the clock may move without harm
    QTest::addColumn<qint64>("cpu");  // and the worker's processor time
    QTest::addColumn<QString>("error");
    const WorkerPool::Options defaults;

    QTest::newRow("no first answer") << Script([](const PageRequest&) { return QByteArray(); })
                                     << qint64(defaults.startTimeoutMs) << qint64(0)
                                     << QStringLiteral("PDF engine could not be started");
    QTest::newRow("opening spends its processor time")
        << Script([](const PageRequest& r) { return encodeLoading(r.jobId); }) << qint64(0)
        << qint64(defaults.openTimeoutMs) << QStringLiteral("timed out while opening the PDF");
    QTest::newRow("opening waits in real time at most")
        << Script([](const PageRequest& r) { return encodeLoading(r.jobId); })
        << qint64(defaults.openWallTimeoutMs) << qint64(0)
        << QStringLiteral("timed out while opening the PDF");
    QTest::newRow("a page tree that loops") << Script([](const PageRequest& r) {
        return encodeLoading(r.jobId) + encodeLoopFound(r.jobId);
    }) << qint64(0) << qint64(defaults.loopOpenTimeoutMs)
                                            << QStringLiteral("PDF page tree refers to itself");
    QTest::newRow("pages stop coming") << Script([](const PageRequest& r) {
        return encodeLoading(r.jobId) + loaded(r.jobId, 3) + page(r.jobId, 0);
    }) << qint64(ImportSession::Options{}.progressTimeoutMs)
                                       << qint64(0)
                                       << QStringLiteral("timed out while reading page 2");
}

void TestWorkerPool::limitsRunOnTheInjectedClock()
{
    QFETCH(Script, script);
    QFETCH(qint64, wall);
    QFETCH(qint64, cpu);
    QFETCH(QString, error);
    Puppets puppets;
    WorkerPool pool(puppets.options(1));
    ImportSession session(servedBy(pool));
    Records records(session);
    session.enqueue({fixture("a.pdf")});
    const Puppets::Sent stuck = puppets.take();
    stuck.worker->receive(script(stuck.request));

    // Up to the limit nothing happens, however long it takes in real time.
    puppets.now += wall;
    puppets.cpu += cpu;
    pool.checkDeadlines();
    QTest::qWait(50);
    QVERIFY(records.list.isEmpty());
    QVERIFY(stuck.worker);

    puppets.now += 1;
    puppets.cpu += cpu > 0 ? 1 : 0;
    pool.checkDeadlines();
    QTRY_COMPARE_WITH_TIMEOUT(records.list.size(), 1, generous);
    QCOMPARE(records.list.at(0).errorText, error);
    QCOMPARE(records.list.at(0).state, int(Unreadable));
    QCOMPARE(pool.running(), 0); // the worker was killed
}

void TestWorkerPool::importAndRecognitionShareOneCap()
{
    Puppets puppets;
    WorkerPool pool(puppets.options(2));
    RecognitionSession::Options recognitionOptions;
    recognitionOptions.pool = &pool;
    RecognitionSession recognition(recognitionOptions);
    ImportSession::Options importOptions;
    importOptions.pool = &pool;
    ImportSession import(importOptions);
    Records records(import);
    QSignalSpy recognised(&recognition, &RecognitionSession::recognised);

    // Each would take two workers on its own; together they get two.
    recognition.enqueue(fixture("c.pdf"), 2);
    import.enqueue({fixture("a.pdf"), fixture("b.pdf")});
    QCOMPARE(puppets.started, 2);
    QCOMPARE(pool.running(), 2);
    QCOMPARE(puppets.sent.size(), 2);
    QVERIFY(puppets.sent.at(0).request.recognise());
    QCOMPARE(puppets.sent.at(0).request.firstPage, 0);
    QVERIFY(puppets.sent.at(1).request.recognise());
    QCOMPARE(puppets.sent.at(1).request.firstPage, 1);
    QVERIFY(import.busyWorkerProcessIds().isEmpty());

    // A page recognised frees its worker; the import, waiting too, takes it in turn.
    const Puppets::Sent first = puppets.take();
    first.worker->receive(
        encodeLoading(first.request.jobId) + loaded(first.request.jobId, 2) +
        encode(RecognisedMessage{first.request.jobId, 0, QStringLiteral("PAGE ONE"), {}}) +
        encodeDone(first.request.jobId));
    QTRY_COMPARE_WITH_TIMEOUT(puppets.sent.size(), 2, generous);
    const Puppets::Sent importing = puppets.sent.at(1);
    QVERIFY(!importing.request.recognise());
    QVERIFY(importing.worker == first.worker); // the same process, reused
    QCOMPARE(puppets.started, 2);

    const Puppets::Sent second = puppets.take();
    second.worker->receive(
        encodeLoading(second.request.jobId) + loaded(second.request.jobId, 2) +
        encode(RecognisedMessage{second.request.jobId, 1, QStringLiteral("PAGE TWO"), {}}) +
        encodeDone(second.request.jobId));
    QTRY_COMPARE_WITH_TIMEOUT(recognised.size(), 1, generous);
    const auto result = recognised.at(0).at(0).value<RecognitionResult>();
    QCOMPARE(result.pageTexts.size(), 2);
    QCOMPARE(result.pageTexts.at(1).text, QStringLiteral("PAGE TWO"));

    // The import has both workers now, and never more.
    QTRY_COMPARE_WITH_TIMEOUT(puppets.sent.size(), 2, generous);
    while (!puppets.sent.isEmpty()) {
        const Puppets::Sent next = puppets.take();
        next.worker->receive(honestRead(next.request, 1));
    }
    QTRY_COMPARE_WITH_TIMEOUT(records.list.size(), 2, generous);
    QCOMPARE(records.list.at(0).state, int(Ready));
    QCOMPARE(records.list.at(1).state, int(Ready));
    QCOMPARE(puppets.started, 2);
    QCOMPARE(pool.running(), 2);
}

void TestWorkerPool::recognitionWorkerThatLiesFailsItsPage()
{
    Puppets puppets;
    WorkerPool pool(puppets.options(1));
    RecognitionSession::Options options;
    options.pool = &pool;
    RecognitionSession recognition(options);
    QSignalSpy recognised(&recognition, &RecognitionSession::recognised);
    recognition.enqueue(fixture("c.pdf"), 2);

    // The first page comes back as another page's: the worker is killed, that page fails.
    const Puppets::Sent liar = puppets.take();
    liar.worker->receive(encodeLoading(liar.request.jobId) + loaded(liar.request.jobId, 2) +
                         encode(RecognisedMessage{liar.request.jobId, 1, QStringLiteral("x"), {}}));
    QTRY_COMPARE_WITH_TIMEOUT(puppets.sent.size(), 1, generous);
    const Puppets::Sent next = puppets.take();
    QVERIFY(next.worker != liar.worker);
    QCOMPARE(next.request.firstPage, 1);
    // The document no longer has the pages it was imported with.
    next.worker->receive(encodeLoading(next.request.jobId) + loaded(next.request.jobId, 5) +
                         encodeDone(next.request.jobId));
    QTRY_COMPARE_WITH_TIMEOUT(recognised.size(), 1, generous);
    const auto result = recognised.at(0).at(0).value<RecognitionResult>();
    QVERIFY(result.pageTexts.isEmpty());
    QCOMPARE(result.errorText, QStringLiteral("text recognition stopped on page 1"));
}

void TestWorkerPool::hashingRunsOnTheThreadPoolItIsGiven()
{
    Puppets puppets;
    WorkerPool pool(puppets.options(1));
    QThreadPool hashing;
    hashing.setMaxThreadCount(1);
    Tasks::BackgroundRunner runner(&hashing);
    QSemaphore held;
    hashing.start([&held] { held.acquire(); }); // the pool's only thread is busy
    {
        ImportSession::Options options = servedBy(pool);
        options.hashing = &runner;
        ImportSession session(options);
        Records records(session);
        session.enqueue({fixture("a.pdf")});
        const Puppets::Sent sent = puppets.take();
        sent.worker->receive(honestRead(sent.request, 1));
        QTest::qWait(100);
        QVERIFY(records.list.isEmpty()); // read, but not hashed yet
        held.release();
        QTRY_COMPARE_WITH_TIMEOUT(records.list.size(), 1, generous);
        QCOMPARE(
            records.list.at(0).sha256,
            QCryptographicHash::hash(QByteArray(4096, 'a'), QCryptographicHash::Sha256).toHex());
    }
    // A session that goes while its file waits for the shared pool leaves nothing behind.
    hashing.start([&held] { held.acquire(); });
    {
        ImportSession::Options options = servedBy(pool);
        options.hashing = &runner;
        ImportSession session(options);
        session.enqueue({fixture("b.pdf")});
    }
    held.release();
    QVERIFY(hashing.waitForDone(generous));
    QTest::qWait(50); // anything posted to the gone session would arrive now
}

void TestWorkerPool::openCheckGoesThroughThePool()
{
    Puppets puppets;
    WorkerPool pool(puppets.options(1));
    OpenCheck check(&pool);
    QList<Status> finished;
    connect(&check, &OpenCheck::finished, this,
            [&finished](const Status& verdict) { finished << verdict; });

    check.start(fixture("a.pdf"));
    Puppets::Sent sent = puppets.take();
    QCOMPARE(sent.request.pageCount, 0);
    sent.worker->receive(encodeLoading(sent.request.jobId) + loaded(sent.request.jobId, 3));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, generous);
    QVERIFY(finished.at(0).ok);

    check.start(fixture("a.pdf"));
    sent = puppets.take();
    sent.worker->receive(encodeLoading(sent.request.jobId) + loaded(sent.request.jobId, 0));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, generous);
    QCOMPARE(finished.at(1).error, QStringLiteral("PDF contains no pages"));

    check.start(fixture("a.pdf"));
    sent = puppets.take();
    sent.worker->receive(encodeLoading(sent.request.jobId));
    puppets.cpu += WorkerPool::Options{}.openTimeoutMs + 1;
    pool.checkDeadlines();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 3, generous);
    QCOMPARE(finished.at(2).error, QStringLiteral("timed out while opening the PDF"));
    QCOMPARE(pool.running(), 0);
}

TESSAVO_TEST_MAIN_WITH_WORKER(TestWorkerPool)

#include "tst_workerpool.moc"
