// Bundles written by the real export are checked, then damaged the ways a transfer or a hand
// edit damages them. Damaged archives are also given to unzip and Python, which must agree.
#include "bundle/BundleVerifier.h"
#include "bundle/ExportBundle.h"
#include "bundle/ZipWriter.h"
#include "core/RawPath.h"
#include "inspection/PdfInspection.h"
#include "support/ExternalTool.h"
#include "support/PdfFixtures.h"
#include "support/WorkerTestMain.h"

#include <QDir>
#include <QDirIterator>
#include <QGuiApplication>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Tessavo;

namespace {

// Offsets in the archive of each entry's local header and central directory record.
struct ZipLayout {
    struct Entry {
        QByteArray name;
        qint64 localOffset = 0;
        qint64 dataOffset = 0;
        qint64 size = 0;
        qint64 centralOffset = 0;
    };
    QList<Entry> entries;
    qint64 centralDirectoryOffset = 0;
    qint64 endRecordOffset = 0;
};

// Reads the layout of an archive written by ZipWriter (no comment, no extra fields).
ZipLayout layoutOf(const QByteArray& zip)
{
    ZipLayout layout;
    layout.endRecordOffset = zip.size() - 22;
    const char* end = zip.constData() + layout.endRecordOffset;
    layout.centralDirectoryOffset = qFromLittleEndian<quint32>(end + 16);
    qint64 at = layout.centralDirectoryOffset;
    for (int i = 0; i < qFromLittleEndian<quint16>(end + 10); ++i) {
        const char* record = zip.constData() + at;
        ZipLayout::Entry entry;
        const int nameBytes = qFromLittleEndian<quint16>(record + 28);
        entry.name = QByteArray(record + 46, nameBytes);
        entry.size = qFromLittleEndian<quint32>(record + 24);
        entry.localOffset = qFromLittleEndian<quint32>(record + 42);
        entry.dataOffset = entry.localOffset + 30 + nameBytes;
        entry.centralOffset = at;
        layout.entries.append(entry);
        at += 46 + nameBytes;
    }
    return layout;
}

void flipByte(QByteArray& bytes, qint64 offset)
{
    bytes[offset] = char(bytes.at(offset) ^ 0x20);
}

bool flipByteInFile(const QString& path, qint64 offset)
{
    QByteArray bytes = PdfFixtures::readBytes(path);
    if (offset < 0 || offset >= bytes.size())
        return false;
    flipByte(bytes, offset);
    return PdfFixtures::writeBytes(path, bytes);
}

bool copyFolder(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + '/' + QDir(from).relativeFilePath(source);
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(source, target))
            return false;
    }
    return true;
}

// A new archive holding the given entries in order, through the real writer.
bool writeZip(const QString& path, const QList<QPair<QString, QByteArray>>& entries)
{
    QFile::remove(path); // the writer never replaces a file
    ZipWriter writer(path);
    if (!writer.open())
        return false;
    for (const auto& [name, data] : entries) {
        if (!writer.addData(name, data))
            return false;
    }
    return writer.finish();
}

// The entries of an archive, read by Python.
QList<QPair<QString, QByteArray>> readZip(const QString& path)
{
    const ToolRun run = runPython("import sys, zipfile\n"
                                  "z = zipfile.ZipFile(sys.argv[1])\n"
                                  "for i in z.infolist():\n"
                                  "    sys.stdout.write(i.filename + '\\n' + z.read(i).hex() + "
                                  "'\\n')\n",
                                  {path});
    QList<QPair<QString, QByteArray>> entries;
    const QList<QByteArray> lines = run.out.split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); i += 2)
        entries.append({QString::fromUtf8(lines.at(i)), QByteArray::fromHex(lines.at(i + 1))});
    return entries;
}

void put16(QByteArray& bytes, qint64 at, quint16 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

void put32(QByteArray& bytes, qint64 at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

quint32 crc32Of(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFF;
    for (const char c : data) {
        crc ^= uchar(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
    }
    return ~crc;
}

// A complete local entry (header, name, data) as ZipWriter writes one.
QByteArray localEntry(const QByteArray& name, const QByteArray& data)
{
    QByteArray header(30, '\0');
    put32(header, 0, 0x04034B50);
    put16(header, 4, 20);
    put16(header, 6, 0x0800);
    put32(header, 14, crc32Of(data));
    put32(header, 18, quint32(data.size()));
    put32(header, 22, quint32(data.size()));
    put16(header, 26, quint16(name.size()));
    return header + name + data;
}

// The archive with bytes inserted at an offset, every offset behind it moved along.
QByteArray insertedAt(const QByteArray& zip, qint64 at, const QByteArray& bytes)
{
    const ZipLayout layout = layoutOf(zip);
    QByteArray result = zip;
    result.insert(at, bytes);
    const auto moved = [&](qint64 offset) {
        return offset >= at ? offset + bytes.size() : offset;
    };
    for (const ZipLayout::Entry& entry : layout.entries)
        put32(result, moved(entry.centralOffset) + 42, quint32(moved(entry.localOffset)));
    put32(result, moved(layout.endRecordOffset) + 16,
          quint32(moved(layout.centralDirectoryOffset)));
    return result;
}

// The largest resident size this process has had, in MiB.
qint64 peakMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

bool anyProblemContains(const BundleVerification& result, const QString& text)
{
    for (const QString& problem : result.problems) {
        if (problem.contains(text))
            return true;
    }
    return false;
}

} // namespace

class TestBundleVerifier : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void freshBundleHolds();
    void flippedByteInAnOriginalFails();
    void flippedByteInTheManifestFails();
    void manifestThatLiesAboutAnOriginalFails();
    void damagedManifestsAreNamed_data();
    void damagedManifestsAreNamed();
    void flippedByteInTheCentralDirectoryFails_data();
    void flippedByteInTheCentralDirectoryFails();
    void everyHeaderByteThatCanBeCheckedIs();
    void truncatedZipFails();
    void unlistedAndMissingFilesFail();
    void indexThatDoesNotOpenFails();
    void pathThatIsNoBundleFails();
    void bytesNoEntryListsFail_data();
    void bytesNoEntryListsFail();
    void overlappingEntriesAreRefusedBeforeReading();
    void claimsBeyondTheFileCostNothing();
    void zip64RecordsAreCheckedBeforeTrusted_data();
    void zip64RecordsAreCheckedBeforeTrusted();
    void problemsAreCapped();
    void folderHoldsOnlyRegularListedFiles();
    void formulaNamesRoundTrip();
    void namesThatAreNotUtf8Verify();

private:
    // A fresh copy of the bundle as folder X and ZIP X.zip in a new folder; returns X.
    QString copyOfBundle();
    QString zipOf(const QString& folder) const { return folder + ".zip"; }

    QTemporaryDir m_dir;
    QList<DocumentRecord> m_records;
    QString m_bundle;
    int m_copies = 0;
};

void TestBundleVerifier::initTestCase()
{
    using namespace PdfFixtures;
    QVERIFY(m_dir.isValid());
    const QString sources = m_dir.filePath("sources");
    QVERIFY(QDir().mkpath(sources + "/forms"));
    QVERIFY(writeTextPdf(sources + "/RFP, _main_.pdf", {"Request for Proposals"}));
    QVERIFY(writeTextPdf(sources + "/forms/Bid bond — Å.pdf", {"Bid bond", "MWBE"}));
    QVERIFY(writeImageOnlyPdf(sources + "/forms/scan.pdf", 1));
    QList<DocumentRecord>& records = m_records;
    for (const char* name : {"RFP, _main_.pdf", "forms/Bid bond — Å.pdf", "forms/scan.pdf"}) {
        DocumentRecord record = inspectPdf(sources + '/' + name);
        record.note = "line one\nline two, with \"quotes\"";
        records.append(record);
    }
    const ExportResult result =
        buildExportBundle(records, {m_dir.filePath("out"), "Tessavo export", {}, {}, true});
    QVERIFY2(result.ok, qPrintable(result.error));
    m_bundle = result.directory;
    QVERIFY(runTool("unzip", {"-tq", result.zip}).ok());
}

QString TestBundleVerifier::copyOfBundle()
{
    const QString folder = m_dir.filePath(QString("copy-%1/Tessavo-Export").arg(++m_copies));
    if (!copyFolder(m_bundle, folder) || !QFile::copy(zipOf(m_bundle), zipOf(folder)))
        return {};
    return folder;
}

void TestBundleVerifier::freshBundleHolds()
{
    const BundleVerification folder = verifyBundle(m_bundle);
    QVERIFY2(folder.ok(), qPrintable(folder.problems.join('\n')));
    QCOMPARE(folder.zipEntries, 5);
    QCOMPARE(folder.manifestRows, 3);
    QCOMPARE(folder.originals, 6); // three in the ZIP, three in the folder

    const BundleVerification zip = verifyBundle(zipOf(m_bundle));
    QVERIFY2(zip.ok(), qPrintable(zip.problems.join('\n')));
    QCOMPARE(zip.zipEntries, 5);
    QCOMPARE(zip.originals, 3);

    // A trailing separator or a relative path names the same bundle.
    QVERIFY(verifyBundle(m_bundle + '/').ok());
    QVERIFY(verifyBundle(QDir::current().relativeFilePath(zipOf(m_bundle))).ok());
}

void TestBundleVerifier::flippedByteInAnOriginalFails()
{
    const QString name = "originals/forms/Bid bond — Å.pdf";
    const qint64 size = QFileInfo(m_bundle + '/' + name).size();
    for (const qint64 offset : {qint64(0), size / 2, size - 1}) {
        // In the folder's copy: its SHA-256 no longer matches the manifest.
        QString folder = copyOfBundle();
        QVERIFY(flipByteInFile(folder + '/' + name, offset));
        BundleVerification result = verifyBundle(folder);
        QCOMPARE(result.problems, QStringList{"Tessavo-Export/" + name +
                                              ": SHA-256 differs from manifest.csv line 4"});
        QVERIFY(verifyBundle(zipOf(folder)).ok()); // the ZIP alone is intact

        // In the ZIP's copy: its CRC-32 fails, and unzip agrees.
        folder = copyOfBundle();
        const ZipLayout layout = layoutOf(PdfFixtures::readBytes(zipOf(folder)));
        const auto entry = std::find_if(layout.entries.begin(), layout.entries.end(),
                                        [&](const auto& e) { return e.name == name.toUtf8(); });
        QVERIFY(entry != layout.entries.end());
        QVERIFY(flipByteInFile(zipOf(folder), entry->dataOffset + offset));
        result = verifyBundle(zipOf(folder));
        QCOMPARE(result.problems.size(), 1);
        QVERIFY2(result.problems.first().contains(name + ": CRC-32 is "),
                 qPrintable(result.problems.first()));
        QVERIFY(!verifyBundle(folder).ok());
        QVERIFY(!runTool("unzip", {"-tq", zipOf(folder)}).ok());
    }
}

void TestBundleVerifier::flippedByteInTheManifestFails()
{
    // In the folder: it no longer matches the ZIP's copy, wherever the byte is.
    const qint64 size = QFileInfo(m_bundle + "/manifest.csv").size();
    for (const qint64 offset : {qint64(0), qint64(20), size / 2, size - 2}) {
        const QString folder = copyOfBundle();
        QVERIFY(flipByteInFile(folder + "/manifest.csv", offset));
        const BundleVerification result = verifyBundle(folder);
        QVERIFY(!result.ok());
        QVERIFY2(anyProblemContains(result, "/manifest.csv: differs from the copy in "),
                 qPrintable(result.problems.join('\n')));
    }
    // In the ZIP: its CRC-32 fails.
    const QString folder = copyOfBundle();
    const ZipLayout layout = layoutOf(PdfFixtures::readBytes(zipOf(folder)));
    QCOMPARE(layout.entries.first().name, "manifest.csv");
    QVERIFY(flipByteInFile(zipOf(folder), layout.entries.first().dataOffset + size / 2));
    const BundleVerification result = verifyBundle(zipOf(folder));
    QVERIFY(anyProblemContains(result, "/manifest.csv: CRC-32 is "));
}

void TestBundleVerifier::manifestThatLiesAboutAnOriginalFails()
{
    // A manifest edited and re-packed with correct CRCs: only the SHA-256 and sizes tell.
    const QString folder = copyOfBundle();
    QList<QPair<QString, QByteArray>> entries = readZip(zipOf(folder));
    QCOMPARE(entries.size(), 5);
    const QByteArray original = entries.first().second;
    const QByteArray sha = m_records.first().sha256;
    QByteArray forged = sha;
    forged[10] = forged.at(10) == 'a' ? 'b' : 'a';
    entries.first().second = QByteArray(original).replace(sha, forged);
    QVERIFY(writeZip(zipOf(folder), entries));
    QVERIFY(runTool("unzip", {"-tq", zipOf(folder)}).ok()); // a sound archive

    BundleVerification result = verifyBundle(zipOf(folder));
    QCOMPARE(result.problems,
             QStringList{"Tessavo-Export.zip/originals/RFP, _main_.pdf: SHA-256 differs from "
                         "manifest.csv line 2"});

    const QByteArray size = "," + QByteArray::number(m_records.first().sizeBytes) + ",";
    const QByteArray larger = "," + QByteArray::number(m_records.first().sizeBytes + 1) + ",";
    entries.first().second = QByteArray(original).replace(size, larger);
    QVERIFY(writeZip(zipOf(folder), entries));
    result = verifyBundle(zipOf(folder));
    QCOMPARE(result.problems,
             QStringList{QString("Tessavo-Export.zip/originals/RFP, _main_.pdf: %1 bytes, "
                                 "manifest.csv line 2 says %2")
                             .arg(QString::number(m_records.first().sizeBytes),
                                  QString::number(m_records.first().sizeBytes + 1))});
}

void TestBundleVerifier::damagedManifestsAreNamed_data()
{
    // Each row edits the manifest (from -> to, first occurrence) and re-packs a sound archive.
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QString>("problem");
    QTest::newRow("no byte order mark") << QByteArray("\xEF\xBB\xBF") << QByteArray()
                                        << "does not begin with the UTF-8 byte order mark";
    QTest::newRow("header") << QByteArray("text_pages") << QByteArray("textpages")
                            << "the header is not \"file,source_path,";
    QTest::newRow("column missing")
        << QByteArray(",Ready,") << QByteArray(",") << "line 2: 12 values instead of 13";
    QTest::newRow("stray quote") << QByteArray(",Ready,") << QByteArray(",Re\"ady,")
                                 << "line 2: a quote inside an unquoted value";
    QTest::newRow("text after a quote")
        << QByteArray("\"\"quotes\"\"\"") << QByteArray("\"\"quotes\"x\"\"")
        << "line 3: text follows a closing quote";
    QTest::newRow("upper-case sha256") << QByteArray("sha") << QByteArray("SHA")
                                       << "line 2: sha256 is not 64 lowercase hexadecimal digits";
    QTest::newRow("negative size")
        << QByteArray("size") << QByteArray("-size") << "line 2: size_bytes is not a byte count";
    QTest::newRow("pages not a number") << QByteArray(",1,1,Ready,") << QByteArray(",1,one,Ready,")
                                        << "line 2: text_pages is not a whole number";
    QTest::newRow("unknown state")
        << QByteArray(",Ready,") << QByteArray(",Fine,") << "line 2: unknown state \"Fine\"";
    QTest::newRow("unknown decision")
        << QByteArray(",Needs Review,") << QByteArray(",Needs review,")
        << "line 2: unknown decision \"Needs review\"";
    QTest::newRow("quote never closed")
        << QByteArray("end") << QByteArray() << "line 6: a quoted value is never closed";
    QTest::newRow("no final line feed") << QByteArray("end") << QByteArray("\"")
                                        << "line 7: the last line does not end with a line feed";
    QTest::newRow("invalid UTF-8")
        << QByteArray("\xC3\x85") << QByteArray("\xC3\x28") << "is not valid UTF-8";
    QTest::newRow("no rows") << QByteArray("rows") << QByteArray() << "lists no documents";
}

void TestBundleVerifier::damagedManifestsAreNamed()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QString, problem);
    const QString folder = copyOfBundle();
    QList<QPair<QString, QByteArray>> entries = readZip(zipOf(folder));
    QByteArray& manifest = entries.first().second;
    const DocumentRecord& first = m_records.first();
    if (from == "sha") {
        from = first.sha256;
        to = first.sha256.toUpper();
    } else if (from == "size") {
        from = "," + QByteArray::number(first.sizeBytes) + ",";
        to = "," + to.replace("size", QByteArray::number(first.sizeBytes)) + ",";
    } else if (from == "end") { // the last row ends in a quoted note: drop its closing quote
        QVERIFY(manifest.endsWith("\"\n"));
        manifest.chop(2);
        manifest += to.isEmpty() ? "\n" : "\"";
    } else if (from == "rows") {
        manifest.truncate(manifest.indexOf('\n') + 1);
    }
    if (from != "end" && from != "rows") {
        const qsizetype at = manifest.indexOf(from);
        QVERIFY(at >= 0);
        manifest.replace(at, from.size(), to);
    }
    QVERIFY(writeZip(zipOf(folder), entries));
    const BundleVerification result = verifyBundle(zipOf(folder));
    QVERIFY2(anyProblemContains(result, "Tessavo-Export.zip/manifest.csv: " + problem),
             qPrintable(result.problems.join('\n')));
}

void TestBundleVerifier::flippedByteInTheCentralDirectoryFails_data()
{
    QTest::addColumn<int>("field"); // offset inside the second entry's central record
    QTest::addColumn<QString>("problem");
    QTest::newRow("signature") << 0 << "central directory record 2 is damaged";
    QTest::newRow("CRC-32") << 17 << "local header differs from the central directory in: CRC-32";
    QTest::newRow("size") << 24 << "stored size";
    QTest::newRow("name length") << 28 << "central directory record";
    QTest::newRow("local header offset") << 43 << "no local header at offset";
    QTest::newRow("name") << 47 << "local header differs from the central directory in: name";
    QTest::newRow("method") << 10 << "compression method";
}

void TestBundleVerifier::flippedByteInTheCentralDirectoryFails()
{
    QFETCH(int, field);
    QFETCH(QString, problem);
    const QString folder = copyOfBundle();
    const ZipLayout layout = layoutOf(PdfFixtures::readBytes(zipOf(folder)));
    QVERIFY(flipByteInFile(zipOf(folder), layout.entries.at(1).centralOffset + field));
    for (const QString& path : {zipOf(folder), folder}) {
        const BundleVerification result = verifyBundle(path);
        QVERIFY2(anyProblemContains(result, problem), qPrintable(result.problems.join('\n')));
    }
}

void TestBundleVerifier::everyHeaderByteThatCanBeCheckedIs()
{
    // Flip, one at a time, every byte of every header and of the end record. Only the fields that
    // nothing else repeats may pass: times and dates, "version made by" and the attributes.
    const QByteArray zip = PdfFixtures::readBytes(zipOf(m_bundle));
    const ZipLayout layout = layoutOf(zip);
    QSet<qint64> unverifiable;
    QList<qint64> offsets;
    for (const ZipLayout::Entry& entry : layout.entries) {
        for (qint64 i = 0; i < 30 + entry.name.size(); ++i)
            offsets.append(entry.localOffset + i);
        for (qint64 i = 0; i < 46 + entry.name.size(); ++i)
            offsets.append(entry.centralOffset + i);
        for (int i : {10, 11, 12, 13}) // local time and date
            unverifiable.insert(entry.localOffset + i);
        for (int i : {4, 5, 12, 13, 14, 15, 36, 37, 38, 39, 40, 41}) // made by, time, attributes
            unverifiable.insert(entry.centralOffset + i);
    }
    for (qint64 i = 0; i < 22; ++i)
        offsets.append(layout.endRecordOffset + i);

    const QString path = m_dir.filePath("flipped.zip");
    QStringList missed;
    for (const qint64 offset : offsets) {
        QByteArray damaged = zip;
        flipByte(damaged, offset);
        QVERIFY(PdfFixtures::writeBytes(path, damaged));
        if (verifyBundle(path).ok() && !unverifiable.contains(offset))
            missed.append(QString::number(offset));
    }
    QVERIFY2(missed.isEmpty(), qPrintable("unexpected at offsets " + missed.join(' ')));
}

void TestBundleVerifier::truncatedZipFails()
{
    const QByteArray zip = PdfFixtures::readBytes(zipOf(m_bundle));
    const ZipLayout layout = layoutOf(zip);
    const QString path = m_dir.filePath("truncated.zip");
    for (const qint64 length :
         {qint64(0), qint64(21), layout.entries.at(2).dataOffset + 5, layout.centralDirectoryOffset,
          layout.endRecordOffset + 10, qint64(zip.size() - 1)}) {
        QVERIFY(PdfFixtures::writeBytes(path, zip.left(length)));
        const BundleVerification result = verifyBundle(path);
        QCOMPARE(result.problems,
                 QStringList{"truncated.zip: no end of central directory record: the archive is "
                             "truncated or not a ZIP file"});
        QVERIFY(!runTool("unzip", {"-tq", path}).ok());
    }
    // A ZIP cut short next to an intact folder fails too.
    const QString folder = copyOfBundle();
    QVERIFY(PdfFixtures::writeBytes(zipOf(folder), zip.left(zip.size() / 2)));
    QVERIFY(!verifyBundle(folder).ok());
}

void TestBundleVerifier::unlistedAndMissingFilesFail()
{
    QString folder = copyOfBundle();
    QVERIFY(PdfFixtures::writeBytes(folder + "/originals/extra.pdf", "%PDF-1.4"));
    BundleVerification result = verifyBundle(folder);
    QCOMPARE(result.problems,
             QStringList{"Tessavo-Export/originals/extra.pdf: not listed in manifest.csv"});

    folder = copyOfBundle();
    QVERIFY(QFile::remove(folder + "/originals/forms/scan.pdf"));
    result = verifyBundle(folder);
    QCOMPARE(result.problems, QStringList{"Tessavo-Export/originals/forms/scan.pdf: missing, "
                                          "though manifest.csv line 6 lists it"});

    folder = copyOfBundle();
    QList<QPair<QString, QByteArray>> entries = readZip(zipOf(folder));
    entries.removeLast();
    entries.append({QStringLiteral("originals/stray.txt"), QByteArrayLiteral("stray")});
    QVERIFY(writeZip(zipOf(folder), entries));
    result = verifyBundle(zipOf(folder));
    QCOMPARE(result.problems.size(), 2);
    QVERIFY(anyProblemContains(result, "Tessavo-Export.zip/originals/stray.txt: not listed"));
    QVERIFY(anyProblemContains(result, "missing, though manifest.csv line"));

    folder = copyOfBundle();
    QVERIFY(QFile::remove(zipOf(folder)));
    result = verifyBundle(folder);
    QCOMPARE(result.problems,
             QStringList{"Tessavo-Export.zip: the ZIP archive beside the folder is missing"});
}

void TestBundleVerifier::indexThatDoesNotOpenFails()
{
    const QString folder = copyOfBundle();
    QVERIFY(PdfFixtures::writeBytes(folder + "/index.pdf", "%PDF-1.4 not really"));
    QList<QPair<QString, QByteArray>> entries = readZip(zipOf(folder));
    QCOMPARE(entries.at(1).first, "index.pdf");
    entries[1].second = PdfFixtures::readBytes(folder + "/index.pdf");
    QVERIFY(writeZip(zipOf(folder), entries));
    const BundleVerification result = verifyBundle(folder);
    QCOMPARE(result.problems,
             (QStringList{"Tessavo-Export.zip/index.pdf: does not open: not a valid PDF",
                          "Tessavo-Export/index.pdf: does not open: not a valid PDF"}));
}

void TestBundleVerifier::pathThatIsNoBundleFails()
{
    const QString missing = m_dir.filePath("nothing here");
    QCOMPARE(verifyBundle(missing).problems,
             QStringList{missing + ": no such bundle folder or ZIP file"});
    const QString text = m_dir.filePath("notes.zip");
    QVERIFY(PdfFixtures::writeBytes(text, "just text"));
    QVERIFY(!verifyBundle(text).ok());
    const QString empty = m_dir.filePath("empty.zip");
    QVERIFY(writeZip(empty, {}));
    const BundleVerification result = verifyBundle(empty);
    QCOMPARE(result.problems,
             (QStringList{"empty.zip/manifest.csv: missing", "empty.zip/index.pdf: missing"}));
}

void TestBundleVerifier::bytesNoEntryListsFail_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("problem");
    QTest::newRow("entry before the first")
        << "before"
        << "Tessavo-Export.zip: 67 bytes at offset 0 belong to no listed entry: an "
           "entry the central directory does not list (originals/hidden.exe)";
    QTest::newRow("entry before the central directory")
        << "after"
        << "belong to no listed entry: an entry the central directory does not list "
           "(originals/hidden.exe)";
    QTest::newRow("archive comment")
        << "comment"
        << "Tessavo-Export.zip: carries an archive comment of 60000 bytes; bundles "
           "carry none";
    QTest::newRow("local extra field")
        << "extra"
        << "Tessavo-Export.zip/originals/RFP, _main_.pdf: its local header carries "
           "an extra field of 60000 bytes; bundles carry none";
    QTest::newRow("padding") << "padding"
                             << "Tessavo-Export.zip: 7 bytes at offset";
}

void TestBundleVerifier::bytesNoEntryListsFail()
{
    QFETCH(QString, damage);
    QFETCH(QString, problem);
    const QString folder = copyOfBundle();
    QByteArray zip = PdfFixtures::readBytes(zipOf(folder));
    const ZipLayout layout = layoutOf(zip);
    const QByteArray hidden = localEntry("originals/hidden.exe", "MZ hidden payload");
    if (damage == "before") {
        zip = insertedAt(zip, 0, hidden);
    } else if (damage == "after") {
        zip = insertedAt(zip, layout.centralDirectoryOffset, hidden);
    } else if (damage == "comment") {
        put16(zip, layout.endRecordOffset + 20, 60000);
        zip += QByteArray(60000, 'c');
    } else if (damage == "extra") {
        const ZipLayout::Entry& entry = layout.entries.at(2);
        zip = insertedAt(zip, entry.dataOffset, QByteArray(60000, 'x'));
        put16(zip, entry.localOffset + 28, 60000);
    } else {
        zip = insertedAt(zip, layout.entries.at(1).localOffset, QByteArray(7, '\0'));
    }
    QVERIFY(PdfFixtures::writeBytes(zipOf(folder), zip));
    if (damage == "before" || damage == "after") {
        // What a tool that reads the archive as a stream would unpack.
        const ToolRun listing = runTool("bsdtar", {"-tf", "-"}, zip);
        QVERIFY2(listing.out.contains("originals/hidden.exe"), listing.out + listing.err);
    }
    for (const QString& path : {zipOf(folder), folder}) {
        const BundleVerification result = verifyBundle(path);
        QVERIFY2(anyProblemContains(result, problem), qPrintable(result.problems.join('\n')));
    }
}

void TestBundleVerifier::overlappingEntriesAreRefusedBeforeReading()
{
    // 300 entries whose data all runs to the end of one 8 MiB payload: read entry by entry,
    // that is 2.4 GB; the layout alone refuses them.
    const int count = 300;
    QList<QByteArray> names;
    qint64 headers = 0;
    for (int i = 0; i < count; ++i) {
        names.append(QStringLiteral("originals/o%1.pdf").arg(i, 3, 10, QChar(u'0')).toUtf8());
        headers += 30 + names.last().size();
    }
    const qint64 payload = 8 << 20;
    QByteArray zip;
    QByteArray central;
    for (int i = 0; i < count; ++i) {
        const qint64 offset = zip.size();
        const quint32 size = quint32(headers + payload - (offset + 30 + names[i].size()));
        QByteArray header = localEntry(names[i], {});
        put32(header, 18, size);
        put32(header, 22, size);
        zip += header;
        QByteArray record(46, '\0');
        put32(record, 0, 0x02014B50);
        put16(record, 6, 20);
        put16(record, 8, 0x0800);
        put32(record, 16, crc32Of({}));
        put32(record, 20, size);
        put32(record, 24, size);
        put16(record, 28, quint16(names[i].size()));
        put32(record, 42, quint32(offset));
        central += record + names[i];
    }
    zip += QByteArray(payload, 'p');
    QByteArray end(22, '\0');
    put32(end, 0, 0x06054B50);
    put16(end, 8, count);
    put16(end, 10, count);
    put32(end, 12, quint32(central.size()));
    put32(end, 16, quint32(zip.size()));
    zip += central + end;
    const QString path = m_dir.filePath("overlapping.zip");
    QVERIFY(PdfFixtures::writeBytes(path, zip));
    const BundleVerification result = verifyBundle(path);
    QVERIFY2(anyProblemContains(result, "overlapping.zip/originals/o001.pdf: overlaps the entry "
                                        "originals/o000.pdf"),
             qPrintable(result.problems.join('\n')));
    QVERIFY2(!anyProblemContains(result, "CRC-32 is"), qPrintable(result.problems.join('\n')));
    QCOMPARE(result.zipEntries, 0);
}

// Archives made from a sound bundle: the same entries described with ZIP64 end records or a
// ZIP64 offset pass; ZIP64 figures that disagree, lie beyond the file or come in a field of the
// wrong length fail without anything being read on their word.
void TestBundleVerifier::zip64RecordsAreCheckedBeforeTrusted_data()
{
    QTest::addColumn<QString>("seed");
    QTest::addColumn<QString>("problem"); // empty: the bundle verifies
    QTest::newRow("end records") << "zip64-end-records.zip" << QString();
    QTest::newRow("offset in the extra field") << "zip64-offset-extra.zip" << QString();
    QTest::newRow("counts disagree") << "zip64-count-disagrees.zip"
                                     << "the ZIP64 end record disagrees with the end record";
    QTest::newRow("huge claims") << "zip64-huge-claims.zip"
                                 << "does not end where the ZIP64 end record begins";
    QTest::newRow("locator astray") << "zip64-locator-astray.zip"
                                    << "the ZIP64 end record is not where its locator says";
    QTest::newRow("extra too short") << "zip64-extra-too-short.zip"
                                     << "its ZIP64 extra field holds 4 bytes where 8 are due";
    QTest::newRow("extra past its record") << "zip64-extra-past-record.zip"
                                           << "has an extra field that runs past its end";
    QTest::newRow("offset beyond the file") << "zip64-offset-beyond-file.zip"
                                            << "gives a size or offset beyond the archive's";
}

void TestBundleVerifier::zip64RecordsAreCheckedBeforeTrusted()
{
    QFETCH(QString, seed);
    QFETCH(QString, problem);
    const QString zip = m_dir.filePath(seed);
    QFile::remove(zip);
    QVERIFY(QFile::copy(QStringLiteral(TESSAVO_VERIFYZIP_CORPUS "/") + seed, zip));
    const BundleVerification result =
        verifyBundle(zip, [](const QString&) { return Status::success(); });
    if (problem.isEmpty()) {
        QVERIFY2(result.ok(), qPrintable(result.problems.join('\n')));
        QCOMPARE(result.zipEntries, 5);
    } else {
        QVERIFY2(anyProblemContains(result, problem), qPrintable(result.problems.join('\n')));
    }
}

void TestBundleVerifier::claimsBeyondTheFileCostNothing()
{
    const qint64 before = peakMiB();
    // An end record that claims a central directory of almost 4 GiB in a sparse file that size.
    const QString sparse = m_dir.filePath("sparse.zip");
    {
        QFile file(sparse);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const qint64 directory = 0xFFFFFFF0;
        QVERIFY(file.resize(directory));
        QByteArray end(22, '\0');
        put32(end, 0, 0x06054B50);
        put16(end, 8, 1);
        put16(end, 10, 1);
        put32(end, 12, quint32(directory));
        QVERIFY(file.seek(directory));
        QCOMPARE(file.write(end), 22);
    }
    BundleVerification result = verifyBundle(sparse);
    QCOMPARE(result.problems, QStringList{"sparse.zip: central directory record 1 is damaged"});
    QVERIFY(QFile::remove(sparse));

    // A million central records behind an end record that counts 16,960 of them (the low bits).
    const int records = 1000000;
    QByteArray record(47, '\0');
    put32(record, 0, 0x02014B50);
    put16(record, 28, 1);
    record[46] = 'a';
    QByteArray zip = record.repeated(records);
    QByteArray end(22, '\0');
    put32(end, 0, 0x06054B50);
    put16(end, 8, quint16(records));
    put16(end, 10, quint16(records));
    put32(end, 12, quint32(zip.size()));
    zip += end;
    const QString many = m_dir.filePath("million.zip");
    QVERIFY(PdfFixtures::writeBytes(many, zip));
    zip.clear();
    result = verifyBundle(many);
    QCOMPARE(result.problems, QStringList{"million.zip: the central directory holds more records "
                                          "than the 16960 the end record counts"});

    // A manifest of 8 MiB of line feeds (at the old 120 bytes of memory per byte, a gigabyte).
    const QString folder = copyOfBundle();
    QList<QPair<QString, QByteArray>> entries = readZip(zipOf(folder));
    QByteArray& manifest = entries.first().second;
    manifest.truncate(manifest.indexOf('\n') + 1);
    manifest += QByteArray(8 << 20, '\n');
    QVERIFY(writeZip(zipOf(folder), entries));
    entries.clear();
    result = verifyBundle(zipOf(folder));
    QVERIFY(result.problemCount > 8000000);
    QCOMPARE(result.problems.size(), 101);
    QVERIFY2(peakMiB() - before < 400, qPrintable(QString::number(peakMiB() - before)));
}

void TestBundleVerifier::problemsAreCapped()
{
    const QString folder = copyOfBundle();
    QList<QPair<QString, QByteArray>> entries = readZip(zipOf(folder));
    QByteArray& manifest = entries.first().second;
    manifest += QByteArray("x\n").repeated(250);
    QVERIFY(writeZip(zipOf(folder), entries));
    const BundleVerification result = verifyBundle(zipOf(folder));
    QCOMPARE(result.problemCount, 250);
    QCOMPARE(result.problems.size(), 101);
    QCOMPARE(result.problems.first(),
             "Tessavo-Export.zip/manifest.csv: line 8: 1 values instead of 13");
    QCOMPARE(result.problems.last(), QStringLiteral("… and 150 more problems"));
}

void TestBundleVerifier::folderHoldsOnlyRegularListedFiles()
{
    const auto encoded = [](const QString& path) {
        return QFile::encodeName(path);
    };
    // manifest.csv as a FIFO must not block, nor as a link to an endless device.
    QString folder = copyOfBundle();
    QVERIFY(QFile::remove(folder + "/manifest.csv"));
    QCOMPARE(::mkfifo(encoded(folder + "/manifest.csv").constData(), 0600), 0);
    BundleVerification result = verifyBundle(folder);
    QCOMPARE(result.problems, QStringList{"Tessavo-Export/manifest.csv: cannot be read: it is "
                                          "not a regular file"});

    folder = copyOfBundle();
    QVERIFY(QFile::remove(folder + "/manifest.csv"));
    QVERIFY(QFile::link("/dev/zero", folder + "/manifest.csv"));
    result = verifyBundle(folder);
    QCOMPARE(result.problems, QStringList{"Tessavo-Export/manifest.csv: cannot be read: it is a "
                                          "link, not a file"});

    // A link stored in place of an original, even to the very same bytes, is no original.
    folder = copyOfBundle();
    const QString scan = folder + "/originals/forms/scan.pdf";
    QVERIFY(QFile::rename(scan, folder + "/../scan.pdf"));
    QVERIFY(QFile::link(folder + "/../scan.pdf", scan));
    QVERIFY(QFile::link(m_bundle + "/index.pdf", folder + "/originals/index-link.pdf"));
    QCOMPARE(::mkfifo(encoded(folder + "/originals/pipe.pdf").constData(), 0600), 0);
    QVERIFY(PdfFixtures::writeBytes(folder + "/notes.txt", "not part of it"));
    QVERIFY(QDir().mkpath(folder + "/originals/deeper/still"));
    QVERIFY(PdfFixtures::writeBytes(folder + "/originals/deeper/still/x.pdf", "%PDF"));
    QVERIFY(QFile::remove(folder + "/index.pdf"));
    QVERIFY(QFile::link(m_bundle + "/index.pdf", folder + "/index.pdf"));
    result = verifyBundle(folder);
    QStringList problems = result.problems;
    problems.sort();
    QCOMPARE(problems,
             (QStringList{
                 "Tessavo-Export/index.pdf: cannot be read: it is a link, not a file",
                 "Tessavo-Export/notes.txt: is not part of a bundle",
                 "Tessavo-Export/originals/deeper/still/x.pdf: not listed in manifest.csv",
                 "Tessavo-Export/originals/forms/scan.pdf: cannot be read: it is a link, not a "
                 "file",
                 "Tessavo-Export/originals/forms/scan.pdf: is a link; a bundle holds only files",
                 "Tessavo-Export/originals/index-link.pdf: is a link; a bundle holds only files",
                 "Tessavo-Export/originals/pipe.pdf: is not a regular file; a bundle holds only "
                 "files",
             }));

    // The ZIP itself as a FIFO.
    folder = copyOfBundle();
    QVERIFY(QFile::remove(zipOf(folder)));
    QCOMPARE(::mkfifo(encoded(zipOf(folder)).constData(), 0600), 0);
    for (const QString& path : {folder, zipOf(folder)}) {
        result = verifyBundle(path);
        QVERIFY2(anyProblemContains(result, "Tessavo-Export.zip: cannot be read: it is not a "
                                            "regular file"),
                 qPrintable(result.problems.join('\n')));
    }
}

void TestBundleVerifier::formulaNamesRoundTrip()
{
    const QString sources = m_dir.filePath("formulas");
    QVERIFY(QDir().mkpath(sources));
    const QStringList names = {"=HYPERLINK(\"https:__example.invalid\";\"Open\").pdf",
                               "@SUM(1+1).pdf", "+cmd|' _C calc'!A0.pdf", "-minus.pdf",
                               "'=quoted.pdf"};
    QList<DocumentRecord> records;
    for (const QString& name : names) {
        QVERIFY(PdfFixtures::writeTextPdf(sources + '/' + name, {name}));
        records.append(inspectPdf(sources + '/' + name));
    }
    const ExportResult exported = buildExportBundle(
        records, {m_dir.filePath("out-formulas"), "Tessavo export", {}, {}, true});
    QVERIFY2(exported.ok, qPrintable(exported.error));
    for (const QString& path : {exported.directory, exported.zip}) {
        const BundleVerification result = verifyBundle(path);
        QVERIFY2(result.ok(), qPrintable(result.problems.join('\n')));
        QCOMPARE(result.manifestRows, names.size());
    }
    const ToolRun cells = runPython("import csv, sys\n"
                                    "rows = list(csv.reader(open(sys.argv[1], encoding="
                                    "'utf-8-sig', newline='')))\n"
                                    "print('\\n'.join(r[0] for r in rows[1:]))",
                                    {exported.csv});
    QVERIFY2(cells.ok(), cells.err);
    QStringList expected;
    for (const QString& name : names)
        expected.append(u'\'' + name);
    QCOMPARE(QString::fromUtf8(cells.out).trimmed().split('\n'), expected);
}

void TestBundleVerifier::namesThatAreNotUtf8Verify()
{
    // Two files whose Latin-1 names differ only in the byte that is not UTF-8.
    const QString sources = m_dir.filePath("latin");
    QVERIFY(QDir().mkpath(sources));
    QList<DocumentRecord> records;
    QList<QByteArray> raws;
    for (const char* name : {"caf\xE9.pdf", "caf\xE8.pdf"}) {
        const QByteArray raw = QFile::encodeName(sources) + '/' + name;
        const QString scratch = sources + "/scratch.pdf";
        QVERIFY(PdfFixtures::writeTextPdf(scratch, {QString("Latin-1 name %1").arg(raws.size())}));
        DocumentRecord record = inspectPdf(scratch);
        QCOMPARE(::rename(QFile::encodeName(scratch).constData(), raw.constData()), 0);
        record.sourcePath = QFile::decodeName(raw);
        record.sourcePathBytes = raw;
        record.fileName = record.sourcePath.section('/', -1);
        records << record;
        raws << raw;
    }
    const ExportResult exported =
        buildExportBundle(records, {m_dir.filePath("out-latin"), "Tessavo export", {}, {}, true});
    for (const QByteArray& raw : std::as_const(raws))
        QCOMPARE(::unlink(raw.constData()), 0); // QTemporaryDir cannot remove them by name
    QVERIFY2(exported.ok, qPrintable(exported.error));
    for (const QString& path : {exported.directory, exported.zip}) {
        const BundleVerification result = verifyBundle(path);
        QVERIFY2(result.ok(), qPrintable(result.problems.join('\n')));
        QCOMPARE(result.originals, path == exported.zip ? 2 : 4);
    }

    // The manifest shows the stray bytes escaped, so the rows stay apart; the index shows the same.
    const ToolRun cells = runPython("import csv, sys\n"
                                    "rows = list(csv.reader(open(sys.argv[1], encoding="
                                    "'utf-8-sig', newline='')))\n"
                                    "print('\\n'.join(r[0] + '|' + r[1] for r in rows[1:]))",
                                    {exported.csv});
    QVERIFY2(cells.ok(), cells.err);
    const QString base = displayText(sources);
    QCOMPARE(QString::fromUtf8(cells.out).trimmed().split('\n'),
             (QStringList{"caf\\xE9.pdf|" + base + "/caf\\xE9.pdf",
                          "caf\\xE8.pdf|" + base + "/caf\\xE8.pdf"}));
    const ToolRun text = runTool("pdftotext", {exported.pdf, "-"});
    QVERIFY2(text.out.contains("caf\\xE9.pdf") && text.out.contains("caf\\xE8.pdf"), text.out);

    // What unzip lists is what the verifier checked.
    const ToolRun listing = runTool("unzip", {"-Z1", exported.zip});
    QVERIFY2(listing.ok(), listing.err);
    QCOMPARE(listing.out, QByteArray("manifest.csv\nindex.pdf\noriginals/caf_-2.pdf\n"
                                     "originals/caf_.pdf\n"));
    QVERIFY(runTool("unzip", {"-tq", exported.zip}).ok());
}

TESSAVO_TEST_MAIN_WITH_WORKER(TestBundleVerifier)

#include "tst_bundleverifier.moc"
