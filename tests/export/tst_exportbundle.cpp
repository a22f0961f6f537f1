#include "export/ExportBundle.h"
#include "export/IndexPdf.h"
#include "support/ExternalTool.h"
#include "support/PdfFixtures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Tessavo;

namespace {

// Names, sizes and SHA-256 of every entry, after checking every CRC: "name<TAB>size<TAB>sha".
const QByteArray zipListing = R"(
import hashlib, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    if bad is not None:
        sys.exit('bad CRC in ' + bad)
    for info in z.infolist():
        print(info.filename + '\t' + str(info.file_size) + '\t' + hashlib.sha256(z.read(info)).hexdigest())
)";

QByteArray sha256Of(const QString& path)
{
    return QCryptographicHash::hash(PdfFixtures::readBytes(path), QCryptographicHash::Sha256)
        .toHex();
}

} // namespace

class TestExportBundle : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void buildsACompleteBundle();
    void refusesABlankFolder();
    void refusesWhenNothingIsExportable();
    void twoExportsInTheSameSecond();
    void createsAMissingChosenFolder();
    void missingSourcesAreWarnings();
    void clashingNamesAreKeptApart();
    void hiddenFoldersReachTheZip();
    void zipFailureKeepsWhatWasWritten();
    void paths_data();
    void paths();
    void uniqueDirectories();

private:
    DocumentRecord pdf(const QString& relativePath, const QString& category,
                       int decision = Accepted);
    ExportOptions options(const QString& folder) const;

    QTemporaryDir m_dir;
};

void TestExportBundle::initTestCase()
{
    QVERIFY(m_dir.isValid());
    registerIndexFonts("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                       "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf");
}

DocumentRecord TestExportBundle::pdf(const QString& relativePath, const QString& category,
                                     int decision)
{
    const QString path = m_dir.filePath("sources/" + relativePath);
    QDir().mkpath(QFileInfo(path).path());
    if (!QFileInfo::exists(path))
        PdfFixtures::writeTextPdf(path, {"Contents of " + relativePath});
    DocumentRecord r;
    r.sourcePath = path;
    r.fileName = QFileInfo(path).fileName();
    r.sizeBytes = QFileInfo(path).size();
    r.sha256 = sha256Of(path);
    r.pages = 1;
    r.textPages = 1;
    r.state = Ready;
    r.suggestedCategory = category;
    r.decision = decision;
    r.finalCategory = decision == Accepted ? category : QString();
    return r;
}

ExportOptions TestExportBundle::options(const QString& folder) const
{
    return {folder, "Tessavo export", "", "", true};
}

void TestExportBundle::buildsACompleteBundle()
{
    DocumentRecord a = pdf("A/offer, final.pdf", "03_Pricing");
    DocumentRecord b = pdf("B/Ångström \"bond\".pdf", "02_Forms", Changed);
    b.finalCategory = "06_Insurance";
    DocumentRecord ignored = pdf("B/ignored.pdf", "02_Forms", Ignored);
    DocumentRecord broken = pdf("B/broken.pdf", "");
    broken.state = Unreadable;
    const QByteArray sourcesBefore = sha256Of(a.sourcePath) + sha256Of(b.sourcePath);

    const QString out = m_dir.filePath("out-complete");
    const ExportResult result = buildExportBundle({a, ignored, b, broken}, options(out));
    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY(result.error.isEmpty());
    QCOMPARE(result.exported, 2);
    QCOMPARE(result.skipped, 2);
    QVERIFY(result.warnings.isEmpty());
    static const QRegularExpression name("/Tessavo-Export-\\d{8}-\\d{6}$");
    QVERIFY2(name.match(result.directory).hasMatch(), qPrintable(result.directory));
    QCOMPARE(QFileInfo(result.directory).path(), out);
    QCOMPARE(result.csv, result.directory + "/manifest.csv");
    QCOMPARE(result.pdf, result.directory + "/index.pdf");
    QCOMPARE(result.zip, result.directory + ".zip");

    // Originals under their path relative to the common folder, byte for byte.
    QCOMPARE(sha256Of(result.directory + "/originals/A/offer, final.pdf"), sha256Of(a.sourcePath));
    QCOMPARE(sha256Of(result.directory + "/originals/B/Ångström \"bond\".pdf"),
             sha256Of(b.sourcePath));
    QVERIFY(!QFile::exists(result.directory + "/originals/B/ignored.pdf"));
    QCOMPARE(sha256Of(a.sourcePath) + sha256Of(b.sourcePath), sourcesBefore);

    // The ZIP, read by two independent clients.
    const ToolRun unzip = runTool("unzip", {"-t", result.zip});
    QVERIFY2(unzip.ok(), unzip.out + unzip.err);
    const ToolRun listing = runPython(zipListing, {result.zip});
    QVERIFY2(listing.ok(), listing.err);
    const QStringList lines = QString::fromUtf8(listing.out).trimmed().split('\n');
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[0].startsWith("manifest.csv\t"));
    QVERIFY(lines[1].startsWith("index.pdf\t"));
    QCOMPARE(lines[2], QStringLiteral("originals/A/offer, final.pdf\t%1\t%2")
                           .arg(QString::number(a.sizeBytes), QString::fromLatin1(a.sha256)));
    QCOMPARE(lines[3], QStringLiteral("originals/B/Ångström \"bond\".pdf\t%1\t%2")
                           .arg(QString::number(b.sizeBytes), QString::fromLatin1(b.sha256)));
    QVERIFY(lines[0].endsWith(QString::fromLatin1(sha256Of(result.csv))));

    // The manifest, read by Python's csv module.
    const ToolRun csv =
        runPython("import csv, sys\n"
                  "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')))\n"
                  "print(len(rows)); print(rows[1][0]); print(rows[2][0]); print(rows[2][11])",
                  {result.csv});
    QVERIFY2(csv.ok(), csv.err);
    QCOMPARE(QString::fromUtf8(csv.out).split('\n').mid(0, 4),
             (QStringList{"3", "offer, final.pdf", "Ångström \"bond\".pdf", "06_Insurance"}));

    // The index, read by qpdf and pdftotext.
    QVERIFY(runTool("qpdf", {"--check", result.pdf}).ok());
    const QString text = QString::fromUtf8(runTool("pdftotext", {result.pdf, "-"}).out)
                             .normalized(QString::NormalizationForm_KC);
    QVERIFY(text.contains("offer, final.pdf"));
    QVERIFY(text.contains("Ångström \"bond\".pdf"));
    QVERIFY(text.indexOf("03_Pricing") < text.indexOf("06_Insurance"));

    const QVariantMap map = exportResultMap(result);
    QCOMPARE(map.keys(), (QStringList{"csv", "directory", "error", "exported", "ok", "pdf",
                                      "skipped", "warnings", "zip"}));
    QCOMPARE(map["exported"].typeId(), QMetaType::Int);
    QCOMPARE(map["warnings"].typeId(), QMetaType::QStringList);
}

void TestExportBundle::refusesABlankFolder()
{
    const ExportResult result = buildExportBundle({pdf("x.pdf", "02_Forms")}, options("   "));
    QVERIFY(!result.ok);
    QCOMPARE(result.error, QStringLiteral("No export folder was selected"));
    QVERIFY(result.directory.isEmpty());
    QCOMPARE(result.skipped, 0);
}

void TestExportBundle::refusesWhenNothingIsExportable()
{
    DocumentRecord encrypted = pdf("e.pdf", "");
    encrypted.state = Encrypted;
    const QString out = m_dir.filePath("out-nothing");
    const ExportResult result =
        buildExportBundle({encrypted, pdf("i.pdf", "", Ignored)}, options(out));
    QCOMPARE(result.error,
             QStringLiteral("Nothing to export: every document is ignored or unreadable"));
    QCOMPARE(result.skipped, 2);
    QVERIFY(!QFileInfo::exists(out));
}

void TestExportBundle::twoExportsInTheSameSecond()
{
    const QString out = m_dir.filePath("out-twice");
    const QList<DocumentRecord> records = {pdf("one.pdf", "01_Solicitation")};
    ExportResult first, second;
    // Retry until both fall into the same second; one attempt almost always does.
    for (int attempt = 0; attempt < 5; ++attempt) {
        first = buildExportBundle(records, options(out));
        second = buildExportBundle(records, options(out));
        if (second.directory == first.directory + "-2")
            break;
    }
    QVERIFY(first.ok && second.ok);
    QCOMPARE(second.directory, first.directory + "-2");
    QCOMPARE(second.zip, first.directory + "-2.zip");
    QVERIFY(QFileInfo(first.zip).isFile() && QFileInfo(second.zip).isFile());
}

void TestExportBundle::createsAMissingChosenFolder()
{
    const QString out = m_dir.filePath("not/yet/there");
    const ExportResult result = buildExportBundle({pdf("solo.pdf", "05_References")}, options(out));
    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY(QFileInfo(result.directory + "/originals/solo.pdf").isFile()); // single: flat

    const QString blocked = m_dir.filePath("blocker");
    QVERIFY(PdfFixtures::writeBytes(blocked, "file"));
    const ExportResult failed =
        buildExportBundle({pdf("solo.pdf", "05_References")}, options(blocked + "/sub"));
    QCOMPARE(failed.error, QStringLiteral("Cannot create export folder: %1").arg(blocked + "/sub"));
}

void TestExportBundle::missingSourcesAreWarnings()
{
    DocumentRecord kept = pdf("keep/kept.pdf", "02_Forms");
    DocumentRecord gone = pdf("keep/gone.pdf", "02_Forms");
    QVERIFY(QFile::remove(gone.sourcePath));
    const ExportResult result =
        buildExportBundle({kept, gone}, options(m_dir.filePath("out-missing")));
    QVERIFY(result.ok);
    QCOMPARE(result.exported, 2);
    QCOMPARE(result.warnings,
             QStringList{QStringLiteral("Missing source file: %1").arg(gone.sourcePath)});
    const ToolRun listing = runPython(zipListing, {result.zip});
    QCOMPARE(listing.out.count('\n'), 3);
    QVERIFY(PdfFixtures::readBytes(result.csv).contains("gone.pdf")); // still listed
}

void TestExportBundle::clashingNamesAreKeptApart()
{
    // No shared folder at all: everything lands flat below originals/.
    QTemporaryDir other("/var/tmp/tessavo-clash-XXXXXX");
    QVERIFY(other.isValid());
    DocumentRecord first = pdf("x/report.pdf", "02_Forms");
    const QString secondPath = other.filePath("report.pdf");
    QVERIFY(PdfFixtures::writeTextPdf(secondPath, {"another report"}));
    DocumentRecord second = first;
    second.sourcePath = secondPath;
    second.sha256 = sha256Of(secondPath);
    DocumentRecord sameAgain = first; // the same source twice is copied once

    const ExportResult result =
        buildExportBundle({first, second, sameAgain}, options(m_dir.filePath("out-clash")));
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.exported, 3);
    QCOMPARE(sha256Of(result.directory + "/originals/report.pdf"), first.sha256);
    QCOMPARE(sha256Of(result.directory + "/originals/report-2.pdf"), second.sha256);
    QCOMPARE(result.warnings.size(), 1);
    QCOMPARE(result.warnings.first(),
             QStringLiteral("Two originals would share originals/report.pdf: %1 is stored as "
                            "originals/report-2.pdf")
                 .arg(secondPath));
    const ToolRun listing = runPython(zipListing, {result.zip});
    QCOMPARE(listing.out.count('\n'), 4);
}

void TestExportBundle::hiddenFoldersReachTheZip()
{
    DocumentRecord visible = pdf("proj/visible.pdf", "02_Forms");
    DocumentRecord hidden = pdf("proj/.cache/hidden.pdf", "02_Forms");
    DocumentRecord dotFile = pdf("proj/.dotted.pdf", "02_Forms");
    const ExportResult result =
        buildExportBundle({visible, hidden, dotFile}, options(m_dir.filePath("out-hidden")));
    QVERIFY(result.ok);
    const ToolRun listing = runPython(zipListing, {result.zip});
    const QStringList lines = QString::fromUtf8(listing.out).trimmed().split('\n');
    QStringList names;
    for (const QString& line : lines)
        names << line.section('\t', 0, 0);
    // Sorted by code units: '.' comes before letters.
    QCOMPARE(names, (QStringList{"manifest.csv", "index.pdf", "originals/.cache/hidden.pdf",
                                 "originals/.dotted.pdf", "originals/visible.pdf"}));
}

void TestExportBundle::zipFailureKeepsWhatWasWritten()
{
    // A backslash is legal in a Linux file name but not in a ZIP entry name.
    DocumentRecord odd = pdf("odd/back\\slash.pdf", "02_Forms");
    DocumentRecord fine = pdf("odd/fine.pdf", "02_Forms");
    const ExportResult result =
        buildExportBundle({odd, fine}, options(m_dir.filePath("out-zipfail")));
    QVERIFY(!result.ok);
    QCOMPARE(result.error,
             QStringLiteral("ZIP entry name must be relative and use forward slashes: "
                            "originals/back\\slash.pdf"));
    QVERIFY(result.zip.isEmpty());
    QCOMPARE(result.exported, 0);
    QVERIFY(QFileInfo(result.csv).isFile());
    QVERIFY(QFileInfo(result.pdf).isFile());
    // The abandoned archive is still readable and lists what was added before the failure.
    const ToolRun listing = runPython(zipListing, {result.directory + ".zip"});
    QVERIFY2(listing.ok(), listing.err);
    QCOMPARE(listing.out.count('\n'), 2);
}

void TestExportBundle::paths_data()
{
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QStringList>("relative");
    QTest::newRow("sibling folders") << QStringList{"/docs/A/x.pdf", "/docs/B/y.pdf"} << "/docs"
                                     << QStringList{"A/x.pdf", "B/y.pdf"};
    QTest::newRow("single file") << QStringList{"/home/u/bids/a.pdf"} << "/home/u/bids"
                                 << QStringList{"a.pdf"};
    QTest::newRow("two drives") << QStringList{"C:/a/x.pdf", "D:/a/y.pdf"} << ""
                                << QStringList{"x.pdf", "y.pdf"};
    QTest::newRow("only the root shared")
        << QStringList{"/a/x.pdf", "/b/y.pdf"} << "" << QStringList{"x.pdf", "y.pdf"};
    QTest::newRow("case matters") << QStringList{"/Data/a/x.pdf", "/data/a/y.pdf"} << ""
                                  << QStringList{"x.pdf", "y.pdf"};
    QTest::newRow("nested") << QStringList{"/p/a/b/x.pdf", "/p/a/y.pdf"} << "/p/a"
                            << QStringList{"b/x.pdf", "y.pdf"};
}

void TestExportBundle::paths()
{
    QFETCH(QStringList, sources);
    QFETCH(QString, base);
    QFETCH(QStringList, relative);
    QCOMPARE(commonBaseDirectory(sources), base);
    QCOMPARE(commonBaseDirectory({"C:/Docs/A/x.pdf", "C:/Docs/B/y.pdf"}),
             QStringLiteral("C:/Docs"));
    for (qsizetype i = 0; i < sources.size(); ++i)
        QCOMPARE(originalsRelativePath(base, sources[i]), relative[i]);
    QVERIFY(commonBaseDirectory({}).isEmpty());
    QCOMPARE(originalsRelativePath("/p/a", "/p/other/z.pdf"), QStringLiteral("other/z.pdf"));
}

void TestExportBundle::uniqueDirectories()
{
    const QString parent = m_dir.filePath("unique");
    QVERIFY(QDir().mkpath(parent + "/N"));
    QVERIFY(PdfFixtures::writeBytes(parent + "/N-2", "a file counts too"));
    QCOMPARE(uniqueExportDirectory(parent, "N"), parent + "/N-3");
    QCOMPARE(uniqueExportDirectory(parent, "M"), parent + "/M");
}

QTEST_MAIN(TestExportBundle)
#include "tst_exportbundle.moc"
