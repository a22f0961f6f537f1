// Pages drawn by real workers for the preview: a good file, one that is locked, hostile ones, the
// bounds on the image, and the deadlines of the pool on an injected clock.
#include "inspection/WorkerPool.h"
#include "support/PdfFixtures.h"
#include "support/WorkerTestMain.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Tessavo;
using namespace Tessavo::Inspection;

namespace {

constexpr int generous = 30000;

// Asks the pool for one page and keeps whatever it hears.
class Render : public WorkerClient {
public:
    explicit Render(WorkerPool& pool)
        : m_pool(pool)
    {
        m_pool.attach(this);
    }
    ~Render() override { m_pool.detach(this); }

    void ask(const QString& path, int page, int width, const QStringList& terms = {})
    {
        RenderRequest request;
        request.page.fileId = m_pool.newFileId();
        request.page.path = QFile::encodeName(path);
        request.page.firstPage = page;
        request.width = width;
        request.terms = terms;
        job = m_pool.submit(this, request, 15000);
    }

    void jobLoaded(quint64, const LoadedMessage& message) override { loaded = message; }
    void jobPage(quint64, const PageAnswer& page) override { answers << page; }
    void jobDone(quint64) override { done = true; }
    void jobFailed(quint64, const JobFailure& why) override { failure = why; }
    void workersAvailable() override {}

    bool ended() const { return done || failure.has_value(); }

    quint64 job = 0;
    std::optional<LoadedMessage> loaded;
    QList<PageAnswer> answers;
    bool done = false;
    std::optional<JobFailure> failure;

private:
    WorkerPool& m_pool;
};

// Pixels darker than paper, in a rectangle of the image.
int inkIn(const QImage& image, const QRect& rect)
{
    int ink = 0;
    const QRect within = rect.intersected(image.rect());
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x)
            ink += qGray(image.pixel(x, y)) < 160 ? 1 : 0;
    return ink;
}

} // namespace

class TestPageRender : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void goodPageIsDrawnWithItsTermsMarked();
    void lockedAndHostileFilesFailWithTheirTexts_data();
    void lockedAndHostileFilesFailWithTheirTexts();
    void imageStaysWithinItsBounds();
    void renderObeysThePoolsDeadlines();

private:
    QString fixture(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestPageRender::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(PdfFixtures::writeEveryKind(m_dir.path()));
    QVERIFY(PdfFixtures::writeTextPdf(
        fixture("bond.pdf"),
        {QStringLiteral("Cover page"),
         QStringLiteral("Some words first\nPerformance BOND guarantee\nend")}));
    // A page 200 points wide and 20,000 high.
    QVERIFY(PdfFixtures::writeBytes(
        fixture("tall.pdf"),
        PdfFixtures::assemblePdf({"<< /Type /Catalog /Pages 2 0 R >>",
                                  "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                  "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 20000] >>"})));
}

void TestPageRender::goodPageIsDrawnWithItsTermsMarked()
{
    WorkerPool pool;
    Render render(pool);
    render.ask(fixture("bond.pdf"), 1, 600,
               {QStringLiteral("bond"), QStringLiteral("absent"),
                QStringLiteral("FIRST \n performance")});
    QVERIFY(render.job != 0);
    QTRY_VERIFY_WITH_TIMEOUT(render.ended(), generous);
    QVERIFY(!render.failure);
    QVERIFY(render.loaded && render.loaded->errorText.isEmpty());
    QCOMPARE(render.answers.size(), 1);
    const PageAnswer& page = render.answers.at(0);
    QCOMPARE(page.pageIndex, 1);
    QVERIFY(page.errorText.isEmpty());
    QCOMPARE(page.image.width(), 600);
    QVERIFY(page.image.height() > 600); // a portrait page
    // Paper where nothing is drawn, not the engine's transparent black.
    QCOMPARE(page.image.pixel(0, 0), qRgb(255, 255, 255));
    QVERIFY(inkIn(page.image, page.image.rect()) > 100);
    // One occurrence of the word, matched regardless of case, on ink: the word itself. Then the
    // phrase that a line break splits, as two marks, one on each line.
    QCOMPARE(page.highlights.size(), 3);
    const QRect mark = page.highlights.at(0);
    QVERIFY(mark.width() > 10 && mark.height() > 5);
    QVERIFY(inkIn(page.image, mark) > 10);
    QVERIFY(mark.width() < 300);
    const QRect first = page.highlights.at(1);
    const QRect performance = page.highlights.at(2);
    QVERIFY(inkIn(page.image, first) > 10 && inkIn(page.image, performance) > 10);
    QVERIFY(performance.top() >= first.bottom() - 2);
    QVERIFY(qAbs(performance.center().y() - mark.center().y()) < mark.height() / 2);
}

void TestPageRender::lockedAndHostileFilesFailWithTheirTexts_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("error");
    QTest::newRow("password") << "user-password.pdf"
                              << "PDF is password protected";
    QTest::newRow("garbage") << "garbage.pdf"
                             << "";
    QTest::newRow("truncated") << "truncated.pdf"
                               << "";
    QTest::newRow("self-reference") << "self-reference.pdf"
                                    << "";
    QTest::newRow("empty tree") << "empty-tree.pdf"
                                << "PDF could not be loaded";
}

// The file fails as an import would tell it, the application goes on, and the same pool draws the
// next good page.
void TestPageRender::lockedAndHostileFilesFailWithTheirTexts()
{
    QFETCH(QString, file);
    QFETCH(QString, error);
    WorkerPool pool;
    Render render(pool);
    render.ask(fixture(file), 0, 300, {QStringLiteral("x")});
    QTRY_VERIFY_WITH_TIMEOUT(render.ended(), generous);
    if (render.failure) {
        QVERIFY(error.isEmpty());
    } else {
        QVERIFY(render.loaded);
        if (!error.isEmpty())
            QCOMPARE(render.loaded->errorText, error);
        // A hostile file may open after repair; then its page comes as an image or a reason.
        if (!render.loaded->errorText.isEmpty())
            QVERIFY(render.answers.isEmpty());
        for (const PageAnswer& page : std::as_const(render.answers))
            QVERIFY(!page.image.isNull() || !page.errorText.isEmpty());
    }

    Render next(pool);
    next.ask(fixture("text.pdf"), 0, 200);
    QTRY_VERIFY_WITH_TIMEOUT(next.ended(), generous);
    QCOMPARE(next.answers.size(), 1);
    QCOMPARE(next.answers.at(0).image.width(), 200);
}

void TestPageRender::imageStaysWithinItsBounds()
{
    WorkerPool pool;
    Render render(pool);
    render.ask(fixture("tall.pdf"), 0, maxRenderWidth);
    QTRY_VERIFY_WITH_TIMEOUT(render.ended(), generous);
    QCOMPARE(render.answers.size(), 1);
    const QImage& image = render.answers.at(0).image;
    QVERIFY(!image.isNull());
    QVERIFY(image.height() <= maxRenderHeight);
    QVERIFY(image.height() > maxRenderHeight - 2);
    QVERIFY(qint64(image.width()) * image.height() <= maxRenderPixels);
    // The page keeps its shape: 1 to 100.
    QVERIFY(qAbs(image.height() / double(image.width()) - 100.0) < 2.0);

    // A page past the document's end: loaded, no image, done.
    Render past(pool);
    past.ask(fixture("text.pdf"), 7, 300);
    QTRY_VERIFY_WITH_TIMEOUT(past.ended(), generous);
    QVERIFY(past.done);
    QVERIFY(past.answers.isEmpty());
}

// A worker that opens the file and then draws nothing is killed at the page limit, and the
// request fails with the reading failure's text.
void TestPageRender::renderObeysThePoolsDeadlines()
{
    qint64 now = 1000;
    QList<QPointer<WorkerProcess>> workers;
    WorkerPool::Options options;
    options.capacity = 1;
    options.program = QStringLiteral("/nonexistent/worker");
    options.startWorker = [&workers](QObject* owner) {
        WorkerProcess* worker = WorkerProcess::scripted(owner);
        workers << worker;
        return worker;
    };
    options.clock = [&now] {
        return now;
    };
    options.cpuClock = [](qint64) {
        return qint64(0);
    };
    options.checkIntervalMs = 3600000;
    WorkerPool pool(options);
    Render render(pool);
    render.ask(fixture("text.pdf"), 0, 300);
    QCOMPARE(workers.size(), 1);
    workers.at(0)->receive(encodeLoading(render.job) +
                           encode(LoadedMessage{render.job, 0, {}, 3, {}}));
    now += 15000;
    pool.checkDeadlines();
    QVERIFY(!render.ended());
    now += 1;
    pool.checkDeadlines();
    QTRY_VERIFY(render.failure);
    QCOMPARE(render.failure->kind, JobFailure::Kind::PageTimedOut);
    QCOMPARE(render.failure->page, 0);
    QCOMPARE(pool.running(), 0);

    // A text page where an image was asked for is out of turn: the worker is not trusted.
    Render lying(pool);
    lying.ask(fixture("text.pdf"), 0, 300);
    QCOMPARE(workers.size(), 2);
    workers.at(1)->receive(encodeLoading(lying.job) +
                           encode(LoadedMessage{lying.job, 0, {}, 3, {}}) +
                           encode(PageMessage{lying.job, 0, QStringLiteral("text")}));
    QTRY_VERIFY(lying.failure);
    QCOMPARE(lying.failure->kind, JobFailure::Kind::Stopped);
}

TESSAVO_TEST_MAIN_WITH_WORKER(TestPageRender)

#include "tst_pagerender.moc"
