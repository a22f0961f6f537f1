#include "bundle/ZipReader.h"
#include "bundle/ZipWriter.h"
#include "support/ExternalTool.h"
#include "support/PdfFixtures.h"
#include "support/UserRun.h"
#include "support/ZipReading.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <csignal>
#include <memory>
#include <sys/resource.h>

using namespace Tessavo;
using namespace ZipReading;

namespace {

// Lists the archive with Python's zipfile, checking every CRC: "name<TAB>size<TAB>hexdata".
const QByteArray listWithPython = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    if bad is not None:
        sys.exit('bad CRC in ' + bad)
    for info in z.infolist():
        print(info.filename + '\t' + str(info.file_size) + '\t' + z.read(info).hex())
)";

} // namespace

class TestZipWriter : public QObject {
    Q_OBJECT

private slots:
    void emptyArchiveIsTheEndRecordOnly();
    void headersAreLaidOutExactly();
    void readableByRealClients();
    void entryNames_data();
    void entryNames();
    void duplicatesAreExactAndCaseSensitive();
    void checksComeInTheirOrder();
    void openOnlyOnce();
    void abandonedArchiveLeavesNothing();
    void fullDiskLeavesNothingUnderTheName();
    void cancelledArchiveLeavesNothing();
    void neverReplacesOrWritesThroughWhatLiesAtItsName();
    void extractorsGiveReadableFiles();
    void classicArchivesAreUnchanged();
    void manyEntriesUseZip64();
    void dosTimes();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    // Hidden files left in the test folder: unfinished archives.
    QStringList hiddenFiles() const
    {
        return QDir(m_dir.path())
            .entryList(QDir::Files | QDir::Hidden | QDir::System)
            .filter(QRegularExpression("^\\."));
    }
    QTemporaryDir m_dir;
};

void TestZipWriter::emptyArchiveIsTheEndRecordOnly()
{
    ZipWriter zip(path("empty.zip"));
    QVERIFY(zip.open());
    QVERIFY(zip.finish());
    const QByteArray bytes = PdfFixtures::readBytes(path("empty.zip"));
    QCOMPARE(bytes, QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
    QVERIFY(!zip.finish());
    QCOMPARE(zip.errorString(), QStringLiteral("ZIP archive is not open"));
}

void TestZipWriter::headersAreLaidOutExactly()
{
    ZipWriter zip(path("layout.zip"));
    QVERIFY(zip.open());
    QVERIFY(zip.addData("check.txt", "123456789"));
    QVERIFY(zip.addData("dir/ü.txt", QByteArray()));
    QVERIFY(zip.finish());
    const QByteArray b = PdfFixtures::readBytes(path("layout.zip"));

    // First local header at 0.
    QCOMPARE(at32(b, 0), 0x04034B50u);
    QCOMPARE(at16(b, 4), quint16(20));
    QCOMPARE(at16(b, 6), quint16(0x0800));
    QCOMPARE(at16(b, 8), quint16(0));
    QCOMPARE(at32(b, 14), 0xCBF43926u); // CRC-32 check value
    QCOMPARE(at32(b, 18), 9u);
    QCOMPARE(at32(b, 22), 9u);
    QCOMPARE(at16(b, 26), quint16(9));
    QCOMPARE(at16(b, 28), quint16(0));
    QCOMPARE(b.mid(30, 9), QByteArray("check.txt"));
    QCOMPARE(b.mid(39, 9), QByteArray("123456789"));

    // Second local header right behind: 30 + name + data of the first.
    const qsizetype second = 30 + 9 + 9;
    const QByteArray name = QStringLiteral("dir/ü.txt").toUtf8();
    QCOMPARE(at32(b, second), 0x04034B50u);
    QCOMPARE(at32(b, second + 14), 0u); // CRC of no data
    QCOMPARE(at32(b, second + 18), 0u);
    QCOMPARE(at16(b, second + 26), quint16(name.size()));
    QCOMPARE(b.mid(second + 30, name.size()), name);

    // Central directory and end record.
    const qsizetype directory = second + 30 + name.size();
    QCOMPARE(at32(b, directory), 0x02014B50u);
    QCOMPARE(at16(b, directory + 4), quint16(0x0314));
    QCOMPARE(at16(b, directory + 8), quint16(0x0800));
    QCOMPARE(at32(b, directory + 16), 0xCBF43926u);
    QCOMPARE(at32(b, directory + 38), 0100644u << 16); // Unix mode -rw-r--r--
    QCOMPARE(at32(b, directory + 42), 0u);
    const qsizetype secondCentral = directory + 46 + 9;
    QCOMPARE(at32(b, secondCentral + 42), quint32(second));
    // Both central entries carry the one time taken when finishing.
    QCOMPARE(at32(b, directory + 12), at32(b, secondCentral + 12));
    const qsizetype end = secondCentral + 46 + name.size();
    QCOMPARE(b.size(), end + 22);
    QCOMPARE(at32(b, end), 0x06054B50u);
    QCOMPARE(at16(b, end + 8), quint16(2));
    QCOMPARE(at16(b, end + 10), quint16(2));
    QCOMPARE(at32(b, end + 12), quint32(end - directory));
    QCOMPARE(at32(b, end + 16), quint32(directory));
}

void TestZipWriter::readableByRealClients()
{
    const QByteArray big(3 * 1024 * 1024 + 17, 'x'); // spans several streaming chunks
    QFile source(path("big.bin"));
    QVERIFY(source.open(QIODevice::WriteOnly));
    source.write(big);
    source.close();

    ZipWriter zip(path("clients.zip"));
    QVERIFY(zip.open());
    QVERIFY(zip.addData("a.txt", "alpha"));
    QVERIFY(zip.addFile("nested/big.bin", path("big.bin")));
    QVERIFY(zip.addData("Grüße/ñ.txt", "unicode name"));
    QVERIFY(zip.finish());

    const ToolRun unzip = runTool("unzip", {"-t", path("clients.zip")});
    QVERIFY2(unzip.ok(), unzip.out + unzip.err);
    const ToolRun python = runPython(listWithPython, {path("clients.zip")});
    QVERIFY2(python.ok(), python.err);
    const QList<QByteArray> lines = python.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QByteArray("a.txt\t5\t") + QByteArray("alpha").toHex());
    QCOMPARE(lines[1],
             QByteArray("nested/big.bin\t") + QByteArray::number(big.size()) + '\t' + big.toHex());
    QCOMPARE(lines[2],
             QStringLiteral("Grüße/ñ.txt\t12\t").toUtf8() + QByteArray("unicode name").toHex());
}

void TestZipWriter::entryNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("error");
    QTest::newRow("empty") << ""
                           << "ZIP entry name is empty";
    QTest::newRow("absolute") << "/a"
                              << "ZIP entry name must be relative and use forward slashes: /a";
    QTest::newRow("backslash") << "a\\b"
                               << "ZIP entry name must be relative and use forward slashes: a\\b";
    QTest::newRow("parent piece") << "a/../b"
                                  << "ZIP entry escapes the archive: a/../b";
    QTest::newRow("two dots") << ".."
                              << "ZIP entry escapes the archive: ..";
    QTest::newRow("trailing parent") << "a/.."
                                     << "ZIP entry escapes the archive: a/..";
    QTest::newRow("dots inside a piece") << "..a"
                                         << "";
    QTest::newRow("dots in the middle") << "a..b"
                                        << "";
    QTest::newRow("single dot") << "./a"
                                << "";
    QTest::newRow("empty piece") << "a//b"
                                 << "";
    QTest::newRow("drive-like") << "C:/x"
                                << "";
    QTest::newRow("trailing slash") << "dir/"
                                    << "";
}

void TestZipWriter::entryNames()
{
    QFETCH(QString, name);
    QFETCH(QString, error);
    const Status check = ZipWriter::validateEntryName(name.toUtf8());
    QCOMPARE(check.ok, error.isEmpty());
    QCOMPARE(check.error, error);

    ZipWriter zip(path("names.zip"));
    QVERIFY(zip.open());
    QCOMPARE(zip.addData(name, "x"), error.isEmpty());
    QCOMPARE(zip.errorString(), error);
}

void TestZipWriter::duplicatesAreExactAndCaseSensitive()
{
    ZipWriter zip(path("dup.zip"));
    QVERIFY(zip.open());
    QVERIFY(zip.addData("Report.pdf", "1"));
    QVERIFY(zip.addData("report.pdf", "2"));
    const qint64 sizeBefore = QFileInfo(path("dup.zip")).size();
    QVERIFY(!zip.addData("Report.pdf", "3"));
    QCOMPARE(zip.errorString(), QStringLiteral("duplicate ZIP entry: Report.pdf"));
    QVERIFY(zip.finish());
    QVERIFY(QFileInfo(path("dup.zip")).size() > sizeBefore);
    const ToolRun python = runPython(listWithPython, {path("dup.zip")});
    QCOMPARE(python.out.count('\n'), 2);
}

void TestZipWriter::checksComeInTheirOrder()
{
    ZipWriter never(path("never.zip"));
    QVERIFY(!never.addData("fine.txt", "x"));
    QCOMPARE(never.errorString(), QStringLiteral("ZIP archive is not open"));
    QVERIFY(!never.addData("", "x"));
    QCOMPARE(never.errorString(),
             QStringLiteral("ZIP entry name is empty")); // the name is examined first
    QVERIFY(!never.addFile("", path("missing.bin")));
    QVERIFY2(
        never.errorString().startsWith(QStringLiteral("cannot read %1: ").arg(path("missing.bin"))),
        qPrintable(never.errorString())); // the source is opened before the name is examined
    QVERIFY(!QFile::exists(path("never.zip")));

    ZipWriter zip(path("order.zip"));
    QVERIFY(zip.open());
    QVERIFY(zip.errorString().isEmpty());
    QVERIFY(!zip.open());
    QVERIFY(zip.addData("fine.txt", "x"));
    // Success leaves the reason for the last failure alone, as QIODevice does.
    QCOMPARE(zip.errorString(), QStringLiteral("ZIP archive is already open"));
}

void TestZipWriter::openOnlyOnce()
{
    ZipWriter zip(path("once.zip"));
    QVERIFY(zip.open());
    QVERIFY(!zip.open());
    QCOMPARE(zip.errorString(), QStringLiteral("ZIP archive is already open"));
    QVERIFY(zip.finish());
    QVERIFY(!zip.open());
    QCOMPARE(zip.errorString(), QStringLiteral("ZIP archive is already open"));
    QVERIFY(!zip.addData("late.txt", "x"));
    QCOMPARE(zip.errorString(), QStringLiteral("ZIP archive is not open"));

    ZipWriter nowhere(path("no/such/folder/x.zip"));
    QVERIFY(!nowhere.open());
    QVERIFY(nowhere.errorString().startsWith(
        QStringLiteral("cannot create %1: ").arg(path("no/such/folder/x.zip"))));
    QVERIFY(nowhere.open() == false); // a failed open leaves it closed, not half-open
}

void TestZipWriter::abandonedArchiveLeavesNothing()
{
    {
        ZipWriter zip(path("abandoned.zip"));
        QVERIFY(zip.open());
        QVERIFY(zip.addData("one.txt", "1"));
        QVERIFY(zip.addData("two.txt", "22"));
        QVERIFY(!zip.addData("../three.txt", "333"));
        QVERIFY(!QFileInfo::exists(path("abandoned.zip"))); // not before it is complete
        QCOMPARE(hiddenFiles().size(), 1);
    }
    QVERIFY(!QFileInfo::exists(path("abandoned.zip")));
    QVERIFY(hiddenFiles().isEmpty());
}

void TestZipWriter::fullDiskLeavesNothingUnderTheName()
{
    // A file size limit stands in for a full disk: writes past it fail with the system's reason.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &previous) == 0);
    const auto limitTo = [&previous](rlim_t bytes) {
        const rlimit tight{bytes, previous.rlim_max};
        return setrlimit(RLIMIT_FSIZE, &tight) == 0;
    };

    // The central directory and end record do not fit.
    auto zip = std::make_unique<ZipWriter>(path("limited.zip"));
    QVERIFY(zip->open());
    QVERIFY(zip->addData("a.txt", QByteArray(100, 'a')));
    QVERIFY(limitTo(200));
    const bool finished = zip->finish();
    QVERIFY(setrlimit(RLIMIT_FSIZE, &previous) == 0);
    QVERIFY(!finished);
    QVERIFY2(zip->errorString().startsWith(QStringLiteral("failed to")),
             qPrintable(zip->errorString()));
    QVERIFY2(zip->errorString().endsWith(QStringLiteral(": File too large")),
             qPrintable(zip->errorString()));
    QVERIFY(!zip->finish()); // beyond repair
    QCOMPARE(zip->errorString(), QStringLiteral("ZIP archive is not open"));
    zip.reset();
    QVERIFY(!QFileInfo::exists(path("limited.zip")));
    QVERIFY(hiddenFiles().isEmpty());

    // Entry data that does not fit.
    ZipWriter data(path("limited-data.zip"));
    QVERIFY(data.open());
    QVERIFY(limitTo(64 * 1024));
    const bool added = data.addData("big.bin", QByteArray(256 * 1024, 'b'));
    QVERIFY(setrlimit(RLIMIT_FSIZE, &previous) == 0);
    QVERIFY(!added);
    QCOMPARE(data.errorString(), QStringLiteral("failed to write ZIP entry data: File too large"));
    QVERIFY(!data.addData("small.txt", "x"));
    QVERIFY(!data.finish());
    QVERIFY(!QFileInfo::exists(path("limited-data.zip")));
    QVERIFY(hiddenFiles().isEmpty());
}

void TestZipWriter::cancelledArchiveLeavesNothing()
{
    QVERIFY(PdfFixtures::writeBytes(path("three-mib.bin"), QByteArray(3 << 20, 'c')));
    ZipWriter zip(path("cancelled.zip"));
    qint64 seen = 0;
    zip.setChunkHandler([&seen](qint64 bytes) {
        seen += bytes;
        return seen < (2 << 20);
    });
    QVERIFY(zip.open());
    QVERIFY(!zip.addFile("big.bin", path("three-mib.bin")));
    QCOMPARE(zip.errorString(), QStringLiteral("ZIP archive was cancelled"));
    QCOMPARE(seen, qint64(2 << 20)); // it stopped at the chunk that was refused
    QVERIFY(!zip.finish());
    QVERIFY(!QFileInfo::exists(path("cancelled.zip")));
    QVERIFY(hiddenFiles().isEmpty());
}

void TestZipWriter::neverReplacesOrWritesThroughWhatLiesAtItsName()
{
    // A file already there.
    QVERIFY(PdfFixtures::writeBytes(path("taken.zip"), "someone else's"));
    ZipWriter overFile(path("taken.zip"));
    QVERIFY(!overFile.open());
    QCOMPARE(overFile.errorString(),
             QStringLiteral("cannot create %1: File exists").arg(path("taken.zip")));
    QCOMPARE(PdfFixtures::readBytes(path("taken.zip")), QByteArray("someone else's"));

    // A link that points nowhere: following it would create its target.
    const QString target = path("link-target");
    QVERIFY(QFile::link(target, path("dangling.zip")));
    ZipWriter overLink(path("dangling.zip"));
    QVERIFY(!overLink.open());
    QCOMPARE(overLink.errorString(),
             QStringLiteral("cannot create %1: File exists").arg(path("dangling.zip")));
    QVERIFY(!QFileInfo::exists(target));

    // A link that appears while the archive is written.
    ZipWriter racing(path("racing.zip"));
    QVERIFY(racing.open());
    QVERIFY(racing.addData("a.txt", "a"));
    QVERIFY(QFile::link(target, path("racing.zip")));
    QVERIFY(!racing.finish());
    QCOMPARE(racing.errorString(),
             QStringLiteral("cannot create %1: File exists").arg(path("racing.zip")));
    QVERIFY(!QFileInfo::exists(target));
    QCOMPARE(QFileInfo(path("racing.zip")).symLinkTarget(), target);
    QVERIFY(hiddenFiles().isEmpty());
}

void TestZipWriter::extractorsGiveReadableFiles()
{
    ZipWriter zip(path("modes.zip"));
    QVERIFY(zip.open());
    QVERIFY(zip.addData("readme.txt", "read me"));
    QVERIFY(zip.addData("folder/", QByteArray()));
    QVERIFY(zip.addData("folder/inner.txt", "inside"));
    QVERIFY(zip.finish());

    // What the archive says: Unix modes 0644 and 0755.
    const ToolRun info = runTool("zipinfo", {path("modes.zip")});
    QVERIFY2(info.ok(), info.err);
    const QString listing = QString::fromUtf8(info.out);
    QVERIFY2(listing.contains(QRegularExpression("^-rw-r--r-- .* readme\\.txt$",
                                                 QRegularExpression::MultilineOption)),
             qPrintable(listing));
    QVERIFY(listing.contains(
        QRegularExpression("^drwxr-xr-x .* folder/$", QRegularExpression::MultilineOption)));
    QVERIFY(listing.contains(QRegularExpression("^-rw-r--r-- .* folder/inner\\.txt$",
                                                QRegularExpression::MultilineOption)));
    const ToolRun python = runPython(
        "import sys, zipfile\n"
        "for i in zipfile.ZipFile(sys.argv[1]).infolist(): print(oct(i.external_attr >> 16))",
        {path("modes.zip")});
    QCOMPARE(python.out, QByteArray("0o100644\n0o40755\n0o100644\n"));

    // Extracted by an ordinary user, each file can be read.
    const UserRun user;
    QVERIFY(user.isValid());
    for (const QString tool : {"unzip", "7z", "bsdtar"}) {
        const QString into = user.folder(tool);
        const QStringList extract =
            tool == "unzip" ? QStringList{"unzip", "-q", user.copy(path("modes.zip")), "-d", into}
            : tool == "7z" ? QStringList{"7z", "x", "-y", "-o" + into, user.copy(path("modes.zip"))}
                           : QStringList{"bsdtar", "-xf", user.copy(path("modes.zip")), "-C", into};
        const ToolRun extracted = user.run(extract);
        QVERIFY2(extracted.ok(), qPrintable(tool + ": " + extracted.out + extracted.err));
        const ToolRun read = user.run({"cat", into + "/readme.txt", into + "/folder/inner.txt"});
        QVERIFY2(read.ok(), qPrintable(tool + ": " + read.err));
        QCOMPARE(read.out, QByteArray("read meinside"));
        QVERIFY(QFileInfo(into + "/readme.txt").permissions().testFlag(QFile::ReadOther));
    }
}

// Archives that fit the classic format come out byte for byte as before ZIP64 was known: these
// digests are of the same archives written by the classic-only writer.
void TestZipWriter::classicArchivesAreUnchanged()
{
    const QDateTime clock(QDate(2026, 3, 4), QTime(5, 6, 8));
    {
        ZipWriter zip(path("fixed.zip"), clock);
        QVERIFY(zip.open());
        QVERIFY(zip.addData("manifest.csv", "\xEF\xBB\xBF"
                                            "file,size\nx.pdf,9\n"));
        QVERIFY(zip.addData("index.pdf", QByteArray("%PDF-1.4\n") + QByteArray(3000, 'i')));
        QVERIFY(zip.addData("originals/", QByteArray()));
        QVERIFY(zip.addData("originals/a/x.pdf", QByteArray(70000, '\0') + "tail"));
        QVERIFY(
            zip.addData(QString::fromUtf8("originals/b/\xC3\xBC.pdf"), QByteArray(2 << 20, 'u')));
        // Whole chunks of zeros are left as holes; they read back the same.
        QVERIFY(zip.addData("originals/c/zeros.pdf", QByteArray(3 << 20, 0)));
        QVERIFY(zip.finish());
    }
    QCOMPARE(sha256Of(path("fixed.zip")),
             QByteArray("e01f2eee271648345ae1c718d5b7e93e01f49964d0e276220754141f1742f94d"));

    // 65,534 entries: the most the classic end record counts without its marker.
    {
        ZipWriter zip(path("classic-most.zip"), clock);
        QVERIFY(zip.open());
        for (int i = 0; i < 65534; ++i) {
            if (!zip.addData(QString::number(i), QByteArray::number(i)))
                QFAIL(qPrintable(zip.errorString()));
        }
        QVERIFY(zip.finish());
    }
    QCOMPARE(sha256Of(path("classic-most.zip")),
             QByteArray("a42939cd77aa71b47eac48ddb8183e9b0cc1ddcdcf546d875d4537ff325bcc69"));
    QVERIFY(QFile::remove(path("classic-most.zip")));
}

// 65,535 entries and more: the end record's counts hold the marker and the ZIP64 end record the
// count (before, 65,535 entries were written with a count the verifier took for ZIP64).
void TestZipWriter::manyEntriesUseZip64()
{
    for (const int count : {65535, 70000}) {
        const QString zipPath = path(QStringLiteral("many-%1.zip").arg(count));
        {
            ZipWriter zip(zipPath);
            QVERIFY(zip.open());
            for (int i = 0; i < count; ++i) {
                if (!zip.addData(QStringLiteral("d/%1.txt").arg(i), QByteArray::number(i)))
                    QFAIL(qPrintable(zip.errorString()));
            }
            QVERIFY(zip.finish());
        }
        const qint64 size = QFileInfo(zipPath).size();
        const QByteArray tail = bytesAt(zipPath, size - 98, 98);
        QCOMPARE(at32(tail, 0), 0x06064B50u);
        QCOMPARE(at64(tail, 32), quint64(count));
        QCOMPARE(at16(tail, 76 + 10), quint16(0xFFFF));
        QVERIFY(at32(tail, 76 + 16) != 0xFFFFFFFFu); // the offset fits: it stays

        const Reading reading = readWithZipReader(zipPath);
        QVERIFY2(reading.problems.isEmpty(), qPrintable(reading.problems.join('\n')));
        QCOMPARE(reading.entries.size(), count);
        QVERIFY(reading.entries.last().readable);
    }
    // As the classic-only writer left 65,535 entries: the marker count with no ZIP64 record
    // behind it is taken as the count it is.
    QByteArray classic = PdfFixtures::readBytes(path("many-65535.zip"));
    classic.remove(classic.size() - 98, 76);
    QVERIFY(PdfFixtures::writeBytes(path("classic-65535.zip"), classic));
    const Reading old = readWithZipReader(path("classic-65535.zip"));
    QVERIFY2(old.problems.isEmpty(), qPrintable(old.problems.join('\n')));
    QCOMPARE(old.entries.size(), 65535);
    // Every entry tested by each of the usual readers.
    const QString zipPath = path("many-70000.zip");
    const ToolRun unzip = runTool("unzip", {"-tq", zipPath});
    QVERIFY2(unzip.ok(), unzip.out + unzip.err);
    const ToolRun sevenZip = runTool("7z", {"t", zipPath});
    QVERIFY2(sevenZip.ok() && sevenZip.out.contains("Files: 70000"), sevenZip.out + sevenZip.err);
    const ToolRun bsdtar = runTool("bsdtar", {"-tf", zipPath});
    QVERIFY2(bsdtar.ok(), bsdtar.err);
    QCOMPARE(bsdtar.out.count('\n'), 70000);
    const ToolRun python = runPython("import sys, zipfile\n"
                                     "z = zipfile.ZipFile(sys.argv[1])\n"
                                     "print(z.testzip(), len(z.infolist()), z.read('d/69999.txt'))",
                                     {zipPath});
    QVERIFY2(python.ok(), python.err);
    QCOMPARE(python.out, QByteArray("None 70000 b'69999'\n"));
}

void TestZipWriter::dosTimes()
{
    DosDateTime t = dosDateTime(QDateTime(QDate(2026, 12, 7), QTime(10, 15, 33)));
    QCOMPARE(t.time, quint16(10 * 2048 + 15 * 32 + 16));
    QCOMPARE(t.date, quint16(46 * 512 + 12 * 32 + 7));
    t = dosDateTime(QDateTime(QDate(1980, 1, 1), QTime(0, 0, 1)));
    QCOMPARE(t.time, quint16(0));
    QCOMPARE(t.date, quint16(33));
    t = dosDateTime(QDateTime(QDate(1979, 12, 31), QTime(23, 59, 59))); // clock before 1980
    QCOMPARE(t.date, quint16(33));
    QCOMPARE(t.time, quint16(0));
    t = dosDateTime(QDateTime(QDate(2108, 1, 1), QTime(0, 0)));
    QCOMPARE(t.date, quint16((127 << 9) | (12 << 5) | 31));
}

QTEST_GUILESS_MAIN(TestZipWriter)
#include "tst_zipwriter.moc"
