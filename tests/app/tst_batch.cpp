// The batch and verification modes of the real executable, run the way a script or a scheduled
// job runs them: no display, output captured, exit codes checked, bundles read by Python.
#include "app/Batch.h"
#include "app/CommandLine.h"
#include "core/RulesFile.h"
#include "core/Version.h"
#include "store/SessionStore.h"
#include "support/ExternalTool.h"
#include "support/PdfFixtures.h"
#include "support/WorkerTestMain.h"
#include "ui/AppController.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

using namespace Tessavo;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QStringList outLines() const
    {
        return QString::fromLocal8Bit(out).split('\n', Qt::SkipEmptyParts);
    }
    QStringList errLines() const
    {
        return QString::fromLocal8Bit(err).split('\n', Qt::SkipEmptyParts);
    }
};

// file|decision|final_category of every manifest row, sorted.
QStringList manifestDecisions(const QString& bundle)
{
    const ToolRun run =
        runPython("import csv, sys\n"
                  "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')))\n"
                  "assert rows[0][0] == 'file' and all(len(r) == 13 for r in rows)\n"
                  "for r in rows[1:]: print(r[0] + '|' + r[10] + '|' + r[11])",
                  {bundle + "/manifest.csv"});
    QStringList rows = QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts);
    rows.sort();
    return run.ok() ? rows : QStringList{"python failed: " + QString::fromUtf8(run.err)};
}

// file|suggested_category of every manifest row, sorted.
QStringList manifestSuggestions(const QString& bundle)
{
    const ToolRun run =
        runPython("import csv, sys\n"
                  "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')))\n"
                  "for r in rows[1:]: print(r[0] + '|' + r[7])",
                  {bundle + "/manifest.csv"});
    QStringList rows = QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts);
    rows.sort();
    return rows;
}

QByteArray rulesFile(const QString& name, const QString& category, const QString& textContains)
{
    Rule rule;
    rule.name = name;
    rule.category = category;
    rule.textContains = textContains;
    rule.priority = 1;
    return rulesDocument({rule});
}

} // namespace

class TestBatch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanFolderExitsZero();
    void renamedOriginalsStillExitZero();
    void mixedFolderExitsThree();
    void folderWithoutPdfsExitsOne();
    void nothingExportableExitsOne();
    void failedExportExitsOne();
    void usageErrorsExitTwo_data();
    void usageErrorsExitTwo();
    void rulesFileIsUsedForThisRunOnly();
    void acceptClearMatchesTheReviewPage();
    void progressBarOnATerminal();
    void helpAndVersionNeedNoDisplay();
    void verifyChecksWhatBatchWrote();
    void sessionRulesAreNeverStored();
    void storedSessionIsNeitherReadNorWritten();
    void progressBarFitsTheTerminal();
    void ocrOptionClassifiesScans();
    void exportFolderInsideTheImport();
    void linksOutOfThePackageAreNotExported();
    void hiddenAndDeepAreNamed();
    void foldersNamedInLatin1();
    void originalChangedBeforeTheCopyExitsThree();
    void stopSignalsLeaveNothingBehind_data();
    void stopSignalsLeaveNothingBehind();

    void printedNamesCannotDriveTheTerminal();
    void verifyPrintsArchiveNamesEscaped();
    void ocrWithoutLanguageDataFails();
    void profileFitsNamesAndNamesWhatStillFails();
    void verifyChecksABundleAgainstAProfile();

private:
    Run tessavo(const QStringList& arguments, const QString& dataHome = {});
    QString freshFolder(const QString& name);

    QTemporaryDir m_dir;
    QString m_clean;
    QString m_mixed;
    QString m_noPdfs;
    QString m_unreadable;
};

Run TestBatch::tessavo(const QStringList& arguments, const QString& dataHome)
{
    // No display and no platform chosen: the modes must manage without either.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("XDG_DATA_HOME", dataHome.isEmpty() ? m_dir.filePath("data") : dataHome);
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TESSAVO_EXECUTABLE), arguments);
    Run run;
    if (!process.waitForStarted(30000) || !process.waitForFinished(240000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QString TestBatch::freshFolder(const QString& name)
{
    const QString path = m_dir.filePath(name);
    QDir(path).removeRecursively();
    return path;
}

void TestBatch::initTestCase()
{
    using namespace PdfFixtures;
    QVERIFY(m_dir.isValid());
    m_clean = m_dir.filePath("clean package");
    QVERIFY(QDir().mkpath(m_clean + "/forms"));
    QVERIFY(writeTextPdf(m_clean + "/RFP, main.pdf", {"Request for Proposals", "Scope"}));
    QVERIFY(writeTextPdf(m_clean + "/forms/Bid bond — Å.pdf", {"Bid bond form"}));
    QVERIFY(writeTextPdf(m_clean + "/forms/pricing and bond.pdf",
                         {"Pricing schedule", "Bid bond attached"})); // a conflict
    QVERIFY(writeTextPdf(m_clean + "/cover letter.pdf", {"Dear committee"}));

    m_mixed = m_dir.filePath("mixed package");
    QVERIFY(QDir().mkpath(m_mixed));
    QVERIFY(writeTextPdf(m_mixed + "/appendix-a.pdf", {"Drawings"}));
    QVERIFY(writeTextPdf(m_mixed + "/pricing.pdf", {"Pricing schedule"}));
    QVERIFY(writeImageOnlyPdf(m_mixed + "/scan.pdf", 2));
    QVERIFY(encryptWithQpdf(m_mixed + "/pricing.pdf", m_mixed + "/locked.pdf", "pw", "owner"));
    QVERIFY(writeBytes(m_mixed + "/damaged.pdf", "%PDF-1.4 damaged"));

    m_noPdfs = m_dir.filePath("no pdfs");
    QVERIFY(writeBytes(m_noPdfs + "/notes.txt", "notes"));
    m_unreadable = m_dir.filePath("unreadable only");
    QVERIFY(writeBytes(m_unreadable + "/damaged.pdf", "%PDF-1.4 damaged"));
}

void TestBatch::renamedOriginalsStillExitZero()
{
    // A name Windows refuses is stored under a portable one: the original is in the bundle.
    const QString in = m_dir.filePath("renamed");
    QVERIFY(QDir().mkpath(in));
    QVERIFY(PdfFixtures::writeTextPdf(in + "/Offer: final?.pdf", {"Pricing schedule"}));
    const Run run = tessavo({"--batch", "--import", in, "--export", freshFolder("out-renamed")});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    // Named once, by the run's own line: the log's line about it stays in the log.
    QCOMPARE(run.errLines().filter(QRegularExpression("^warning: Renamed ")).size(), 1);
    QCOMPARE(run.errLines().filter("Renamed ").size(), 1);
    const ToolRun zip =
        runPython("import sys, zipfile\n"
                  "print('\\n'.join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))",
                  {run.outLines().at(1)});
    QVERIFY2(zip.ok(), zip.err.constData());
    QVERIFY(zip.out.contains("originals/Offer_ final_.pdf"));
}

void TestBatch::cleanFolderExitsZero()
{
    const QString out = freshFolder("out-clean");
    const QString dataHome = m_dir.filePath("data-clean");
    const Run run = tessavo({"--batch", "--import", m_clean, "--export", out}, dataHome);
    QVERIFY2(run.exitCode == 0, run.err.constData());

    // Standard output: exactly the bundle folder and the ZIP beside it.
    const QStringList lines = run.outLines();
    QCOMPARE(lines.size(), 2);
    QVERIFY(run.out.endsWith('\n'));
    QCOMPARE(QFileInfo(lines.at(0)).path(), out);
    QVERIFY(QFileInfo(lines.at(0)).fileName().startsWith("Tessavo-Export-"));
    QVERIFY(QFileInfo(lines.at(0)).isDir());
    QCOMPARE(lines.at(1), lines.at(0) + ".zip");
    const ToolRun zip = runPython("import sys, zipfile\n"
                                  "z = zipfile.ZipFile(sys.argv[1])\n"
                                  "assert z.testzip() is None\n"
                                  "print('\\n'.join(sorted(z.namelist())))",
                                  {lines.at(1)});
    QVERIFY2(zip.ok(), zip.err.constData());
    QCOMPARE(QString::fromUtf8(zip.out).trimmed().split('\n'),
             (QStringList{"index.pdf", "manifest.csv", "originals/RFP, main.pdf",
                          "originals/cover letter.pdf", "originals/forms/Bid bond — Å.pdf",
                          "originals/forms/pricing and bond.pdf"}));

    // Standard error: one line per file (not a terminal), then the summary.
    const QStringList err = run.errLines();
    QCOMPARE(err.filter(QRegularExpression("^\\[\\d/4\\] ")).size(), 4);
    QCOMPARE(err.filter(QRegularExpression("^\\[\\d/4\\] RFP, main.pdf: Ready, 01_Solicitation$"))
                 .size(),
             1);
    QCOMPARE(err.filter("forms/pricing and bond.pdf: Ready, ").first().endsWith("(conflict)"),
             true);
    QVERIFY(err.contains("Found 4 PDF(s): 4 Ready"));
    QVERIFY(err.contains("By category: 1 01_Solicitation, 2 02_Forms, 1 Unclassified") ||
            err.contains("By category: 1 01_Solicitation, 1 02_Forms, 1 03_Pricing, "
                         "1 Unclassified"));
    QVERIFY(err.contains("Decisions: 4 Needs review"));
    // Exported all the same, and counted: the one in conflict apart.
    QVERIFY(err.contains(
        "Exported without a decision: 3 needing review, 1 with conflicting suggestions."));
    QVERIFY(err.contains("Exported 4 of 4 PDF(s)."));
    QCOMPARE(manifestDecisions(lines.at(0)).filter("|Needs Review|").size(), 4);

    // Nothing about rules was written.
    QVERIFY(!QFileInfo::exists(dataHome + "/Tessavo/Tessavo/rules.json"));
}

void TestBatch::mixedFolderExitsThree()
{
    const QString out = freshFolder("out-mixed");
    const Run run = tessavo({"--batch", "--export", out, "--import", m_mixed});
    QCOMPARE(run.exitCode, 3);
    const QStringList lines = run.outLines();
    QCOMPARE(lines.size(), 2);
    QVERIFY(QFileInfo(lines.at(1)).isFile());
    QCOMPARE(manifestDecisions(lines.at(0)),
             (QStringList{"appendix-a.pdf|Needs Review|07_Appendices",
                          "pricing.pdf|Needs Review|03_Pricing", "scan.pdf|Needs Review|"}));
    const QStringList err = run.errLines();
    QVERIFY2(err.contains("Found 5 PDF(s): 2 Ready, 1 Needs OCR, 1 Unreadable, 1 Encrypted"),
             run.err.constData());
    QVERIFY(err.contains("Exported 3 of 5 PDF(s)."));
    QCOMPARE(
        err.filter(QRegularExpression("^\\[\\d/5\\] scan.pdf: Needs OCR, no suggestion$")).size(),
        1);
    QCOMPARE(err.filter(QRegularExpression("^\\[\\d/5\\] locked.pdf: Encrypted$")).size(), 1);
}

void TestBatch::folderWithoutPdfsExitsOne()
{
    const QString out = freshFolder("out-none");
    const Run run = tessavo({"--batch", "--import", m_noPdfs, "--export", out});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    // Printed lines are cleaned as the log's are: the folder is named by its last component.
    QCOMPARE(run.errLines(), QStringList{"tessavo: no PDF files were found in <path>/no pdfs"});
    QVERIFY(!QFileInfo::exists(out));
}

void TestBatch::nothingExportableExitsOne()
{
    const QString out = freshFolder("out-unreadable");
    const Run run = tessavo({"--batch", "--import", m_unreadable, "--export", out});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    QVERIFY(run.errLines().contains("Found 1 PDF(s): 1 Unreadable"));
    QCOMPARE(run.errLines().last(), "tessavo: nothing to export: every PDF found is unreadable, "
                                    "encrypted or ignored");
    QVERIFY(!QFileInfo::exists(out));
}

void TestBatch::failedExportExitsOne()
{
    // The export folder would have to be created below a file.
    const QString file = m_dir.filePath("a file");
    QVERIFY(PdfFixtures::writeBytes(file, "x"));
    const Run run = tessavo({"--batch", "--import", m_clean, "--export", file + "/bundles"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.errLines().last().startsWith("tessavo: Export failed: Cannot create export "
                                              "folder"),
             run.err.constData());
}

void TestBatch::usageErrorsExitTwo_data()
{
    const QString rulesNotJson = m_dir.filePath("rules-not-json.json");
    const QString rulesNoneValid = m_dir.filePath("rules-none-valid.json");
    QVERIFY(PdfFixtures::writeBytes(rulesNotJson, "not json"));
    QVERIFY(PdfFixtures::writeBytes(rulesNoneValid, R"({"rules": [{"name": "no category"}]})"));
    const QString out = m_dir.filePath("out-usage");

    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("reason");
    // What the command line alone decides is tested with the parser; these need the program.
    QTest::newRow("missing rules")
        << QStringList{"--batch",
                       "--import",
                       m_clean,
                       "--export",
                       out,
                       "--rules",
                       m_dir.filePath("none.json")}
        << "tessavo: cannot read the rules file <path>/none.json: No such file or directory";
    QTest::newRow("rules not JSON")
        << QStringList{"--batch", "--import", m_clean, "--export", out, "--rules", rulesNotJson}
        << "tessavo: the rules file <path>/rules-not-json.json contains no valid rules";
    QTest::newRow("no valid rule")
        << QStringList{"--batch", "--import", m_clean, "--export", out, "--rules", rulesNoneValid}
        << "tessavo: the rules file <path>/rules-none-valid.json contains no valid rules";
    QTest::newRow("rules is a folder")
        << QStringList{"--batch", "--import", m_clean, "--export", out, "--rules", m_clean}
        << "tessavo: cannot read the rules file <path>/clean package: it is a folder";
    QTest::newRow("misspelt option")
        << QStringList{"--batch", "--import", m_clean, "--exprt", out}
        << "tessavo: unknown option --exprt; tessavo --help lists the options";
    const QString profileWrongType = m_dir.filePath("profile-wrong-type.json");
    QVERIFY(PdfFixtures::writeBytes(profileWrongType, R"({"maxFileBytes": "50 MB"})"));
    QTest::newRow("missing profile")
        << QStringList{"--batch",
                       "--import",
                       m_clean,
                       "--export",
                       out,
                       "--profile",
                       m_dir.filePath("none.json")}
        << "tessavo: cannot use the profile <path>/none.json: No such file or directory";
    QTest::newRow("profile of the wrong type")
        << QStringList{"--batch", "--import",  m_clean,         "--export",
                       out,       "--profile", profileWrongType}
        << "tessavo: cannot use the profile <path>/profile-wrong-type.json: maxFileBytes: "
           "expected a whole number, found text";
    QTest::newRow("verify with a profile of the wrong type")
        << QStringList{"--verify", m_clean, "--profile", profileWrongType}
        << "tessavo: cannot use the profile <path>/profile-wrong-type.json: maxFileBytes: "
           "expected a whole number, found text";
}

void TestBatch::usageErrorsExitTwo()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, reason);
    const Run run = tessavo(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(run.errLines(), QStringList{reason});
    QVERIFY(!QFileInfo::exists(m_dir.filePath("out-usage")));
}

void TestBatch::rulesFileIsUsedForThisRunOnly()
{
    // The stored rules would file "Drawings" under 05_References; the run's file says 08_Other.
    const QString dataHome = m_dir.filePath("data-rules");
    const QString stored = dataHome + "/Tessavo/Tessavo/rules.json";
    const QByteArray storedBytes = rulesFile("Stored", "05_References", "drawings");
    QVERIFY(PdfFixtures::writeBytes(stored, storedBytes));
    const QString runRules = m_dir.filePath("run-rules.json");
    QVERIFY(PdfFixtures::writeBytes(runRules, rulesFile("For this run", "08_Other", "drawings")));

    const QString out = freshFolder("out-rules");
    Run run =
        tessavo({"--batch", "--import", m_mixed, "--export", out, "--rules", runRules}, dataHome);
    QCOMPARE(run.exitCode, 3);
    QCOMPARE(manifestSuggestions(run.outLines().at(0)),
             (QStringList{"appendix-a.pdf|08_Other", "pricing.pdf|", "scan.pdf|"}));
    QCOMPARE(PdfFixtures::readBytes(stored), storedBytes);
    QCOMPARE(QDir(dataHome + "/Tessavo/Tessavo").entryList(QDir::Files), QStringList{"rules.json"});

    // Without --rules the stored rules classify, and stay as they are.
    run =
        tessavo({"--batch", "--import", m_mixed, "--export", freshFolder("out-stored")}, dataHome);
    QCOMPARE(run.exitCode, 3);
    QCOMPARE(manifestSuggestions(run.outLines().at(0)),
             (QStringList{"appendix-a.pdf|05_References", "pricing.pdf|", "scan.pdf|"}));
    QCOMPARE(PdfFixtures::readBytes(stored), storedBytes);
}

void TestBatch::acceptClearMatchesTheReviewPage()
{
    // What "Accept all clear suggestions" leaves after the same import, in this process.
    Ui::AppController controller;
    controller.importer()->addUrls({QUrl::fromLocalFile(m_clean), QUrl::fromLocalFile(m_mixed)});
    QTRY_VERIFY_WITH_TIMEOUT(!controller.importer()->running(), 120000);
    controller.review()->acceptAllSuggested();
    QStringList expected;
    for (const DocumentRecord& r : controller.documents()->records()) {
        if (exportable(r))
            expected.append(QString("%1|%2|%3")
                                .arg(r.fileName,
                                     r.decision == Accepted ? "Accepted" : "Needs Review",
                                     displayCategory(r)));
    }
    expected.sort();
    QVERIFY(expected.filter("|Accepted|").size() >= 4);
    QVERIFY(expected.contains("pricing and bond.pdf|Needs Review|02_Forms") ||
            expected.contains("pricing and bond.pdf|Needs Review|03_Pricing"));

    // A batch run imports one path: one run per folder.
    Run run = tessavo({"--batch", "--accept-clear", "--import", m_clean, "--export",
                       freshFolder("out-accept-1")});
    QCOMPARE(run.exitCode, 0);
    QStringList batch = manifestDecisions(run.outLines().at(0));
    run = tessavo({"--batch", "--accept-clear", "--import", m_mixed, "--export",
                   freshFolder("out-accept-2")});
    QCOMPARE(run.exitCode, 3);
    batch += manifestDecisions(run.outLines().at(0));
    batch.sort();
    QCOMPARE(batch, expected);
    QVERIFY(run.errLines().contains("Decisions: 2 Accepted, 3 Needs review"));
}

void TestBatch::progressBarOnATerminal()
{
    // Standard error on a pseudo-terminal: one bar redrawn in place, with counts.
    const ToolRun run = runPython(
        "import os, pty, subprocess, sys\n"
        "master, slave = pty.openpty()\n"
        "env = dict(os.environ)\n"
        "env.pop('QT_QPA_PLATFORM', None); env.pop('DISPLAY', None)\n"
        "p = subprocess.Popen(sys.argv[1:], stdout=subprocess.PIPE, stderr=slave, env=env)\n"
        "os.close(slave)\n"
        "err = b''\n"
        "while True:\n"
        "    try: chunk = os.read(master, 65536)\n"
        "    except OSError: break\n"
        "    if not chunk: break\n"
        "    err += chunk\n"
        "out = p.stdout.read(); code = p.wait()\n"
        "sys.stdout.buffer.write(str(code).encode() + b'\\n' + out + b'--\\n' + err)\n",
        {TESSAVO_EXECUTABLE, "--batch", "--import", m_clean, "--export",
         freshFolder("out-terminal")});
    QVERIFY2(run.ok(), run.err.constData());
    const QString text = QString::fromUtf8(run.out);
    QVERIFY2(text.startsWith("0\n"), qPrintable(text));
    const QString err = text.section("--\n", 1);
    QVERIFY2(err.contains("\r[######------------------] 1/4 "), qPrintable(err));
    QVERIFY(err.contains("\r[########################] 4/4 "));
    QVERIFY(!err.contains("[1/4]")); // no per-file lines
    QVERIFY(err.contains("Found 4 PDF(s): 4 Ready"));
    QCOMPARE(text.section("--\n", 0, 0).split('\n', Qt::SkipEmptyParts).size(), 3);
}

void TestBatch::helpAndVersionNeedNoDisplay()
{
    Run run = tessavo({"--help"});
    QCOMPARE(run.exitCode, 0);
    const QString help = QString::fromLocal8Bit(run.out);
    for (const char* option : {"--batch", "--import PATH", "--export FOLDER", "--rules FILE",
                               "--accept-clear", "--verify PATH", "--smoke-test", "--help",
                               "--version", "0 every PDF found", "2 usage error"})
        QVERIFY2(help.contains(option), option);
    QVERIFY(run.err.isEmpty());

    run = tessavo({"--version"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("Tessavo ") + versionText + "\n");

    // --help wins over everything else on the line.
    run = tessavo({"--batch", "--import", m_clean, "--help"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.startsWith("Usage: tessavo"));
}

void TestBatch::verifyChecksWhatBatchWrote()
{
    const Run batch = tessavo({"--batch", "--import", m_mixed, "--export", freshFolder("out-v")});
    QCOMPARE(batch.exitCode, 3);
    const QString bundle = batch.outLines().at(0);

    // The report names the bundle as the log would: by its last component.
    const QString shown = "<path>/" + QFileInfo(bundle).fileName();
    Run run = tessavo({"--verify", bundle});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.outLines().size(), 1);
    QVERIFY2(run.outLines().first().startsWith("Verified " + shown +
                                               ": 5 ZIP entries, 3 "
                                               "manifest rows, 6 originals"),
             run.out.constData());
    QCOMPARE(tessavo({"--verify", bundle + ".zip"}).exitCode, 0);

    // One flipped byte in an original.
    QByteArray bytes = PdfFixtures::readBytes(bundle + "/originals/scan.pdf");
    bytes[bytes.size() / 3] = char(bytes.at(bytes.size() / 3) ^ 1);
    QVERIFY(PdfFixtures::writeBytes(bundle + "/originals/scan.pdf", bytes));
    run = tessavo({"--verify", bundle});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.outLines().size(), 2);
    QVERIFY2(run.outLines().first().startsWith(QFileInfo(bundle).fileName() +
                                               "/originals/scan.pdf: SHA-256 differs from "
                                               "manifest.csv line "),
             run.out.constData());
    QVERIFY(run.outLines().last().startsWith("Verification of " + shown + " failed: 1 problem"));
    QCOMPARE(tessavo({"--verify", bundle + ".zip"}).exitCode, 0);
    QCOMPARE(tessavo({"--verify", m_dir.filePath("no such bundle")}).exitCode, 1);

    // An index that is no PDF, opened by the inspection worker.
    QVERIFY(PdfFixtures::writeBytes(bundle + "/index.pdf", "%PDF-1.4 damaged"));
    run = tessavo({"--verify", bundle});
    QCOMPARE(run.exitCode, 1);
    const QString name = QFileInfo(bundle).fileName();
    QVERIFY2(run.outLines().contains(name + "/index.pdf: does not open: not a valid PDF"),
             run.out.constData());
    QVERIFY(
        run.outLines().contains(name + "/index.pdf: differs from the copy in " + name + ".zip"));
}

void TestBatch::sessionRulesAreNeverStored()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    const QString stored = folder + "/rules.json";
    QVERIFY(PdfFixtures::writeBytes(stored, "not json at all"));
    Rule rule;
    rule.id = "only";
    rule.name = "Only rule";
    rule.category = "08_Other";
    rule.fileContains = "x";
    {
        Ui::ControllerSetup setup = Ui::ControllerSetup::inFolder(folder);
        setup.sessionPath.clear();
        setup.fixedRules = QList<Rule>{rule};
        Ui::AppController controller(setup);
        QVERIFY(controller.rules()->ruleList() == QList<Rule>{rule});
        controller.review()->addRule("Another", "02_Forms", "form", "", 0, 0, 5);
        controller.review()->removeRule(0);
        QCOMPARE(controller.rules()->rowCount(), 1);
    }
    QCOMPARE(PdfFixtures::readBytes(stored), QByteArray("not json at all"));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"rules.json"}); // no backup either

    // The ordinary controller still reads, and replaces, the stored rules.
    {
        Ui::AppController controller(Ui::ControllerSetup::inFolder(folder));
        controller.review()->addRule("Another", "02_Forms", "form", "", 0, 0, 5);
    }
    QVERIFY(PdfFixtures::readBytes(stored).contains("Another"));
    QVERIFY(QFile::remove(stored));
    QFile::remove(stored + ".bak");
}

// The document list the window keeps between runs stays out of a batch run, both ways.
void TestBatch::storedSessionIsNeitherReadNorWritten()
{
    const QString dataHome = m_dir.filePath("data-session");
    const QString folder = dataHome + "/Tessavo/Tessavo";
    const QString session = folder + "/session.sqlite";
    {
        DocumentRecord stored;
        stored.sourcePath = m_mixed + "/appendix-a.pdf";
        stored.fileName = "appendix-a.pdf";
        stored.state = Ready;
        Store::SessionStore store(session);
        QList<DocumentRecord> none;
        QVERIFY2(store.open(none), qPrintable(store.errorString()));
        QVERIFY(store.saveRecords({stored}, {0}));
    }
    const QByteArray before = PdfFixtures::readBytes(session);
    const QDateTime modified = QFileInfo(session).lastModified();
    const QStringList files = QDir(folder).entryList(QDir::Files);

    const QString out = freshFolder("out-session");
    const Run run = tessavo({"--batch", "--import", m_clean, "--export", out}, dataHome);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(run.errLines().contains("Found 4 PDF(s): 4 Ready"));
    QVERIFY(run.errLines().contains("Exported 4 of 4 PDF(s)."));
    QCOMPARE(PdfFixtures::readBytes(session), before);
    QCOMPARE(QFileInfo(session).lastModified(), modified);
    QCOMPARE(QDir(folder).entryList(QDir::Files), files);
}

void TestBatch::progressBarFitsTheTerminal()
{
    const QString name = "a rather long folder name/and an even longer file name.pdf";
    for (int width : {1, 20, 36, 40, 80, 200}) {
        const QString line = App::progressBarLine(3, 8, name, width);
        QVERIFY2(line.size() <= std::max(width - 1, 0), qPrintable(line));
        if (width >= 40)
            QVERIFY(line.startsWith("[#########---------------] 3/8 "));
        if (width >= 46)
            QVERIFY(line.endsWith(".pdf"));
    }
    QCOMPARE(App::progressBarLine(0, 0, {}, 80), "[------------------------] 0/1");
    QCOMPARE(App::progressBarLine(9, 8, "x", 80), "[########################] 9/9 x");
}

void TestBatch::ocrOptionClassifiesScans()
{
    // A scan made from known text: a rendered page wrapped as an image-only PDF.
    const QString folder = freshFolder("scans");
    QVERIFY(QDir().mkpath(folder));
    const QString text = m_dir.filePath("certificate-text.pdf");
    QVERIFY(PdfFixtures::writeTextPdf(text, {"CERTIFICATE OF INSURANCE\nIssued to the bidder."}));
    QVERIFY(runTool("pdftoppm", {"-r", "150", "-gray", "-png", "-singlefile", text,
                                 m_dir.filePath("certificate")})
                .ok());
    QVERIFY(
        runTool("img2pdf", {m_dir.filePath("certificate.png"), "-o", folder + "/scan.pdf"}).ok());

    const QString out = freshFolder("out-ocr");
    const Run run = tessavo({"--batch", "--import", folder, "--export", out, "--ocr"},
                            m_dir.filePath("data-ocr"));
    QVERIFY2(run.exitCode == 0, run.err.constData());
    const QString bundle = run.outLines().value(0);
    // Classified from the recognised text, and still a scan without a text layer.
    QCOMPARE(manifestSuggestions(bundle), QStringList{"scan.pdf|06_Insurance"});
    const ToolRun row =
        runPython("import csv, sys\n"
                  "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')))\n"
                  "print(rows[1][6] + '|' + rows[1][9])",
                  {bundle + "/manifest.csv"});
    QCOMPARE(QString::fromUtf8(row.out).trimmed(),
             QStringLiteral("Needs OCR|text contains \"certificate of insurance\" on page 1 "
                            "(recognised)"));
}

// The ZIP's names, sorted, as Python's zipfile lists them.
static QStringList zipNames(const QString& zip)
{
    const ToolRun run =
        runPython("import sys, zipfile\n"
                  "print('\\n'.join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))",
                  {zip});
    return QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts);
}

// Run after run into a folder inside the imported one: the earlier bundles stay out.
void TestBatch::exportFolderInsideTheImport()
{
    const QString in = freshFolder("self-export");
    QVERIFY(QDir().mkpath(in + "/forms"));
    QVERIFY(PdfFixtures::writeTextPdf(in + "/rfp.pdf", {"Request for Proposals"}));
    QVERIFY(PdfFixtures::writeTextPdf(in + "/forms/bond.pdf", {"Bid bond form"}));
    QVERIFY(PdfFixtures::writeTextPdf(in + "/pricing.pdf", {"Pricing schedule"}));
    for (int round = 1; round <= 3; ++round) {
        const Run run = tessavo({"--batch", "--import", in, "--export", in + "/exports"});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        const QStringList err = run.errLines();
        QVERIFY2(err.contains("Found 3 PDF(s): 3 Ready"), run.err.constData());
        QVERIFY(err.contains("Exported 3 of 3 PDF(s)."));
        QCOMPARE(
            err.filter(QRegularExpression("^skipped: exports/Tessavo-Export-[0-9-]+(-\\d+)?: a "
                                          "bundle exported by Tessavo$"))
                .size(),
            round - 1);
        if (round > 1)
            QVERIFY(err.contains(
                QStringLiteral("Skipped %1 item(s): %1 exported bundle(s)").arg(round - 1)));
        QCOMPARE(zipNames(run.outLines().at(1)).size(), 5); // index, manifest, three originals
        QTest::qWait(1100);                                 // bundles are named by the second
    }
}

// A package unpacked from an archive can carry a link to any file of the disk: its target stays
// out of the bundle, and the run says so (exit 3: not every file of the package is in it).
void TestBatch::linksOutOfThePackageAreNotExported()
{
    const QString in = freshFolder("linked package");
    const QString elsewhere = freshFolder("elsewhere");
    QVERIFY(QDir().mkpath(in) && QDir().mkpath(elsewhere));
    QVERIFY(PdfFixtures::writeTextPdf(in + "/offer.pdf", {"Pricing schedule"}));
    QVERIFY(PdfFixtures::writeTextPdf(elsewhere + "/confidential.pdf", {"Another bid"}));
    QVERIFY(QFile::link(elsewhere + "/confidential.pdf", in + "/annex.pdf"));
    QVERIFY(QFile::link(in + "/offer.pdf", in + "/offer again.pdf")); // inside: followed
    QVERIFY(QFile::link(elsewhere, in + "/more"));

    const Run run = tessavo({"--batch", "--import", in, "--export", freshFolder("out-links")});
    QCOMPARE(run.exitCode, 3);
    const QStringList err = run.errLines();
    QVERIFY2(err.contains("skipped: annex.pdf: a link to outside the imported folder"),
             run.err.constData());
    QVERIFY(err.contains("skipped: more: a link to outside the imported folder"));
    QVERIFY(err.contains("Skipped 2 item(s): 2 link(s) to outside the imported folder"));
    QVERIFY(err.contains("Exported 2 of 2 PDF(s)."));
    QCOMPARE(zipNames(run.outLines().at(1)),
             (QStringList{"index.pdf", "manifest.csv", "originals/offer again.pdf",
                          "originals/offer.pdf"}));
    const ToolRun grep = runTool("grep", {"-rc", "confidential", run.outLines().at(0)});
    QCOMPARE(grep.exitCode, 1); // nowhere in the bundle
}

void TestBatch::hiddenAndDeepAreNamed()
{
    const QString in = freshFolder("hidden and deep");
    const QString deep = in + QString("/level").repeated(257);
    QVERIFY(QDir().mkpath(deep));
    QVERIFY(PdfFixtures::writeTextPdf(in + "/rfp.pdf", {"Request for Proposals"}));
    QVERIFY(PdfFixtures::writeTextPdf(in + "/.offer.pdf", {"Pricing schedule"}));
    QVERIFY(PdfFixtures::writeTextPdf(deep + "/deep.pdf", {"Drawings"}));

    // Hidden files alone lose nothing of the package: exit 0, and the summary says what was left.
    QVERIFY(QDir(in + "/level").removeRecursively());
    Run run = tessavo({"--batch", "--import", in, "--export", freshFolder("out-hidden")});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(run.errLines().contains("skipped: .offer.pdf: hidden"));
    QVERIFY(run.errLines().contains("Skipped 1 item(s): 1 hidden"));

    QVERIFY(QDir().mkpath(deep));
    QVERIFY(PdfFixtures::writeTextPdf(deep + "/deep.pdf", {"Drawings"}));
    run = tessavo({"--batch", "--import", in, "--export", freshFolder("out-deep")});
    QCOMPARE(run.exitCode, 3);
    const QStringList err = run.errLines();
    QVERIFY2(err.contains("skipped: " + QString("level/").repeated(256) +
                          "level: deeper than 256 folder levels"),
             run.err.constData());
    QVERIFY(err.contains("Skipped 2 item(s): 1 hidden, 1 folder(s) deeper than 256 levels"));
    QVERIFY(err.contains("Exported 1 of 1 PDF(s)."));
}

// "--import" and "--export" name folders by their bytes: a name that is not valid UTF-8 is that
// very folder, not a look-alike with a replacement character.
void TestBatch::foldersNamedInLatin1()
{
    const QByteArray base = QFile::encodeName(freshFolder("latin1"));
    QVERIFY(QDir().mkpath(QFile::decodeName(base)));
    const QByteArray in = base + "/offre \xE9t\xE9";
    const QByteArray out = base + "/export \xE9";
    QCOMPARE(::mkdir(in.constData(), 0700), 0);
    const QString scratch = QFile::decodeName(base) + "/scratch.pdf";
    QVERIFY(PdfFixtures::writeTextPdf(scratch, {"Request for Proposals"}));
    QCOMPARE(::rename(QFile::encodeName(scratch).constData(), (in + "/rfp.pdf").constData()), 0);

    const QStringList hex = {QString::fromLatin1(in.toHex()), QString::fromLatin1(out.toHex())};
    const ToolRun run = runPython(
        "import os, subprocess, sys\n"
        "env = dict(os.environ)\n"
        "env.pop('QT_QPA_PLATFORM', None); env.pop('DISPLAY', None)\n"
        "env['XDG_DATA_HOME'] = sys.argv[4]\n"
        "p = subprocess.run([sys.argv[1], '--batch', '--import', bytes.fromhex(sys.argv[2]),\n"
        "                    '--export', bytes.fromhex(sys.argv[3])], capture_output=True, "
        "env=env)\n"
        "sys.stdout.write(str(p.returncode) + '\\n' + p.stdout.hex() + '\\n')\n"
        "sys.stderr.buffer.write(p.stderr)\n",
        {TESSAVO_EXECUTABLE, hex.at(0), hex.at(1), m_dir.filePath("data")});
    QVERIFY2(run.ok(), run.err.constData());
    const QList<QByteArray> lines = run.out.split('\n');
    QVERIFY2(lines.value(0) == "0", run.err.constData());
    const QList<QByteArray> printed = QByteArray::fromHex(lines.value(1)).split('\n');
    QCOMPARE(printed.size(), 3); // two lines and the end
    QVERIFY2(printed.at(0).startsWith(out + "/Tessavo-Export-"), printed.at(0).constData());
    QCOMPARE(printed.at(1), printed.at(0) + ".zip");
    struct stat status {};
    QCOMPARE(::stat(printed.at(1).constData(), &status), 0);
    QVERIFY(S_ISREG(status.st_mode));
    // The ZIP as another program reads it from that very folder.
    const ToolRun zip = runPython("import sys, zipfile\n"
                                  "z = zipfile.ZipFile(open(bytes.fromhex(sys.argv[1]), 'rb'))\n"
                                  "assert z.testzip() is None\n"
                                  "print('\\n'.join(sorted(z.namelist())))",
                                  {QString::fromLatin1(printed.at(1).toHex())});
    QVERIFY2(zip.ok(), zip.err.constData());
    QCOMPARE(QString::fromUtf8(zip.out).split('\n', Qt::SkipEmptyParts),
             (QStringList{"index.pdf", "manifest.csv", "originals/rfp.pdf"}));
    // Nothing went to a folder named with a replacement character.
    const ToolRun listed = runPython("import os, sys\n"
                                     "print(len(os.listdir(bytes.fromhex(sys.argv[1]))))",
                                     {QString::fromLatin1(base.toHex())});
    QCOMPARE(listed.out.trimmed(), QByteArray("2"));
    QVERIFY(runPython("import shutil, sys; shutil.rmtree(bytes.fromhex(sys.argv[1]))",
                      {QString::fromLatin1(base.toHex())})
                .ok());
}

void TestBatch::originalChangedBeforeTheCopyExitsThree()
{
    // The run inside this process, so that the file changes exactly between its inspection and
    // its copy: once every file is listed and before the export has started.
    const QString in = m_dir.filePath("changed before copy");
    QVERIFY(QDir().mkpath(in));
    QVERIFY(PdfFixtures::writeTextPdf(in + "/kept.pdf", {"Pricing schedule"}));
    QVERIFY(PdfFixtures::writeTextPdf(in + "/edited.pdf", {"Bid bond form"}));
    const QString out = freshFolder("out-changed");
    const App::CommandLineParse parsed =
        App::parseCommandLine({"tessavo", "--batch", "--import", QFile::encodeName(in), "--export",
                               QFile::encodeName(out)});
    QVERIFY(parsed.ok);
    App::BatchOptionsRead options = App::batchOptionsOf(parsed.commandLine);
    QVERIFY(options.ok);
    Tessavo::Ui::ControllerSetup setup =
        Tessavo::Ui::ControllerSetup::inFolder(m_dir.filePath("d"));
    setup.sessionPath.clear();
    Tessavo::Ui::AppController controller(setup);
    QObject::connect(controller.documents(), &QAbstractItemModel::rowsInserted, &controller, [&] {
        if (controller.documents()->rowCount() < 2)
            return;
        QByteArray bytes = PdfFixtures::readBytes(in + "/edited.pdf");
        bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 1);
        PdfFixtures::writeBytes(in + "/edited.pdf", bytes);
    });
    Tessavo::App::BatchRun run(controller, options.options, false);
    QTimer::singleShot(0, &run, &Tessavo::App::BatchRun::start);
    QCOMPARE(QCoreApplication::exec(), 3);

    const auto result = controller.lastExport();
    QCOMPARE(result.exported, 1);
    QCOMPARE(result.warnings,
             QStringList{QStringLiteral("Changed since it was inspected, left out of the bundle: "
                                        "%1")
                             .arg(in + "/edited.pdf")});
    const QString bundle = result.directory;
    QCOMPARE(manifestDecisions(bundle), QStringList{"kept.pdf|Needs Review|03_Pricing"});
    // What the bundle lists, it holds: the verification finds nothing wrong.
    const Run verify = tessavo({"--verify", bundle});
    QVERIFY2(verify.exitCode == 0, verify.out + verify.err);
}

void TestBatch::stopSignalsLeaveNothingBehind_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestBatch::stopSignalsLeaveNothingBehind()
{
    QFETCH(int, signalNumber);
    // A valid PDF carrying an unused stream of 400 MB: its copy and its ZIP entry take a while.
    const QString in = m_dir.filePath("large package");
    if (!QFileInfo::exists(in + "/large.pdf")) {
        QVERIFY(QDir().mkpath(in));
        QVERIFY(PdfFixtures::writeTextPdf(in + "/small.pdf", {"Pricing schedule"}));
        const QByteArray padding(400 << 20, 'p');
        QVERIFY(PdfFixtures::writeBytes(
            in + "/large.pdf",
            PdfFixtures::assemblePdf({"<< /Type /Catalog /Pages 2 0 R >>",
                                      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>",
                                      "<< /Length " + QByteArray::number(padding.size()) +
                                          " >>\nstream\n" + padding + "\nendstream"})));
    }
    const QString out = freshFolder("out-stopped");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", m_dir.filePath("data"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TESSAVO_EXECUTABLE), {"--batch", "--import", in, "--export", out});
    QVERIFY(process.waitForStarted(30000));
    // Stopped while the bundle is being built.
    QTRY_VERIFY_WITH_TIMEOUT(QDir(out)
                                     .entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)
                                     .filter(QRegularExpression("^\\.Tessavo-Export-.*-partial-"))
                                     .size() == 1,
                             120000);
    QCOMPARE(::kill(pid_t(process.processId()), signalNumber), 0);
    QVERIFY(process.waitForFinished(60000));
    const QByteArray err = process.readAllStandardError();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == 128 + signalNumber, err.constData());
    QVERIFY2(err.contains("tessavo: Export cancelled."), err.constData());
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    // No bundle under its final name, no ZIP, and no temporary leftover.
    QCOMPARE(
        QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
        QStringList());
}

// File names are untrusted (a package unpacked from a ZIP): an escape sequence in one must never
// reach the terminal, and no line names the folders above the imported one.
void TestBatch::printedNamesCannotDriveTheTerminal()
{
    const QString parent = m_dir.filePath("Smith, John");
    const QString in = parent + "/Confidential merger bid";
    QVERIFY(QDir().mkpath(in));
    QVERIFY(PdfFixtures::writeTextPdf(in + "/\x1b]2;pwned\x07 title.pdf", {"Pricing schedule"}));
    QVERIFY(PdfFixtures::writeTextPdf(in + "/\x1b[2Jclear.pdf", {"Drawings"}));
    QVERIFY(PdfFixtures::writeTextPdf(in + "/Offer: final?.pdf", {"Scope"}));
    const QString out = freshFolder("out\x1b[2J\nhostile");

    const Run run = tessavo({"--batch", "--import", in, "--export", out});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    for (const QByteArray& stream : {run.out, run.err}) {
        QVERIFY2(!stream.contains('\x1b') && !stream.contains('\x07'), stream.constData());
        QVERIFY2(!stream.contains("Smith") && !stream.contains("Confidential"), stream.constData());
    }
    QVERIFY2(!run.err.contains(QFile::encodeName(m_dir.path())), run.err.constData());
    const QStringList err = run.errLines();
    QCOMPARE(err.filter(QRegularExpression("^\\[\\d/3\\] ")).size(), 3);
    QVERIFY2(err.filter(QRegularExpression(R"(^\[\d/3\] \\u001B\]2;pwned\\u0007 title\.pdf: )"))
                     .size() == 1,
             run.err.constData());
    QVERIFY(err.contains("Exporting 3 document(s) to <path>/out\\u001B[2J\\nhostile"));
    QVERIFY(!err.filter(QRegularExpression("^warning: Renamed .*: <path>/")).isEmpty());

    // Standard output keeps the two paths whole for scripts, one per line, control characters
    // escaped as everywhere else.
    const QStringList lines = run.outLines();
    QCOMPARE(lines.size(), 2);
    const QString escapedOut = QString(out).replace("\x1b", "\\u001B").replace("\n", "\\n");
    QVERIFY2(lines.at(0).startsWith(escapedOut + "/Tessavo-Export-"), run.out.constData());
    QCOMPARE(lines.at(1), lines.at(0) + ".zip");
    const QStringList bundles = QDir(out).entryList({"Tessavo-Export-*"}, QDir::Dirs);
    QCOMPARE(bundles.size(), 1);
    QCOMPARE(lines.at(0), escapedOut + "/" + bundles.first());
}

void TestBatch::verifyPrintsArchiveNamesEscaped()
{
    // A bundle this program wrote, copied into a ZIP that also carries unlisted hostile names.
    const Run batch = tessavo(
        {"--batch", "--import", m_clean + "/forms", "--export", freshFolder("out-hostile-zip")});
    QCOMPARE(batch.exitCode, 0);
    const QString zip = m_dir.filePath("Smith, John/hostile bundle.zip");
    QVERIFY(QDir().mkpath(QFileInfo(zip).path()));
    const ToolRun made =
        runPython("import sys, zipfile\n"
                  "with zipfile.ZipFile(sys.argv[1]) as src, "
                  "zipfile.ZipFile(sys.argv[2], 'w') as z:\n"
                  "    for info in src.infolist(): z.writestr(info, src.read(info))\n"
                  "    z.writestr('originals/\\x1b]2;pwned\\x07.pdf', b'x')\n"
                  "    z.writestr('originals/\\x1b[2J\\x9b31m.pdf', b'y')\n",
                  {batch.outLines().at(1), zip});
    QVERIFY2(made.ok(), made.err.constData());
    const Run run = tessavo({"--verify", zip});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(!run.out.contains('\x1b') && !run.out.contains('\x07') &&
                 !run.out.contains("\xc2\x9b"),
             run.out.constData());
    QVERIFY2(run.out.contains("originals/\\u001B]2;pwned\\u0007.pdf: not listed"),
             run.out.constData());
    QVERIFY2(run.out.contains("originals/\\u001B[2J\\u009B31m.pdf: not listed"),
             run.out.constData());
    QVERIFY(!run.out.contains("Smith"));
    QVERIFY2(run.outLines().last().startsWith("Verification of <path>/hostile bundle.zip failed: "),
             run.out.constData());
}

// Recognition asked for without its language data fails at once and says what to install.
void TestBatch::ocrWithoutLanguageDataFails()
{
    QTemporaryDir noData;
    qputenv("TESSDATA_PREFIX", QFile::encodeName(noData.path()));
    const QString out = freshFolder("out-ocr-nodata");
    const Run run = tessavo({"--batch", "--ocr", "--import", m_mixed, "--export", out});
    qunsetenv("TESSDATA_PREFIX");
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains("tesseract-ocr-eng"), run.err.constData());
    QVERIFY(!QFileInfo::exists(out));
}

// A portal's rules: the names are fitted, and each rule still broken is one line and exit code 3.
void TestBatch::profileFitsNamesAndNamesWhatStillFails()
{
    using namespace PdfFixtures;
    const QString in = m_dir.filePath("portal package");
    QVERIFY(QDir().mkpath(in + "/Anhänge"));
    const QString longName = "Technical description of the works and the methods used1.pdf";
    QCOMPARE(longName.size(), 60);
    QVERIFY(writeTextPdf(in + "/" + longName, {"Technical proposal", "Methodology"}));
    QVERIFY(writeTextPdf(in + "/Anhänge/Preisblatt: Müller.pdf", {"Pricing schedule"}));
    QVERIFY(writeImageOnlyPdf(in + "/scan.pdf", 1));
    QVERIFY(encryptWithQpdf(in + "/scan.pdf", in + "/locked.pdf", "pw", "owner"));
    QVERIFY(writeTextPdf(in + "/drawings.pdf", {"Drawings"}));
    QByteArray big = readBytes(in + "/drawings.pdf");
    big += "\n%" + QByteArray(3 * 1000 * 1000 - big.size() - 3, 'x') + "\n";
    QVERIFY(writeBytes(in + "/drawings.pdf", big));
    const QString profile = m_dir.filePath("portal.json");
    QVERIFY(writeBytes(profile, R"({"name": "Test portal", "maxFileBytes": 1000000,
        "maxNameLength": 50, "plainNames": true, "allowEncrypted": false, "requireText": true,
        "requiredCategories": ["06_Insurance"], "maxFileSize": 1})"));

    const Run run = tessavo({"--batch", "--import", in, "--export", freshFolder("out-portal"),
                             "--accept-clear", "--profile", profile});
    QCOMPARE(run.exitCode, 3);
    const QStringList failures = run.errLines().filter(QRegularExpression("^not ready: "));
    QCOMPARE(failures,
             (QStringList{"not ready: Each file at most 1 MB: <path>/drawings.pdf (3 MB)",
                          "not ready: No password-protected files: <path>/locked.pdf "
                          "(password-protected, so it cannot be exported)",
                          "not ready: Every document has text: <path>/scan.pdf (a scan without "
                          "text)",
                          "not ready: At least one document in 06_Insurance: no document in "
                          "06_Insurance"}));
    QVERIFY2(run.errLines().contains("Does not meet the profile \"Test portal\": 4 of 6 rule(s) "
                                     "broken."),
             run.err.constData());
    QVERIFY2(run.errLines().contains("tessavo: warning: the profile <path>/portal.json: unknown "
                                     "key \"maxFileSize\" ignored"),
             run.err.constData());

    // The copies lie side by side under fitted names, read back by unzip and Python; the
    // manifest keeps each file's own path.
    const QString bundle = run.outLines().at(0);
    const ToolRun unzip = runTool("unzip", {"-t", run.outLines().at(1)});
    QVERIFY2(unzip.ok(), unzip.out + unzip.err);
    const ToolRun zip = runPython("import sys, zipfile\n"
                                  "with zipfile.ZipFile(sys.argv[1]) as z:\n"
                                  "    assert z.testzip() is None\n"
                                  "    print('\\n'.join(z.namelist()))",
                                  {run.outLines().at(1)});
    QVERIFY2(zip.ok(), zip.err.constData());
    QCOMPARE(QString::fromUtf8(zip.out).split('\n', Qt::SkipEmptyParts),
             (QStringList{"manifest.csv", "index.pdf", "originals/Preisblatt_ Muller.pdf",
                          "originals/Technical description of the works and the met.pdf",
                          "originals/drawings.pdf", "originals/scan.pdf"}));
    const QStringList rows = manifestDecisions(bundle);
    QCOMPARE(rows.size(), 4);
    QVERIFY2(rows.first().startsWith("Preisblatt_ Muller.pdf|Accepted|03_Pricing"),
             qPrintable(rows.join('\n')));
    const ToolRun sources =
        runPython("import csv, sys\n"
                  "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')))\n"
                  "print('\\n'.join(r[1] for r in rows[1:]))",
                  {bundle + "/manifest.csv"});
    QVERIFY(QString::fromUtf8(sources.out).contains(in + "/Anhänge/Preisblatt: Müller.pdf"));
    QCOMPARE(tessavo({"--verify", bundle}).exitCode, 0); // sound, without a profile

    // Met in full, the run ends as any complete one.
    const QString names = m_dir.filePath("names.json");
    QVERIFY(writeBytes(names, R"({"maxNameLength": 50, "plainNames": true})"));
    const Run clean = tessavo(
        {"--batch", "--import", m_clean, "--export", freshFolder("out-names"), "--profile", names});
    QVERIFY2(clean.exitCode == 0, clean.err.constData());
    QVERIFY(clean.errLines().contains("Meets the profile \"names\": 2 rule(s) checked."));
    QVERIFY(QFileInfo::exists(clean.outLines().at(0) + "/originals/Bid bond _ A.pdf"));

    // A complete bundle that breaks a rule ends with 3 as well.
    const QString insurance = m_dir.filePath("insurance.json");
    QVERIFY(writeBytes(insurance, R"({"requiredCategories": ["06_Insurance"]})"));
    const Run missing = tessavo({"--batch", "--import", m_clean, "--export",
                                 freshFolder("out-insurance"), "--profile", insurance});
    QCOMPARE(missing.exitCode, 3);
    QCOMPARE(missing.errLines().filter("not ready: ").size(), 1);
}

void TestBatch::verifyChecksABundleAgainstAProfile()
{
    const Run batch = tessavo({"--batch", "--import", m_mixed, "--export", freshFolder("out-vp")});
    QCOMPARE(batch.exitCode, 3);
    const QString bundle = batch.outLines().at(0);
    const QString profile = m_dir.filePath("decided.json");
    QVERIFY(PdfFixtures::writeBytes(profile, R"({"name": "Decided", "requireDecided": true,
        "maxFiles": 3, "zipVolumeBytes": 1000})"));
    for (const QString& path : {bundle, bundle + ".zip"}) {
        const Run run = tessavo({"--verify", path, "--profile", profile});
        QCOMPARE(run.exitCode, 3);
        const QStringList lines = run.outLines();
        QVERIFY2(lines.first().startsWith("Verified "), run.out.constData());
        QCOMPARE(lines.filter("not ready: Every document accepted or changed: ").size(), 3);
        QVERIFY2(lines.filter(QRegularExpression("^not ready: No ZIP larger than 1 kB: ")).size() ==
                     3,
                 run.out.constData()); // each original is larger than the limit itself
        QVERIFY(lines.last().endsWith("does not meet the profile \"Decided\": 2 of 3 rule(s) "
                                      "broken."));
    }
    const QString loose = m_dir.filePath("loose.json");
    QVERIFY(PdfFixtures::writeBytes(loose, R"({"maxFiles": 3, "requiredCategories": []})"));
    const Run met = tessavo({"--verify", bundle, "--profile", loose});
    QCOMPARE(met.exitCode, 0);
    QVERIFY(met.outLines().last().endsWith("meets the profile \"loose\": 1 rule(s) checked."));
    // A broken bundle stays a broken bundle, whatever the profile.
    QVERIFY(PdfFixtures::writeBytes(bundle + "/originals/scan.pdf", "changed"));
    QCOMPARE(tessavo({"--verify", bundle, "--profile", loose}).exitCode, 1);
}

TESSAVO_TEST_MAIN_WITH_WORKER(TestBatch)
#include "tst_batch.moc"
