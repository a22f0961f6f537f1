#include "support/PdfFixtures.h"
#include "ui/AppController.h"
#include "ui/ExportService.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QGuiApplication>
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
    void openPathWithNothingDoesNothing();
    void cancellingStopsWithinASecond();
    void quittingDuringAnExportTakesUnderTwoSeconds();
    void theServiceAloneBuildsOneBundleAtATime();

private:
    DocumentRecord record(const QString& name, int state = Ready, int decision = NeedsReview);
    // A record whose source is a sparse file of 2 GiB: an export that takes its time.
    DocumentRecord largeRecord();
    // Hidden unfinished files anywhere below folder.
    static QStringList leftovers(const QString& folder);
    std::unique_ptr<AppController> m_controller;
    QTemporaryDir m_dir;
};

DocumentRecord TestExportWorkflow::record(const QString& name, int state, int decision)
{
    const QString path = m_dir.filePath("sources/" + name);
    QDir().mkpath(QFileInfo(path).path());
    if (!QFileInfo::exists(path))
        PdfFixtures::writeTextPdf(path, {"text of " + name});
    DocumentRecord r;
    r.sourcePath = path;
    r.fileName = name;
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
    return r;
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
    m_controller->documents()->appendRecord(record("a.pdf"));
    QSignalSpy busy(m_controller.get(), &AppController::busyChanged);
    m_controller->exportTo(QUrl());
    QCOMPARE(m_controller->status(), QStringLiteral("Choose an export folder first."));
    QCOMPARE(busy.count(), 0);
}

void TestExportWorkflow::refusesWhenNothingIsExportable()
{
    m_controller->documents()->appendRecord(record("ignored.pdf", Ready, Ignored));
    m_controller->documents()->appendRecord(record("broken.pdf", Unreadable));
    m_controller->documents()->appendRecord(record("locked.pdf", Encrypted));
    QSignalSpy busy(m_controller.get(), &AppController::busyChanged);
    m_controller->exportTo(QUrl::fromLocalFile(m_dir.filePath("out")));
    QCOMPARE(m_controller->status(), QStringLiteral("Nothing to export yet."));
    QCOMPARE(busy.count(), 0);
    QVERIFY(!m_controller->exporting());
    QVERIFY(!QFileInfo::exists(m_dir.filePath("out")));
}

void TestExportWorkflow::exportsInTheBackground()
{
    AppController& c = *m_controller;
    c.documents()->appendRecord(record("one.pdf"));
    c.documents()->appendRecord(record("two.pdf", NeedsOcr, Accepted));
    c.documents()->appendRecord(record("skip.pdf", Ready, Ignored));
    c.documents()->appendRecord(record("three.pdf", Ready, Changed));
    QSignalSpy busy(&c, &AppController::busyChanged);
    QSignalSpy finished(&c, &AppController::exportFinished);
    QSignalSpy summary(&c, &AppController::summaryChanged);
    const QString out = m_dir.filePath("out space");

    c.exportTo(QUrl::fromLocalFile(out));
    QVERIFY(c.exporting());
    QCOMPARE(busy.count(), 1);
    QCOMPARE(c.status(), QStringLiteral("Exporting 3 document(s)..."));
    QTRY_VERIFY_WITH_TIMEOUT(!c.exporting(), 60000);

    const QVariantMap last = c.lastExport();
    QCOMPARE(last.size(), 9);
    QVERIFY(last["ok"].toBool());
    QCOMPARE(last["exported"].toInt(), 3);
    QCOMPARE(last["skipped"].toInt(), 1); // the ignored one
    QVERIFY(last["directory"].toString().startsWith(out + "/Tessavo-Export-"));
    QVERIFY(QFileInfo(last["zip"].toString()).isFile());
    QCOMPARE(c.status(),
             QStringLiteral("Exported 3 documents to %1").arg(last["directory"].toString()));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(summary.count(), 1);
    QCOMPARE(busy.count(), 2);
    QVERIFY(QFileInfo(last["directory"].toString() + "/originals/one.pdf").isFile());
    QVERIFY(!QFileInfo::exists(last["directory"].toString() + "/originals/skip.pdf"));
}

void TestExportWorkflow::bundlesAreNamedByTheControllersClock()
{
    ControllerSetup setup;
    setup.clock = [] {
        return QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5));
    };
    AppController c(setup);
    c.documents()->appendRecord(record("dated.pdf"));
    const QString out = m_dir.filePath("out-dated");
    for (const char* expected :
         {"Tessavo-Export-20260102-030405", "Tessavo-Export-20260102-030405-2"}) {
        c.exportTo(QUrl::fromLocalFile(out));
        QTRY_VERIFY_WITH_TIMEOUT(!c.exporting(), 60000);
        QCOMPARE(c.lastExport().value("directory").toString(), out + "/" + QLatin1String(expected));
    }
}

void TestExportWorkflow::oneExportAtATime()
{
    AppController& c = *m_controller;
    c.documents()->appendRecord(record("one.pdf"));
    QSignalSpy busy(&c, &AppController::busyChanged);
    QSignalSpy status(&c, &AppController::statusChanged);
    c.exportTo(QUrl::fromLocalFile(m_dir.filePath("first")));
    c.exportTo(QUrl::fromLocalFile(m_dir.filePath("second")));
    QCOMPARE(busy.count(), 1);
    QCOMPARE(status.count(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!c.exporting(), 60000);
    QVERIFY(QFileInfo::exists(m_dir.filePath("first")));
    QVERIFY(!QFileInfo::exists(m_dir.filePath("second")));
}

void TestExportWorkflow::failedBuildKeepsTheLastExport()
{
    AppController& c = *m_controller;
    c.documents()->appendRecord(record("one.pdf"));
    c.exportTo(QUrl::fromLocalFile(m_dir.filePath("good")));
    QTRY_VERIFY_WITH_TIMEOUT(!c.exporting(), 60000);
    const QVariantMap good = c.lastExport();
    QVERIFY(good["ok"].toBool());

    QVERIFY(PdfFixtures::writeBytes(m_dir.filePath("a-file"), "x"));
    QSignalSpy finished(&c, &AppController::exportFinished);
    const QString blocked = m_dir.filePath("a-file/sub");
    c.exportTo(QUrl::fromLocalFile(blocked));
    QTRY_VERIFY_WITH_TIMEOUT(!c.exporting(), 60000);
    QCOMPARE(c.status(),
             QStringLiteral("Export failed: Cannot create export folder: %1").arg(blocked));
    QCOMPARE(c.lastExport(), good);
    QCOMPARE(finished.count(), 0);
}

void TestExportWorkflow::openPathWithNothingDoesNothing()
{
    const QString status = m_controller->status();
    m_controller->openPath(QString());
    QCOMPARE(m_controller->status(), status);
}

void TestExportWorkflow::cancellingStopsWithinASecond()
{
    AppController& c = *m_controller;
    c.documents()->appendRecord(record("small.pdf"));
    c.documents()->appendRecord(largeRecord());
    QSignalSpy progress(&c, &AppController::exportProgressChanged);
    const QString out = m_dir.filePath("cancelled");
    c.exportTo(QUrl::fromLocalFile(out));
    QTRY_VERIFY_WITH_TIMEOUT(c.exportProgress() >= 1, 60000);
    QVERIFY(c.exporting());

    // The bound is the point: taken when the export ends, not when a poll happens to notice.
    QElapsedTimer clock;
    qint64 stoppedAfterMs = -1;
    QObject watcher; // disconnects when this test ends
    connect(&c, &AppController::busyChanged, &watcher, [&] {
        if (!c.exporting() && stoppedAfterMs < 0)
            stoppedAfterMs = clock.elapsed();
    });
    clock.start();
    c.cancelExport();
    QTRY_VERIFY_WITH_TIMEOUT(stoppedAfterMs >= 0, 10000);
    QVERIFY2(stoppedAfterMs < 1000, qPrintable(QString::number(stoppedAfterMs)));
    QCOMPARE(c.status(), QStringLiteral("Export cancelled."));
    QCOMPARE(c.exportProgress(), 0);
    QVERIFY(progress.count() >= 2);
    QVERIFY(c.lastExport().isEmpty());
    // The folder keeps what was complete; the ZIP and the unfinished copy are gone.
    const QStringList bundles = QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(bundles.size(), 1);
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList());
    QVERIFY(leftovers(out).isEmpty());
    QVERIFY(QFileInfo(out + "/" + bundles.first() + "/manifest.csv").isFile());
    QVERIFY(!QFileInfo::exists(out + "/" + bundles.first() + "/originals/large.pdf"));
}

void TestExportWorkflow::quittingDuringAnExportTakesUnderTwoSeconds()
{
    m_controller->documents()->appendRecord(largeRecord());
    const QString out = m_dir.filePath("quit");
    m_controller->exportTo(QUrl::fromLocalFile(out));
    QTRY_VERIFY_WITH_TIMEOUT(m_controller->exportProgress() >= 1, 60000);
    QVERIFY(m_controller->exporting());

    QElapsedTimer clock;
    clock.start();
    m_controller.reset(); // what quitting the application does
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList());
    QVERIFY(leftovers(out).isEmpty());
}

// Without a controller: the service picks the exportable records, counts the others as skipped,
// and refuses a second export while one runs.
void TestExportWorkflow::theServiceAloneBuildsOneBundleAtATime()
{
    ExportService service;
    QSignalSpy finished(&service, &ExportService::finished);
    DocumentRecord unreadable = record("broken.pdf", Unreadable);
    const ExportOptions options{m_dir.filePath("out-service"), "Test", {}, {}, true};
    QVERIFY(service.start({record("a.pdf"), record("b.pdf", Ready, Ignored), unreadable}, options));
    QVERIFY(service.running());
    QVERIFY(!service.start({record("a.pdf")}, options));
    QVERIFY(!service.errorString().isEmpty());

    QVERIFY(finished.wait(60000));
    const ExportOutcome outcome = finished.last().at(0).value<ExportOutcome>();
    QCOMPARE(outcome.kind, ExportOutcome::Kind::Written);
    QCOMPARE(outcome.result.exported, 1);
    QCOMPARE(outcome.result.skipped, 2);
    QVERIFY(QFileInfo(outcome.result.zip).isFile());
    QVERIFY(!service.running());
}

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    TestExportWorkflow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_exportworkflow.moc"
