#include "bundle/ExportBundle.h"
#include "bundle/IndexPdf.h"
#include "bundle/PendingFile.h"
#include "core/RawPath.h"
#include "support/ExternalTool.h"
#include "support/PdfFixtures.h"

#include "bundle/PortableNames.h"
#include "bundle/SpaceCheck.h"
#include "support/UserRun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Tessavo;

namespace {

QList<ExportWarning::Kind> kindsOf(const QList<ExportWarning>& warnings)
{
    QList<ExportWarning::Kind> kinds;
    for (const ExportWarning& warning : warnings)
        kinds.append(warning.kind);
    return kinds;
}

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

// The moment every export in these tests starts at, whatever the wall clock says.
const QDateTime fixedTime(QDate(2026, 12, 7), QTime(9, 5, 3));

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
    void changedOriginalsAreLeftOut();
    void clashingNamesAreKeptApart();
    void hiddenFoldersReachTheZip();
    void awkwardNamesArriveUnderPortableNames();
    void namesThatAreNotUtf8AreCopiedFromTheirBytes();
    void extractedFilesAreReadable();
    void relativeExportFolder();
    void fullDisk();
    void freeSpaceIsCheckedBeforeCopying();
    void bundlePastFourGiBIsCheckedBeforeCopying();
    void fileSizeLimit();
    void neverWritesThroughALinkAtTheZipName();
    void reportsProgressAndStopsWhenCancelled();
    void nothingLiesUnderTheFinalNameBeforeTheEnd();
    void leftoversOfAnUnfinishedExportAreRemoved();
    void longNamesFitTheByteLimit_data();
    void longNamesFitTheByteLimit();
    void manyCaseClashesResolveInLinearTime();
    void paths_data();
    void paths();
    void uniqueDirectories();

private:
    DocumentRecord pdf(const QString& relativePath, const QString& category,
                       Decision decision = Accepted);
    ExportOptions options(const QString& folder) const;
    // Unfinished files (hidden ".part" files) anywhere below folder.
    static QStringList leftovers(const QString& folder);
    // Every file below bundle/originals holds exactly the bytes of one of the sources.
    static bool copiesAreComplete(const QString& bundle, const QList<DocumentRecord>& records);
    // Everything directly inside folder, hidden names included.
    static QStringList entries(const QString& folder);
    // The file names and source paths the manifest lists, as Python's csv module reads them.
    static QStringList manifestRows(const QString& csv);

    QTemporaryDir m_dir;
};

void TestExportBundle::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(registerIndexFonts("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                               "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf")
                .ok);
}

DocumentRecord TestExportBundle::pdf(const QString& relativePath, const QString& category,
                                     Decision decision)
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
    r.suggestion.category = category;
    r.decision = decision;
    r.finalCategory = decision == Accepted ? category : QString();
    return r;
}

ExportOptions TestExportBundle::options(const QString& folder) const
{
    ExportOptions options{folder, "Tessavo export", "", "", true};
    options.now = [] {
        return fixedTime;
    };
    return options;
}

QStringList TestExportBundle::leftovers(const QString& folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName().startsWith('.') && it.fileName().endsWith(".part"))
            found << path;
    }
    return found;
}

QStringList TestExportBundle::entries(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                               QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QStringList TestExportBundle::manifestRows(const QString& csv)
{
    const ToolRun read = runPython(
        "import csv, sys\n"
        "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')))\n"
        "sys.stdout.buffer.write('\\0'.join(r[0] + '\\1' + r[1] for r in rows[1:]).encode())",
        {csv});
    if (!read.ok())
        return {QString::fromUtf8(read.err)};
    return QString::fromUtf8(read.out).split(QChar(0), Qt::SkipEmptyParts);
}

bool TestExportBundle::copiesAreComplete(const QString& bundle,
                                         const QList<DocumentRecord>& records)
{
    QSet<QByteArray> sources;
    for (const DocumentRecord& r : records)
        sources.insert(sha256Of(r.sourcePath));
    QDirIterator it(bundle + "/originals", QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        if (!sources.contains(sha256Of(it.next())))
            return false;
    }
    return true;
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
    // Windows forbids the double quote: the copy gets a portable name, the manifest the real one.
    QCOMPARE(warningTexts(result.warnings),
             QStringList{QStringLiteral("Renamed so that Windows and macOS can open it: %1 is "
                                        "stored as originals/B/Ångström _bond_.pdf")
                             .arg(b.sourcePath)});
    QCOMPARE(kindsOf(result.warnings), QList{ExportWarning::Kind::RenamedPortable});
    QCOMPARE(originalsLeftOut(result.warnings), 0);
    static const QRegularExpression name("/Tessavo-Export-\\d{8}-\\d{6}$");
    QVERIFY2(name.match(result.directory).hasMatch(), qPrintable(result.directory));
    QCOMPARE(QFileInfo(result.directory).path(), out);
    QCOMPARE(result.csv, result.directory + "/manifest.csv");
    QCOMPARE(result.pdf, result.directory + "/index.pdf");
    QCOMPARE(result.zip, result.directory + ".zip");

    // Originals under their path relative to the common folder, byte for byte.
    QCOMPARE(sha256Of(result.directory + "/originals/A/offer, final.pdf"), sha256Of(a.sourcePath));
    QCOMPARE(sha256Of(result.directory + "/originals/B/Ångström _bond_.pdf"),
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
    QCOMPARE(lines[3], QStringLiteral("originals/B/Ångström _bond_.pdf\t%1\t%2")
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
    const ExportResult first = buildExportBundle(records, options(out));
    const ExportResult second = buildExportBundle(records, options(out));
    QVERIFY(first.ok && second.ok);
    // Everything dated comes from the one reading of the clock.
    QCOMPARE(first.directory, out + "/Tessavo-Export-20261207-090503");
    QCOMPARE(second.directory, first.directory + "-2");
    QCOMPARE(second.zip, first.directory + "-2.zip");
    QVERIFY(QFileInfo(first.zip).isFile() && QFileInfo(second.zip).isFile());
    const ToolRun dates = runPython("import sys, zipfile\n"
                                    "for info in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                                    "    print(info.filename, *info.date_time)\n",
                                    {first.zip});
    QVERIFY2(dates.ok(), dates.err);
    // DOS times count seconds in twos.
    QCOMPARE(dates.out, QByteArray("manifest.csv 2026 12 7 9 5 2\n"
                                   "index.pdf 2026 12 7 9 5 2\n"
                                   "originals/one.pdf 2026 12 7 9 5 2\n"));
    const QString text = QString::fromUtf8(runTool("pdftotext", {first.pdf, "-"}).out);
    QVERIFY2(text.contains("Generated 2026-12-07T09:05:03"), qPrintable(text));
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
    // The manifest, the index and the ZIP describe only what the bundle holds.
    QCOMPARE(result.exported, 1);
    QCOMPARE(warningTexts(result.warnings),
             QStringList{QStringLiteral("Missing source file, left out of the bundle: %1")
                             .arg(gone.sourcePath)});
    const ToolRun listing = runPython(zipListing, {result.zip});
    QCOMPARE(listing.out.count('\n'), 3);
    QCOMPARE(manifestRows(result.csv),
             QStringList{QStringLiteral("kept.pdf") + QChar(1) + kept.sourcePath});
    QVERIFY(!runTool("pdftotext", {result.pdf, "-"}).out.contains("gone.pdf"));
}

void TestExportBundle::changedOriginalsAreLeftOut()
{
    // Replaced by other bytes of the same size, grown, shrunk, replaced by a folder or by a pipe
    // (which must not keep the copy waiting for a writer), and kept.
    DocumentRecord kept = pdf("changed/kept.pdf", "02_Forms");
    DocumentRecord twice = kept; // the same file listed twice
    DocumentRecord edited = pdf("changed/edited.pdf", "02_Forms");
    DocumentRecord grown = pdf("changed/grown.pdf", "03_Pricing");
    DocumentRecord shrunk = pdf("changed/shrunk.pdf", "03_Pricing");
    DocumentRecord folder = pdf("changed/folder.pdf", "03_Pricing");
    DocumentRecord piped = pdf("changed/piped.pdf", "03_Pricing");
    QByteArray bytes = PdfFixtures::readBytes(edited.sourcePath);
    bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 1);
    QVERIFY(PdfFixtures::writeBytes(edited.sourcePath, bytes));
    QCOMPARE(QFileInfo(edited.sourcePath).size(), edited.sizeBytes);
    QVERIFY(PdfFixtures::writeBytes(grown.sourcePath,
                                    PdfFixtures::readBytes(grown.sourcePath) + "\n%extra\n"));
    QVERIFY(PdfFixtures::writeBytes(shrunk.sourcePath,
                                    PdfFixtures::readBytes(shrunk.sourcePath).chopped(3)));
    QVERIFY(QFile::remove(folder.sourcePath) && QDir().mkpath(folder.sourcePath));
    QVERIFY(QFile::remove(piped.sourcePath));
    QCOMPARE(::mkfifo(QFile::encodeName(piped.sourcePath).constData(), 0600), 0);

    const QString out = m_dir.filePath("out-changed");
    const ExportResult result =
        buildExportBundle({kept, edited, twice, grown, shrunk, folder, piped}, options(out));
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.exported, 2);
    const QString changed("Changed since it was inspected, left out of the bundle: %1");
    const QString missing("Missing source file, left out of the bundle: %1");
    QCOMPARE(warningTexts(result.warnings),
             (QStringList{changed.arg(edited.sourcePath), changed.arg(grown.sourcePath),
                          changed.arg(shrunk.sourcePath), missing.arg(folder.sourcePath),
                          missing.arg(piped.sourcePath)}));
    using Kind = ExportWarning::Kind;
    QCOMPARE(kindsOf(result.warnings),
             (QList<Kind>{Kind::SourceChanged, Kind::SourceChanged, Kind::SourceChanged,
                          Kind::SourceMissing, Kind::SourceMissing}));
    QCOMPARE(originalsLeftOut(result.warnings), 5);

    // The manifest lists what is stored, with the digest and size of what is stored.
    const ToolRun csv =
        runPython("import csv, sys\n"
                  "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')))\n"
                  "print('\\n'.join(r[0] + ' ' + r[2] + ' ' + r[3] for r in rows[1:]))",
                  {result.csv});
    QVERIFY2(csv.ok(), csv.err);
    const QString row = QStringLiteral("kept.pdf %1 %2")
                            .arg(QString::fromLatin1(kept.sha256), QString::number(kept.sizeBytes));
    QCOMPARE(QString::fromUtf8(csv.out).trimmed().split('\n'), (QStringList{row, row}));
    const QString index = QString::fromUtf8(runTool("pdftotext", {result.pdf, "-"}).out);
    QVERIFY(index.contains("kept.pdf"));
    for (const char* name : {"edited.pdf", "grown.pdf", "shrunk.pdf", "folder.pdf", "piped.pdf"})
        QVERIFY2(!index.contains(name), name);
    const ToolRun listing = runPython(zipListing, {result.zip});
    QVERIFY2(listing.ok(), listing.err);
    QCOMPARE(listing.out.count('\n'), 3);
    QVERIFY(listing.out.contains("originals/kept.pdf\t"));
    QCOMPARE(entries(result.directory + "/originals"), QStringList{"kept.pdf"});
    QCOMPARE(entries(out), (QStringList{QFileInfo(result.directory).fileName(),
                                        QFileInfo(result.zip).fileName()}));

    // Nothing left to store: the export fails and leaves nothing behind.
    const QString none = m_dir.filePath("out-changed-none");
    const ExportResult failed = buildExportBundle({edited, grown}, options(none));
    QVERIFY(!failed.ok);
    QCOMPARE(failed.error,
             QStringLiteral("Nothing to export: no original could be stored in the bundle"));
    QCOMPARE(failed.warnings.size(), 2);
    QVERIFY(failed.directory.isEmpty() && failed.csv.isEmpty() && failed.pdf.isEmpty());
    QCOMPARE(entries(none), QStringList());
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
    second.sizeBytes = QFileInfo(secondPath).size();
    DocumentRecord sameAgain = first; // the same source twice is copied once
    // "report-2.pdf" is this one's own name: the clash above must not take it.
    const QString naturalPath = other.filePath("report-2.pdf");
    QVERIFY(PdfFixtures::writeTextPdf(naturalPath, {"the real report-2"}));
    DocumentRecord natural = first;
    natural.sourcePath = naturalPath;
    natural.fileName = "report-2.pdf";
    natural.sha256 = sha256Of(naturalPath);
    natural.sizeBytes = QFileInfo(naturalPath).size();

    const ExportResult result = buildExportBundle({first, second, sameAgain, natural},
                                                  options(m_dir.filePath("out-clash")));
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.exported, 4);
    QCOMPARE(sha256Of(result.directory + "/originals/report.pdf"), first.sha256);
    QCOMPARE(sha256Of(result.directory + "/originals/report-3.pdf"), second.sha256);
    QCOMPARE(sha256Of(result.directory + "/originals/report-2.pdf"), natural.sha256);
    QCOMPARE(result.warnings.size(), 1);
    QCOMPARE(result.warnings.first().text,
             QStringLiteral("Two originals would share originals/report.pdf: %1 is stored as "
                            "originals/report-3.pdf")
                 .arg(secondPath));
    const ToolRun listing = runPython(zipListing, {result.zip});
    QCOMPARE(listing.out.count('\n'), 5);
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

namespace {

// Each awkward Linux name with the name it must be stored under.
const QList<QPair<QString, QString>> awkwardNames = {
    {"back\\slash.pdf", "back_slash.pdf"},
    {"colon:name.pdf", "colon_name.pdf"},
    {"star*.pdf", "star_.pdf"},
    {"question?.pdf", "question_.pdf"},
    {"quote\"d.pdf", "quote_d.pdf"},
    {"less<more>.pdf", "less_more_.pdf"},
    {"pipe|.pdf", "pipe_.pdf"},
    {"tab\tname.pdf", "tab_name.pdf"},
    {"line\nbreak.pdf", "line_break.pdf"},
    {"bell\x07.pdf", "bell_.pdf"},
    {"trailing dot.pdf.", "trailing dot.pdf"},
    {"trailing space.pdf  ", "trailing space.pdf"},
    {"CON.pdf", "CON_.pdf"},
    {"aux", "aux_"},
    {"NUL.tar.pdf", "NUL_.tar.pdf"},
    {"com1.pdf", "com1_.pdf"},
    {"Report.pdf", "Report.pdf"},
    {"report.pdf", "report-3.pdf"}, // differs only in case; "report-2.pdf" is taken
    {"report-2.pdf", "report-2.pdf"},
    {QString::fromUtf8("caf\u00e9.pdf"), QString::fromUtf8("caf\u00e9.pdf")},     // NFC
    {QString::fromUtf8("cafe\u0301.pdf"), QString::fromUtf8("cafe\u0301-2.pdf")}, // NFD
    // 255 bytes, the most a name may have; renamed, they must still fit.
    {"CON." + QString(247, 'a') + ".pdf", "CON_." + QString(246, 'a') + ".pdf"},
    {"NUL.a" + QString(82, QChar(0x20AC)) + ".pdf", "NUL_.a" + QString(81, QChar(0x20AC)) + ".pdf"},
    {"PRN." + QString(243, 'a') + QString::fromUtf8("\U0001F600") + ".pdf",
     "PRN_." + QString(243, 'a') + ".pdf"},
    {QString(251, 'B') + ".pdf", QString(251, 'B') + ".pdf"},
    {QString(251, 'b') + ".pdf", QString(249, 'b') + "-2.pdf"},
};

// Fails with the offending name when a name would not survive Windows or macOS.
const QByteArray portabilityCheck = R"(
import sys, unicodedata, zipfile
names = [i.filename for i in zipfile.ZipFile(sys.argv[1]).infolist()]
seen = set()
for name in names:
    key = unicodedata.normalize('NFC', unicodedata.normalize('NFC', name).casefold())
    if key in seen: sys.exit('clash: ' + name)
    seen.add(key)
    for piece in name.split('/'):
        if any(c in '\\:*?"<>|' or ord(c) < 32 for c in piece): sys.exit('character: ' + name)
        if piece.endswith('.') or piece.endswith(' '): sys.exit('ending: ' + name)
        if len(piece.encode()) > 255: sys.exit('length: ' + name)
        stem = piece.split('.')[0].rstrip(' ').upper()
        if stem in ('CON', 'PRN', 'AUX', 'NUL') or (stem[:3] in ('COM', 'LPT') and stem[3:].isdigit()):
            sys.exit('device: ' + name)
print(len(names))
)";

} // namespace

void TestExportBundle::awkwardNamesArriveUnderPortableNames()
{
    QList<DocumentRecord> records;
    for (const auto& [name, stored] : awkwardNames)
        records << pdf("awkward/" + name, "02_Forms");
    const ExportResult result = buildExportBundle(records, options(m_dir.filePath("out-awkward")));
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.exported, int(awkwardNames.size()));

    // Every rename is reported with the source and the stored name.
    QStringList expectedWarnings;
    for (qsizetype i = 0; i < awkwardNames.size(); ++i) {
        const auto& [name, stored] = awkwardNames[i];
        if (name == stored)
            continue;
        const QString source = records[i].sourcePath;
        expectedWarnings << (portableName(name) == stored
                                 ? QStringLiteral("Renamed so that Windows and macOS can open it: "
                                                  "%1 is stored as originals/%2")
                                       .arg(source, stored)
                                 : QStringLiteral("Two originals would share originals/%1: %2 is "
                                                  "stored as originals/%3")
                                       .arg(portableName(name), source, stored));
    }
    QCOMPARE(warningTexts(result.warnings), expectedWarnings);
    for (const ExportWarning& warning : result.warnings) {
        const bool clash = warning.text.startsWith("Two originals would share ");
        QCOMPARE(warning.kind,
                 clash ? ExportWarning::Kind::NamesClash : ExportWarning::Kind::RenamedPortable);
    }
    QCOMPARE(originalsLeftOut(result.warnings), 0);

    // In the folder and in the ZIP, byte for byte, under portable names.
    QStringList expectedEntries{"manifest.csv", "index.pdf"};
    for (qsizetype i = 0; i < awkwardNames.size(); ++i) {
        const QString stored = awkwardNames[i].second;
        QCOMPARE(sha256Of(result.directory + "/originals/" + stored), records[i].sha256);
        expectedEntries << QStringLiteral("originals/%1\t%2\t%3")
                               .arg(stored, QString::number(records[i].sizeBytes),
                                    QString::fromLatin1(records[i].sha256));
    }
    std::sort(expectedEntries.begin() + 2, expectedEntries.end());
    const ToolRun listing = runPython(zipListing, {result.zip});
    QVERIFY2(listing.ok(), listing.err);
    QStringList entries = QString::fromUtf8(listing.out).trimmed().split('\n');
    entries[0] = entries[0].section('\t', 0, 0);
    entries[1] = entries[1].section('\t', 0, 0);
    QCOMPARE(entries, expectedEntries);
    const ToolRun portable = runPython(portabilityCheck, {result.zip});
    QVERIFY2(portable.ok(), portable.err);

    // The manifest keeps every name exactly as the source has it.
    const ToolRun csv = runPython(
        "import csv, sys\n"
        "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')))\n"
        "sys.stdout.buffer.write('\\0'.join(r[0] + '\\1' + r[1] for r in rows[1:]).encode())",
        {result.csv});
    QVERIFY2(csv.ok(), csv.err);
    QStringList expectedRows;
    for (const DocumentRecord& r : std::as_const(records))
        expectedRows << r.fileName + QChar(1) + r.sourcePath;
    QCOMPARE(QString::fromUtf8(csv.out).split(QChar(0)), expectedRows);

    // Unpacked by four different clients, every original arrives intact.
    const UserRun user;
    QVERIFY(user.isValid());
    const QString zip = user.copy(result.zip);
    for (const QString tool : {"unzip", "7z", "bsdtar", "python"}) {
        const QString into = user.folder(tool);
        const QStringList command =
            tool == "unzip" ? QStringList{"unzip", "-q", zip, "-d", into}
            : tool == "7z"  ? QStringList{"7z", "x", "-y", "-o" + into, zip}
            : tool == "bsdtar"
                ? QStringList{"bsdtar", "-xf", zip, "-C", into}
                : QStringList{
                      "python3", "-c",
                      "import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])",
                      zip, into};
        // Python may live in a folder the ordinary user cannot reach; it runs as the test does.
        const ToolRun extracted =
            tool == "python" ? runTool(command[0], command.mid(1)) : user.run(command);
        QVERIFY2(extracted.ok(), qPrintable(tool + ": " + extracted.out + extracted.err));
        for (qsizetype i = 0; i < awkwardNames.size(); ++i) {
            QString path = into + "/originals/" + awkwardNames[i].second;
            // bsdtar writes every name in NFC; what matters is that no two names merge.
            if (!QFileInfo::exists(path))
                path = path.normalized(QString::NormalizationForm_C);
            QVERIFY2(sha256Of(path) == records[i].sha256, qPrintable(tool + ": " + path));
        }
        QCOMPARE(QDir(into + "/originals").entryList(QDir::Files).size(), awkwardNames.size());
    }
}

void TestExportBundle::namesThatAreNotUtf8AreCopiedFromTheirBytes()
{
    // Two Latin-1 names that decode to the same text, and one that merely looks like them.
    DocumentRecord plain = pdf("latin/caf_.pdf", "02_Forms");
    QList<DocumentRecord> records;
    QList<QByteArray> raws;
    for (const char* name : {"caf\xe9.pdf", "caf\xe8.pdf"}) {
        const QByteArray raw = QFile::encodeName(m_dir.filePath("sources/latin/")) + name;
        const QString content = QStringLiteral("Latin-1 name %1").arg(raws.size());
        const QString scratch = m_dir.filePath("scratch.pdf");
        QFile::remove(scratch);
        QVERIFY(PdfFixtures::writeTextPdf(scratch, {content}));
        QCOMPARE(::rename(QFile::encodeName(scratch).constData(), raw.constData()), 0);
        DocumentRecord r = plain;
        r.sourcePath = QFile::decodeName(raw);
        r.sourcePathBytes = raw;
        r.fileName = QFileInfo(r.sourcePath).fileName();
        QFile file;
        QVERIFY(openRegularForReading(file, raw, Links::Refuse).ok);
        r.sha256 = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
        r.sizeBytes = file.size();
        records << r;
        raws << raw;
    }
    records << plain;
    const ExportResult result = buildExportBundle(records, options(m_dir.filePath("out-latin")));
    for (const QByteArray& raw : std::as_const(raws))
        QCOMPARE(::unlink(raw.constData()), 0); // QTemporaryDir cannot remove them by name
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.exported, 3);
    QCOMPARE(
        warningTexts(result.warnings),
        QStringList({QStringLiteral("Renamed because its name is not valid UTF-8: %1 is stored "
                                    "as originals/caf_.pdf")
                         .arg(records[0].sourcePath),
                     QStringLiteral("Renamed because its name is not valid UTF-8: %1 is stored "
                                    "as originals/caf_-2.pdf")
                         .arg(records[1].sourcePath),
                     QStringLiteral("Two originals would share originals/caf_.pdf: %1 is "
                                    "stored as originals/caf_-3.pdf")
                         .arg(records[2].sourcePath)}));
    QCOMPARE(kindsOf(result.warnings),
             (QList{ExportWarning::Kind::RenamedNotUtf8, ExportWarning::Kind::RenamedNotUtf8,
                    ExportWarning::Kind::NamesClash}));
    QCOMPARE(sha256Of(result.directory + "/originals/caf_.pdf"), records[0].sha256);
    QCOMPARE(sha256Of(result.directory + "/originals/caf_-2.pdf"), records[1].sha256);
    QCOMPARE(sha256Of(result.directory + "/originals/caf_-3.pdf"), records[2].sha256);
    QVERIFY(records[0].sha256 != records[1].sha256);
    const ToolRun test = runTool("unzip", {"-tq", result.zip});
    QVERIFY2(test.ok(), qPrintable(test.out + test.err));
}

void TestExportBundle::extractedFilesAreReadable()
{
    const ExportResult result =
        buildExportBundle({pdf("modes/a.pdf", "02_Forms"), pdf("modes/sub/b.pdf", "03_Pricing")},
                          options(m_dir.filePath("out-modes")));
    QVERIFY2(result.ok, qPrintable(result.error));
    const ToolRun info = runTool("zipinfo", {result.zip});
    QVERIFY2(info.ok(), info.err);
    const QStringList lines = QString::fromUtf8(info.out).split('\n').filter(" stor ");
    QCOMPARE(lines.size(), 4);
    for (const QString& line : lines)
        QVERIFY2(line.startsWith("-rw-r--r-- "), qPrintable(line));

    // An ordinary user unpacks the bundle and reads it.
    const UserRun user;
    QVERIFY(user.isValid());
    const QString into = user.folder("unzipped");
    QVERIFY(user.run({"unzip", "-q", user.copy(result.zip), "-d", into}).ok());
    const ToolRun read = user.run({"cat", into + "/manifest.csv"});
    QVERIFY2(read.ok(), read.err);
    QCOMPARE(read.out, PdfFixtures::readBytes(result.csv));
    QVERIFY(user.run({"pdftotext", into + "/index.pdf", "-"}).ok());
    QVERIFY(user.run({"cat", into + "/originals/sub/b.pdf"}).ok());
}

void TestExportBundle::relativeExportFolder()
{
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    const ExportResult result =
        buildExportBundle({pdf("rel/A/x.pdf", "02_Forms"), pdf("rel/B/y.pdf", "03_Pricing")},
                          options("relative/out"));
    QVERIFY(QDir::setCurrent(previous));
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(QFileInfo(result.directory).path(), m_dir.filePath("relative/out"));
    QVERIFY(QFileInfo(result.zip).isAbsolute());
    const ToolRun listing = runPython(zipListing, {result.zip});
    QVERIFY2(listing.ok(), listing.err);
    QStringList names;
    for (const QString& line : QString::fromUtf8(listing.out).trimmed().split('\n'))
        names << line.section('\t', 0, 0);
    QCOMPARE(names,
             (QStringList{"manifest.csv", "index.pdf", "originals/A/x.pdf", "originals/B/y.pdf"}));
}

void TestExportBundle::fullDisk()
{
    if (::geteuid() != 0)
        QSKIP("mounting a small file system needs root; fileSizeLimit covers the rest");
    QTemporaryDir mountPoint;
    QVERIFY(mountPoint.isValid());
    struct Unmount {
        QString path;
        ~Unmount() { runTool("umount", {path}); }
    };
    const auto mount = [&mountPoint](const QString& size) {
        runTool("umount", {mountPoint.path()});
        return runTool("mount", {"-t", "tmpfs", "-o", "size=" + size, "tmpfs", mountPoint.path()})
            .ok();
    };
    if (!mount("1536k"))
        QSKIP("a tmpfs cannot be mounted here; fileSizeLimit covers the rest");
    const Unmount unmount{mountPoint.path()};

    QList<DocumentRecord> records;
    for (int i = 0; i < 4; ++i) {
        DocumentRecord r = pdf(QStringLiteral("big/part-%1.pdf").arg(i), "02_Forms");
        QFile file(r.sourcePath);
        QVERIFY(file.open(QIODevice::Append));
        file.write(QByteArray(256 * 1024, char('a' + i)));
        file.close();
        r.sha256 = sha256Of(r.sourcePath);
        r.sizeBytes = QFileInfo(r.sourcePath).size();
        records << r;
    }
    const QString out = mountPoint.filePath("out");

    // Too little room for the copies and the ZIP: it fails at once, before copying anything.
    ExportResult result = buildExportBundle(records, options(out));
    QVERIFY(!result.ok);
    QVERIFY2(result.error.startsWith(
                 QStringLiteral("Not enough free space in %1: the bundle needs 2.").arg(out)) &&
                 result.error.endsWith(" are free"),
             qPrintable(result.error));
    QVERIFY(result.warnings.isEmpty());
    QCOMPARE(entries(out), QStringList());

    // Room enough: written, and the space check leaves the bundle as it would be.
    QVERIFY(mount("4m"));
    result = buildExportBundle(records, options(out));
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.exported, 4);
    QVERIFY(runTool("unzip", {"-tq", result.zip}).ok());
}

void TestExportBundle::freeSpaceIsCheckedBeforeCopying()
{
    // Two originals of 1000 and 3000 bytes, a manifest of 500, an index of 8192, names of 40
    // bytes: every file twice, a ZIP header and directory record per entry, and the end records.
    const qint64 needed = bundleBytesNeeded({1000, 3000}, 500, 8192, 40);
    QCOMPARE(needed,
             2 * (1000 + 3000 + 500 + 8192) + 4 * (30 + 46 + 64) + 22 + 56 + 20 + 2 * 40);
    QVERIFY(checkFreeSpace("/out", needed, needed).ok);
    QVERIFY(checkFreeSpace("/out", needed, -1).ok); // unknown: go ahead
    const Status tight = checkFreeSpace("/out", 3 * 1024 * 1024, 1024 * 1024);
    QVERIFY(!tight.ok);
    QCOMPARE(
        tight.error,
        QStringLiteral("Not enough free space in /out: the bundle needs 3.0 MB, 1.0 MB are free"));
    // Figures that would overflow stay at the largest one.
    QCOMPARE(bundleBytesNeeded({std::numeric_limits<qint64>::max(), 5}, 1, 1, 1),
             std::numeric_limits<qint64>::max());
    const qint64 here = freeBytesAt(m_dir.path());
    QVERIFY(here > 0);
    QCOMPARE(freeBytesAt(m_dir.filePath("no such folder")), qint64(-1));
}

// A bundle past 4 GiB is no longer refused by the ZIP; whether it fits is known from the sizes
// alone, and too little room ends the export at once, before a byte is copied.
void TestExportBundle::bundlePastFourGiBIsCheckedBeforeCopying()
{
    DocumentRecord big = pdf("huge/scan.pdf", "02_Forms");
    {
        QFile file(big.sourcePath);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(qint64(5) << 30)); // sparse: no disk space used
    }
    big.sizeBytes = qint64(5) << 30;
    ExportOptions tight = options(m_dir.filePath("huge-out"));
    QStringList asked;
    tight.freeBytes = [&asked](const QString& folder) {
        asked << folder;
        return qint64(6) << 30;
    };
    const ExportResult result = buildExportBundle({big}, tight);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, QStringLiteral("Not enough free space in %1: the bundle needs 10.0 GB, "
                                          "6.0 GB are free")
                               .arg(m_dir.filePath("huge-out")));
    QCOMPARE(asked.size(), 1);
    QVERIFY(asked.first().startsWith(m_dir.filePath("huge-out/")));
    QCOMPARE(entries(m_dir.filePath("huge-out")), QStringList());
    QVERIFY(QFile::remove(big.sourcePath));
}

void TestExportBundle::fileSizeLimit()
{
    // A limit on the size of any one file: what a quota or a small disk does to large files.
    QList<DocumentRecord> records;
    for (const auto& [name, padding] :
         {std::pair{"small", 0}, {"mid-1", 150}, {"mid-2", 150}, {"large", 512}}) {
        DocumentRecord r = pdf(QStringLiteral("limit/%1.pdf").arg(name), "02_Forms");
        QFile file(r.sourcePath);
        QVERIFY(file.open(QIODevice::Append));
        file.write(QByteArray(padding * 1024, 'x'));
        file.close();
        r.sha256 = sha256Of(r.sourcePath);
        r.sizeBytes = QFileInfo(r.sourcePath).size();
        records << r;
    }
    const auto limited = [](const QList<DocumentRecord>& chosen, const ExportOptions& options) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        getrlimit(RLIMIT_FSIZE, &previous);
        const rlimit tight{256 * 1024, previous.rlim_max};
        setrlimit(RLIMIT_FSIZE, &tight);
        const ExportResult result = buildExportBundle(chosen, options);
        setrlimit(RLIMIT_FSIZE, &previous);
        return result;
    };

    // The one original that does not fit is left out with a warning; the rest is complete.
    const QString out = m_dir.filePath("out-limit");
    ExportResult result = limited({records[0], records[3]}, options(out));
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(warningTexts(result.warnings),
             QStringList{QStringLiteral("Cannot copy original, left out of the bundle: %1")
                             .arg(records[3].sourcePath)});
    QCOMPARE(kindsOf(result.warnings), QList{ExportWarning::Kind::CopyFailed});
    QVERIFY(!QFileInfo::exists(result.directory + "/originals/large.pdf"));
    QVERIFY(copiesAreComplete(result.directory, records));
    QCOMPARE(runPython(zipListing, {result.zip}).out.count('\n'), 3);
    QCOMPARE(manifestRows(result.csv),
             QStringList{QStringLiteral("small.pdf") + QChar(1) + records[0].sourcePath});
    const QStringList before = entries(out);

    // Copies that fit, in a ZIP that does not: no bundle at all, and the reason.
    result = limited({records[0], records[1], records[2]}, options(out));
    QVERIFY(!result.ok);
    QCOMPARE(result.error, QStringLiteral("failed to write ZIP entry data: File too large"));
    QVERIFY(result.warnings.isEmpty());
    QVERIFY(result.directory.isEmpty());
    QCOMPARE(entries(out), before);
    QVERIFY(leftovers(out).isEmpty());
}

void TestExportBundle::neverWritesThroughALinkAtTheZipName()
{
    // A link that points nowhere waits at the ZIP name the export would take.
    const QString out = m_dir.filePath("out-links");
    QVERIFY(QDir().mkpath(out));
    const QStringList victims{m_dir.filePath("victim")};
    QVERIFY(QFile::link(victims.first(), out + "/Tessavo-Export-20261207-090503.zip"));
    const ExportResult result = buildExportBundle({pdf("links/a.pdf", "02_Forms")}, options(out));
    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY2(result.directory.endsWith("-2"), qPrintable(result.directory));
    QVERIFY(QFileInfo(result.zip).isFile() && !QFileInfo(result.zip).isSymLink());
    for (const QString& victim : std::as_const(victims))
        QVERIFY(!QFileInfo::exists(victim));
    QVERIFY(runTool("unzip", {"-t", result.zip}).ok());
}

void TestExportBundle::reportsProgressAndStopsWhenCancelled()
{
    QList<DocumentRecord> records;
    for (int i = 0; i < 3; ++i) {
        DocumentRecord r = pdf(QStringLiteral("progress/p%1.pdf").arg(i), "02_Forms");
        QFile file(r.sourcePath);
        QVERIFY(file.open(QIODevice::Append));
        file.write(QByteArray(8 << 20, char('0' + i)));
        file.close();
        r.sha256 = sha256Of(r.sourcePath);
        r.sizeBytes = QFileInfo(r.sourcePath).size();
        records << r;
    }

    QList<int> seen;
    ExportMonitor follow{{}, [&seen](int percent) {
                             seen << percent;
                         }};
    const ExportResult done =
        buildExportBundle(records, options(m_dir.filePath("out-progress")), follow);
    QVERIFY2(done.ok, qPrintable(done.error));
    QVERIFY(seen.size() > 40); // after every chunk of 1 MiB, copied or packed
    QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    QCOMPARE(seen.last(), 100);
    QCOMPARE(seen.count(100), 1);

    // Cancelled half-way through the copies: it stops within a chunk and leaves no ZIP.
    int reports = 0;
    int afterCancel = 0;
    bool stop = false;
    ExportMonitor cancel{[&stop] { return stop; },
                         [&](int percent) {
                             ++reports;
                             afterCancel += stop ? 1 : 0;
                             stop = stop || percent >= 20;
                         }};
    const QString out = m_dir.filePath("out-cancel");
    const ExportResult cancelled = buildExportBundle(records, options(out), cancel);
    QVERIFY(!cancelled.ok);
    QCOMPARE(cancelled.error, QStringLiteral("Export was cancelled"));
    QVERIFY(cancelled.zip.isEmpty() && cancelled.directory.isEmpty());
    QCOMPARE(afterCancel, 0);
    // What was written is gone, under any name.
    QCOMPARE(entries(out), QStringList());
}

void TestExportBundle::nothingLiesUnderTheFinalNameBeforeTheEnd()
{
    QList<DocumentRecord> records;
    for (int i = 0; i < 3; ++i) {
        DocumentRecord r = pdf(QStringLiteral("staged/s%1.pdf").arg(i), "02_Forms");
        QVERIFY(PdfFixtures::writeBytes(r.sourcePath, PdfFixtures::readBytes(r.sourcePath) +
                                                          QByteArray(3 << 20, 'x')));
        r.sha256 = sha256Of(r.sourcePath);
        r.sizeBytes = QFileInfo(r.sourcePath).size();
        records << r;
    }
    const QString out = m_dir.filePath("out-staged");
    static const QRegularExpression staging(
        "^\\.Tessavo-Export-20261207-090503-partial-[A-Za-z0-9]{6}(\\.zip)?$");
    static const QRegularExpression zipPart(
        "^\\.\\.Tessavo-Export-20261207-090503-partial-[A-Za-z0-9]{6}\\.zip\\.[0-9a-z]+\\.part$");

    // While it runs, only hidden temporary names lie in the destination; at every percentage it
    // may be cancelled, and then nothing at all stays.
    for (const int stopAt : {0, 10, 45, 60, 95, 101}) {
        QStringList seen;
        bool stop = false;
        ExportMonitor monitor{
            [&stop] { return stop; },
            [&](int percent) {
                // 100 comes once the bundle has its name.
                for (const QString& name : percent < 100 ? entries(out) : QStringList()) {
                    if (!staging.match(name).hasMatch() && !zipPart.match(name).hasMatch())
                        seen << name;
                }
                stop = percent >= stopAt;
            }};
        const ExportResult result = buildExportBundle(records, options(out), monitor);
        QVERIFY2(seen.isEmpty(), qPrintable(seen.join(", ")));
        if (stopAt <= 100) {
            QCOMPARE(result.error, QStringLiteral("Export was cancelled"));
            QCOMPARE(entries(out), QStringList());
        } else {
            QVERIFY2(result.ok, qPrintable(result.error));
            QCOMPARE(entries(out), (QStringList{"Tessavo-Export-20261207-090503",
                                                "Tessavo-Export-20261207-090503.zip"}));
            QCOMPARE(entries(result.directory),
                     (QStringList{"index.pdf", "manifest.csv", "originals"}));
        }
    }
}

void TestExportBundle::leftoversOfAnUnfinishedExportAreRemoved()
{
    const QString out = m_dir.filePath("out-leftovers");
    QVERIFY(QDir().mkpath(out));
    const auto file = [&out](const QString& name) {
        QVERIFY(QDir().mkpath(QFileInfo(out + "/" + name).path()));
        QVERIFY(PdfFixtures::writeBytes(out + "/" + name, "left over"));
    };
    // What a crashed export leaves: its folder, its ZIP, and a ZIP still being written (also
    // the one earlier versions wrote straight beside the final name).
    const QString crashed = ".Tessavo-Export-20261201-101010-partial-Ab12Cd";
    file(crashed + "/manifest.csv");
    file(crashed + "/originals/sub/x.pdf");
    file(crashed + "/originals/.x.pdf.k3j4.part");
    file(crashed + ".zip");
    file("..Tessavo-Export-20261201-101010-partial-Zz99zz.zip.abc123.part");
    file(".Tessavo-Export-20261201-101010-3.zip.k3j4.part");
    const QStringList removed{crashed, crashed + ".zip",
                              "..Tessavo-Export-20261201-101010-partial-Zz99zz.zip.abc123.part",
                              ".Tessavo-Export-20261201-101010-3.zip.k3j4.part"};

    // What stays: names that only look alike, a link, a folder holding a link, and the folder
    // of an export that is still running (it holds its lock) with its ZIP.
    const QStringList kept{".Tessavo-Export-20261201-101010-partial-Ab12C",
                           ".Tessavo-Export-20261201-101010-partial-Ab12Cd.zip.bak",
                           "Tessavo-Export-20261201-101010-partial-Ab12Cd",
                           ".Tessavo-Export-20261201-101010-partial-Ab12Cd7",
                           ".tessavo-export-20261201-101010-partial-Ab12Cd",
                           ".Tessavo-Export-20261201-1010-partial-Ab12Cd",
                           ".Tessavo-Export-20261201-101010-partial-link01",
                           ".Tessavo-Export-20261201-101010-partial-withLk",
                           ".Tessavo-Export-20261201-101010-partial-Runnin",
                           ".Tessavo-Export-20261201-101010-partial-Runnin.zip",
                           "..Tessavo-Export-20261201-101010-partial-Runnin.zip.abc123.part",
                           "Tessavo-Export-20261201-101010.zip.k3j4.part"};
    const QString precious = m_dir.filePath("precious");
    file("../precious/keep.pdf");
    for (const QString& name : kept) {
        if (name.endsWith("link01"))
            QVERIFY(QFile::link(precious, out + "/" + name));
        else if (name.endsWith("withLk"))
            QVERIFY(QDir().mkpath(out + "/" + name) &&
                    QFile::link(precious + "/keep.pdf", out + "/" + name + "/manifest.csv"));
        else if (name.endsWith("Runnin"))
            file(name + "/manifest.csv");
        else
            file(name);
    }
    const int running =
        ::open(QFile::encodeName(out + "/" + kept[8]).constData(), O_RDONLY | O_DIRECTORY);
    QVERIFY(running >= 0);
    QCOMPARE(::flock(running, LOCK_EX | LOCK_NB), 0);

    const ExportResult result = buildExportBundle({pdf("leftover.pdf", "02_Forms")}, options(out));
    ::close(running);
    QVERIFY2(result.ok, qPrintable(result.error));
    QStringList expected = kept;
    expected << "Tessavo-Export-20261207-090503"
             << "Tessavo-Export-20261207-090503.zip";
    expected.sort();
    QCOMPARE(entries(out), expected);
    QVERIFY(QFileInfo::exists(precious + "/keep.pdf"));
    QCOMPARE(QDir(out + "/" + kept[8]).entryList(QDir::Files), QStringList{"manifest.csv"});

    // The running export has ended meanwhile: its leftovers go with the next start.
    const ExportResult next = buildExportBundle({pdf("leftover.pdf", "02_Forms")}, options(out));
    QVERIFY2(next.ok, qPrintable(next.error));
    for (const QString& name : kept.mid(8, 3))
        QVERIFY2(!entries(out).contains(name), qPrintable(name));
    for (const QString& name : removed)
        QVERIFY2(!entries(out).contains(name), qPrintable(name));
}

void TestExportBundle::longNamesFitTheByteLimit_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("portable");
    const QString emoji = QString::fromUtf8("\U0001F600");
    QTest::newRow("device, 255 bytes") << "CON." + QString(247, 'a') + ".pdf"
                                       << "CON_." + QString(246, 'a') + ".pdf";
    QTest::newRow("device, ends in two-byte characters")
        << "aux." + QString(123, QChar(0xE9)) + "a.pdf"
        << "aux_." + QString(123, QChar(0xE9)) + ".pdf";
    QTest::newRow("surrogate pair stays whole") << "COM1." + QString(242, 'a') + emoji + ".pdf"
                                                << "COM1_." + QString(242, 'a') + ".pdf";
    QTest::newRow("over the limit already")
        << QString(300, QChar(0x4E2D)) + ".pdf" << QString(83, QChar(0x4E2D)) + ".pdf";
    QTest::newRow("no extension") << QString(256, 'x') << QString(255, 'x');
    QTest::newRow("long extension is no extension")
        << "a." + QString(300, 'e') << "a." + QString(253, 'e');
    QTest::newRow("cut before a dot")
        << QString(254, 'x') + ".. " + QString(40, 'y') << QString(254, 'x');
    QTest::newRow("only spaces and a letter") << QString(300, ' ') + "x"
                                              << "_";
    QTest::newRow("short stays") << "CON.pdf"
                                 << "CON_.pdf";
}

void TestExportBundle::longNamesFitTheByteLimit()
{
    QFETCH(QString, name);
    QFETCH(QString, portable);
    const QString made = portableName(name);
    QCOMPARE(made, portable);
    QVERIFY(made.toUtf8().size() <= 255);
    QCOMPARE(QString::fromUtf8(made.toUtf8()), made); // no half of a character

    // Clashes that have to be numbered fit as well, and stay apart.
    const QStringList stored = portablePaths({"d/" + name, "d/" + name.toUpper(), "d/" + name});
    QCOMPARE(stored.size(), 3);
    QSet<QString> keys;
    for (const QString& path : stored) {
        QVERIFY(path.section('/', -1).toUtf8().size() <= 255);
        keys.insert(nameKey(path));
    }
    QCOMPARE(keys.size(), 3);
}

void TestExportBundle::manyCaseClashesResolveInLinearTime()
{
    // 16,384 spellings of one name that differ only in case: each clash is numbered in turn,
    // as one at a time would be.
    const QString base = QStringLiteral("abcdefghijklmn");
    QStringList names;
    for (int bits = 0; bits < (1 << base.size()); ++bits) {
        QString name = base;
        for (int i = 0; i < base.size(); ++i) {
            if (bits & (1 << i))
                name[i] = name[i].toUpper();
        }
        names << "folder/" + name + ".pdf";
    }
    names << "folder/abcdefghijklmn-3.pdf"; // its own name, never taken by a clash
    QElapsedTimer clock;
    clock.start();
    const QStringList stored = portablePaths(names);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(stored.size(), names.size());
    QCOMPARE(stored.first(), names.first());
    QCOMPARE(stored.at(1), QStringLiteral("folder/Abcdefghijklmn-2.pdf"));
    QCOMPARE(stored.at(2), QStringLiteral("folder/aBcdefghijklmn-4.pdf"));
    QCOMPARE(stored.last(), names.last());
    for (qsizetype i = 3; i < names.size() - 1; ++i) {
        const QString expected = names.at(i).chopped(4) + QStringLiteral("-%1.pdf").arg(i + 2);
        QCOMPARE(stored.at(i), expected);
    }
    // Counting from 2 for every clash took minutes; each clash now costs a step or two.
    QVERIFY2(elapsed < 20000, qPrintable(QString::number(elapsed)));
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
    QVERIFY(QFile::link(parent + "/nowhere", parent + "/N-3.zip")); // so does a dangling link
    QVERIFY(PdfFixtures::writeBytes(parent + "/N-4.zip", "and a ZIP of that name"));
    QCOMPARE(uniqueExportDirectory(parent, "N"), parent + "/N-5");
    QCOMPARE(uniqueExportDirectory(parent, "M"), parent + "/M");
}

QTEST_MAIN(TestExportBundle)
#include "tst_exportbundle.moc"
