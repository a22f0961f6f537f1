// The stored session: what a killed process wrote comes back, changed and vanished files are
// flagged, unusable session files are set aside, and unchanged files are not inspected again.
#include "support/ExternalTool.h"
#include "support/PdfFixtures.h"
#include "support/WorkerTestMain.h"
#include "ui/AppController.h"
#include "ui/SessionStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstdio>

using namespace Tessavo;
using namespace Tessavo::Ui;

namespace {

// A controller that keeps its list in this file and nothing else.
Tessavo::Ui::ControllerSetup sessionAt(const QString& path)
{
    Tessavo::Ui::ControllerSetup setup;
    setup.sessionPath = path;
    return setup;
}

constexpr int generous = 60000;

// One line per row: file name, decision, final category and file status.
QStringList listing(AppController& c)
{
    QStringList lines;
    for (const DocumentRecord& r : c.documents()->records())
        lines.append(QStringLiteral("%1|%2|%3|%4")
                         .arg(r.fileName, QString::number(r.decision), r.finalCategory,
                              QString::number(r.fileStatus)));
    return lines;
}

int rowOf(AppController& c, const QString& fileName)
{
    const QList<DocumentRecord>& records = c.documents()->records();
    for (int row = 0; row < records.size(); ++row)
        if (records.at(row).fileName == fileName)
            return row;
    return -1;
}

DocumentRecord sampleRecord(int n)
{
    DocumentRecord r;
    r.sourcePath = QStringLiteral("/bids/Offer %1, «final».pdf").arg(n);
    r.fileName = QStringLiteral("Offer %1, «final».pdf").arg(n);
    r.sizeBytes = 1000 + n;
    r.modifiedMs = 1700000000000 + n;
    r.sha256 = QByteArray(64, 'a' + char(n % 6));
    r.pages = 2;
    r.textPages = 1;
    r.title = QStringLiteral("Title ✓");
    r.state = Ready;
    r.pageTexts = {{0, 5, QStringLiteral("Bid\r\n")}, {1, 0, QString()}};
    r.textChars = 5;
    r.suggestion.category = QStringLiteral("02_Forms");
    r.suggestion.ruleId = QStringLiteral("rule-1");
    r.suggestion.ruleName = QStringLiteral("Forms");
    r.suggestion.evidence = QStringLiteral("text contains \"bid\"");
    r.suggestion.evidencePage = 0;
    r.suggestion.matches = {{QStringLiteral("rule-1"), QStringLiteral("Forms"),
                             QStringLiteral("02_Forms"), QStringLiteral("text contains \"bid\""),
                             0}};
    r.decision = Changed;
    r.finalCategory = QStringLiteral("05_References");
    r.note = QStringLiteral("note %1").arg(n);
    return r;
}

} // namespace

class TestSession : public QObject {
    Q_OBJECT

private slots:
    void init();
    void recordsComeBackExactly();
    void gapsInPositionsKeepTheOrder();
    void unusableFilesAreSetAside_data();
    void unusableFilesAreSetAside();
    void oneWindowAtATimeKeepsTheList();
    void killedProcessLosesNoDecision();
    void restoredRecordsFollowTheCurrentRules();
    void changedAndMissingFilesAreFlagged();
    void unchangedFilesAreNotInspectedAgain();
    void clearEmptiesTheStoredList();
    void controllersWithoutSessionKeepNothing();

private:
    QString makePackage(const QString& name);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_db;
};

void TestSession::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = m_dir->filePath(QStringLiteral("data/session.sqlite"));
}

QString TestSession::makePackage(const QString& name)
{
    const QString folder = m_dir->filePath(name);
    if (!QDir().mkpath(folder))
        return {};
    if (!PdfFixtures::writeTextPdf(folder + "/rfp.pdf", {"Request for Proposals"}) ||
        !PdfFixtures::writeTextPdf(folder + "/bond.pdf", {"Bid bond form"}) ||
        !PdfFixtures::writeTextPdf(folder + "/notes.pdf", {"Meeting notes"}))
        return {};
    return folder;
}

void TestSession::recordsComeBackExactly()
{
    QList<DocumentRecord> records;
    for (int n = 0; n < 3; ++n)
        records.append(sampleRecord(n));
    records[1].pageTexts.clear();
    records[1].pages = 0;
    records[1].textPages = 0;
    records[1].state = Unreadable;
    records[1].errorText = QStringLiteral("cannot open file");
    records[2].suggestion.matches.clear();
    QVERIFY(!records[2].pageTexts.isEmpty());
    records[2].pageTexts.first().recognised = true; // read from the rendered page
    {
        SessionStore store(m_db);
        QList<DocumentRecord> loaded;
        QVERIFY2(store.open(loaded), qPrintable(store.errorString()));
        QVERIFY(loaded.isEmpty());
        QVERIFY(store.saveRecords(records, {0, 1, 2}));
        records[0].decision = Accepted;
        records[0].finalCategory = QStringLiteral("02_Forms");
        QVERIFY(store.saveReviews(records, {0}));
    }
    SessionStore again(m_db);
    QList<DocumentRecord> loaded;
    QVERIFY2(again.open(loaded), qPrintable(again.errorString()));
    QCOMPARE(loaded.size(), 3);
    for (int n = 0; n < 3; ++n)
        QCOMPARE(loaded.at(n), records.at(n));
    QVERIFY(again.setAsidePath().isEmpty());

    // What SQLite itself reports about the file.
    const ToolRun pragmas = runPython("import sqlite3, sys\n"
                                      "c = sqlite3.connect(sys.argv[1])\n"
                                      "print(c.execute('pragma journal_mode').fetchone()[0],\n"
                                      "      c.execute('pragma user_version').fetchone()[0],\n"
                                      "      c.execute('pragma integrity_check').fetchone()[0],\n"
                                      "      c.execute('select count(*) from document where "
                                      "position is not null').fetchone()[0])",
                                      {m_db});
    QVERIFY2(pragmas.ok(), pragmas.err);
    QCOMPARE(pragmas.out.trimmed(), QByteArray("wal 1 ok 3"));
}

// Positions with gaps (written by hand here) keep their order and are numbered afresh.
void TestSession::gapsInPositionsKeepTheOrder()
{
    QList<DocumentRecord> records = {sampleRecord(0), sampleRecord(1), sampleRecord(2)};
    {
        SessionStore store(m_db);
        QList<DocumentRecord> none;
        QVERIFY(store.open(none));
        QVERIFY(store.saveRecords(records, {0, 1, 2}));
    }
    const QByteArray positions =
        "import sqlite3, sys\n"
        "c = sqlite3.connect(sys.argv[1])\n"
        "if len(sys.argv) > 2:\n"
        "    c.execute('update document set position = 20 - position * 5')\n"
        "    c.commit()\n"
        "print(' '.join(str(r[0]) for r in c.execute("
        "'select position from document order by path')))";
    const ToolRun moved = runPython(positions, {m_db, "move"});
    QVERIFY2(moved.ok(), moved.err);
    QCOMPARE(moved.out.trimmed(), QByteArray("20 15 10"));
    {
        SessionStore store(m_db);
        QList<DocumentRecord> loaded;
        QVERIFY2(store.open(loaded), qPrintable(store.errorString()));
        std::reverse(records.begin(), records.end());
        QCOMPARE(loaded, records);
        records.append(sampleRecord(3));
        QVERIFY(store.saveRecords(records, {3}));
    }
    const ToolRun renumbered = runPython(positions, {m_db});
    QVERIFY2(renumbered.ok(), renumbered.err);
    QCOMPARE(renumbered.out.trimmed(), QByteArray("2 1 0 3"));
}

void TestSession::unusableFilesAreSetAside_data()
{
    QTest::addColumn<QByteArray>("script"); // makes the file at sys.argv[1]
    QTest::addColumn<QString>("status");
    QTest::newRow("not a database")
        << QByteArray("open(sys.argv[1], 'wb').write(b'SQLite format 3\\0' + b'\\xff' * 3000)")
        << QStringLiteral("The stored session could not be read and was set aside as "
                          "session.sqlite.bad. Starting with an empty list.");
    QTest::newRow("newer version")
        << QByteArray("c = sqlite3.connect(sys.argv[1])\n"
                      "c.execute('create table document (path text)')\n"
                      "c.execute('pragma user_version = 2')\n"
                      "c.commit()")
        << QStringLiteral("The stored session comes from a newer version and was set aside as "
                          "session.sqlite.bad. Starting with an empty list.");
    QTest::newRow("another program's database")
        << QByteArray("c = sqlite3.connect(sys.argv[1])\n"
                      "c.execute('create table photos (id integer)')\n"
                      "c.commit()")
        << QStringLiteral("The stored session could not be read and was set aside as "
                          "session.sqlite.bad. Starting with an empty list.");
    QTest::newRow("damaged row") << QByteArray(
                                        "c = sqlite3.connect(sys.argv[1])\n"
                                        "c.execute('update document set page_texts = x\\'00\\'')\n"
                                        "c.commit()")
                                 << QStringLiteral(
                                        "The stored session could not be read and was set aside as "
                                        "session.sqlite.bad. Starting with an empty list.");
}

void TestSession::unusableFilesAreSetAside()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, status);
    QVERIFY(QDir().mkpath(QFileInfo(m_db).absolutePath()));
    if (QByteArray(QTest::currentDataTag()) == "damaged row") {
        SessionStore store(m_db);
        QList<DocumentRecord> none;
        QVERIFY(store.open(none));
        QVERIFY(store.saveRecords({sampleRecord(1)}, {0}));
    }
    const ToolRun made = runPython("import sqlite3, sys\n" + script, {m_db});
    QVERIFY2(made.ok(), made.err);
    const QByteArray original = PdfFixtures::readBytes(m_db);

    AppController c(sessionAt(m_db));
    QCOMPARE(c.status(), status);
    QCOMPARE(c.documents()->rowCount(), 0);
    QCOMPARE(PdfFixtures::readBytes(m_db + ".bad"), original);

    // The new file works: what is imported now is there at the next start.
    c.addUrls({QUrl::fromLocalFile(makePackage("pkg") + "/rfp.pdf")});
    QTRY_VERIFY_WITH_TIMEOUT(!c.importing(), generous);
    QCOMPARE(c.documents()->rowCount(), 1);
}

void TestSession::oneWindowAtATimeKeepsTheList()
{
    AppController first(sessionAt(m_db));
    first.addUrls({QUrl::fromLocalFile(makePackage("pkg") + "/rfp.pdf")});
    QTRY_VERIFY_WITH_TIMEOUT(!first.importing(), generous);

    AppController second(sessionAt(m_db));
    QVERIFY2(second.status().startsWith("The document list cannot be kept between runs: "),
             qPrintable(second.status()));
    QVERIFY(second.status().contains("in use by another Tessavo window"));
    QCOMPARE(second.documents()->rowCount(), 0);
    second.addUrls({QUrl::fromLocalFile(m_dir->filePath("pkg/bond.pdf"))});
    QTRY_VERIFY_WITH_TIMEOUT(!second.importing(), generous);
    second.ignoreDocument(0);
    QCOMPARE(first.documents()->rowCount(), 1); // nothing of the second reached the first's file
}

// A child process imports, decides and is killed with SIGKILL while still running; a new
// controller on the same file shows the same rows, order and decisions.
void TestSession::killedProcessLosesNoDecision()
{
    const QString package = makePackage("pkg");
    QVERIFY(!package.isEmpty());
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {"--session-child", m_db, package});
    QVERIFY(child.waitForStarted());
    QByteArray out;
    QDeadlineTimer deadline(generous);
    while (!out.contains("ready\n") && !deadline.hasExpired() &&
           child.state() == QProcess::Running) {
        child.waitForReadyRead(100);
        out += child.readAllStandardOutput();
    }
    QVERIFY2(out.endsWith("ready\n"), out.constData());
    QVERIFY(::kill(pid_t(child.processId()), SIGKILL) == 0);
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    QStringList expected = QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts);
    expected.removeLast(); // "ready"
    QCOMPARE(expected.size(), 3);

    AppController c(sessionAt(m_db));
    QCOMPARE(listing(c), expected);
    QCOMPARE(c.status(), QStringLiteral("Restored 3 document(s) from the last session."));
    const QVariantMap summary = c.summary();
    QCOMPARE(summary.value("accepted").toInt(), 1);
    QCOMPARE(summary.value("changed").toInt(), 1);
    QCOMPARE(summary.value("ignored").toInt(), 1);
    // Suggestions come from the current rules.
    QCOMPARE(c.documents()->records().at(rowOf(c, "rfp.pdf")).suggestion.category,
             QStringLiteral("01_Solicitation"));
}

// Stored with a suggestion from rules that are gone: the restored records take the current
// rules' suggestion; accepted and changed ones keep their category.
void TestSession::restoredRecordsFollowTheCurrentRules()
{
    QList<DocumentRecord> records = {sampleRecord(0), sampleRecord(1)};
    for (DocumentRecord& r : records) {
        r.pageTexts = {{0, 21, QStringLiteral("Request for Proposals")}};
        r.pages = 1;
        r.textPages = 1;
        r.suggestion.category = QStringLiteral("08_Other");
    }
    records[0].decision = Accepted;
    records[0].finalCategory = QStringLiteral("08_Other");
    {
        SessionStore store(m_db);
        QList<DocumentRecord> none;
        QVERIFY(store.open(none));
        QVERIFY(store.saveRecords(records, {0, 1}));
    }
    {
        AppController c(sessionAt(m_db));
        const QList<DocumentRecord>& restored = c.documents()->records();
        QCOMPARE(restored.size(), 2);
        QCOMPARE(restored.at(0).suggestion.category, QStringLiteral("01_Solicitation"));
        QCOMPARE(restored.at(0).decision, int(Accepted));
        QCOMPARE(restored.at(0).finalCategory, QStringLiteral("08_Other"));
        QCOMPARE(restored.at(1).decision, int(Changed));
        QCOMPARE(restored.at(1).finalCategory, QStringLiteral("05_References"));
        QCOMPARE(restored.at(0).fileStatus, int(FileMissing)); // "/bids/..." does not exist
    }
    // The new suggestions were stored as well.
    SessionStore store(m_db);
    QList<DocumentRecord> loaded;
    QVERIFY(store.open(loaded));
    QCOMPARE(loaded.at(0).suggestion.category, QStringLiteral("01_Solicitation"));
    QCOMPARE(loaded.at(0).finalCategory, QStringLiteral("08_Other"));
}

void TestSession::changedAndMissingFilesAreFlagged()
{
    const QString package = makePackage("pkg");
    QVERIFY(PdfFixtures::writeTextPdf(package + "/same-size.pdf", {"Pricing schedule"}));
    {
        AppController c(sessionAt(m_db));
        c.addUrls({QUrl::fromLocalFile(package)});
        QTRY_VERIFY_WITH_TIMEOUT(!c.importing(), generous);
        QCOMPARE(c.documents()->rowCount(), 4);
        c.changeDocumentCategory(rowOf(c, "rfp.pdf"), "04_Technical");
        c.changeDocumentCategory(rowOf(c, "same-size.pdf"), "04_Technical");
    }
    // Grown; gone; rewritten with the same size and modification time.
    QFile grown(package + "/rfp.pdf");
    QVERIFY(grown.open(QIODevice::Append));
    QVERIFY(grown.write("\n%extra\n") > 0);
    grown.close();
    QVERIFY(QFile::remove(package + "/notes.pdf"));
    const QString samePath = package + "/same-size.pdf";
    const QDateTime modified = QFileInfo(samePath).lastModified();
    QByteArray bytes = PdfFixtures::readBytes(samePath);
    QVERIFY(bytes.size() > 100);
    bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 1);
    QVERIFY(PdfFixtures::writeBytes(samePath, bytes));
    {
        QFile same(samePath);
        QVERIFY(same.open(QIODevice::ReadWrite));
        QVERIFY(same.setFileTime(modified, QFileDevice::FileModificationTime));
    }

    AppController c(sessionAt(m_db));
    QCOMPARE(c.documents()->rowCount(), 4);
    QCOMPARE(c.status(), QStringLiteral("Restored 4 document(s) from the last session; 2 file(s) "
                                        "changed or missing since import."));
    auto statusText = [&c](const char* name) {
        return c.documents()
            ->data(c.documents()->index(rowOf(c, name)), DocumentListModel::FileStatusTextRole)
            .toString();
    };
    QCOMPARE(statusText("rfp.pdf"), QStringLiteral("File changed since import"));
    QCOMPARE(statusText("notes.pdf"), QStringLiteral("File missing"));
    QCOMPARE(statusText("bond.pdf"), QString());
    // Only the SHA-256, computed in the background, tells this one.
    QTRY_COMPARE_WITH_TIMEOUT(statusText("same-size.pdf"),
                              QStringLiteral("File changed since import"), generous);
    QCOMPARE(statusText("bond.pdf"), QString());
    // Flagged files stay out of a bundle: their manifest rows would no longer match them.
    QCOMPARE(c.summary().value("exportable").toInt(), 1);
    QSignalSpy exported(&c, &AppController::exportFinished);
    c.exportTo(QUrl::fromLocalFile(m_dir->filePath("bundles")));
    QVERIFY(exported.wait(generous));
    QCOMPARE(c.lastExport().value("exported").toInt(), 1);

    // Adding the folder again re-imports the changed files in their places; the missing one
    // stays flagged, nothing is dropped, and the decisions on changed contents start over.
    const QStringList before = listing(c);
    c.addUrls({QUrl::fromLocalFile(package)});
    QTRY_VERIFY_WITH_TIMEOUT(!c.importing(), generous);
    QCOMPARE(c.documents()->rowCount(), 4);
    QCOMPARE(c.status(), QStringLiteral("Imported 2 document(s). Review the suggestions next."));
    QCOMPARE(statusText("rfp.pdf"), QString());
    QCOMPARE(statusText("same-size.pdf"), QString());
    QCOMPARE(statusText("notes.pdf"), QStringLiteral("File missing"));
    const DocumentRecord& rfp = c.documents()->records().at(rowOf(c, "rfp.pdf"));
    QCOMPARE(rfp.decision, int(NeedsReview));
    QCOMPARE(rowOf(c, "rfp.pdf"), before.indexOf(QRegularExpression("^rfp\\.pdf\\|.*")));
    QCOMPARE(PdfFixtures::readBytes(package + "/rfp.pdf").size(), rfp.sizeBytes);
}

// File names starting with "gate" make the test worker wait for "<path>.open": a record that
// arrives while the gate is shut was not inspected.
void TestSession::unchangedFilesAreNotInspectedAgain()
{
    const QString folder = m_dir->filePath("gated");
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/gate-rfp.pdf";
    QVERIFY(PdfFixtures::writeTextPdf(path, {"Request for Proposals"}));
    QVERIFY(PdfFixtures::writeBytes(WorkerTestHooks::gateOf(path), ""));
    DocumentRecord first;
    {
        AppController c(sessionAt(m_db));
        c.addUrls({QUrl::fromLocalFile(path)});
        QTRY_VERIFY_WITH_TIMEOUT(!c.importing(), generous);
        first = c.documents()->records().value(0);
        QCOMPARE(first.state, int(Ready));
        c.clearDocuments();
    }
    QVERIFY(QFile::remove(WorkerTestHooks::gateOf(path)));

    AppController c(sessionAt(m_db));
    QCOMPARE(c.documents()->rowCount(), 0);
    c.addUrls({QUrl::fromLocalFile(path)});
    QCOMPARE(c.documents()->rowCount(), 1); // at once, with the gate shut
    QVERIFY(!c.importing());
    QCOMPARE(c.status(), QStringLiteral("Imported 1 document(s). Review the suggestions next."));
    DocumentRecord reused = c.documents()->records().at(0);
    QCOMPARE(reused.pageTexts, first.pageTexts);
    QCOMPARE(reused.sha256, first.sha256);
    QCOMPARE(reused.suggestion.category, QStringLiteral("01_Solicitation"));
    QCOMPARE(reused.decision, int(NeedsReview));

    // A changed file is inspected again: nothing arrives until the gate opens.
    c.clearDocuments();
    QFile grown(path);
    QVERIFY(grown.open(QIODevice::Append));
    QVERIFY(grown.write("\n%more\n") > 0);
    grown.close();
    c.addUrls({QUrl::fromLocalFile(path)});
    QVERIFY(c.importing());
    QTest::qWait(300);
    QCOMPARE(c.documents()->rowCount(), 0);
    QVERIFY(PdfFixtures::writeBytes(WorkerTestHooks::gateOf(path), ""));
    QTRY_VERIFY_WITH_TIMEOUT(!c.importing(), generous);
    QCOMPARE(c.documents()->records().at(0).sizeBytes, QFileInfo(path).size());
}

void TestSession::clearEmptiesTheStoredList()
{
    {
        AppController c(sessionAt(m_db));
        c.addUrls({QUrl::fromLocalFile(makePackage("pkg"))});
        QTRY_VERIFY_WITH_TIMEOUT(!c.importing(), generous);
        c.acceptAllSuggested();
        c.clearDocuments();
    }
    AppController c(sessionAt(m_db));
    QCOMPARE(c.documents()->rowCount(), 0);
    QCOMPARE(c.status(),
             QStringLiteral("Add PDFs to start. Files are processed on this computer only."));
    const ToolRun rows = runPython("import sqlite3, sys\n"
                                   "c = sqlite3.connect(sys.argv[1])\n"
                                   "print(c.execute('select count(*) from document where position "
                                   "is not null or decision <> 0').fetchone()[0])",
                                   {m_db});
    QVERIFY2(rows.ok(), rows.err);
    QCOMPARE(rows.out.trimmed(), QByteArray("0"));
}

void TestSession::controllersWithoutSessionKeepNothing()
{
    {
        AppController c;
        c.addUrls({QUrl::fromLocalFile(makePackage("pkg"))});
        QTRY_VERIFY_WITH_TIMEOUT(!c.importing(), generous);
    }
    AppController again;
    QCOMPARE(again.documents()->rowCount(), 0);
    QVERIFY(!QFileInfo::exists(ControllerSetup::standard().sessionPath));
}

// The child of killedProcessLosesNoDecision: imports the folder into the session file, decides
// one row each way, prints the list and waits to be killed.
static int runSessionChild(const QString& db, const QString& folder)
{
    AppController c(sessionAt(db));
    QObject::connect(&c, &AppController::busyChanged, &c, [&c] {
        if (c.importing() || c.documents()->rowCount() != 3)
            return;
        QObject::disconnect(&c, &AppController::busyChanged, nullptr, nullptr);
        c.acceptDocument(rowOf(c, "rfp.pdf"));
        c.changeDocumentCategory(rowOf(c, "bond.pdf"), "05_References");
        c.ignoreDocument(rowOf(c, "notes.pdf"));
        for (const QString& line : listing(c))
            std::printf("%s\n", line.toUtf8().constData());
        std::printf("ready\n");
        std::fflush(stdout);
    });
    c.addUrls({QUrl::fromLocalFile(folder)});
    return QCoreApplication::exec();
}

int main(int argc, char** argv)
{
    if (Tessavo::Inspection::isWorkerInvocation(argc, argv))
        return Tessavo::Inspection::runWorker(argc, argv, WorkerTestHooks::hooks());
    QGuiApplication application(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--session-child")
        return runSessionChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TestSession test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_session.moc"
