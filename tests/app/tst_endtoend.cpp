// Runs the real tessavo executable the way a script would: "--import" a folder of every kind of
// PDF, "--export" the result, then checks the bundle with tools nobody here wrote.
#include "support/ExternalTool.h"
#include "support/PdfFixtures.h"

#include <QDate>
#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void importsAndExportsUnattended();
    void exportWithoutImportWaitsForDocuments();
    void importWithoutPdfsNeverExports();
    void listSurvivesAKillAfterImport();

private:
    void start(QProcess& process, const QStringList& arguments, const QString& dataHome,
               const QString& workingDirectory = {});
    static void stop(QProcess& process);
    QString findZip(const QString& folder) const;
    // Everything the log files under dataHome hold so far.
    static QString logOf(const QString& dataHome);

    QTemporaryDir m_dir;
    QString m_package;
};

void TestEndToEnd::start(QProcess& process, const QStringList& arguments, const QString& dataHome,
                         const QString& workingDirectory)
{
    process.setWorkingDirectory(workingDirectory);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_DATA_HOME", dataHome);
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral(TESSAVO_EXECUTABLE), arguments);
    QVERIFY(process.waitForStarted(30000));
}

void TestEndToEnd::stop(QProcess& process)
{
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(10000);
    }
}

QString TestEndToEnd::findZip(const QString& folder) const
{
    const QStringList zips = QDir(folder).entryList({"Tessavo-Export-*.zip"}, QDir::Files);
    return zips.isEmpty() ? QString() : QDir(folder).filePath(zips.first());
}

// Whether the log tells that the unattended export started or that it waits for documents; tessavo
// writes one of the two right after it weighed the export at start-up.
static bool unattendedExportDecided(const QString& log)
{
    return log.contains("waits for documents") || log.contains("Unattended export of");
}

QString TestEndToEnd::logOf(const QString& dataHome)
{
    const QDir logs(dataHome + QStringLiteral("/Tessavo/Tessavo/logs"));
    QByteArray text;
    for (const QString& name : logs.entryList({"tessavo-*.log"}, QDir::Files, QDir::Name))
        text += PdfFixtures::readBytes(logs.filePath(name));
    return QString::fromUtf8(text);
}

void TestEndToEnd::initTestCase()
{
    using namespace PdfFixtures;
    QVERIFY(m_dir.isValid());
    m_package = m_dir.filePath("Bid package");
    QVERIFY(QDir().mkpath(m_package + "/forms"));
    QVERIFY(writeTextPdf(m_package + "/RFP, main \"volume\".pdf",
                         {"Request for Proposals", "Scope of work"}, "RFP"));
    QVERIFY(writeTextPdf(m_package + "/forms/Bid bond — Å.pdf", {"Bid bond form", "MWBE plan"}));
    QVERIFY(writeTextPdf(m_package + "/forms/pricing.pdf", {"Pricing schedule"}));
    QVERIFY(writeTextPdf(m_package + "/appendix-a.pdf", {"Drawings"}));
    QVERIFY(writeImageOnlyPdf(m_package + "/scan.pdf", 2));
    QVERIFY(encryptWithQpdf(m_package + "/forms/pricing.pdf", m_package + "/locked.pdf", "pw",
                            "owner"));
    QVERIFY(writeBytes(m_package + "/damaged.pdf", "%PDF-1.4 damaged"));
    QVERIFY(writeBytes(m_package + "/self-reference.pdf", selfReferencingPageTreePdf()));
    QVERIFY(QFile::link(m_package, m_package + "/forms/loop"));
}

void TestEndToEnd::importsAndExportsUnattended()
{
    const QString dataHome = m_dir.filePath("data");
    // A relative export folder is taken against the folder tessavo was started in.
    const QString out = m_dir.filePath("export here");
    QProcess tessavo;
    start(tessavo, {"--export", "export here", "--import", m_package}, dataHome, m_dir.path());

    // Wait until the ZIP is complete: Python can read it and every CRC holds.
    QString zip;
    ToolRun listing;
    QDeadlineTimer deadline(180000);
    while (!deadline.hasExpired()) {
        zip = findZip(out);
        if (!zip.isEmpty()) {
            listing = runPython("import sys, zipfile\n"
                                "z = zipfile.ZipFile(sys.argv[1])\n"
                                "assert z.testzip() is None\n"
                                "print('\\n'.join(i.filename for i in z.infolist()))",
                                {zip});
            if (listing.ok())
                break;
        }
        QVERIFY2(tessavo.state() == QProcess::Running, "tessavo ended before its export");
        QTest::qWait(250);
    }
    QVERIFY2(listing.ok(), listing.err);
    QCOMPARE(tessavo.state(), QProcess::Running); // it does not quit by itself

    const QStringList entries = QString::fromUtf8(listing.out).trimmed().split('\n');
    QCOMPARE(entries, (QStringList{"manifest.csv", "index.pdf", "originals/RFP, main _volume_.pdf",
                                   "originals/appendix-a.pdf", "originals/forms/Bid bond — Å.pdf",
                                   "originals/forms/pricing.pdf", "originals/scan.pdf"}));
    QVERIFY(runTool("unzip", {"-t", zip}).ok());

    const QString bundle = zip.chopped(4);
    const ToolRun csv =
        runPython("import csv, sys\n"
                  "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')))\n"
                  "for r in rows[1:]: print(r[0] + '|' + r[6] + '|' + r[7] + '|' + r[10])",
                  {bundle + "/manifest.csv"});
    QVERIFY2(csv.ok(), csv.err);
    QStringList rows = QString::fromUtf8(csv.out).trimmed().split('\n');
    rows.sort();
    QCOMPARE(rows, (QStringList{"Bid bond — Å.pdf|Ready|02_Forms|Needs Review",
                                "RFP, main \"volume\".pdf|Ready|01_Solicitation|Needs Review",
                                "appendix-a.pdf|Ready|07_Appendices|Needs Review",
                                "pricing.pdf|Ready|03_Pricing|Needs Review",
                                "scan.pdf|Needs OCR||Needs Review"}));

    QVERIFY(runTool("qpdf", {"--check", bundle + "/index.pdf"}).ok());
    const QString index = QString::fromUtf8(runTool("pdftotext", {bundle + "/index.pdf", "-"}).out)
                              .normalized(QString::NormalizationForm_KC);
    QVERIFY(index.contains("Bid bond — Å.pdf"));
    QVERIFY(index.indexOf("07_Appendices") < index.lastIndexOf("Unclassified"));

    stop(tessavo);

    const QByteArray logText = logOf(dataHome).toUtf8();
    QVERIFY2(!logText.isEmpty(), qPrintable(dataHome));
    QVERIFY(QString::fromUtf8(logText).contains(QRegularExpression(
        "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\[INFO \\] Tessavo "
        "0\\.2\\.0 starting")));
    QVERIFY2(!logText.contains(m_dir.path().toUtf8()), logText.constData());
}

void TestEndToEnd::exportWithoutImportWaitsForDocuments()
{
    const QString out = m_dir.filePath("never-1");
    const QString dataHome = m_dir.filePath("data-2");
    QProcess tessavo;
    start(tessavo, {"--export", out}, dataHome);
    QTRY_VERIFY_WITH_TIMEOUT(unattendedExportDecided(logOf(dataHome)), 60000);
    const QString log = logOf(dataHome);
    QVERIFY2(log.contains(QRegularExpression("\\[INFO \\] Unattended export to \\S+ waits for "
                                             "documents")),
             qPrintable(log));
    QVERIFY2(!log.contains("Unattended export of"), qPrintable(log));
    QCOMPARE(tessavo.state(), QProcess::Running);
    QVERIFY(!QFileInfo::exists(out));
    stop(tessavo);
}

void TestEndToEnd::importWithoutPdfsNeverExports()
{
    const QString empty = m_dir.filePath("no pdfs here");
    QVERIFY(QDir().mkpath(empty));
    QVERIFY(PdfFixtures::writeBytes(empty + "/notes.txt", "notes"));
    const QString out = m_dir.filePath("never-2");
    const QString dataHome = m_dir.filePath("data-3");
    QProcess tessavo;
    start(tessavo, {"--import", empty, "--export", out}, dataHome);
    // The folder holds no PDF, so no import starts and the list stays empty.
    QTRY_VERIFY_WITH_TIMEOUT(unattendedExportDecided(logOf(dataHome)), 60000);
    const QString log = logOf(dataHome);
    QVERIFY2(log.contains(QRegularExpression("Unattended export to \\S+ waits for documents")),
             qPrintable(log));
    QVERIFY2(!log.contains("Unattended export of"), qPrintable(log));
    QCOMPARE(tessavo.state(), QProcess::Running);
    QVERIFY(!QFileInfo::exists(out));
    stop(tessavo);
}

// Killed with SIGKILL right after an import, tessavo starts again with the same list; an
// unattended export then holds the restored documents and the newly imported one.
void TestEndToEnd::listSurvivesAKillAfterImport()
{
    using namespace PdfFixtures;
    const QString first = m_dir.filePath("first");
    const QString second = m_dir.filePath("second");
    QVERIFY(QDir().mkpath(first));
    QVERIFY(QDir().mkpath(second));
    QVERIFY(writeTextPdf(first + "/rfp.pdf", {"Request for Proposals"}));
    QVERIFY(writeTextPdf(first + "/bond.pdf", {"Bid bond form"}));
    QVERIFY(writeTextPdf(second + "/pricing.pdf", {"Pricing schedule"}));
    const QString dataHome = m_dir.filePath("data-kill");
    const QString session = dataHome + "/Tessavo/Tessavo/session.sqlite";
    const QByteArray listed = "import sqlite3, sys\n"
                              "c = sqlite3.connect(sys.argv[1])\n"
                              "print(c.execute('pragma integrity_check').fetchone()[0])\n"
                              "for r in c.execute('select file_name from document where position "
                              "is not null order by position'): print(r[0])";

    QProcess tessavo;
    start(tessavo, {"--import", first}, dataHome);
    QStringList rows;
    QDeadlineTimer deadline(120000);
    while (!deadline.hasExpired() && rows.size() < 3) {
        QTest::qWait(100);
        if (!QFileInfo::exists(session))
            continue;
        const ToolRun run = runPython(listed, {session});
        if (run.ok())
            rows = QString::fromUtf8(run.out).trimmed().split('\n');
    }
    QCOMPARE(rows.size(), 3);
    QVERIFY(::kill(pid_t(tessavo.processId()), SIGKILL) == 0);
    QVERIFY(tessavo.waitForFinished(10000));
    QCOMPARE(tessavo.exitStatus(), QProcess::CrashExit);

    const ToolRun afterKill = runPython(listed, {session});
    QVERIFY2(afterKill.ok(), afterKill.err);
    QStringList kept = QString::fromUtf8(afterKill.out).trimmed().split('\n');
    QCOMPARE(kept.takeFirst(), QStringLiteral("ok"));
    QCOMPARE(kept.size(), 2);

    const QString out = m_dir.filePath("export-after-kill");
    QProcess again;
    start(again, {"--import", second, "--export", out}, dataHome);
    QString zip;
    deadline.setRemainingTime(120000);
    while (!deadline.hasExpired() && zip.isEmpty()) {
        QTest::qWait(250);
        const QString found = findZip(out);
        if (!found.isEmpty() && runTool("unzip", {"-tq", found}).ok())
            zip = found;
    }
    QVERIFY(!zip.isEmpty());
    const ToolRun csv =
        runPython("import csv, sys\n"
                  "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')))\n"
                  "for r in rows[1:]: print(r[0])",
                  {zip.chopped(4) + "/manifest.csv"});
    QVERIFY2(csv.ok(), csv.err);
    QStringList exported = QString::fromUtf8(csv.out).trimmed().split('\n');
    exported.sort();
    QCOMPARE(exported, (QStringList{"bond.pdf", "pricing.pdf", "rfp.pdf"}));
    stop(again);

    const ToolRun finalList = runPython(listed, {session});
    QVERIFY2(finalList.ok(), finalList.err);
    QStringList expected = kept;
    expected.prepend("ok");
    expected.append("pricing.pdf"); // in list order: the restored rows first
    QCOMPARE(QString::fromUtf8(finalList.out).trimmed().split('\n'), expected);
}

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    TestEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_endtoend.moc"
