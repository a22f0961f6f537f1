// A bundle's ZIP split into volumes under a size limit: each volume read back by unzip, 7z,
// bsdtar and Python, the manifest's volume column, the limits at their edges, and the verifier
// (the real executable's --verify) on whole and damaged volume bundles.
#include "bundle/BundleReadiness.h"
#include "bundle/BundleVerifier.h"
#include "bundle/ExportBundle.h"
#include "bundle/IndexPdf.h"
#include "bundle/ManifestCsv.h"
#include "bundle/ZipVolumes.h"
#include "bundle/ZipWriter.h"
#include "support/ExternalTool.h"
#include "support/PdfFixtures.h"
#include "support/WorkerTestMain.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Tessavo;

namespace {

const QDateTime fixedTime(QDate(2026, 12, 8), QTime(10, 20, 30));
const QString bundleName = "Tessavo-Export-20261208-102030";
constexpr qint64 limit = 1000000;

// Every entry of a ZIP as Python reads it, after checking every CRC: "name<TAB>sha256".
QStringList pythonListing(const QString& zip)
{
    const ToolRun run = runPython("import hashlib, sys, zipfile\n"
                                  "with zipfile.ZipFile(sys.argv[1]) as z:\n"
                                  "    assert z.testzip() is None\n"
                                  "    for i in z.infolist():\n"
                                  "        print(i.filename + '\\t' + "
                                  "hashlib.sha256(z.read(i)).hexdigest())",
                                  {zip});
    return run.ok() ? QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts)
                    : QStringList{"python: " + QString::fromUtf8(run.err)};
}

// The manifest's rows as Python's csv module reads them: "file<TAB>volume", header first.
QStringList manifestVolumes(const QString& csv)
{
    const ToolRun run =
        runPython("import csv, sys\n"
                  "for r in csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')):\n"
                  "    print(r[0] + '\\t' + (r[13] if len(r) > 13 else '-'))",
                  {csv});
    return QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts);
}

QStringList entriesIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                               QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

struct Run {
    int exitCode = -1;
    QString out;
};

} // namespace

class TestZipVolumes : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void volumesAreCompleteZipsUnderTheLimit();
    void underTheLimitTheBundleIsAsBefore();
    void anOriginalTooLargeForAVolumeFailsBeforeCopying();
    void cancellingLeavesNoVolume();
    void verifierFindsMissingAndMisplacedOriginals();
    void manifestVolumeColumnIsChecked();

private:
    // An original of about size bytes: a PDF followed by random bytes, so nothing compresses.
    DocumentRecord original(const QString& name, qint64 size);
    ExportOptions options(const QString& folder, qint64 volumeBytes) const;
    // The real executable's --verify, its log kept in the test's folder.
    Run tessavoVerify(const QString& path) const;

    QTemporaryDir m_dir;
    QList<DocumentRecord> m_five;
};

void TestZipVolumes::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(registerIndexFonts("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                               "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf")
                .ok);
    for (int i = 1; i <= 5; ++i)
        m_five << original(QStringLiteral("tender/part %1.pdf").arg(i), 300000);
}

DocumentRecord TestZipVolumes::original(const QString& name, qint64 size)
{
    const QString path = m_dir.filePath("sources/" + name);
    QDir().mkpath(QFileInfo(path).path());
    PdfFixtures::writeTextPdf(path, {"Contents of " + name});
    QByteArray bytes = PdfFixtures::readBytes(path);
    QByteArray noise(size - bytes.size(), Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(noise.data()),
                                          noise.size() / 4);
    bytes += noise;
    PdfFixtures::writeBytes(path, bytes);
    DocumentRecord r;
    r.sourcePath = path;
    r.fileName = QFileInfo(path).fileName();
    r.sizeBytes = bytes.size();
    r.sha256 = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    r.pages = 1;
    r.textPages = 1;
    r.state = Ready;
    r.suggestion.category = "02_Forms";
    r.decision = Accepted;
    r.finalCategory = "02_Forms";
    return r;
}

ExportOptions TestZipVolumes::options(const QString& folder, qint64 volumeBytes) const
{
    ExportOptions options{m_dir.filePath(folder), "Tessavo export", "", "", true, volumeBytes};
    options.now = [] {
        return fixedTime;
    };
    return options;
}

Run TestZipVolumes::tessavoVerify(const QString& path) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", m_dir.filePath("data"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TESSAVO_EXECUTABLE), {"--verify", path});
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput())};
}

void TestZipVolumes::volumesAreCompleteZipsUnderTheLimit()
{
    const ExportResult result = buildExportBundle(m_five, options("out-volumes", limit));
    QVERIFY2(result.ok, qPrintable(result.error));
    const QString out = m_dir.filePath("out-volumes");
    const QString part1 = out + '/' + bundleName + "-part1.zip";
    const QString part2 = out + '/' + bundleName + "-part2.zip";
    // First fit in manifest order: three originals of 300,000 bytes and the two shared files
    // fit in 1,000,000 bytes, four do not.
    QCOMPARE(result.volumes, (QStringList{part1, part2}));
    QCOMPARE(result.zip, part1);
    QCOMPARE(entriesIn(out),
             (QStringList{bundleName, bundleName + "-part1.zip", bundleName + "-part2.zip"}));
    QCOMPARE(exportResultMap(result).value("volumes").toStringList(), result.volumes);

    // The manifest names each document's volume, as Python's csv module reads it.
    QCOMPARE(manifestVolumes(result.csv),
             (QStringList{"file\tvolume", "part 1.pdf\t1", "part 2.pdf\t1", "part 3.pdf\t1",
                          "part 4.pdf\t2", "part 5.pdf\t2"}));

    const QByteArray manifestSha =
        QCryptographicHash::hash(PdfFixtures::readBytes(result.csv), QCryptographicHash::Sha256)
            .toHex();
    const QByteArray indexSha =
        QCryptographicHash::hash(PdfFixtures::readBytes(result.pdf), QCryptographicHash::Sha256)
            .toHex();
    const QList<QList<int>> holds{{0, 1, 2}, {3, 4}};
    QStringList absent;
    for (const char* tool : {"7z", "bsdtar"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            absent << tool;
    }
    for (int v = 0; v < 2; ++v) {
        const QString zip = result.volumes.at(v);
        QVERIFY2(QFileInfo(zip).size() <= limit, qPrintable(zip));
        // Each volume is exactly as large as the plan counted it.
        QList<VolumeFile> originals;
        for (const int i : holds.at(v))
            originals.append({QString("originals/part %1.pdf").arg(i + 1).toUtf8().size(),
                              m_five.at(i).sizeBytes,
                              {}});
        const QList<VolumeFile> shared{{12, QFileInfo(result.csv).size(), {}},
                                       {9, QFileInfo(result.pdf).size(), {}}};
        QCOMPARE(QFileInfo(zip).size(), singleZipBytes(shared, originals, limit));

        // A complete ZIP for every reader, each alone.
        QStringList expected{"manifest.csv\t" + QString::fromLatin1(manifestSha),
                             "index.pdf\t" + QString::fromLatin1(indexSha)};
        for (const int i : holds.at(v))
            expected << QString("originals/part %1.pdf\t%2")
                            .arg(QString::number(i + 1), QString::fromLatin1(m_five.at(i).sha256));
        QCOMPARE(pythonListing(zip), expected);
        const ToolRun unzip = runTool("unzip", {"-t", zip});
        QVERIFY2(unzip.ok(), unzip.out + unzip.err);
        if (!absent.contains("7z")) {
            const ToolRun sevenZip = runTool("7z", {"t", zip});
            QVERIFY2(sevenZip.ok() && sevenZip.out.contains("Everything is Ok"), sevenZip.out);
        }
        if (!absent.contains("bsdtar")) {
            const ToolRun bsdtar = runTool("bsdtar", {"-tf", zip});
            QVERIFY2(bsdtar.ok(), bsdtar.err);
            QCOMPARE(QString::fromUtf8(bsdtar.out).split('\n', Qt::SkipEmptyParts).size(),
                     expected.size());
        }
    }

    // The verifier, as the user runs it: the folder with its volumes, and each volume alone.
    Run verify = tessavoVerify(result.directory);
    QVERIFY2(verify.exitCode == 0, qPrintable(verify.out));
    QVERIFY2(verify.out.contains(": 9 ZIP entries, 5 manifest rows, 10 originals checked"),
             qPrintable(verify.out));
    for (const QString& zip : result.volumes) {
        verify = tessavoVerify(zip);
        QVERIFY2(verify.exitCode == 0, qPrintable(verify.out));
    }

    // Checked against a portal's limit, every volume is weighed, not only a single ZIP.
    SubmissionProfile portal;
    portal.zipVolumeBytes = limit;
    const BundleReadiness fits = checkBundleReadiness(result.directory, portal);
    QVERIFY2(fits.ok && fits.report.ready(), qPrintable(fits.report.failureLines().join('\n')));
    portal.zipVolumeBytes = 600 * 1000;
    const QStringList broken = checkBundleReadiness(result.directory, portal).report.failureLines();
    QCOMPARE(broken.size(), 1);
    QVERIFY2(broken.first().contains(bundleName + "-part1.zip is ") &&
                 broken.first().contains(bundleName + "-part2.zip is "),
             qPrintable(broken.first()));

    // Without its second volume the bundle fails, and says which is missing.
    QVERIFY(QFile::rename(part2, m_dir.filePath("part2-elsewhere.zip")));
    verify = tessavoVerify(result.directory);
    QCOMPARE(verify.exitCode, 1);
    QVERIFY2(verify.out.contains(bundleName +
                                 "-part2.zip: missing, though manifest.csv places documents in it"),
             qPrintable(verify.out));
    // Renamed, it is still a volume of its own.
    QCOMPARE(tessavoVerify(m_dir.filePath("part2-elsewhere.zip")).exitCode, 0);
    if (!absent.isEmpty())
        QSKIP(qPrintable("not installed, so not read with: " + absent.join(", ")));
}

void TestZipVolumes::underTheLimitTheBundleIsAsBefore()
{
    const ExportResult plain = buildExportBundle(m_five, options("out-plain", 0));
    QVERIFY2(plain.ok, qPrintable(plain.error));
    const qint64 zipSize = QFileInfo(plain.zip).size();
    QVERIFY(plain.volumes.isEmpty());

    // A limit the whole ZIP meets exactly changes nothing: the same files, byte for byte but
    // the index's own time stamps.
    const ExportResult exact = buildExportBundle(m_five, options("out-exact", zipSize));
    QVERIFY2(exact.ok, qPrintable(exact.error));
    QVERIFY(exact.volumes.isEmpty());
    QCOMPARE(exact.zip, exact.directory + ".zip");
    QCOMPARE(entriesIn(m_dir.filePath("out-exact")),
             (QStringList{bundleName, bundleName + ".zip"}));
    QCOMPARE(PdfFixtures::readBytes(exact.csv), PdfFixtures::readBytes(plain.csv));
    QCOMPARE(QFileInfo(exact.zip).size(), zipSize);
    QCOMPARE(manifestVolumes(exact.csv).first(), "file\t-");
    QVERIFY(!exportResultMap(exact).contains("volumes"));

    // One byte less and it no longer fits: volumes.
    const ExportResult over = buildExportBundle(m_five, options("out-over", zipSize - 1));
    QVERIFY2(over.ok, qPrintable(over.error));
    QCOMPARE(over.volumes.size(), 2);
    for (const QString& zip : over.volumes)
        QVERIFY(QFileInfo(zip).size() <= zipSize - 1);
}

void TestZipVolumes::anOriginalTooLargeForAVolumeFailsBeforeCopying()
{
    const DocumentRecord big = original("big/scan.pdf", 1100000);
    int highest = 0;
    const ExportMonitor monitor{nullptr, [&highest](int percent) {
                                    highest = std::max(highest, percent);
                                }};
    const ExportResult result =
        buildExportBundle({m_five.first(), big}, options("out-big", limit), monitor);
    QVERIFY(!result.ok);
    QVERIFY2(result.error.startsWith(big.sourcePath + " does not fit in a ZIP volume of at most "
                                                      "976.6 kB (1000000 bytes): with manifest.csv "
                                                      "and index.pdf it needs 1.0 MB ("),
             qPrintable(result.error));
    QCOMPARE(highest, 0); // not a byte was copied
    QCOMPARE(entriesIn(m_dir.filePath("out-big")), QStringList());

    // Alone in the bundle it fits in one ZIP, and no volume is needed.
    const ExportResult alone = buildExportBundle({big}, options("out-big", 1200000));
    QVERIFY2(alone.ok, qPrintable(alone.error));
    QVERIFY(alone.volumes.isEmpty());
}

void TestZipVolumes::cancellingLeavesNoVolume()
{
    const QString out = m_dir.filePath("out-cancel");
    QVERIFY(QDir().mkpath(out));
    // What a crashed export of volumes leaves is removed by the next export there.
    const QString crashed = ".Tessavo-Export-20261201-101010-partial-Ab12Cd";
    for (const QString& name :
         {crashed + "-part1.zip", crashed + "-part12.zip", "." + crashed + "-part2.zip.k3j4.part"})
        QVERIFY(PdfFixtures::writeBytes(out + '/' + name, "left over"));

    // Stopped inside the first volume, then inside the second with the first complete.
    for (const int stopAt : {60, 90}) {
        bool stop = false;
        const ExportMonitor monitor{[&stop] { return stop; },
                                    [&](int percent) {
                                        stop = percent >= stopAt;
                                    }};
        const ExportResult result =
            buildExportBundle(m_five, options("out-cancel", limit), monitor);
        QCOMPARE(result.error, QStringLiteral("Export was cancelled"));
        QCOMPARE(entriesIn(out), QStringList());
    }
}

void TestZipVolumes::verifierFindsMissingAndMisplacedOriginals()
{
    const ExportResult result = buildExportBundle(m_five, options("out-misplaced", limit));
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.volumes.size(), 2);
    const auto opens = [](const QString&) {
        return Status::success();
    };

    // Volume 2 rewritten with volume 1's first original added: that one is now in two volumes.
    const QString part2 = result.volumes.at(1);
    QVERIFY(QFile::remove(part2));
    ZipWriter writer(part2);
    QVERIFY(writer.open());
    QVERIFY(writer.addFile("manifest.csv", result.csv));
    QVERIFY(writer.addFile("index.pdf", result.pdf));
    for (const char* name : {"originals/part 1.pdf", "originals/part 4.pdf"})
        QVERIFY(writer.addFile(name, result.directory + '/' + name));
    QVERIFY(writer.finish());
    BundleVerification verified = verifyBundle(result.directory, opens);
    QCOMPARE(verified.problems,
             (QStringList{bundleName + "-part2.zip/originals/part 1.pdf: manifest.csv line 2 "
                                       "places it in volume 1",
                          bundleName + "-part2.zip/originals/part 5.pdf: missing, though "
                                       "manifest.csv line 6 lists it"}));
    // Alone, the volume shows the same.
    verified = verifyBundle(part2, opens);
    QCOMPARE(verified.problemCount, 2);

    // A third volume the manifest does not name.
    QVERIFY(QFile::copy(result.volumes.at(0), result.directory + "-part3.zip"));
    verified = verifyBundle(result.directory, opens);
    QVERIFY(verified.problems.contains(bundleName + "-part3.zip: not named in manifest.csv"));
}

void TestZipVolumes::manifestVolumeColumnIsChecked()
{
    QList<DocumentRecord> two = m_five.mid(0, 2);
    const QByteArray csv = buildManifestCsv(two, {}, {1, 12});
    QList<ManifestProblem> problems;
    const auto report = [&problems](const ManifestProblem& p) {
        problems << p;
    };
    ManifestReading read = readManifestCsv(csv, report);
    QVERIFY(read.ok && read.volumes);
    QCOMPARE(read.rows.at(0).volume, 1);
    QCOMPARE(read.rows.at(1).volume, 12);
    QVERIFY(problems.isEmpty());
    // Without volumes the header and rows are as they always were.
    read = readManifestCsv(buildManifestCsv(two), report);
    QVERIFY(read.ok && !read.volumes && read.rows.at(0).volume == 0);

    // A volume that is no number, or zero, or a row without its volume.
    for (const QByteArray& bad : {QByteArray(",x\n"), QByteArray(",0\n"), QByteArray("\n")}) {
        problems.clear();
        QByteArray damaged = csv;
        damaged.replace(",12\n", bad);
        read = readManifestCsv(damaged, report);
        QCOMPARE(problems.size(), 1);
        QCOMPARE(manifestProblemText(problems.first()),
                 bad == "\n" ? "line 3: 13 values instead of 14"
                             : "line 3: volume is not a volume number");
    }
}

TESSAVO_TEST_MAIN_WITH_WORKER(TestZipVolumes)
#include "tst_zipvolumes.moc"
