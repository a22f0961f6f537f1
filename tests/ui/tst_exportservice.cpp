// The export service alone: it builds one bundle at a time in the background, says how it ended,
// and stops when asked or when it is destroyed.
#include "support/PdfFixtures.h"
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

class TestExportService : public QObject {
    Q_OBJECT

private slots:
    void writesTheBundleAndCountsWhatItSkipped();
    void cancelledExportLeavesNothing();
    void destructionStopsARunningExport();

private:
    DocumentRecord record(const QString& name, int decision = NeedsReview);
    DocumentRecord largeRecord(); // a 2 GiB sparse source: an export that takes its time
    ExportOptions options(const QString& folder) const
    {
        return {folder, QStringLiteral("Test"), {}, {}, true};
    }
    // No ZIP and no partly written file below the folder; the bundle folder itself may stay with
    // the files it finished.
    static bool nothingUnfinished(const QString& folder)
    {
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.endsWith(".zip") || it.fileName().startsWith('.'))
                return false;
        }
        return true;
    }
    static ExportOutcome outcomeOf(const QSignalSpy& spy)
    {
        return spy.last().at(0).value<ExportOutcome>();
    }

    QTemporaryDir m_dir;
};

DocumentRecord TestExportService::record(const QString& name, int decision)
{
    DocumentRecord r;
    r.sourcePath = m_dir.filePath("sources/" + name);
    QDir().mkpath(QFileInfo(r.sourcePath).path());
    if (!QFileInfo::exists(r.sourcePath))
        PdfFixtures::writeTextPdf(r.sourcePath, {"text of " + name});
    r.fileName = name;
    r.state = Ready;
    r.pages = 1;
    r.decision = decision;
    r.suggestion.category = QStringLiteral("02_Forms");
    return r;
}

DocumentRecord TestExportService::largeRecord()
{
    DocumentRecord r = record("large.pdf");
    QFile file(r.sourcePath);
    if (file.open(QIODevice::ReadWrite))
        file.resize(qint64(2) << 30);
    return r;
}

void TestExportService::writesTheBundleAndCountsWhatItSkipped()
{
    ExportService service;
    QSignalSpy finished(&service, &ExportService::finished);
    DocumentRecord unreadable = record("broken.pdf");
    unreadable.state = Unreadable;
    const QString out = m_dir.filePath("out-written");
    QVERIFY(service.start({record("a.pdf"), record("b.pdf", Ignored), unreadable}, options(out)));
    QVERIFY(service.running());
    QVERIFY(!service.start({record("a.pdf")}, options(out))); // one at a time
    QVERIFY(!service.errorString().isEmpty());

    QVERIFY(finished.wait(60000));
    const ExportOutcome outcome = outcomeOf(finished);
    QCOMPARE(outcome.kind, ExportOutcome::Kind::Written);
    QCOMPARE(outcome.result.exported, 1);
    QCOMPARE(outcome.result.skipped, 2);
    QVERIFY(QFileInfo(outcome.result.zip).isFile());
    QVERIFY(!service.running());
    QCOMPARE(service.progress(), 0);
}

void TestExportService::cancelledExportLeavesNothing()
{
    ExportService service;
    QSignalSpy finished(&service, &ExportService::finished);
    QSignalSpy progress(&service, &ExportService::progressChanged);
    const QString out = m_dir.filePath("out-cancelled");
    QVERIFY(service.start({largeRecord()}, options(out)));
    QVERIFY(progress.wait(60000));
    service.cancel();
    QVERIFY(finished.wait(60000));
    QCOMPARE(outcomeOf(finished).kind, ExportOutcome::Kind::Cancelled);
    QVERIFY(nothingUnfinished(out));
}

void TestExportService::destructionStopsARunningExport()
{
    const QString out = m_dir.filePath("out-destroyed");
    QElapsedTimer clock;
    {
        ExportService service;
        QSignalSpy progress(&service, &ExportService::progressChanged);
        QVERIFY(service.start({largeRecord()}, options(out)));
        QVERIFY(progress.wait(60000));
        clock.start();
    }
    // The destructor cancels and waits: nothing of the export runs or remains afterwards.
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(nothingUnfinished(out));
}

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv); // the index needs the font database
    TestExportService test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_exportservice.moc"
