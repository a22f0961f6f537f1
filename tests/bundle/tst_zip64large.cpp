// The ZIP past 4 GiB: an entry of more than 4 GiB and entries behind it, written from a sparse
// file, read whole by the usual readers; and a bundle of that size exported and verified. Slow:
// every reader reads the 4 GiB.
#include "bundle/BundleVerifier.h"
#include "bundle/ExportBundle.h"
#include "bundle/IndexPdf.h"
#include "bundle/SpaceCheck.h"
#include "bundle/ZipReader.h"
#include "bundle/ZipWriter.h"
#include "support/ExternalTool.h"
#include "support/PdfFixtures.h"
#include "support/ZipReading.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace Tessavo;
using namespace ZipReading;

namespace {} // namespace

class TestZip64Large : public QObject {
    Q_OBJECT

public:
    // Each function reads gigabytes several times: more than the five minutes Qt Test allows one
    // function by default, on a busy machine.
    TestZip64Large() { qputenv("QTEST_FUNCTION_TIMEOUT", "1400000"); }

private slots:
    void initTestCase();
    void largeEntriesAndOffsetsUseZip64();
    void bundlePastFourGiBExportsAndVerifies();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

// An entry of 4 GiB or more carries its sizes in ZIP64 extra fields, and an entry that begins at
// 4 GiB or beyond carries its offset there; the archive then ends with the ZIP64 end records.
// The big entry comes from a sparse file and its zeros are left as holes, so this costs reading
// 4 GiB of zeros but no disk space.
void TestZip64Large::initTestCase()
{
#if defined(__SANITIZE_ADDRESS__)
    // Gigabytes through the instrumented CRC-32 and SHA-256 take longer than a test may; the
    // same code runs on small archives in the sanitizer's other tests.
    QSKIP("gigabytes take too long under the sanitizer");
#endif
}

void TestZip64Large::largeEntriesAndOffsetsUseZip64()
{
    const qint64 big = 0x100000FFF; // past 4 GiB, and not a whole number of chunks
    {
        QFile sparse(path("4gib.bin"));
        QVERIFY(sparse.open(QIODevice::WriteOnly));
        QVERIFY(sparse.resize(big));
    }
    const QString zipPath = path("large.zip");
    {
        ZipWriter zip(zipPath);
        QVERIFY(zip.open());
        QVERIFY(zip.addData("first.txt", "first"));
        QVERIFY2(zip.addFile("big.bin", path("4gib.bin")), qPrintable(zip.errorString()));
        QVERIFY(zip.addData("after.txt", "after the big one"));
        QVERIFY(!zip.addData(QString(65536, u'n'), "x"));
        QCOMPARE(zip.errorString(),
                 QStringLiteral("ZIP entry name is too long: ") + QString(65536, u'n'));
        QVERIFY(zip.finish());
    }
    QVERIFY(QFile::remove(path("4gib.bin")));
    const qint64 firstBytes = 30 + 9 + 5;
    const qint64 bigData = firstBytes + 30 + 7 + 20;
    const qint64 after = bigData + big;
    const qint64 directory = after + 30 + 9 + 17;

    // The first entry is classic; the big one has ZIP64 sizes in its local header.
    QByteArray b = bytesAt(zipPath, 0, bigData);
    QCOMPARE(at16(b, 4), quint16(20));
    QCOMPARE(at16(b, firstBytes + 4), quint16(45));
    QCOMPARE(at32(b, firstBytes + 18), 0xFFFFFFFFu);
    QCOMPARE(at32(b, firstBytes + 22), 0xFFFFFFFFu);
    QCOMPARE(at16(b, firstBytes + 28), quint16(20));
    QCOMPARE(at16(b, firstBytes + 30 + 7), quint16(1));
    QCOMPARE(at16(b, firstBytes + 30 + 7 + 2), quint16(16));
    QCOMPARE(at64(b, firstBytes + 30 + 7 + 4), quint64(big));
    QCOMPARE(at64(b, firstBytes + 30 + 7 + 12), quint64(big));
    // The entry behind it begins past 4 GiB: version 4.5, but its local header has no offset.
    b = bytesAt(zipPath, after, 30 + 9);
    QCOMPARE(at32(b, 0), 0x04034B50u);
    QCOMPARE(at16(b, 4), quint16(45));
    QCOMPARE(at32(b, 18), 17u);
    QCOMPARE(at16(b, 28), quint16(0));

    // Central records: only the fields that overflow move to the extra field.
    b = bytesAt(zipPath, directory, 1024);
    const qint64 second = 46 + 9;
    QCOMPARE(at16(b, 30), quint16(0));
    QCOMPARE(at16(b, second + 4), quint16(0x032D));
    QCOMPARE(at32(b, second + 20), 0xFFFFFFFFu);
    QCOMPARE(at32(b, second + 42), quint32(firstBytes));
    QCOMPARE(at16(b, second + 30), quint16(20));
    QCOMPARE(at64(b, second + 46 + 7 + 4), quint64(big));
    const qint64 third = second + 46 + 7 + 20;
    QCOMPARE(at32(b, third + 20), 17u);
    QCOMPARE(at32(b, third + 42), 0xFFFFFFFFu);
    QCOMPARE(at16(b, third + 30), quint16(12));
    QCOMPARE(at64(b, third + 46 + 9 + 4), quint64(after));
    // The ZIP64 end record, its locator and the end record with markers where figures overflow.
    const qint64 directoryBytes = third + 46 + 9 + 12;
    b = bytesAt(zipPath, directory + directoryBytes, 56 + 20 + 22);
    QCOMPARE(b.size(), 98);
    QCOMPARE(at32(b, 0), 0x06064B50u);
    QCOMPARE(at64(b, 4), 44u);
    QCOMPARE(at64(b, 24), 3u);
    QCOMPARE(at64(b, 32), 3u);
    QCOMPARE(at64(b, 40), quint64(directoryBytes));
    QCOMPARE(at64(b, 48), quint64(directory));
    QCOMPARE(at32(b, 56), 0x07064B50u);
    QCOMPARE(at64(b, 56 + 8), quint64(directory + directoryBytes));
    QCOMPARE(at32(b, 56 + 16), 1u);
    QCOMPARE(at32(b, 76), 0x06054B50u);
    QCOMPARE(at16(b, 76 + 10), quint16(3));
    QCOMPARE(at32(b, 76 + 12), quint32(directoryBytes));
    QCOMPARE(at32(b, 76 + 16), 0xFFFFFFFFu);
    QCOMPARE(QFileInfo(zipPath).size(), directory + directoryBytes + 98);

    // The verifier's reader and other readers see three entries and their sizes; the small ones
    // read back whole.
    const Reading reading = readWithZipReader(zipPath);
    QVERIFY2(reading.problems.isEmpty(), qPrintable(reading.problems.join('\n')));
    QCOMPARE(reading.entries.size(), 3);
    QCOMPARE(reading.entries.at(1).size, big);
    QVERIFY(reading.entries.at(1).readable);
    QCOMPARE(reading.entries.at(2).localOffset, after);
    const ToolRun python = runPython("import sys, zipfile\n"
                                     "z = zipfile.ZipFile(sys.argv[1])\n"
                                     "print([(i.filename, i.file_size) for i in z.infolist()])\n"
                                     "print(z.read('after.txt').decode())\n",
                                     {zipPath});
    QVERIFY2(python.ok(), python.err);
    QCOMPARE(python.out, QByteArray("[('first.txt', 5), ('big.bin', 4294971391), ('after.txt', "
                                    "17)]\nafter the big one\n"));
    const ToolRun unzip = runTool("unzip", {"-p", zipPath, "after.txt"});
    QVERIFY2(unzip.ok(), unzip.err);
    QCOMPARE(unzip.out, QByteArray("after the big one"));
    const ToolRun sevenZip = runTool("7z", {"l", "-slt", zipPath});
    QVERIFY2(sevenZip.ok(), sevenZip.out + sevenZip.err);
    QVERIFY(sevenZip.out.contains("Size = 4294971391"));

    // Every byte tested by each of the usual readers.
    const ToolRun unzipTest = runTool("unzip", {"-tq", zipPath});
    QVERIFY2(unzipTest.ok(), unzipTest.out + unzipTest.err);
    const ToolRun sevenZipTest = runTool("7z", {"t", zipPath});
    QVERIFY2(sevenZipTest.ok() && sevenZipTest.out.contains("Everything is Ok"),
             sevenZipTest.out + sevenZipTest.err);
    // bsdtar reads the archive as a stream: every entry's bytes, counted.
    const ToolRun bsdtar =
        runTool("bash", {"-c", "set -o pipefail; bsdtar -xOf \"$1\" | wc -c", "sh", zipPath});
    QVERIFY2(bsdtar.ok(), bsdtar.err);
    QCOMPARE(bsdtar.out.trimmed().toLongLong(), 5 + big + 17);
    const ToolRun testzip =
        runPython("import sys, zipfile\nprint(zipfile.ZipFile(sys.argv[1]).testzip())", {zipPath});
    QVERIFY2(testzip.ok(), testzip.err);
    QCOMPARE(testzip.out, QByteArray("None\n"));
    QVERIFY(QFile::remove(zipPath));
}

// A bundle whose original is larger than 4 GiB: exported (the copy is real, the ZIP sparse) and
// verified whole, in the ZIP and in the folder.
void TestZip64Large::bundlePastFourGiBExportsAndVerifies()
{
    const qint64 size = (qint64(4) << 30) + 12345;
    // The copy in the folder takes the space; the source and the ZIP are sparse.
    if (freeBytesAt(m_dir.path()) < 3 * size)
        QSKIP("not enough free disk space for a copy past 4 GiB");
    QVERIFY(registerIndexFonts("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                               "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf")
                .ok);
    const QString sources = path("sources");
    QVERIFY(QDir().mkpath(sources));
    QList<DocumentRecord> records;
    const QStringList names = {"huge.pdf", "small.pdf"};
    for (const QString& name : names) {
        const QString file = sources + u'/' + name;
        QVERIFY(PdfFixtures::writeTextPdf(file, {"Contents of " + name}));
        if (name == "huge.pdf") {
            QFile grown(file);
            QVERIFY(grown.open(QIODevice::ReadWrite));
            QVERIFY(grown.resize(size)); // the zeros after the PDF are a hole
        }
        DocumentRecord r;
        r.sourcePath = file;
        r.fileName = name;
        r.sizeBytes = QFileInfo(file).size();
        r.sha256 = sha256Of(file);
        r.pages = 1;
        r.textPages = 1;
        r.state = Ready;
        r.suggestion.category = "02_Forms";
        r.decision = Accepted;
        r.finalCategory = "02_Forms";
        records << r;
    }
    ExportOptions options{path("out"), "Tessavo export", "", "", true};
    const ExportResult result = buildExportBundle(records, options);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.exported, 2);

    const Reading reading = readWithZipReader(result.zip);
    QVERIFY2(reading.problems.isEmpty(), qPrintable(reading.problems.join('\n')));
    QCOMPARE(reading.entries.size(), 4);
    QCOMPARE(reading.entries.at(2).size, size);
    QVERIFY(reading.entries.at(3).localOffset > 0xFFFFFFFF);

    for (const QString& bundle : {result.directory, result.zip}) {
        const BundleVerification verified =
            verifyBundle(bundle, [](const QString&) { return Status::success(); });
        QVERIFY2(verified.ok(), qPrintable(verified.problems.join('\n')));
    }
    const ToolRun unzip = runTool("unzip", {"-tq", result.zip});
    QVERIFY2(unzip.ok(), unzip.out + unzip.err);
    QVERIFY(QDir(result.directory).removeRecursively());
    QVERIFY(QFile::remove(result.zip));
}

QTEST_MAIN(TestZip64Large)
#include "tst_zip64large.moc"
