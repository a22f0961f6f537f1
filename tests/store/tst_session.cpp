// The stored session: what a killed process wrote comes back, changed and vanished files are
// flagged, unusable session files are set aside, and unchanged files are not inspected again.
#include "store/SessionStore.h"
#include "support/ExternalTool.h"
#include "support/PdfFixtures.h"
#include "support/WorkerTestMain.h"
#include "ui/AppController.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Tessavo;
using namespace Tessavo::Ui;
using namespace Tessavo::Store;

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
    r.modifiedNs = 1700000000000000000 + n;
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
    void clearRemovesTheTextsFromTheDisk();
    void clearEmptiesTheStoredList();
    void controllersWithoutSessionKeepNothing();
    void privateModesWhateverTheUmask();
    void linksAndPipesAreNeverFollowed();
    void rowsBeyondTheLimitsAreDropped();
    void missingRowsAreNamed();
    void onePathIsOneRowAfterAWriteBack();
    void namesThatAreNotUtf8SurviveARestart();
    void timesOfEarlierVersionsAreReadAsNanoseconds();
    void firstVersionStoresAreMigrated();
    void failedWritesAreWrittenWhenSpaceReturns();
    void interruptedImportCanContinue();
    void setAsideStoresAreRemovedAfterAWeek();
    void readOnlyFoldersShowTheStoredList();

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
    records[2].suggestion.ruleName = QStringLiteral("Learned"); // taught, and not sure of it
    records[2].suggestion.learned = records[2].suggestion.tentative = true;
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
    QCOMPARE(pragmas.out.trimmed(),
             "wal " + QByteArray::number(SessionStore::schemaVersion) + " ok 3");
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
                      "c.execute('pragma user_version = 5')\n"
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
    c.importer()->addUrls({QUrl::fromLocalFile(makePackage("pkg") + "/rfp.pdf")});
    QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
    QCOMPARE(c.documents()->rowCount(), 1);
}

void TestSession::oneWindowAtATimeKeepsTheList()
{
    AppController first(sessionAt(m_db));
    first.importer()->addUrls({QUrl::fromLocalFile(makePackage("pkg") + "/rfp.pdf")});
    QTRY_VERIFY_WITH_TIMEOUT(!first.importer()->running(), generous);

    AppController second(sessionAt(m_db));
    QVERIFY2(second.status().startsWith("The document list cannot be kept between runs: "),
             qPrintable(second.status()));
    QVERIFY(second.status().contains("in use by another Tessavo window"));
    QCOMPARE(second.documents()->rowCount(), 0);
    second.importer()->addUrls({QUrl::fromLocalFile(m_dir->filePath("pkg/bond.pdf"))});
    QTRY_VERIFY_WITH_TIMEOUT(!second.importer()->running(), generous);
    second.review()->ignoreDocument(0);
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
    const auto summary = c.summary();
    QCOMPARE(summary.accepted, 1);
    QCOMPARE(summary.changed, 1);
    QCOMPARE(summary.ignored, 1);
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
        c.importer()->addUrls({QUrl::fromLocalFile(package)});
        QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
        QCOMPARE(c.documents()->rowCount(), 4);
        c.review()->changeDocumentCategory(rowOf(c, "rfp.pdf"), "04_Technical");
        c.review()->changeDocumentCategory(rowOf(c, "same-size.pdf"), "04_Technical");
    }
    // Grown; gone; rewritten with the same size and modification time.
    QFile grown(package + "/rfp.pdf");
    QVERIFY(grown.open(QIODevice::Append));
    QVERIFY(grown.write("\n%extra\n") > 0);
    grown.close();
    QVERIFY(QFile::remove(package + "/notes.pdf"));
    const QString samePath = package + "/same-size.pdf";
    struct stat unchanged {};
    QCOMPARE(::stat(QFile::encodeName(samePath).constData(), &unchanged), 0);
    QByteArray bytes = PdfFixtures::readBytes(samePath);
    QVERIFY(bytes.size() > 100);
    bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 1);
    QVERIFY(PdfFixtures::writeBytes(samePath, bytes));
    const struct timespec times[2] = {{0, UTIME_OMIT}, unchanged.st_mtim};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(samePath).constData(), times, 0), 0);

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
    QCOMPARE(c.summary().exportable, 1);
    QSignalSpy exported(&c, &AppController::exportFinished);
    c.exporter()->exportTo(QUrl::fromLocalFile(m_dir->filePath("bundles")));
    QVERIFY(exported.wait(generous));
    QCOMPARE(c.lastExport().exported, 1);

    // Adding the folder again re-imports the changed files in their places; the missing one
    // stays flagged, nothing is dropped, and the decisions on changed contents start over.
    const QStringList before = listing(c);
    c.importer()->addUrls({QUrl::fromLocalFile(package)});
    QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
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

// "Clear" leaves none of the cleared page texts on the disk: not in the file, not in its
// write-ahead log. A file imported again is inspected again.
void TestSession::clearRemovesTheTextsFromTheDisk()
{
    const QString folder = m_dir->filePath("gated");
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/gate-rfp.pdf";
    const QString secret = QStringLiteral("Confidential price schedule");
    QVERIFY(PdfFixtures::writeTextPdf(path, {secret}));
    QVERIFY(PdfFixtures::writeBytes(WorkerTestHooks::gateOf(path), ""));
    const QByteArray blobOf = "import sqlite3, sys\n"
                              "c = sqlite3.connect(sys.argv[1])\n"
                              "for (b,) in c.execute('select page_texts from document'):\n"
                              "    sys.stdout.write(b.hex())\n";
    auto onDisk = [this](const QByteArray& bytes) {
        QByteArray all;
        for (const char* suffix : {"", "-wal", "-shm"})
            all += PdfFixtures::readBytes(m_db + suffix);
        return all.contains(bytes);
    };
    AppController c(sessionAt(m_db));
    c.importer()->addUrls({QUrl::fromLocalFile(path)});
    QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
    QVERIFY(c.documents()->records().value(0).pageTexts.value(0).text.contains(secret));
    const ToolRun stored = runPython(blobOf, {m_db});
    QVERIFY2(stored.ok(), stored.err);
    const QByteArray blob = QByteArray::fromHex(stored.out);
    QVERIFY(blob.size() > 16);
    // The stored text as it lies on disk: part of its compressed bytes.
    const QByteArray sample = blob.mid(4, 12);
    QVERIFY(onDisk(sample));

    c.clearDocuments();
    QVERIFY(!onDisk(sample));
    const ToolRun rows =
        runPython("import sqlite3, sys\n"
                  "c = sqlite3.connect(sys.argv[1])\n"
                  "print(c.execute('select count(*) from document').fetchone()[0])",
                  {m_db});
    QVERIFY2(rows.ok(), rows.err);
    QCOMPARE(rows.out.trimmed(), QByteArray("0"));

    // Imported again, the file is read again: nothing arrives while the gate is shut.
    QVERIFY(QFile::remove(WorkerTestHooks::gateOf(path)));
    c.importer()->addUrls({QUrl::fromLocalFile(path)});
    QVERIFY(c.importer()->running());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(WorkerTestHooks::waitingAt(path)), generous);
    QCOMPARE(c.documents()->rowCount(), 0);
    QVERIFY(PdfFixtures::writeBytes(WorkerTestHooks::gateOf(path), ""));
    QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
    QCOMPARE(c.documents()->rowCount(), 1);
}

void TestSession::clearEmptiesTheStoredList()
{
    {
        AppController c(sessionAt(m_db));
        c.importer()->addUrls({QUrl::fromLocalFile(makePackage("pkg"))});
        QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
        c.review()->acceptAllSuggested();
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
        c.importer()->addUrls({QUrl::fromLocalFile(makePackage("pkg"))});
        QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
    }
    AppController again;
    QCOMPARE(again.documents()->rowCount(), 0);
    QVERIFY(!QFileInfo::exists(ControllerSetup::standard().sessionPath));
}

namespace {

unsigned modeOf(const QString& path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return 0xffff;
    return status.st_mode & 07777;
}

// Restores the umask of the process when the test ends, however it ends.
struct UmaskScope {
    explicit UmaskScope(mode_t mask)
        : old(::umask(mask))
    {}
    ~UmaskScope() { ::umask(old); }
    UmaskScope(const UmaskScope&) = delete;
    UmaskScope& operator=(const UmaskScope&) = delete;
    mode_t old;
};

} // namespace

// Another local user reads nothing: the data folder is 0700 and every file in it 0600, even with
// a umask that lets everybody read, and an older folder of 0755 with 0644 files is fixed.
void TestSession::privateModesWhateverTheUmask()
{
    const UmaskScope permissive(0);
    const QString data = m_dir->filePath("data");
    QVERIFY(QDir().mkpath(data));
    QVERIFY(::chmod(QFile::encodeName(data).constData(), 0755) == 0);
    {
        AppController c(ControllerSetup::inFolder(data));
        c.importer()->addUrls({QUrl::fromLocalFile(makePackage("pkg"))});
        QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
        c.recognition()->setDuringImport(true);                         // settings.json
        c.review()->addRule("Bonds", "02_Forms", "bond", {}, 0, 0, 10); // rules.json
        QVERIFY(QFileInfo::exists(m_db + "-wal"));
        QVERIFY(QFileInfo::exists(m_db + "-shm"));
        QCOMPARE(modeOf(data), 0700u);
        for (const char* name : {"session.sqlite", "session.sqlite-wal", "session.sqlite-shm",
                                 "session.sqlite.lock", "settings.json", "rules.json"}) {
            const unsigned mode = modeOf(data + '/' + name);
            QVERIFY2(mode == 0600u, qPrintable(QStringLiteral("%1: %2").arg(name).arg(mode, 0, 8)));
        }
    }
    // Files an older version left readable are private after the next start.
    QVERIFY(::chmod(QFile::encodeName(data).constData(), 0755) == 0);
    QVERIFY(::chmod(QFile::encodeName(m_db).constData(), 0644) == 0);
    AppController again(ControllerSetup::inFolder(data));
    QCOMPARE(again.documents()->rowCount(), 3);
    QCOMPARE(modeOf(data), 0700u);
    QCOMPARE(modeOf(m_db), 0600u);
}

// A link at a kept file is never written through to its target, and a pipe never blocks the
// start: each is set aside or replaced by a regular file of our own.
void TestSession::linksAndPipesAreNeverFollowed()
{
    const QString data = m_dir->filePath("data");
    const QString elsewhere = m_dir->filePath("elsewhere");
    QVERIFY(QDir().mkpath(data));
    QVERIFY(QDir().mkpath(elsewhere));
    const QByteArray otherDb = "another program's file";
    const QByteArray otherRules = "[{\"name\": \"not ours\"}]";
    const QByteArray otherSettings = "{\"recognitionLanguage\": \"deu\"}";
    QVERIFY(PdfFixtures::writeBytes(elsewhere + "/target.sqlite", otherDb));
    QVERIFY(PdfFixtures::writeBytes(elsewhere + "/rules.json", otherRules));
    QVERIFY(PdfFixtures::writeBytes(elsewhere + "/settings.json", otherSettings));
    QVERIFY(QFile::link(elsewhere + "/target.sqlite", data + "/session.sqlite"));
    QVERIFY(QFile::link(elsewhere + "/rules.json", data + "/rules.json"));
    QVERIFY(QFile::link(elsewhere + "/settings.json", data + "/settings.json"));
    {
        AppController c(ControllerSetup::inFolder(data));
        QCOMPARE(c.recognition()->language(), QStringLiteral("eng")); // not read through the link
        c.importer()->addUrls({QUrl::fromLocalFile(makePackage("pkg") + "/rfp.pdf")});
        QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
        c.recognition()->setDuringImport(true);
        c.review()->addRule("Bonds", "02_Forms", "bond", {}, 0, 0, 10);
    }
    QCOMPARE(PdfFixtures::readBytes(elsewhere + "/target.sqlite"), otherDb);
    QCOMPARE(PdfFixtures::readBytes(elsewhere + "/rules.json"), otherRules);
    QCOMPARE(PdfFixtures::readBytes(elsewhere + "/settings.json"), otherSettings);
    for (const char* name : {"session.sqlite", "rules.json", "settings.json"}) {
        const QFileInfo kept(data + '/' + name);
        QVERIFY2(kept.isFile() && !kept.isSymLink(), name);
    }
    QVERIFY(QFileInfo(data + "/session.sqlite.bad").isSymLink()); // the link itself, set aside
    {
        AppController again(ControllerSetup::inFolder(data));
        QCOMPARE(again.documents()->rowCount(), 1);
    }

    // A pipe as settings.json: the start does not wait for a writer. Should it block, a writer
    // comes after 20 s, so that the test fails instead of hanging.
    QVERIFY(QFile::remove(data + "/settings.json"));
    const QByteArray fifo = QFile::encodeName(data + "/settings.json");
    QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
    std::atomic<bool> started{false}, unblocked{false};
    std::thread rescue([&] {
        for (int waited = 0; waited < 20000 && !started.load(); waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (started.load())
            return;
        const int fd = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
        unblocked.store(fd >= 0);
        if (fd >= 0)
            ::close(fd);
    });
    {
        AppController c(ControllerSetup::inFolder(data));
        started.store(true);
        QCOMPARE(c.recognition()->duringImport(), false);
    }
    rescue.join();
    QVERIFY(!unblocked.load());
}

// A hostile or damaged file: a page-texts blob claiming to expand far beyond what an import keeps
// and a row claiming two thousand million pages are dropped with a note; the other rows load.
void TestSession::rowsBeyondTheLimitsAreDropped()
{
    {
        SessionStore store(m_db);
        QList<DocumentRecord> none;
        QVERIFY(store.open(none));
        QVERIFY(store.saveRecords({sampleRecord(0), sampleRecord(1), sampleRecord(2)}, {0, 1, 2}));
    }
    // 10 MB of zeros compressed to about 10 KB, claiming 3.75 GiB when expanded.
    const ToolRun made =
        runPython("import sqlite3, sys, struct, zlib\n"
                  "c = sqlite3.connect(sys.argv[1])\n"
                  "bomb = struct.pack('>I', 0xF0000000) + zlib.compress(b'\\0' * 10000000, 9)\n"
                  "c.execute('update document set page_texts = ? where position = 0', (bomb,))\n"
                  "c.execute('update document set pages = 2000000000 where position = 2')\n"
                  "c.commit()",
                  {m_db});
    QVERIFY2(made.ok(), made.err);
    {
        SessionStore store(m_db);
        QList<DocumentRecord> loaded;
        QVERIFY2(store.open(loaded), qPrintable(store.errorString()));
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(loaded.at(0), sampleRecord(1));
        QCOMPARE(store.droppedPaths(),
                 QStringList({sampleRecord(0).sourcePath, sampleRecord(2).sourcePath}));
        QVERIFY(store.setAsidePath().isEmpty());
    }
    // The dropped rows are gone from the file: the next start has nothing more to say of them.
    {
        AppController c(sessionAt(m_db));
        QCOMPARE(c.documents()->rowCount(), 1);
        QCOMPARE(c.status(), QStringLiteral("Restored 1 document(s) from the last session; 1 "
                                            "file(s) changed or missing since import."));
    }

    // A blob that expands beyond what it claims is damage: the file is set aside.
    const QString other = m_dir->filePath("data/other.sqlite");
    {
        SessionStore damaged(other);
        QList<DocumentRecord> none;
        QVERIFY(damaged.open(none));
        QVERIFY(damaged.saveRecords({sampleRecord(0)}, {0}));
    }
    const ToolRun lied =
        runPython("import sqlite3, sys, struct, zlib\n"
                  "c = sqlite3.connect(sys.argv[1])\n"
                  "lie = struct.pack('>I', 100) + zlib.compress(b'\\0' * 10000000, 9)\n"
                  "c.execute('update document set page_texts = ?', (lie,))\n"
                  "c.commit()",
                  {other});
    QVERIFY2(lied.ok(), lied.err);
    SessionStore reopened(other);
    QList<DocumentRecord> none;
    QVERIFY(reopened.open(none));
    QVERIFY(none.isEmpty());
    QCOMPARE(reopened.setAsideReason(), QStringLiteral("damaged"));
}

// Positions of the list that were never stored (a write failed) are named at the next start.
void TestSession::missingRowsAreNamed()
{
    {
        SessionStore store(m_db);
        QList<DocumentRecord> none;
        QVERIFY(store.open(none));
        QVERIFY(store.saveRecords({sampleRecord(0), sampleRecord(1), sampleRecord(2)}, {0, 2}));
    }
    AppController c(sessionAt(m_db));
    QCOMPARE(c.documents()->rowCount(), 2);
    QCOMPARE(c.status(),
             QStringLiteral("Restored 2 document(s) from the last session; 2 file(s) changed or "
                            "missing since import. 1 document(s) of the last session could not be "
                            "stored; add their files again."));
}

// A file is known by its path's bytes alone: a row whose text column names another file, or two
// rows of the same bytes (a file whose key no longer holds them apart), still load as one row per
// path, and what was loaded reads back the same once written again.
void TestSession::onePathIsOneRowAfterAWriteBack()
{
    const QList<DocumentRecord> saved = {sampleRecord(0), sampleRecord(1), sampleRecord(2)};
    const auto reopenAndWriteBack = [this](QList<DocumentRecord>& loaded) {
        {
            SessionStore store(m_db);
            if (!store.open(loaded) || !store.setAsidePath().isEmpty())
                return false;
            QList<int> rows;
            for (int row = 0; row < loaded.size(); ++row)
                rows.append(row);
            if (!store.saveRecords(loaded, rows))
                return false;
        }
        SessionStore again(m_db);
        QList<DocumentRecord> reread;
        return again.open(reread) && reread == loaded;
    };
    {
        SessionStore store(m_db);
        QList<DocumentRecord> none;
        QVERIFY(store.open(none));
        QVERIFY(store.saveRecords(saved, {0, 1, 2}));
    }
    // The first row's text names the second row's file.
    const ToolRun renamed =
        runPython("import sqlite3, sys\n"
                  "c = sqlite3.connect(sys.argv[1])\n"
                  "c.execute('update document set path = (select path from document where "
                  "position = 1) where position = 0')\n"
                  "c.commit()",
                  {m_db});
    QVERIFY2(renamed.ok(), renamed.err);
    QList<DocumentRecord> loaded;
    QVERIFY(reopenAndWriteBack(loaded));
    QCOMPARE(loaded, saved);

    // Two rows of the same bytes: the first in the list stays, the other goes.
    const ToolRun doubled =
        runPython("import sqlite3, sys\n"
                  "c = sqlite3.connect(sys.argv[1])\n"
                  "sql = c.execute(\"select sql from sqlite_master where name = 'document'\")"
                  ".fetchone()[0]\n"
                  "c.execute('alter table document rename to old')\n"
                  "c.execute(sql.replace('PRIMARY KEY', ''))\n"
                  "c.execute('insert into document select * from old')\n"
                  "c.execute('drop table old')\n"
                  "c.execute('insert into document select path_bytes, path, 3, used, size, "
                  "modified, sha256, file_name, pages, text_pages, text_chars, title, state, "
                  "error_text, page_texts, suggestion, 2, final_category, \\'copy\\' from "
                  "document where position = 1')\n"
                  "c.commit()\n"
                  "assert c.execute('select count(*) from document').fetchone()[0] == 4",
                  {m_db});
    QVERIFY2(doubled.ok(), doubled.err);
    loaded.clear();
    QVERIFY(reopenAndWriteBack(loaded));
    QCOMPARE(loaded, saved);
}

// Names that are not valid UTF-8 are kept as their bytes: after a restart both files are found,
// neither is "File missing", and the two never collapse into one row.
void TestSession::namesThatAreNotUtf8SurviveARestart()
{
    const QString folder = m_dir->filePath("latin1");
    QVERIFY(QDir().mkpath(folder));
    const QByteArray rawFolder = QFile::encodeName(folder);
    const QList<QByteArray> names = {"caf\xe9.pdf", "caf\xe8.pdf"};
    // QTemporaryDir cannot remove names it cannot decode: they go here.
    const auto removeNames = qScopeGuard([&] {
        for (const QByteArray& name : names)
            ::unlink((rawFolder + '/' + name).constData());
    });
    for (const QByteArray& name : names) {
        QVERIFY(PdfFixtures::writeTextPdf(folder + "/plain.pdf", {"Request for Proposals"}));
        QVERIFY(::rename(QFile::encodeName(folder + "/plain.pdf").constData(),
                         (rawFolder + '/' + name).constData()) == 0);
    }
    // The second file is named itself (as on a command line), the first found in its folder.
    QVERIFY(::rename((rawFolder + '/' + names[1]).constData(),
                     (QFile::encodeName(m_dir->path()) + '/' + names[1]).constData()) == 0);
    const QByteArray named = QFile::encodeName(m_dir->path()) + '/' + names[1];
    const auto removeNamed = qScopeGuard([&] { ::unlink(named.constData()); });
    {
        AppController c(sessionAt(m_db));
        c.importer()->addUrls({QUrl::fromLocalFile(folder)});
        QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
        c.importer()->addLocalPaths({named});
        QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
        QCOMPARE(c.documents()->rowCount(), 2);
        c.review()->ignoreDocument(1);
    }
    // What the store keeps is each file's identity as the file system gives it (python's view).
    const ToolRun kept = runPython(
        "import os, sqlite3, sys\n"
        "c = sqlite3.connect(sys.argv[1])\n"
        "for path, size, modified in c.execute('select path_bytes, size, modified from document "
        "order by position'):\n"
        "    s = os.stat(path)\n"
        "    assert (s.st_size, s.st_mtime_ns) == (size, modified), (path, size, modified)\n"
        "    print(path.hex())\n",
        {m_db});
    QVERIFY2(kept.ok(), kept.err);
    QCOMPARE(kept.out.trimmed().split('\n'),
             QList<QByteArray>({(rawFolder + '/' + names[0]).toHex(), named.toHex()}));
    AppController c(sessionAt(m_db));
    QCOMPARE(c.status(), QStringLiteral("Restored 2 document(s) from the last session."));
    const QList<DocumentRecord> records = c.documents()->records();
    QCOMPARE(records.size(), 2);
    QSet<QByteArray> paths;
    for (const DocumentRecord& r : records) {
        QCOMPARE(r.fileStatus, int(FileUnchanged));
        QCOMPARE(r.state, int(Ready));
        paths.insert(r.sourcePathBytes);
    }
    QCOMPARE(paths, QSet<QByteArray>({rawFolder + '/' + names[0], named}));
    QCOMPARE(records.at(1).decision, int(Ignored));
    QCOMPARE(c.summary().exportable, 1);
}

// Sessions of earlier versions kept modification times in milliseconds: they read as nanoseconds,
// and the file is brought to the current version once.
void TestSession::timesOfEarlierVersionsAreReadAsNanoseconds()
{
    {
        SessionStore store(m_db);
        QList<DocumentRecord> none;
        QVERIFY(store.open(none));
        QVERIFY(store.saveRecords({sampleRecord(0), sampleRecord(1)}, {0, 1}));
    }
    const ToolRun older =
        runPython("import sqlite3, sys\n"
                  "c = sqlite3.connect(sys.argv[1])\n"
                  "c.execute('update document set modified = 1700000000123 where position = 0')\n"
                  "c.execute('update document set modified = -1 where position = 1')\n"
                  "c.execute('pragma user_version = 2')\n"
                  "c.commit()",
                  {m_db});
    QVERIFY2(older.ok(), older.err);
    QList<DocumentRecord> expected = {sampleRecord(0), sampleRecord(1)};
    expected[0].modifiedNs = 1700000000123000000;
    expected[1].modifiedNs = -1;
    for (int start = 0; start < 2; ++start) {
        SessionStore store(m_db);
        QList<DocumentRecord> loaded;
        QVERIFY(store.open(loaded));
        QCOMPARE(loaded, expected);
    }
    const ToolRun version = runPython("import sqlite3, sys\n"
                                      "c = sqlite3.connect(sys.argv[1])\n"
                                      "print(c.execute('pragma user_version').fetchone()[0])",
                                      {m_db});
    QVERIFY2(version.ok(), version.err);
    QCOMPARE(version.out.trimmed(), QByteArray::number(SessionStore::schemaVersion));
}

// A file of the first version (paths as text, cleared inspections kept for reuse) opens: its list
// comes back, and the cleared inspections and their texts are gone.
void TestSession::firstVersionStoresAreMigrated()
{
    QVERIFY(QDir().mkpath(QFileInfo(m_db).absolutePath()));
    const ToolRun made = runPython(
        "import sqlite3, sys, struct, zlib\n"
        "c = sqlite3.connect(sys.argv[1])\n"
        "c.execute('pragma journal_mode=wal')\n"
        "c.execute('CREATE TABLE document (path TEXT PRIMARY KEY NOT NULL, position INTEGER "
        "UNIQUE, used INTEGER NOT NULL, size INTEGER NOT NULL, modified INTEGER NOT NULL, sha256 "
        "TEXT NOT NULL, file_name TEXT NOT NULL, pages INTEGER NOT NULL, text_pages INTEGER NOT "
        "NULL, text_chars INTEGER NOT NULL, title TEXT NOT NULL, state INTEGER NOT NULL, "
        "error_text TEXT NOT NULL, page_texts BLOB NOT NULL, suggestion BLOB NOT NULL, decision "
        "INTEGER NOT NULL, final_category TEXT NOT NULL, note TEXT NOT NULL)')\n"
        "texts = struct.pack('>I', 4) + zlib.compress(struct.pack('>I', 0))\n"
        "null = bytes.fromhex('ffffffff')\n"
        "s = null * 4 + struct.pack('>i', -1) + b'\\0' + null + struct.pack('>I', 0)\n"
        "for pos, name in ((0, 'kept'), (None, 'cleared')):\n"
        "    c.execute('insert into document values (?,?,1,10,5,?,?,0,0,0,?,2,?,?,?,3,?,?)',\n"
        "      ('/bids/' + name + ' \\u00ab1\\u00bb.pdf', pos, 'a' * 64, name + '.pdf', '', 'e', "
        "texts, s, '', ''))\n"
        "c.execute('pragma application_id = 1414746966')\n"
        "c.execute('pragma user_version = 1')\n"
        "c.commit()",
        {m_db});
    QVERIFY2(made.ok(), made.err);
    {
        SessionStore store(m_db);
        QList<DocumentRecord> loaded;
        QVERIFY2(store.open(loaded), qPrintable(store.errorString()));
        QVERIFY(store.setAsidePath().isEmpty());
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(loaded.at(0).sourcePath, QStringLiteral("/bids/kept «1».pdf"));
        QVERIFY(loaded.at(0).sourcePathBytes.isEmpty());
        QCOMPARE(loaded.at(0).decision, int(Ignored));
    }
    const ToolRun after =
        runPython("import sqlite3, sys\n"
                  "c = sqlite3.connect(sys.argv[1])\n"
                  "print(c.execute('pragma user_version').fetchone()[0],\n"
                  "      c.execute('select count(*) from document').fetchone()[0],\n"
                  "      c.execute('select typeof(path_bytes) from document').fetchone()[0])",
                  {m_db});
    QVERIFY2(after.ok(), after.err);
    QCOMPARE(after.out.trimmed(), QByteArray::number(SessionStore::schemaVersion) + " 1 blob");
}

// A full disk (here a file-size limit) keeps the session from being written: the changes stay
// unsaved, the status says so, and once there is room again they are written without a word
// from the user, so that the next start restores every document.
void TestSession::failedWritesAreWrittenWhenSpaceReturns()
{
    const QString package = makePackage("pkg");
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit original {};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &original) == 0);
    {
        AppController c(sessionAt(m_db));
        c.importer()->addUrls({QUrl::fromLocalFile(package + "/rfp.pdf")});
        QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);

        struct rlimit full = original;
        full.rlim_cur = 1;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &full) == 0);
        c.importer()->addUrls({QUrl::fromLocalFile(package + "/bond.pdf"),
                               QUrl::fromLocalFile(package + "/notes.pdf")});
        QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running() && c.documents()->rowCount() == 3,
                                 generous);
        c.review()->ignoreDocument(0);
        const QString whileFull = c.status();
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &original) == 0);
        QVERIFY2(whileFull.startsWith("The session could not be stored: "), qPrintable(whileFull));
        // Room again: the retry writes everything.
        QTRY_COMPARE_WITH_TIMEOUT(c.status(), QStringLiteral("Every change is stored again."),
                                  generous);
    }
    AppController c(sessionAt(m_db));
    QCOMPARE(c.status(), QStringLiteral("Restored 3 document(s) from the last session."));
    QCOMPARE(c.documents()->records().at(0).decision, int(Ignored));
}

// Closing in the middle of an import keeps its queue: the next start says how many files were
// not inspected and queues them again on request.
void TestSession::interruptedImportCanContinue()
{
    const QString folder = m_dir->filePath("gated");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(PdfFixtures::writeTextPdf(folder + "/a-rfp.pdf", {"Request for Proposals"}));
    const QStringList gated = {"gate-1.pdf", "gate-2.pdf", "gate-3.pdf"};
    for (const QString& name : gated)
        QVERIFY(PdfFixtures::writeTextPdf(folder + '/' + name, {"Bid bond form"}));
    {
        AppController c(sessionAt(m_db));
        c.importer()->addUrls({QUrl::fromLocalFile(folder)});
        QTRY_VERIFY_WITH_TIMEOUT(c.documents()->rowCount() == 1, generous);
        QVERIFY(c.importer()->running());
    } // closed with three files not inspected
    for (const QString& name : gated)
        QVERIFY(PdfFixtures::writeBytes(WorkerTestHooks::gateOf(folder + '/' + name), ""));

    {
        AppController c(sessionAt(m_db));
        QCOMPARE(c.documents()->rowCount(), 1);
        QCOMPARE(c.importer()->pendingFiles(), 3);
        QCOMPARE(c.status(), QStringLiteral("Restored 1 document(s) from the last session. 3 "
                                            "file(s) of the last import were not inspected; "
                                            "choose \u201cContinue import\u201d to inspect "
                                            "them."));
        QSignalSpy pending(c.importer(), &Flows::ImportFlow::pendingFilesChanged);
        c.importer()->continueImport();
        QCOMPARE(c.importer()->pendingFiles(), 0);
        QCOMPARE(pending.size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
        QCOMPARE(c.documents()->rowCount(), 4);
    }
    // Finished: nothing is pending at the next start.
    AppController c(sessionAt(m_db));
    QCOMPARE(c.importer()->pendingFiles(), 0);
    QCOMPARE(c.status(), QStringLiteral("Restored 4 document(s) from the last session."));
}

// A set-aside store holds page texts too: it is kept for a week, then removed at a start.
void TestSession::setAsideStoresAreRemovedAfterAWeek()
{
    QVERIFY(QDir().mkpath(QFileInfo(m_db).absolutePath()));
    QVERIFY(PdfFixtures::writeBytes(m_db, QByteArray("SQLite format 3\0", 16) +
                                              QByteArray(3000, '\xff')));
    {
        AppController c(sessionAt(m_db));
        QVERIFY(QFileInfo::exists(m_db + ".bad"));
        QCOMPARE(modeOf(m_db + ".bad"), 0600u);
    }
    {
        AppController c(sessionAt(m_db));
        QVERIFY(QFileInfo::exists(m_db + ".bad")); // set aside today: kept
    }
    {
        QFile bad(m_db + ".bad");
        QVERIFY(bad.open(QIODevice::ReadWrite));
        QVERIFY(bad.setFileTime(
            QDateTime::currentDateTime().addDays(-SessionStore::keptSetAsideDays - 1),
            QFileDevice::FileModificationTime));
    }
    AppController c(sessionAt(m_db));
    QVERIFY(!QFileInfo::exists(m_db + ".bad"));
}

// A data folder that cannot be written (here: owned by another user, as whom the child runs) is
// not "in use by another window": the stored list is shown read-only and the status says why.
void TestSession::readOnlyFoldersShowTheStoredList()
{
    {
        SessionStore store(m_db);
        QList<DocumentRecord> none;
        QVERIFY(store.open(none));
        QVERIFY(store.saveRecords({sampleRecord(0), sampleRecord(1)}, {0, 1}));
    }
    constexpr uid_t nobody = 65534;
    const ToolRun owned = runTool("chown", {"-R", "65534:65534", m_dir->path()});
    QVERIFY2(owned.ok(), owned.err);
    const QByteArray folder = QFile::encodeName(QFileInfo(m_db).absolutePath());
    QVERIFY(::chmod(QFile::encodeName(m_db).constData(), 0400) == 0);
    QVERIFY(::chmod(folder.constData(), 0500) == 0);
    const auto restore = qScopeGuard([&] { ::chmod(folder.constData(), 0700); });

    QProcess child;
    child.setChildProcessModifier([] {
        if (::setgid(nobody) != 0 || ::setuid(nobody) != 0)
            ::_exit(99);
    });
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {"--read-only-child", m_db});
    QVERIFY(child.waitForFinished(generous));
    QCOMPARE(child.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(child.readAllStandardOutput()).split(u'\n');
    QCOMPARE(lines.value(0), QStringLiteral("2"));
    QCOMPARE(lines.value(1),
             QStringLiteral("Restored 2 document(s) from the last session; 2 file(s) changed or "
                            "missing since import. The stored session is read-only (the data "
                            "folder cannot be written): changes are not kept."));
}

// The child of killedProcessLosesNoDecision: imports the folder into the session file, decides
// one row each way, prints the list and waits to be killed.
static int runSessionChild(const QString& db, const QString& folder)
{
    AppController c(sessionAt(db));
    QObject::connect(c.importer(), &Flows::ImportFlow::finished, &c, [&c] {
        if (c.documents()->rowCount() != 3)
            return;
        c.review()->acceptDocument(rowOf(c, "rfp.pdf"));
        c.review()->changeDocumentCategory(rowOf(c, "bond.pdf"), "05_References");
        c.review()->ignoreDocument(rowOf(c, "notes.pdf"));
        for (const QString& line : listing(c))
            std::printf("%s\n", line.toUtf8().constData());
        std::printf("ready\n");
        std::fflush(stdout);
    });
    c.importer()->addUrls({QUrl::fromLocalFile(folder)});
    return QCoreApplication::exec();
}

// The child of readOnlyFoldersShowTheStoredList: opens the session, prints its row count and
// status line, and ignores one change.
static int runReadOnlyChild(const QString& db)
{
    AppController c(sessionAt(db));
    std::printf("%d\n%s\n", int(c.documents()->rowCount()), c.status().toUtf8().constData());
    c.review()->ignoreDocument(0);
    return 0;
}

int main(int argc, char** argv)
{
    if (Tessavo::Inspection::isWorkerInvocation(argc, argv))
        return Tessavo::Inspection::runWorker(argc, argv, WorkerTestHooks::hooks());
    QGuiApplication application(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--read-only-child")
        return runReadOnlyChild(QString::fromLocal8Bit(argv[2]));
    if (argc == 4 && QByteArray(argv[1]) == "--session-child")
        return runSessionChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TestSession test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_session.moc"
