#include "core/PdfInspection.h"
#include "core/PdfInspector.h"
#include "support/PdfFixtures.h"
#include "support/WorkerTestMain.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

using namespace Tessavo;

namespace {

struct Expected {
    int state;
    QString errorText;
    int pages;
    int textPages;
};

} // namespace

class TestPdfInspection : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void inspectsEveryKindOfFile_data();
    void inspectsEveryKindOfFile();
    void keepsPageTextsUntrimmed();
    void hashesInOneStreamingPass();
    void workerAnswersWithTheSameRecords();
    void selfReferencingPageTreeTimesOut();
    void workerThatDiesIsReported();
    void eventsRunWhileWaitingAndNestedCallsWork();
    void prefetchedAnswersAreUsedOrRecycled();
    void workerMemoryIsCapped();
    void fallsBackToThisProcessWithoutWorker();
    void sourcesAreNeverChanged();

private:
    QString fixture(const QString& name) const { return m_dir.filePath(name); }
    QByteArray fingerprint() const;

    QTemporaryDir m_dir;
    QByteArray m_fingerprintBefore;
};

QByteArray TestPdfInspection::fingerprint() const
{
    QCryptographicHash all(QCryptographicHash::Sha256);
    const QFileInfoList files = QDir(m_dir.path()).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo& info : files) {
        all.addData(info.fileName().toUtf8());
        all.addData(PdfFixtures::readBytes(info.filePath()));
        all.addData(QByteArray::number(info.lastModified().toMSecsSinceEpoch()));
    }
    return all.result();
}

void TestPdfInspection::initTestCase()
{
    using namespace PdfFixtures;
    QVERIFY(m_dir.isValid());
    QVERIFY(writeTextPdf(fixture("text.pdf"),
                         {"Page one\nRequest for Proposals", "Page two", "Page three\nbid bond"},
                         "Tender RFP"));
    QVERIFY(writeImageOnlyPdf(fixture("scan.pdf"), 2));
    QVERIFY(writeBytes(fixture("blank.pdf"), whitespaceOnlyPdf(2)));
    QVERIFY(encryptWithQpdf(fixture("text.pdf"), fixture("user-password.pdf"), "secret", "owner"));
    QVERIFY(encryptWithQpdf(fixture("text.pdf"), fixture("owner-only.pdf"), "", "owner"));
    const QByteArray text = readBytes(fixture("text.pdf"));
    QVERIFY(writeBytes(fixture("truncated.pdf"), text.left(text.size() * 2 / 5)));
    QByteArray garbled = text;
    garbled.replace(garbled.size() / 2, 64, QByteArray(64, '#'));
    QVERIFY(writeBytes(fixture("garbage.pdf"), garbled));
    QVERIFY(writeBytes(fixture("zero.pdf"), QByteArray()));
    QVERIFY(writeBytes(fixture("notes.pdf"), "These are notes, not a PDF.\n"));
    QVERIFY(writeBytes(fixture("empty-tree.pdf"), emptyPageTreePdf()));
    QVERIFY(writeBytes(fixture("self-reference.pdf"), selfReferencingPageTreePdf()));
    QVERIFY(QDir(m_dir.path()).mkdir("folder.pdf"));
    m_fingerprintBefore = fingerprint();
}

void TestPdfInspection::inspectsEveryKindOfFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("textPages");
    QTest::newRow("text") << "text.pdf" << int(Ready) << "" << 3 << 3;
    QTest::newRow("scan") << "scan.pdf" << int(NeedsOcr) << "" << 2 << 0;
    QTest::newRow("blanks only") << "blank.pdf" << int(NeedsOcr) << "" << 2 << 0;
    QTest::newRow("user password")
        << "user-password.pdf" << int(Encrypted) << "PDF is password protected" << 0 << 0;
    QTest::newRow("owner password only") << "owner-only.pdf" << int(Ready) << "" << 3 << 3;
    QTest::newRow("truncated") << "truncated.pdf" << int(Unreadable) << "not a valid PDF" << 0 << 0;
    QTest::newRow("garbage in the middle") << "garbage.pdf" << int(Ready) << "" << 3 << 3;
    QTest::newRow("zero bytes") << "zero.pdf" << int(Unreadable) << "not a valid PDF" << 0 << 0;
    QTest::newRow("text file") << "notes.pdf" << int(Unreadable) << "not a valid PDF" << 0 << 0;
    QTest::newRow("empty page tree")
        << "empty-tree.pdf" << int(Unreadable) << "PDF could not be loaded" << 0 << 0;
    QTest::newRow("directory") << "folder.pdf" << int(Unreadable) << "file not found" << 0 << 0;
    QTest::newRow("missing") << "missing.pdf" << int(Unreadable) << "file not found" << 0 << 0;
}

void TestPdfInspection::inspectsEveryKindOfFile()
{
    QFETCH(QString, name);
    QFETCH(int, state);
    QFETCH(QString, errorText);
    QFETCH(int, pages);
    QFETCH(int, textPages);

    const QString path = fixture(name);
    QElapsedTimer clock;
    clock.start();
    const DocumentRecord r = inspectPdf(path);
    QVERIFY2(clock.elapsed() < 5000, "a settled document must not wait for the deadline");

    QCOMPARE(r.sourcePath, path);
    QCOMPARE(r.fileName, name);
    QCOMPARE(r.state, state);
    QCOMPARE(r.errorText, errorText);
    QCOMPARE(r.pages, pages);
    QCOMPARE(r.textPages, textPages);
    QCOMPARE(r.pageTexts.size(), qsizetype(pages));
    const QFileInfo info(path);
    if (info.isFile()) {
        QCOMPARE(r.sizeBytes, info.size());
        const QByteArray expectedHash =
            QCryptographicHash::hash(PdfFixtures::readBytes(path), QCryptographicHash::Sha256)
                .toHex();
        QCOMPARE(r.sha256, expectedHash);
    } else {
        QCOMPARE(r.sizeBytes, 0);
        QVERIFY(r.sha256.isEmpty());
    }
    // Review and suggestion fields are not inspection's business.
    QCOMPARE(r.decision, int(NeedsReview));
    QVERIFY(r.suggestedCategory.isEmpty());
    QCOMPARE(r.evidencePage, -1);
}

void TestPdfInspection::keepsPageTextsUntrimmed()
{
    const DocumentRecord r = inspectPdf(fixture("text.pdf"));
    QCOMPARE(r.title, QStringLiteral("Tender RFP"));
    qint64 chars = 0;
    for (int i = 0; i < r.pageTexts.size(); ++i) {
        QCOMPARE(r.pageTexts[i].pageIndex, i);
        QCOMPARE(r.pageTexts[i].charCount, int(r.pageTexts[i].text.size()));
        chars += r.pageTexts[i].charCount;
    }
    QCOMPARE(r.textChars, chars);
    QVERIFY(r.pageTexts[0].text.contains(QStringLiteral("Request for Proposals")));
    QVERIFY(r.pageTexts[0].text.contains(QStringLiteral("\r\n"))); // line ends are kept
    QVERIFY(r.pageTexts[2].text.contains(QStringLiteral("bid bond")));

    const DocumentRecord blank = inspectPdf(fixture("blank.pdf"));
    qint64 blankChars = 0;
    for (const PageText& page : blank.pageTexts) {
        QVERIFY(page.text.trimmed().isEmpty());
        blankChars += page.charCount;
    }
    QCOMPARE(blank.state, int(NeedsOcr));
    QVERIFY(blankChars > 0);
    QCOMPARE(blank.textChars, blankChars); // white space is counted, even though no page has text
    const DocumentRecord scan = inspectPdf(fixture("scan.pdf"));
    for (const PageText& page : scan.pageTexts)
        QVERIFY(page.text.isEmpty());
}

void TestPdfInspection::hashesInOneStreamingPass()
{
    QByteArray digest = "unchanged";
    QString error;
    QVERIFY(!hashFile(fixture("missing.pdf"), &digest, &error));
    QVERIFY(error.startsWith(QStringLiteral("cannot open file: ")));
    QCOMPARE(digest, QByteArray("unchanged"));

    QVERIFY(hashFile(fixture("zero.pdf"), &digest, &error));
    QCOMPARE(digest,
             QByteArray("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));

    // A large file: the digest matches an independent computation.
    const QString big = m_dir.filePath("big.bin");
    QByteArray bytes(20 * 1024 * 1024 + 3, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 131) >> 3);
    QVERIFY(PdfFixtures::writeBytes(big, bytes));
    QVERIFY(hashFile(big, &digest, &error));
    QCOMPARE(digest, QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    QFile::remove(big);
}

void TestPdfInspection::workerAnswersWithTheSameRecords()
{
    PdfInspector inspector;
    const QStringList names = {"text.pdf",          "scan.pdf",       "blank.pdf",
                               "user-password.pdf", "owner-only.pdf", "truncated.pdf",
                               "garbage.pdf",       "zero.pdf",       "notes.pdf",
                               "empty-tree.pdf",    "folder.pdf",     "missing.pdf"};
    qint64 firstWorker = 0;
    for (const QString& name : names) {
        const DocumentRecord viaWorker = inspector.inspect(fixture(name));
        QCOMPARE(viaWorker, inspectPdf(fixture(name)));
        if (firstWorker == 0)
            firstWorker = inspector.idleWorkerProcessId();
        QCOMPARE(inspector.idleWorkerProcessId(), firstWorker); // one worker serves them all
    }
    QVERIFY(firstWorker > 0);
}

void TestPdfInspection::selfReferencingPageTreeTimesOut()
{
    PdfInspector inspector({}, 2000);
    QElapsedTimer clock;
    clock.start();
    const DocumentRecord r = inspector.inspect(fixture("self-reference.pdf"));
    QVERIFY(clock.elapsed() >= 2000);
    QVERIFY(clock.elapsed() < 10000);
    QCOMPARE(r.state, int(Unreadable));
    QCOMPARE(r.errorText, QStringLiteral("timed out while opening the PDF"));
    QCOMPARE(r.fileName, QStringLiteral("self-reference.pdf"));
    QCOMPARE(r.sizeBytes, QFileInfo(fixture("self-reference.pdf")).size());
    QCOMPARE(r.sha256.size(), 64);

    // A fresh worker serves the next file.
    QCOMPARE(inspector.inspect(fixture("text.pdf")).state, int(Ready));
}

void TestPdfInspection::workerThatDiesIsReported()
{
    PdfInspector inspector;
    QTimer::singleShot(500, this, [&inspector] {
        if (inspector.busyWorkerProcessId() > 0)
            ::kill(pid_t(inspector.busyWorkerProcessId()), SIGKILL);
    });
    QElapsedTimer clock;
    clock.start();
    const DocumentRecord r = inspector.inspect(fixture("self-reference.pdf"));
    QVERIFY(clock.elapsed() < 10000);
    QCOMPARE(r.state, int(Unreadable));
    QCOMPARE(r.errorText, QStringLiteral("PDF engine stopped while reading this file"));
    QCOMPARE(inspector.inspect(fixture("scan.pdf")).state, int(NeedsOcr));

    // A worker that dies while it waits for work is replaced.
    const qint64 idle = inspector.idleWorkerProcessId();
    QVERIFY(idle > 0);
    ::kill(pid_t(idle), SIGKILL);
    QTest::qWait(200);
    QCOMPARE(inspector.inspect(fixture("text.pdf")), inspectPdf(fixture("text.pdf")));
}

void TestPdfInspection::eventsRunWhileWaitingAndNestedCallsWork()
{
    PdfInspector inspector({}, 1500);
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start(10);
    DocumentRecord nested;
    QTimer::singleShot(100, this, [&] { nested = inspector.inspect(fixture("text.pdf")); });
    const DocumentRecord outer = inspector.inspect(fixture("self-reference.pdf"));
    QCOMPARE(outer.errorText, QStringLiteral("timed out while opening the PDF"));
    QCOMPARE(nested.state, int(Ready)); // answered by a second worker while the first hung
    QVERIFY2(ticks >= 20, qPrintable(QString::number(ticks)));
}

void TestPdfInspection::prefetchedAnswersAreUsedOrRecycled()
{
    PdfInspector inspector({}, 1500);
    inspector.prefetch(fixture("text.pdf"));
    QCOMPARE(inspector.inspect(fixture("text.pdf")), inspectPdf(fixture("text.pdf")));

    // The time-out of a prefetched file runs from the moment it was handed over.
    inspector.prefetch(fixture("self-reference.pdf"));
    QTest::qWait(1000);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(inspector.inspect(fixture("self-reference.pdf")).errorText,
             QStringLiteral("timed out while opening the PDF"));
    QVERIFY2(clock.elapsed() < 1400, qPrintable(QString::number(clock.elapsed())));

    // Prefetches nobody claims (a hung one, finished ones) never hold up later inspections.
    inspector.prefetch(fixture("self-reference.pdf"));
    inspector.prefetch(fixture("scan.pdf"));
    inspector.prefetch(fixture("blank.pdf"));
    QTest::qWait(2000);
    for (const char* name : {"owner-only.pdf", "notes.pdf", "text.pdf", "garbage.pdf"})
        QCOMPARE(inspector.inspect(fixture(name)), inspectPdf(fixture(name)));
}

void TestPdfInspection::workerMemoryIsCapped()
{
    PdfInspector inspector;
    QCOMPARE(inspector.inspect(fixture("text.pdf")).state, int(Ready));
    const qint64 pid = inspector.idleWorkerProcessId();
    QVERIFY(pid > 0);
#if defined(__SANITIZE_ADDRESS__)
    const QByteArray environment =
        PdfFixtures::readBytes(QStringLiteral("/proc/%1/environ").arg(pid));
    QVERIFY(environment.contains("hard_rss_limit_mb=3072"));
#else
    const QByteArray limits = PdfFixtures::readBytes(QStringLiteral("/proc/%1/limits").arg(pid));
    QVERIFY2(limits.contains("Max address space         3221225472           3221225472"),
             limits.constData());
#endif
}

void TestPdfInspection::fallsBackToThisProcessWithoutWorker()
{
    PdfInspector inspector(m_dir.filePath("no-such-program"));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("PDF inspection worker could not be started .*"));
    QCOMPARE(inspector.inspect(fixture("text.pdf")), inspectPdf(fixture("text.pdf")));
    QCOMPARE(inspector.inspect(fixture("scan.pdf")).state, int(NeedsOcr)); // warned only once
    QCOMPARE(inspector.idleWorkerProcessId(), 0);
}

void TestPdfInspection::sourcesAreNeverChanged()
{
    QCOMPARE(fingerprint(), m_fingerprintBefore);
}

TESSAVO_TEST_MAIN_WITH_WORKER(TestPdfInspection)

#include "tst_pdfinspection.moc"
