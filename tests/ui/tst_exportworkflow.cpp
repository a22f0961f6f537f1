#include "core/FileIdentity.h"
#include "flows/ExportFlow.h"
#include "store/SessionStore.h"
#include "support/PdfFixtures.h"
#include "ui/AppController.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Tessavo;
using namespace Tessavo::Ui;

class TestExportWorkflow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void refusesWithoutAFolder();
    void refusesWhenNothingIsExportable();
    void exportsInTheBackground();
    void bundlesAreNamedByTheControllersClock();
    void oneExportAtATime();
    void failedBuildKeepsTheLastExport();
    void openPathOpensOnlyAPath();
    void cancellingStopsWithinASecond();
    void quittingDuringAnExportTakesUnderTwoSeconds();
    void leftOutOriginalsAreCountedAndShown();
    void exportWaitsForTheCheckOfRestoredFiles();

private:
    DocumentRecord record(const QString& name, DocumentState state = Ready,
                          Decision decision = NeedsReview);
    // A record whose source is a sparse file of 2 GiB: an export that takes its time.
    DocumentRecord largeRecord();
    // Hidden unfinished files anywhere below folder.
    static QStringList leftovers(const QString& folder);
    // Everything directly inside folder, hidden names included.
    static QStringList entries(const QString& folder);
    std::unique_ptr<AppController> m_controller;
    QTemporaryDir m_dir;
};

DocumentRecord TestExportWorkflow::record(const QString& name, DocumentState state,
                                          Decision decision)
{
    const QString path = m_dir.filePath("sources/" + name);
    QDir().mkpath(QFileInfo(path).path());
    if (!QFileInfo::exists(path))
        PdfFixtures::writeTextPdf(path, {"text of " + name});
    DocumentRecord r;
    r.sourcePath = path;
    r.fileName = name;
    r.sizeBytes = QFileInfo(path).size();
    r.sha256 =
        QCryptographicHash::hash(PdfFixtures::readBytes(path), QCryptographicHash::Sha256).toHex();
    r.modifiedNs = currentIdentity(QFile::encodeName(path)).modifiedNs;
    r.state = state;
    r.pages = 1;
    r.decision = decision;
    r.suggestion.category = QStringLiteral("02_Forms");
    return r;
}

DocumentRecord TestExportWorkflow::largeRecord()
{
    DocumentRecord r = record("large.pdf");
    QFile file(r.sourcePath);
    if (file.open(QIODevice::ReadWrite))
        file.resize(qint64(2) << 30);
    r.sizeBytes = qint64(2) << 30;
    r.sha256.clear(); // the size alone tells a changed copy here; hashing 2 GiB costs seconds
    return r;
}

QStringList TestExportWorkflow::entries(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                               QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QStringList TestExportWorkflow::leftovers(const QString& folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName().endsWith(".part"))
            found << path;
    }
    return found;
}

void TestExportWorkflow::init()
{
    m_controller = std::make_unique<AppController>();
}

void TestExportWorkflow::refusesWithoutAFolder()
{
    m_controller->documentList()->appendRecord(record("a.pdf"));
    QSignalSpy busy(m_controller->exporter(), &Flows::ExportFlow::exportingChanged);
    m_controller->exporter()->exportTo(QUrl());
    QCOMPARE(m_controller->status(), QStringLiteral("Choose an export folder first."));
    QCOMPARE(busy.count(), 0);
}

void TestExportWorkflow::refusesWhenNothingIsExportable()
{
    m_controller->documentList()->appendRecord(record("ignored.pdf", Ready, Ignored));
    m_controller->documentList()->appendRecord(record("broken.pdf", Unreadable));
    m_controller->documentList()->appendRecord(record("locked.pdf", Encrypted));
    QSignalSpy busy(m_controller->exporter(), &Flows::ExportFlow::exportingChanged);
    // The log says why nothing started.
    QTest::ignoreMessage(
        QtInfoMsg, QRegularExpression("^Export to (.*/)?out not started: nothing to export yet, "
                                      "none of 3 document\\(s\\) is exportable$"));
    m_controller->exporter()->exportTo(QUrl::fromLocalFile(m_dir.filePath("out")));
    QCOMPARE(m_controller->status(), QStringLiteral("Nothing to export yet."));
    QCOMPARE(busy.count(), 0);
    QVERIFY(!m_controller->exporter()->exporting());
    QVERIFY(!QFileInfo::exists(m_dir.filePath("out")));
}

void TestExportWorkflow::exportsInTheBackground()
{
    AppController& c = *m_controller;
    c.documentList()->appendRecord(record("one.pdf"));
    c.documentList()->appendRecord(record("two.pdf", NeedsOcr, Accepted));
    c.documentList()->appendRecord(record("skip.pdf", Ready, Ignored));
    c.documentList()->appendRecord(record("three.pdf", Ready, Changed));
    QSignalSpy busy(c.exporter(), &Flows::ExportFlow::exportingChanged);
    QSignalSpy finished(&c, &AppController::exportFinished);
    QSignalSpy summary(&c, &AppController::summaryChanged);
    const QString out = m_dir.filePath("out space");

    c.exporter()->exportTo(QUrl::fromLocalFile(out));
    QVERIFY(c.exporter()->exporting());
    QCOMPARE(busy.count(), 1);
    QCOMPARE(c.status(), QStringLiteral("Exporting 3 document(s)..."));
    QTRY_VERIFY_WITH_TIMEOUT(!c.exporter()->exporting(), 60000);

    const auto last = c.lastExport();
    QVERIFY(last.ok);
    QCOMPARE(last.exported, 3);
    QCOMPARE(last.skipped, 1); // the ignored one
    QVERIFY(last.directory.startsWith(out + "/Tessavo-Export-"));
    QVERIFY(QFileInfo(last.zip).isFile());
    QCOMPARE(c.status(), QStringLiteral("Exported 3 documents to %1").arg(last.directory));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(summary.count(), 0); // an export changes no document
    QCOMPARE(busy.count(), 2);
    QVERIFY(QFileInfo(last.directory + "/originals/one.pdf").isFile());
    QVERIFY(!QFileInfo::exists(last.directory + "/originals/skip.pdf"));
}

void TestExportWorkflow::bundlesAreNamedByTheControllersClock()
{
    ControllerSetup setup;
    setup.clock = [] {
        return QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5));
    };
    AppController c(setup);
    c.documentList()->appendRecord(record("dated.pdf"));
    const QString out = m_dir.filePath("out-dated");
    for (const char* expected :
         {"Tessavo-Export-20260102-030405", "Tessavo-Export-20260102-030405-2"}) {
        c.exporter()->exportTo(QUrl::fromLocalFile(out));
        QTRY_VERIFY_WITH_TIMEOUT(!c.exporter()->exporting(), 60000);
        QCOMPARE(c.lastExport().directory, out + "/" + QLatin1String(expected));
    }
}

void TestExportWorkflow::oneExportAtATime()
{
    AppController& c = *m_controller;
    c.documentList()->appendRecord(record("one.pdf"));
    QSignalSpy busy(c.exporter(), &Flows::ExportFlow::exportingChanged);
    QSignalSpy status(&c, &AppController::statusChanged);
    c.exporter()->exportTo(QUrl::fromLocalFile(m_dir.filePath("first")));
    c.exporter()->exportTo(QUrl::fromLocalFile(m_dir.filePath("second")));
    QCOMPARE(busy.count(), 1);
    QCOMPARE(status.count(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!c.exporter()->exporting(), 60000);
    QVERIFY(QFileInfo::exists(m_dir.filePath("first")));
    QVERIFY(!QFileInfo::exists(m_dir.filePath("second")));
}

void TestExportWorkflow::failedBuildKeepsTheLastExport()
{
    AppController& c = *m_controller;
    c.documentList()->appendRecord(record("one.pdf"));
    c.exporter()->exportTo(QUrl::fromLocalFile(m_dir.filePath("good")));
    QTRY_VERIFY_WITH_TIMEOUT(!c.exporter()->exporting(), 60000);
    const auto good = c.lastExport();
    QVERIFY(good.ok);

    QVERIFY(PdfFixtures::writeBytes(m_dir.filePath("a-file"), "x"));
    QSignalSpy finished(&c, &AppController::exportFinished);
    const QString blocked = m_dir.filePath("a-file/sub");
    c.exporter()->exportTo(QUrl::fromLocalFile(blocked));
    QTRY_VERIFY_WITH_TIMEOUT(!c.exporter()->exporting(), 60000);
    QCOMPARE(c.status(),
             QStringLiteral("Export failed: Cannot create export folder: %1").arg(blocked));
    QCOMPARE(c.lastExport(), good);
    QCOMPARE(finished.count(), 0);
}

void TestExportWorkflow::openPathOpensOnlyAPath()
{
    QList<QUrl> opened;
    ControllerSetup setup;
    setup.openUrl = [&opened](const QUrl& url) {
        opened.append(url);
        return true;
    };
    AppController c(setup);
    const QString status = c.status();
    c.openPath(QString());
    QVERIFY(opened.isEmpty());
    QCOMPARE(c.status(), status);

    const QString bundle = m_dir.filePath("Tessavo-Export #1/100% done?.zip");
    c.openPath(bundle);
    QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(bundle)});
    QCOMPARE(opened.constFirst().toLocalFile(), bundle); // '#', '%' and '?' stay in the name
}

void TestExportWorkflow::cancellingStopsWithinASecond()
{
    AppController& c = *m_controller;
    c.documentList()->appendRecord(record("small.pdf"));
    c.documentList()->appendRecord(largeRecord());
    QSignalSpy progress(c.exporter(), &Flows::ExportFlow::progressChanged);
    const QString out = m_dir.filePath("cancelled");
    c.exporter()->exportTo(QUrl::fromLocalFile(out));
    QTRY_VERIFY_WITH_TIMEOUT(c.exporter()->progress() >= 1, 60000);
    QVERIFY(c.exporter()->exporting());

    // The bound is the point: taken when the export ends, not when a poll happens to notice.
    QElapsedTimer clock;
    qint64 stoppedAfterMs = -1;
    QObject watcher; // disconnects when this test ends
    connect(c.exporter(), &Flows::ExportFlow::exportingChanged, &watcher, [&] {
        if (!c.exporter()->exporting() && stoppedAfterMs < 0)
            stoppedAfterMs = clock.elapsed();
    });
    clock.start();
    c.exporter()->cancelExport();
    QTRY_VERIFY_WITH_TIMEOUT(stoppedAfterMs >= 0, 10000);
    QVERIFY2(stoppedAfterMs < 1000, qPrintable(QString::number(stoppedAfterMs)));
    QCOMPARE(c.status(), QStringLiteral("Export cancelled."));
    QCOMPARE(c.exporter()->progress(), 0);
    QVERIFY(progress.count() >= 2);
    QVERIFY(!c.lastExport().ok);
    // Nothing of the unfinished bundle stays, under any name.
    QCOMPARE(entries(out), QStringList());
}

void TestExportWorkflow::quittingDuringAnExportTakesUnderTwoSeconds()
{
    m_controller->documentList()->appendRecord(largeRecord());
    const QString out = m_dir.filePath("quit");
    m_controller->exporter()->exportTo(QUrl::fromLocalFile(out));
    QTRY_VERIFY_WITH_TIMEOUT(m_controller->exporter()->progress() >= 1, 60000);
    QVERIFY(m_controller->exporter()->exporting());

    QElapsedTimer clock;
    clock.start();
    m_controller.reset(); // what quitting the application does
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(entries(out), QStringList());
}

void TestExportWorkflow::leftOutOriginalsAreCountedAndShown()
{
    AppController& c = *m_controller;
    const DocumentRecord kept = record("kept.pdf");
    const DocumentRecord edited = record("edited.pdf");
    const DocumentRecord deleted = record("deleted.pdf");
    for (const DocumentRecord& r : {kept, edited, deleted})
        c.documentList()->appendRecord(r);
    // Edited and deleted between the import and the export.
    QVERIFY(PdfFixtures::writeBytes(edited.sourcePath,
                                    PdfFixtures::readBytes(edited.sourcePath) + "% edited\n"));
    QVERIFY(QFile::remove(deleted.sourcePath));

    QSignalSpy finished(&c, &AppController::exportFinished);
    c.exporter()->exportTo(QUrl::fromLocalFile(m_dir.filePath("left-out")));
    QVERIFY(finished.wait(60000));
    const auto result = c.lastExport();
    QCOMPARE(result.exported, 1);
    QCOMPARE(c.status(), QStringLiteral("Exported 1 documents to %1; 2 original(s) left out, see "
                                        "the warnings")
                             .arg(result.directory));
    QCOMPARE(result.warnings,
             (QStringList{QStringLiteral("Changed since it was inspected, left out of the bundle: "
                                         "%1")
                              .arg(edited.sourcePath),
                          QStringLiteral("Missing source file, left out of the bundle: %1")
                              .arg(deleted.sourcePath)}));
    const QByteArray manifest = PdfFixtures::readBytes(result.csv);
    QVERIFY(manifest.contains("kept.pdf"));
    QVERIFY(!manifest.contains("edited.pdf") && !manifest.contains("deleted.pdf"));
}

void TestExportWorkflow::exportWaitsForTheCheckOfRestoredFiles()
{
    // A stored list whose second file was rewritten with the same size and modification time:
    // only its SHA-256, computed in the background after the restart, tells.
    const DocumentRecord same = record("restored/same.pdf", Ready, Accepted);
    DocumentRecord rewritten = record("restored/rewritten.pdf", Ready, Accepted);
    const QString db = m_dir.filePath("restored.sqlite");
    {
        Store::SessionStore store(db);
        QList<DocumentRecord> none;
        QVERIFY(store.open(none));
        QVERIFY(store.saveRecords({same, rewritten}, {0, 1}));
    }
    const QDateTime modified = QFileInfo(rewritten.sourcePath).lastModified();
    QByteArray bytes = PdfFixtures::readBytes(rewritten.sourcePath);
    bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 1);
    QVERIFY(PdfFixtures::writeBytes(rewritten.sourcePath, bytes));
    {
        QFile file(rewritten.sourcePath);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    }

    ControllerSetup setup;
    setup.sessionPath = db;
    {
        AppController c(setup);
        QCOMPARE(c.documents()->rowCount(), 2);
        QSignalSpy finished(&c, &AppController::exportFinished);
        QSignalSpy busy(c.exporter(), &Flows::ExportFlow::exportingChanged);
        c.exporter()->exportTo(QUrl::fromLocalFile(m_dir.filePath("after-check")));
        // It waits, counted as running, until the check has ended.
        QVERIFY(c.exporter()->exporting());
        QVERIFY(!c.exporter()->running());
        QCOMPARE(busy.count(), 1);
        QCOMPARE(c.status(), QStringLiteral("Checking the restored files before the export..."));
        c.exporter()->exportTo(
            QUrl::fromLocalFile(m_dir.filePath("second"))); // one export at a time
        QVERIFY(finished.wait(60000));
        QVERIFY(!c.exporter()->exporting());
        QCOMPARE(c.documents()->records().at(1).fileStatus, int(FileChanged));
        // The changed file was never part of the export: no copy was tried and left out.
        const auto result = c.lastExport();
        QCOMPARE(result.exported, 1);
        QCOMPARE(result.warnings, QStringList());
        QVERIFY(!QFileInfo::exists(m_dir.filePath("second")));
    }

    // Cancelled while it waits, it never starts.
    AppController again(setup);
    again.exporter()->exportTo(QUrl::fromLocalFile(m_dir.filePath("never")));
    QVERIFY(again.exporter()->exporting());
    again.exporter()->cancelExport();
    QVERIFY(!again.exporter()->exporting());
    QCOMPARE(again.status(), QStringLiteral("Export cancelled."));
    // The check ends meanwhile; nothing may start then.
    QTRY_COMPARE_WITH_TIMEOUT(again.documents()->records().at(1).fileStatus, int(FileChanged),
                              60000);
    QVERIFY(!again.exporter()->exporting());
    QVERIFY(!QFileInfo::exists(m_dir.filePath("never")));
}

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    TestExportWorkflow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_exportworkflow.moc"
