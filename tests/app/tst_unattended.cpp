#include "app/CommandLine.h"
#include "app/UnattendedRun.h"
#include "support/ExternalTool.h"
#include "support/PdfFixtures.h"
#include "support/WorkerTestMain.h"
#include "ui/AppController.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Tessavo;

namespace {

// The plan of the window's command line made of these arguments.
App::UnattendedRun::Plan windowPlan(const QStringList& arguments)
{
    QList<QByteArray> raw{"tessavo"};
    for (const QString& argument : arguments)
        raw.append(QFile::encodeName(argument));
    const App::CommandLineParse parsed = App::parseCommandLine(raw);
    return App::windowPlan(parsed.commandLine);
}

} // namespace

class TestUnattended : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void importStartsAtOnce();
    void exportWaitsForDocumentsAndRunsOnce();
    void anotherControllerExportsOnItsOwn();
    void pathsAreTheCommandLinesBytes();

private:
    QTemporaryDir m_dir;
};

void TestUnattended::initTestCase()
{
    QDir().mkpath(m_dir.filePath("first"));
    QDir().mkpath(m_dir.filePath("second"));
    QVERIFY(PdfFixtures::writeTextPdf(m_dir.filePath("first/a.pdf"), {"bid bond"}));
    QVERIFY(PdfFixtures::writeTextPdf(m_dir.filePath("second/b.pdf"), {"pricing schedule"}));
}

void TestUnattended::importStartsAtOnce()
{
    Ui::AppController controller;
    App::UnattendedRun run(controller, windowPlan({"--import", m_dir.filePath("first")}));
    run.start();
    QVERIFY(controller.importer()->running());
    QVERIFY(run.done()); // nothing to export
    QTRY_VERIFY_WITH_TIMEOUT(!controller.importer()->running(), 60000);
    QCOMPARE(controller.documents()->rowCount(), 1);
    QCOMPARE(controller.documents()->records().first().fileName, QStringLiteral("a.pdf"));
}

void TestUnattended::exportWaitsForDocumentsAndRunsOnce()
{
    // A premature start would say so in the status ("Nothing to export yet.") and use up the one
    // export, so every step checks the status and that the export is still to come.
    Ui::AppController controller;
    const QString out = m_dir.filePath("out");
    const QString initialStatus = controller.status();
    App::UnattendedRun run(controller, windowPlan({"--export", out}));
    run.start();
    QCOMPARE(controller.status(), initialStatus); // an empty list exports nothing at once
    QVERIFY(!controller.exporter()->exporting());

    controller.importer()->addUrls({QUrl::fromLocalFile(m_dir.filePath("missing"))});
    QCOMPARE(controller.status(), QStringLiteral("No PDF files were found in the selection."));
    QVERIFY(!controller.importer()->running());

    // An import that ends with an empty list: idle, but nothing to export.
    controller.importer()->addUrls({QUrl::fromLocalFile(m_dir.filePath("first"))});
    QVERIFY(controller.importer()->running());
    controller.clearDocuments(); // ends the import; the controller is idle with no documents
    QVERIFY(!controller.importer()->running());
    QCOMPARE(controller.status(), QStringLiteral("Document list cleared."));
    QVERIFY(!controller.exporter()->exporting());
    QVERIFY(!controller.lastExport().ok);
    QVERIFY(!QFileInfo::exists(out));

    controller.importer()->addUrls({QUrl::fromLocalFile(m_dir.filePath("first"))});
    QTRY_VERIFY_WITH_TIMEOUT(controller.lastExport().ok, 60000);
    QVERIFY(!controller.exporter()->exporting());
    QCOMPARE(QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
    const auto firstExport = controller.lastExport();

    // The export would start in the same turn as the import ends; it must not start again.
    controller.importer()->addUrls({QUrl::fromLocalFile(m_dir.filePath("second"))});
    QTRY_VERIFY_WITH_TIMEOUT(!controller.importer()->running(), 60000);
    QVERIFY(!controller.exporter()->exporting());
    QCOMPARE(controller.status(),
             QStringLiteral("Imported 1 document(s). Review the suggestions next."));
    QCOMPARE(controller.lastExport(), firstExport);
    QCOMPARE(QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
}

void TestUnattended::anotherControllerExportsOnItsOwn()
{
    // Whether an export already ran belongs to the options applied to one controller, not to the
    // process: a second controller given --export exports too, whatever ran before it.
    Ui::AppController controller;
    const QString out = m_dir.filePath("out-second");
    App::UnattendedRun run(controller,
                           windowPlan({"--import", m_dir.filePath("second"), "--export", out}));
    run.start();
    QTRY_VERIFY_WITH_TIMEOUT(controller.lastExport().ok, 60000);
    QCOMPARE(QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
}

// Folder names that are not valid UTF-8: the options name those very folders, as the bytes of
// the command line spell them.
void TestUnattended::pathsAreTheCommandLinesBytes()
{
    const QByteArray base = QFile::encodeName(m_dir.path());
    const QByteArray in = base + "/in \xE9";
    const QByteArray out = base + "/out \xE9/bundles";
    QCOMPARE(::mkdir(in.constData(), 0700), 0);
    QVERIFY(PdfFixtures::writeTextPdf(m_dir.filePath("scratch.pdf"), {"bid bond"}));
    QCOMPARE(::rename(QFile::encodeName(m_dir.filePath("scratch.pdf")).constData(),
                      (in + "/c.pdf").constData()),
             0);
    const App::CommandLineParse parsed =
        App::parseCommandLine({"tessavo", "--import", in, "--export", out});
    QVERIFY(parsed.ok);

    {
        Ui::AppController controller;
        App::UnattendedRun run(controller, App::windowPlan(parsed.commandLine));
        run.start();
        QTRY_VERIFY_WITH_TIMEOUT(controller.lastExport().ok, 60000);
        QCOMPARE(controller.documents()->rowCount(), 1);
        QCOMPARE(controller.documents()->records().first().sourcePathBytes, in + "/c.pdf");
    }
    // The bundle and its ZIP lie in that very folder.
    const ToolRun listed = runPython("import os, sys\n"
                                     "names = os.listdir(bytes.fromhex(sys.argv[1]))\n"
                                     "print('\\n'.join(sorted(n.decode() for n in names)))",
                                     {QString::fromLatin1(out.toHex())});
    QVERIFY2(listed.ok(), listed.err.constData());
    const QStringList names = QString::fromUtf8(listed.out).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(names.size(), 2);
    QVERIFY(names.at(0).startsWith("Tessavo-Export-"));
    QCOMPARE(names.at(1), names.at(0) + ".zip");
    QVERIFY(runPython("import shutil, sys\n"
                      "for p in sys.argv[1:]: shutil.rmtree(bytes.fromhex(p))",
                      {QString::fromLatin1(in.toHex()),
                       QString::fromLatin1((base + "/out \xE9").toHex())})
                .ok());
}

TESSAVO_TEST_MAIN_WITH_WORKER(TestUnattended)

#include "tst_unattended.moc"
