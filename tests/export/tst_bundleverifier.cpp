// Bundles written by the real export are checked, then damaged the ways a transfer or a hand
// edit damages them. Damaged archives are also given to unzip and Python, which must agree.
#include "export/BundleVerifier.h"
#include "export/ExportBundle.h"
#include "export/ZipWriter.h"
#include "inspection/PdfInspection.h"
#include "support/ExternalTool.h"
#include "support/PdfFixtures.h"

#include <QDir>
#include <QDirIterator>
#include <QGuiApplication>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

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
             (QStringList{"Tessavo-Export.zip/index.pdf: does not open: not a valid PDF file",
                          "Tessavo-Export/index.pdf: does not open: not a valid PDF file"}));
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

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    TestBundleVerifier test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_bundleverifier.moc"
