#include "flows/ExportFlow.h"
#include "support/ExternalTool.h"
#include "support/PdfFixtures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Tessavo;
using namespace Tessavo::Flows;

// The export flow alone, without a controller: it owns the running export and says what it does.
class TestExportFlow : public QObject {
    Q_OBJECT

private slots:
    void buildsOneBundleAtATime();
    void cancellingLeavesNothingBehind();

private:
    DocumentRecord record(const QString& name, DocumentState state = Ready,
                          Decision decision = NeedsReview);
    QTemporaryDir m_dir;
};

DocumentRecord TestExportFlow::record(const QString& name, DocumentState state, Decision decision)
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
    r.modifiedNs = QFileInfo(path).lastModified().toMSecsSinceEpoch() * 1000000;
    r.state = state;
    r.pages = 1;
    r.decision = decision;
    r.suggestion.category = QStringLiteral("02_Forms");
    return r;
}

void TestExportFlow::buildsOneBundleAtATime()
{
    ExportFlow flow;
    QList<bool> running;
    connect(&flow, &ExportFlow::runningChanged, this, [&] { running << flow.running(); });
    QSignalSpy finished(&flow, &ExportFlow::finished);
    const ExportOptions options{m_dir.filePath("out"), "Test", {}, {}, true};
    QVERIFY(flow.start(
        {record("a.pdf"), record("b.pdf", Ready, Ignored), record("broken.pdf", Unreadable)},
        options));
    QVERIFY(flow.running());
    QVERIFY(!flow.start({record("a.pdf")}, options));
    QCOMPARE(flow.errorString(), QStringLiteral("an export is already running"));

    QVERIFY(finished.wait(60000));
    QCOMPARE(finished.count(), 1);
    const ExportOutcome outcome = finished.constFirst().constFirst().value<ExportOutcome>();
    QCOMPARE(outcome.kind, ExportOutcome::Kind::Written);
    QCOMPARE(outcome.result.exported, 1);
    QCOMPARE(outcome.result.skipped, 2);
    QCOMPARE(running, (QList<bool>{true, false}));
    QVERIFY(!flow.running());
    QCOMPARE(flow.progress(), 0);
    // The ZIP holds what the bundle holds: an independent reader lists the one original.
    const ToolRun listing = runTool("unzip", {"-Z1", outcome.result.zip});
    QCOMPARE(listing.exitCode, 0);
    QVERIFY2(listing.out.contains("a.pdf"), listing.out.constData());
    QVERIFY(!listing.out.contains("b.pdf"));

    // Once it ended, the next may start.
    QVERIFY(flow.start({record("a.pdf")}, options));
    QVERIFY(finished.wait(60000));
}

void TestExportFlow::cancellingLeavesNothingBehind()
{
    ExportFlow flow;
    DocumentRecord large = record("large.pdf");
    {
        QFile file(large.sourcePath);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(qint64(2) << 30));
    }
    large.sizeBytes = qint64(2) << 30;
    large.sha256.clear();
    QSignalSpy progress(&flow, &ExportFlow::progressChanged);
    QSignalSpy finished(&flow, &ExportFlow::finished);
    const QString out = m_dir.filePath("cancelled");
    QVERIFY(flow.start({record("small.pdf"), large}, {out, "Test", {}, {}, true}));
    QVERIFY(progress.wait(60000));
    flow.cancel();
    QVERIFY(finished.wait(60000));
    const ExportOutcome outcome = finished.constFirst().constFirst().value<ExportOutcome>();
    QCOMPARE(outcome.kind, ExportOutcome::Kind::Cancelled);
    QVERIFY(!flow.running());
    // Nothing partial under any name: the destination holds no bundle, ZIP or hidden folder.
    QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
}

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    TestExportFlow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_exportflow.moc"
