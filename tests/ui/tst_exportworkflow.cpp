#include "support/PdfFixtures.h"
#include "ui/AppController.h"

#include <QDir>
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
    void oneExportAtATime();
    void failedBuildKeepsTheLastExport();
    void openPathWithNothingDoesNothing();

private:
    DocumentRecord record(const QString& name, int state = Ready, int decision = NeedsReview);
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
    r.suggestedCategory = QStringLiteral("02_Forms");
    return r;
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
    QCOMPARE(last["skipped"].toInt(), 0); // only exportable records are handed over
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

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    TestExportWorkflow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_exportworkflow.moc"
