#include "inspection/ImportSession.h"
#include "inspection/OpenCheck.h"
#include "inspection/WorkerPool.h"
#include "support/PdfFixtures.h"
#include "support/WorkerTestMain.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

using namespace Tessavo;
using namespace Tessavo::Inspection;

namespace {

constexpr int generous = 60000;

// The record the session should hand out for a file: what reading it in this process gives, with
// the modification time the session looked at before reading (none for what is not a file).
DocumentRecord readHere(const QString& path)
{
    DocumentRecord record = inspectPdf(path);
    if (QFileInfo(path).isFile())
        record.modifiedNs = currentIdentity(QFile::encodeName(path)).modifiedNs;
    return record;
}

const QString engineStopped = QStringLiteral("PDF engine stopped while reading this file");

// What a session hands out, in order.
struct Outcome : QObject {
    explicit Outcome(ImportSession& session)
    {
        connect(&session, &ImportSession::inspected, this,
                [this](const DocumentRecord& record) { records << record; });
        connect(&session, &ImportSession::finished, this, [this] { ++finished; });
        connect(&session, &ImportSession::progressed, this, [this] { ++progressed; });
    }

    QStringList names() const
    {
        QStringList names;
        for (const DocumentRecord& r : records)
            names << r.fileName;
        return names;
    }

    QList<DocumentRecord> records;
    int finished = 0;
    int progressed = 0;
};

QStringList capturedMessages;
QMutex capturedMutex;

void captureMessage(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    const QMutexLocker lock(&capturedMutex);
    capturedMessages << QStringLiteral("%1 %2").arg(QString::number(type), text);
}

// A pool of a test's own: at most this many workers, and the opening limit.
WorkerPool::Options limits(int workers, int openTimeoutMs = pdfOpenTimeoutMs)
{
    WorkerPool::Options options;
    options.capacity = workers;
    options.openTimeoutMs = openTimeoutMs;
    return options;
}

WorkerPool::Options runningProgram(const QString& program)
{
    WorkerPool::Options options;
    options.program = program;
    return options;
}

ImportSession::Options on(WorkerPool& pool)
{
    ImportSession::Options options;
    options.pool = &pool;
    return options;
}

// A clock that counts real time as if it were the worker's processor time: for files held at a
// gate, whose workers sleep.
qint64 wallClockAsCpu(qint64)
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

// One page that shows "Potato", under a page tree given by the /Pages objects (object 2 is the
// root node, object 3 the page, 4 and 5 its content and font, 6 onwards further nodes).
QByteArray potatoPdf(const QByteArray& root, const QList<QByteArray>& moreNodes = {})
{
    const QByteArray content = "BT /F1 24 Tf 72 700 Td (Potato) Tj ET";
    QList<QByteArray> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>", root,
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        "/Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content +
            "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
    objects += moreNodes;
    return PdfFixtures::assemblePdf(objects);
}

QByteArray sha256Of(const QString& path)
{
    return QCryptographicHash::hash(PdfFixtures::readBytes(path), QCryptographicHash::Sha256)
        .toHex();
}

} // namespace

class TestImportSession : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void recordsEqualInProcessInspectionInQueueOrder();
    void longDocumentIsSharedOutAndProgressMoves();
    void openingTimeOutCountsFromTheOpenOnly();
    void hangingOpenTimesOutAndTheNextFileIsServed();
    void workerKilledMidFileFailsThatFileOnly();
    void workerThatCannotStartIsTriedAgainForTheNextFile();
    void malformedAnswerIsRefusedWithoutTrustingIt();
    void cancelDropsEverythingInFlight();
    void fileChangedMeanwhileIsInspectedAgain();
    void aWalksLookIsTakenOnceAndAPipeNeverBlocks();
    void workerMessagesReachThisProcessLog();
    void workerMemoryIsCapped();
    void destroyingStopsEveryWorkerAtOnce();
    void namesThatAreNotUtf8AreReadThroughTheirBytes();
    void textBeyondTheBoundIsDroppedWithANote();
    void openingLimitCountsProcessorTimeOnly();
    void pageTreeLoopsAreLeftToTheEngineWithinALimit();
    void emptyUserPasswordOpensAsReadersDo();
    void workersEndWithTheirParent();
    void openCheckRunsInAWorkerOfItsOwn();

private:
    QString fixture(const QString& name) const { return m_dir.filePath(name); }
    QString copyOfText(const QString& name);
    static void open(const QString& gatedPath);

    QTemporaryDir m_dir;
};

QString TestImportSession::copyOfText(const QString& name)
{
    const QString path = fixture(name);
    QFile::remove(path);
    QFile::remove(WorkerTestHooks::gateOf(path));
    QFile::remove(WorkerTestHooks::waitingAt(path));
    if (!QFile::copy(fixture("text.pdf"), path))
        qFatal("cannot copy the text fixture");
    return path;
}

void TestImportSession::open(const QString& gatedPath)
{
    PdfFixtures::writeBytes(WorkerTestHooks::gateOf(gatedPath), "open");
}

void TestImportSession::initTestCase()
{
    using namespace PdfFixtures;
    QVERIFY(m_dir.isValid());
    QVERIFY(writeEveryKind(m_dir.path()));
    QStringList pages;
    for (int i = 0; i < 300; ++i)
        pages << QStringLiteral("Page %1 of the long volume\nclause %1").arg(i + 1);
    QVERIFY(writeTextPdf(fixture("long.pdf"), pages));
}

void TestImportSession::recordsEqualInProcessInspectionInQueueOrder()
{
    const QStringList names = {"text.pdf",          "scan.pdf",       "blank.pdf",
                               "user-password.pdf", "owner-only.pdf", "truncated.pdf",
                               "zero.pdf",          "notes.pdf",      "empty-tree.pdf",
                               "folder.pdf",        "missing.pdf",    "long.pdf"};
    QStringList paths;
    for (const QString& name : names)
        paths << fixture(name);

    ImportSession session;
    Outcome outcome(session);
    session.enqueue(paths);
    QVERIFY(session.contains(fixture("zero.pdf")));
    QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 1, generous);
    QCOMPARE(outcome.names(), names); // queue order, whatever finished first
    for (const DocumentRecord& r : outcome.records)
        QCOMPARE(r, readHere(r.sourcePath));
    QVERIFY(!session.active());
    QVERIFY(!session.contains(fixture("zero.pdf")));
    QVERIFY(session.workerProcessIds().size() >= 2); // several workers at once
}

void TestImportSession::longDocumentIsSharedOutAndProgressMoves()
{
    WorkerPool pool(limits(2));
    ImportSession session(on(pool));
    Outcome outcome(session);
    QSet<qint64> readers;
    double lastPartial = 0;
    bool partialNeverFell = true;
    connect(&session, &ImportSession::progressed, this, [&] {
        for (qint64 pid : session.busyWorkerProcessIds())
            readers.insert(pid);
        partialNeverFell = partialNeverFell && session.partialFiles() >= lastPartial;
        lastPartial = session.partialFiles();
    });
    session.enqueue({fixture("long.pdf")});
    QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 1, generous);
    QCOMPARE(outcome.records.size(), 1);
    QCOMPARE(outcome.records.constFirst(), readHere(fixture("long.pdf")));
    QVERIFY2(outcome.progressed >= 10, qPrintable(QString::number(outcome.progressed)));
    QVERIFY(partialNeverFell);
    QCOMPARE(readers.size(), 2); // both workers read pages of the one document
}

void TestImportSession::openingTimeOutCountsFromTheOpenOnly()
{
    // One worker, two files held in turn: the second waits in the queue longer than the limit
    // but opens within it, so both open.
    const QString first = copyOfText("gate-first.pdf");
    const QString second = copyOfText("gate-second.pdf");
    WorkerPool pool(limits(1, 1500));
    ImportSession session(on(pool));
    Outcome outcome(session);
    session.enqueue({first, second});
    QTimer::singleShot(1000, this, [&] { open(first); });
    QTimer::singleShot(2000, this, [&] { open(second); });
    QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 1, generous);
    QCOMPARE(outcome.records.size(), 2);
    QCOMPARE(outcome.records[0].state, int(Ready));
    QCOMPARE(outcome.records[1].state, int(Ready));
}

void TestImportSession::hangingOpenTimesOutAndTheNextFileIsServed()
{
    // The held file never opens: its worker is stopped when the limit runs out.
    const QString held = copyOfText("gate-hanging.pdf");
    WorkerPool::Options options = limits(0, 1500);
    options.cpuClock = wallClockAsCpu; // the held worker sleeps
    WorkerPool pool(options);
    ImportSession session(on(pool));
    Outcome outcome(session);
    QElapsedTimer clock;
    clock.start();
    session.enqueue({held, fixture("self-reference.pdf"), fixture("text.pdf")});
    QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 1, generous);
    QVERIFY(clock.elapsed() >= 1500);
    const DocumentRecord& hung = outcome.records.at(0);
    QCOMPARE(hung.state, int(Unreadable));
    QCOMPARE(hung.errorText, QStringLiteral("timed out while opening the PDF"));
    QCOMPARE(hung.sizeBytes, QFileInfo(held).size());
    QCOMPARE(hung.sha256, sha256Of(held));
    // A page tree that contains itself and that the engine walks for ever.
    QCOMPARE(outcome.records.at(1).errorText, QStringLiteral("PDF page tree refers to itself"));
    QCOMPARE(outcome.records.at(2), readHere(fixture("text.pdf")));
}

void TestImportSession::workerKilledMidFileFailsThatFileOnly()
{
    const QString held = copyOfText("gate-killed.pdf");
    ImportSession session;
    Outcome outcome(session);
    session.enqueue({held, fixture("scan.pdf")});
    // Killed once it has said it is loading the held file: the engine stopped mid-file.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(WorkerTestHooks::waitingAt(held)), generous);
    QTRY_COMPARE_WITH_TIMEOUT(session.busyWorkerProcessIds().size(), 1, generous); // scan done
    ::kill(pid_t(session.busyWorkerProcessIds().constFirst()), SIGKILL);
    QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 1, generous);
    QCOMPARE(outcome.names(), (QStringList{"gate-killed.pdf", "scan.pdf"}));
    QCOMPARE(outcome.records[0].state, int(Unreadable));
    QCOMPARE(outcome.records[0].errorText, engineStopped);
    QCOMPARE(outcome.records[0].sha256, sha256Of(held)); // hashed once, here, all the same
    QCOMPARE(outcome.records[1].state, int(NeedsOcr));

    // A fresh worker takes the next file.
    session.enqueue({fixture("text.pdf")});
    QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 2, generous);
    QCOMPARE(outcome.records.last().state, int(Ready));
}

void TestImportSession::workerThatCannotStartIsTriedAgainForTheNextFile()
{
    const QString program = fixture("worker-program");
    WorkerPool pool(runningProgram(program));
    ImportSession session(on(pool));
    Outcome outcome(session);
    session.enqueue({fixture("text.pdf")});
    QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 1, generous);
    QCOMPARE(outcome.records[0].state, int(Unreadable));
    QCOMPARE(outcome.records[0].errorText, QStringLiteral("PDF engine could not be started"));
    QCOMPARE(outcome.records[0].sha256, sha256Of(fixture("text.pdf")));

    QVERIFY(QFile::link(QCoreApplication::applicationFilePath(), program));
    session.enqueue({fixture("scan.pdf")});
    QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 2, generous);
    QCOMPARE(outcome.records[1].state, int(NeedsOcr));
    QFile::remove(program);
}

void TestImportSession::malformedAnswerIsRefusedWithoutTrustingIt()
{
    // A "worker" that announces a frame of 4 GiB and then sits still.
    const QString program = fixture("lying-worker.sh");
    QVERIFY(PdfFixtures::writeBytes(program, "#!/bin/sh\nprintf '\\377\\377\\377\\377\\014'\n"
                                             "exec sleep 60\n"));
    QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
    WorkerPool pool(runningProgram(program));
    ImportSession session(on(pool));
    Outcome outcome(session);
    QElapsedTimer clock;
    clock.start();
    session.enqueue({fixture("text.pdf")});
    QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 1, generous);
    QVERIFY2(clock.elapsed() < 10000, "a broken stream is refused, not waited for");
    QCOMPARE(outcome.records[0].errorText, engineStopped);
}

void TestImportSession::cancelDropsEverythingInFlight()
{
    const QString held = copyOfText("gate-cancelled.pdf");
    ImportSession session;
    Outcome outcome(session);
    session.enqueue({held, fixture("text.pdf"), fixture("long.pdf")});
    QTRY_VERIFY_WITH_TIMEOUT(!session.busyWorkerProcessIds().isEmpty(), generous);
    session.cancel();
    QVERIFY(!session.active());
    QVERIFY(!session.contains(held));
    open(held);

    // Whatever was in flight would arrive before a file queued after it.
    session.enqueue({fixture("scan.pdf")});
    QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 1, generous);
    QCOMPARE(outcome.names(), QStringList{"scan.pdf"});
}

void TestImportSession::fileChangedMeanwhileIsInspectedAgain()
{
    // The second file is read while the first is held; then it changes before its turn.
    const QString held = copyOfText("gate-ahead.pdf");
    const QString changing = fixture("changing.pdf");
    QVERIFY(PdfFixtures::writeTextPdf(changing, {"the old words"}));
    WorkerPool pool(limits(2));
    ImportSession session(on(pool));
    Outcome outcome(session);
    session.enqueue({held, changing});
    QTRY_VERIFY_WITH_TIMEOUT(!session.busyWorkerProcessIds().isEmpty(), generous);
    QTRY_COMPARE_WITH_TIMEOUT(session.busyWorkerProcessIds().size(), 1, generous);
    QVERIFY(PdfFixtures::writeTextPdf(changing, {"the new words", "and a second page"}));
    open(held);
    QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 1, generous);
    const DocumentRecord& r = outcome.records.at(1);
    QCOMPARE(r.pages, 2);
    QVERIFY(r.pageTexts[0].text.contains(QStringLiteral("the new words")));
    QCOMPARE(r.sha256, sha256Of(changing));
    QCOMPARE(r.sizeBytes, QFileInfo(changing).size());
}

void TestImportSession::aWalksLookIsTakenOnceAndAPipeNeverBlocks()
{
    // The walk saw two regular files; by their turn one is a pipe. The other keeps the time the
    // walk saw; the pipe fails as not a regular file, and neither the hashing nor the session's
    // end waits for a writer that never comes.
    const QString kept = copyOfText("walked.pdf");
    const QString piped = fixture("walked-then-piped.pdf");
    QVERIFY(PdfFixtures::writeTextPdf(piped, {"soon a pipe"}));
    const FileIdentity keptLook = currentIdentity(QFile::encodeName(kept));
    const FileIdentity pipedLook = currentIdentity(QFile::encodeName(piped));
    QVERIFY(keptLook.modifiedNs > 0 && pipedLook.size > 0);
    QVERIFY(QFile::remove(piped));
    QCOMPARE(::mkfifo(QFile::encodeName(piped).constData(), 0600), 0);
    {
        WorkerPool pool(limits(2, 2000));
        ImportSession session(on(pool));
        Outcome outcome(session);
        session.enqueue(QList<FileIdentity>{keptLook, pipedLook});
        QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 1, generous);
        QCOMPARE(outcome.records.size(), 2);
        QCOMPARE(outcome.records.at(0).state, Ready);
        QCOMPARE(outcome.records.at(0).modifiedNs, keptLook.modifiedNs);
        QCOMPARE(outcome.records.at(1).state, Unreadable);
    }
    QFile::remove(piped);
}

void TestImportSession::workerMessagesReachThisProcessLog()
{
    const QString path = copyOfText("warn-me.pdf");
    {
        const QMutexLocker lock(&capturedMutex);
        capturedMessages.clear();
    }
    const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
    ImportSession session;
    Outcome outcome(session);
    session.enqueue({path});
    QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 1, generous);
    auto seen = [](const QString& line) {
        const QMutexLocker lock(&capturedMutex);
        return capturedMessages.contains(line);
    };
    const QString warning = QString::number(QtWarningMsg);
    QTRY_VERIFY(seen(warning + " inspection worker: test worker warns about warn-me.pdf"));
    QTRY_VERIFY(
        seen(warning + " inspection worker: test worker writes to stderr about warn-me.pdf"));
    qInstallMessageHandler(previous);
    QCOMPARE(outcome.records[0].state, int(Ready));
}

void TestImportSession::workerMemoryIsCapped()
{
    ImportSession session;
    Outcome outcome(session);
    session.enqueue({fixture("text.pdf")});
    QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 1, generous);
    QVERIFY(!session.workerProcessIds().isEmpty());
    const qint64 pid = session.workerProcessIds().constFirst();
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

void TestImportSession::destroyingStopsEveryWorkerAtOnce()
{
    const QString held = copyOfText("gate-never.pdf");
    auto session = std::make_unique<ImportSession>();
    session->enqueue({held, fixture("long.pdf"), fixture("text.pdf")});
    QTRY_VERIFY_WITH_TIMEOUT(!session->busyWorkerProcessIds().isEmpty(), generous);
    const QList<qint64> pids = session->workerProcessIds();
    QElapsedTimer clock;
    clock.start();
    session.reset();
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    for (qint64 pid : pids)
        QVERIFY(::kill(pid_t(pid), 0) != 0); // gone and reaped
}

void TestImportSession::namesThatAreNotUtf8AreReadThroughTheirBytes()
{
    // "caf\xe9.pdf" as an older system wrote it: Latin-1, not UTF-8.
    const QByteArray raw = QFile::encodeName(m_dir.path()) + "/caf\xe9.pdf";
    QVERIFY(::link(QFile::encodeName(fixture("text.pdf")).constData(), raw.constData()) == 0);
    const QString decoded = QFile::decodeName(raw);
    QVERIFY(!QFile::exists(decoded)); // what a QString path cannot do

    WorkerPool pool(limits(2));
    ImportSession session(on(pool));
    Outcome outcome(session);
    session.enqueue(QList<QByteArray>{raw});
    QVERIFY(session.contains(raw));
    session.enqueue(QStringList{decoded}); // a name that lost its bytes on the way
    QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 1, generous);
    QCOMPARE(outcome.records.size(), 2);

    const DocumentRecord& read = outcome.records.at(0);
    const DocumentRecord reference = inspectPdf(fixture("text.pdf"));
    QCOMPARE(read.sourcePathBytes, raw);
    QCOMPARE(read.sourcePath, decoded);
    QCOMPARE(read.fileName, QStringLiteral("caf\uFFFD.pdf"));
    QCOMPARE(read.state, int(Ready));
    QCOMPARE(read.sha256, reference.sha256);
    QCOMPARE(read.pageTexts, reference.pageTexts);
    QCOMPARE(read.title, reference.title);

    const DocumentRecord& lost = outcome.records.at(1);
    QCOMPARE(lost.state, int(Unreadable));
    QCOMPARE(lost.errorText, QStringLiteral("File name is not valid UTF-8"));
    QVERIFY(lost.sourcePathBytes.isEmpty());
    QCOMPARE(::unlink(raw.constData()), 0); // QTemporaryDir cannot remove it by name
}

void TestImportSession::textBeyondTheBoundIsDroppedWithANote()
{
    WorkerPool pool(limits(1));
    ImportSession::Options options = on(pool);
    options.maxTextChars = 100;
    ImportSession session(options);
    Outcome outcome(session);
    QTest::ignoreMessage(QtWarningMsg,
                         "Only the first 100 characters of text of long.pdf are kept; the rest "
                         "is dropped");
    session.enqueue({fixture("long.pdf"), fixture("text.pdf")});
    QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 1, generous);
    const DocumentRecord full = inspectPdf(fixture("long.pdf"));
    const DocumentRecord& cut = outcome.records.at(0);
    qint64 kept = 0;
    for (const PageText& page : cut.pageTexts)
        kept += page.text.size();
    QCOMPARE(kept, 100);
    QCOMPARE(cut.textChars, full.textChars); // the counts still tell the whole length
    QCOMPARE(cut.pages, 300);
    QCOMPARE(cut.state, int(Ready));
    QCOMPARE(cut.errorText, QStringLiteral("text beyond the first 100 characters was not kept"));
    QVERIFY(outcome.records.at(1).errorText.isEmpty()); // the bound is per document
    QCOMPARE(outcome.records.at(1).pageTexts, inspectPdf(fixture("text.pdf")).pageTexts);
}

void TestImportSession::openingLimitCountsProcessorTimeOnly()
{
    // The worker waits at the gate three times as long as the limit, as it would for a core on a
    // busy machine, but spends no processor time: the file opens.
    const QString held = copyOfText("gate-waiting-for-a-core.pdf");
    WorkerPool pool(limits(1, 1000));
    ImportSession session(on(pool));
    Outcome outcome(session);
    session.enqueue({held});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(WorkerTestHooks::waitingAt(held)), generous);
    QTimer::singleShot(3000, this, [&] { open(held); });
    QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 1, generous);
    QCOMPARE(outcome.records[0].errorText, QString());
    QCOMPARE(outcome.records[0].state, int(Ready));

    // Counted by the clock the session is given: one that runs out stops the opening.
    const QString spent = copyOfText("gate-spent.pdf");
    WorkerPool::Options options = limits(1, 1000);
    QAtomicInteger<qint64> calls = 0;
    options.cpuClock = [&calls](qint64 pid) {
        return pid > 0 ? 600 * qint64(calls.fetchAndAddRelaxed(1)) : -1;
    };
    WorkerPool countedPool(options);
    ImportSession counted(on(countedPool));
    Outcome countedOutcome(counted);
    counted.enqueue({spent});
    QTRY_COMPARE_WITH_TIMEOUT(countedOutcome.finished, 1, generous);
    QCOMPARE(countedOutcome.records[0].errorText,
             QStringLiteral("timed out while opening the PDF"));
    QVERIFY(calls >= 3);
    open(spent);
}

void TestImportSession::pageTreeLoopsAreLeftToTheEngineWithinALimit()
{
    using PdfFixtures::writeBytes;
    // A kid that points back to an ancestor, and a kid listed twice: the engine reads both.
    QVERIFY(writeBytes(fixture("loop-potato.pdf"),
                       potatoPdf("<< /Type /Pages /Kids [3 0 R 6 0 R] /Count 1 >>",
                                 {"<< /Type /Pages /Parent 2 0 R /Kids [2 0 R] /Count 0 >>"})));
    QVERIFY(writeBytes(fixture("twice-potato.pdf"),
                       potatoPdf("<< /Type /Pages /Kids [3 0 R 3 0 R] /Count 2 >>")));
    WorkerPool::Options options = limits(1);
    options.loopOpenTimeoutMs = 1000;
    WorkerPool pool(options);
    ImportSession session(on(pool));
    Outcome outcome(session);
    QElapsedTimer clock;
    clock.start();
    session.enqueue({fixture("loop-potato.pdf"), fixture("twice-potato.pdf"),
                     fixture("self-reference.pdf"), fixture("text.pdf")});
    QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 1, generous);
    const DocumentRecord& loop = outcome.records.at(0);
    QCOMPARE(loop.errorText, QString());
    QCOMPARE(loop.state, int(Ready));
    QCOMPARE(loop.pages, 1);
    QCOMPARE(loop.pageTexts.at(0).text.trimmed(), QStringLiteral("Potato"));
    const DocumentRecord& twice = outcome.records.at(1);
    QCOMPARE(twice.state, int(Ready));
    QCOMPARE(twice.pages, 2);
    QCOMPARE(twice.pageTexts.at(1).text.trimmed(), QStringLiteral("Potato"));
    // The engine walks this one for ever: it is stopped at the short limit.
    const DocumentRecord& endless = outcome.records.at(2);
    QCOMPARE(endless.state, int(Unreadable));
    QCOMPARE(endless.errorText, QStringLiteral("PDF page tree refers to itself"));
    QCOMPARE(endless.sha256, sha256Of(fixture("self-reference.pdf")));
    QCOMPARE(outcome.records.at(3).state, int(Ready));
}

void TestImportSession::emptyUserPasswordOpensAsReadersDo()
{
    // AES-256 with an empty user password, revisions 6 and 5: readers open them without asking.
    const QString source = fixture("text.pdf");
    QVERIFY(PdfFixtures::encryptWithQpdf(source, fixture("empty-r6.pdf"), "", "owner"));
    QProcess qpdf;
    qpdf.start(QStringLiteral("qpdf"), {"--encrypt", "", "owner", "256", "--force-R5", "--", source,
                                        fixture("empty-r5.pdf")});
    QVERIFY(qpdf.waitForFinished(30000) && qpdf.exitCode() == 0);
    ImportSession session;
    Outcome outcome(session);
    session.enqueue(
        {fixture("empty-r6.pdf"), fixture("empty-r5.pdf"), fixture("user-password.pdf")});
    QTRY_COMPARE_WITH_TIMEOUT(outcome.finished, 1, generous);
    for (int i : {0, 1}) {
        const DocumentRecord& r = outcome.records.at(i);
        QCOMPARE(r.errorText, QString());
        QCOMPARE(r.state, int(Ready));
        QVERIFY(r.pageTexts.at(2).text.contains(QStringLiteral("bid bond")));
    }
    // A real user password still keeps the document closed.
    QCOMPARE(outcome.records.at(2).state, int(Encrypted));
}

void TestImportSession::workersEndWithTheirParent()
{
    // A parent of its own (python3) starts a worker and asks it for a held file; the parent is
    // killed while the worker is busy with that file.
    const QString held = copyOfText("gate-orphaned.pdf");
    const QByteArray script = R"(
import os, struct, subprocess, sys, time
path = os.fsencode(sys.argv[2])
worker = subprocess.Popen([sys.argv[1], '--inspection-worker'], stdin=subprocess.PIPE,
                          stdout=subprocess.DEVNULL)
body = bytes([1]) + struct.pack('>QQI', 1, 1, len(path)) + path + struct.pack('>ii', 0, 1)
worker.stdin.write(struct.pack('>I', len(body)) + body)
worker.stdin.flush()
print(worker.pid, flush=True)
time.sleep(120)
)";
    QProcess parent;
    parent.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromUtf8(script),
                                             QCoreApplication::applicationFilePath(), held});
    QVERIFY(parent.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(parent.canReadLine(), generous);
    const qint64 worker = parent.readLine().trimmed().toLongLong();
    QVERIFY(worker > 0);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(WorkerTestHooks::waitingAt(held)), generous);

    const auto alive = [worker] {
        // A zombie that nobody reaps has ended all the same.
        const QByteArray stat = PdfFixtures::readBytes(QStringLiteral("/proc/%1/stat").arg(worker));
        const qsizetype close = stat.lastIndexOf(')');
        return close > 0 && stat.size() > close + 2 && stat.at(close + 2) != 'Z';
    };
    QVERIFY(alive());
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(parent.processId()), SIGKILL);
    QTRY_VERIFY_WITH_TIMEOUT(!alive(), 5000);
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    parent.waitForFinished(5000);
    open(held);
}

void TestImportSession::openCheckRunsInAWorkerOfItsOwn()
{
    const QString worker = QCoreApplication::applicationFilePath();
    QVERIFY(checkOpensInWorker(fixture("text.pdf"), worker).ok);
    QCOMPARE(checkOpensInWorker(fixture("empty-tree.pdf"), worker).error,
             inspectPdf(fixture("empty-tree.pdf")).errorText);
    const Status truncated = checkOpensInWorker(fixture("truncated.pdf"), worker);
    QVERIFY(!truncated.ok);
    QCOMPARE(truncated.error, inspectPdf(fixture("truncated.pdf")).errorText);
    QCOMPARE(checkOpensInWorker(fixture("text.pdf"), fixture("no-such-worker")).error,
             QStringLiteral("PDF engine could not be started"));
}

TESSAVO_TEST_MAIN_WITH_WORKER(TestImportSession)

#include "tst_importsession.moc"
