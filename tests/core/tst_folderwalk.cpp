// The folder walk against trees a hostile package or a careless disk can hold: it never blocks,
// never loops, never reads through a link, and its list of what it left out stays bounded.
#include "core/FolderWalk.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>

using namespace Tessavo;

namespace {

bool touch(const QString& path, const QByteArray& bytes = "%PDF-1.4\n")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

const QByteArray manifestStart = "\xEF\xBB\xBF"
                                 "file,source_path,sha256,size_bytes,pages,text_pages,state,"
                                 "suggested_category,matched_rule,evidence,decision,final_category,"
                                 "note\n";

QStringList names(const QList<FileIdentity>& files, const QString& root)
{
    QStringList result;
    for (const FileIdentity& file : files)
        result.append(QDir(root).relativeFilePath(QFile::decodeName(file.path)));
    return result;
}

} // namespace

class TestFolderWalk : public QObject {
    Q_OBJECT

private slots:
    void bundleLookalikesNeitherBlockNorCount();
    void loopsEndAndSelfLinksAreWalkedOnce();
    void whatIsLeftOutIsBoundedButCounted();
    void eachFileIsSeenOnceWithItsSizeAndTime();
};

// A manifest that is a pipe or a link to an endless device is not read: the walk neither waits
// nor reads without end, and such a folder is not one of our bundles.
void TestFolderWalk::bundleLookalikesNeitherBlockNorCount()
{
    QTemporaryDir dir;
    const QString root = dir.path();
    for (const char* name : {"pipe", "zero", "real"}) {
        QVERIFY(touch(root + "/" + name + "/index.pdf"));
        QVERIFY(QDir().mkpath(root + "/" + name + "/originals"));
    }
    QCOMPARE(::mkfifo(QFile::encodeName(root + "/pipe/manifest.csv").constData(), 0600), 0);
    QVERIFY(QFile::link("/dev/zero", root + "/zero/manifest.csv"));
    QVERIFY(touch(root + "/real/manifest.csv", manifestStart + "x.pdf\n"));

    QVERIFY(!isExportedBundle(QFile::encodeName(root + "/pipe")));
    QVERIFY(!isExportedBundle(QFile::encodeName(root + "/zero")));
    QVERIFY(isExportedBundle(QFile::encodeName(root + "/real")));
    // One byte short of the header is not our header.
    QVERIFY(touch(root + "/short/index.pdf"));
    QVERIFY(QDir().mkpath(root + "/short/originals"));
    QVERIFY(touch(root + "/short/manifest.csv", manifestStart.chopped(1)));
    QVERIFY(!isExportedBundle(QFile::encodeName(root + "/short")));

    const FolderWalkResult walk = walkSelection({QFile::encodeName(root)});
    QCOMPARE(names(walk.pdfs, root),
             (QStringList{"pipe/index.pdf", "short/index.pdf", "zero/index.pdf"}));
    QCOMPARE(walk.skippedCount(), 1);
    QCOMPARE(walk.skipped.constFirst().reason, SkipReason::ExportedBundle);
}

void TestFolderWalk::loopsEndAndSelfLinksAreWalkedOnce()
{
    QTemporaryDir dir;
    const QString root = dir.path() + "/package";
    QVERIFY(touch(root + "/sub/a.pdf"));
    QVERIFY(QFile::link(root, root + "/sub/up"));
    QVERIFY(QFile::link(".", root + "/here"));
    QVERIFY(QFile::link("sub/a.pdf", root + "/b.pdf")); // relative, inside
    const FolderWalkResult walk = walkSelection({QFile::encodeName(root)});
    QCOMPARE(names(walk.pdfs, root), (QStringList{"b.pdf", "sub/a.pdf"}));
    QCOMPARE(walk.skippedCount(), 0);

    // The selected folder's own name may be a relative one.
    QVERIFY(QDir::setCurrent(dir.path()));
    QCOMPARE(walkSelection({"package"}).pdfs, walk.pdfs);
}

// The walk's one look at a file gives its identity: the bytes of its name, its size and its
// modification time to the nanosecond, whether found in a folder, through a link or named itself.
// A time that does not fit in nanoseconds is unknown rather than wrapped.
void TestFolderWalk::eachFileIsSeenOnceWithItsSizeAndTime()
{
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    const QByteArray latin1 = root + "/caf\xe9.pdf";
    const QByteArray far = root + "/far.pdf";
    {
        QFile file;
        QVERIFY(file.open(::fopen(latin1.constData(), "w"), QIODevice::WriteOnly,
                          QFileDevice::AutoCloseHandle));
        QCOMPARE(file.write("%PDF-1.4 twelve"), 15);
    }
    QVERIFY(touch(QFile::decodeName(far)));
    QVERIFY(QFile::link(QFile::decodeName(far), dir.filePath("link.pdf")));
    const struct timespec set[2] = {{0, UTIME_OMIT}, {1700000000, 123456789}};
    QCOMPARE(::utimensat(AT_FDCWD, latin1.constData(), set, 0), 0);
    // Year 3000: beyond what nanoseconds since the epoch can hold in 64 bits.
    const struct timespec later[2] = {{0, UTIME_OMIT}, {32503680000, 5}};
    QCOMPARE(::utimensat(AT_FDCWD, far.constData(), later, 0), 0);
    const auto removeLatin1 = qScopeGuard([&] { ::unlink(latin1.constData()); });

    const FolderWalkResult walk = walkSelection({root});
    QCOMPARE(walk.pdfs.size(), 3);
    QCOMPARE(walk.pdfs.at(0), (FileIdentity{latin1, 15, 1700000000123456789, {}}));
    QCOMPARE(walk.pdfs.at(1), (FileIdentity{far, 9, -1, {}}));
    QCOMPARE(walk.pdfs.at(2), (FileIdentity{root + "/link.pdf", 9, -1, {}}));
    // Named itself, the file gives the same identity, and the same as a look at it now.
    QCOMPARE(walkSelection({latin1}).pdfs, QList<FileIdentity>{walk.pdfs.at(0)});
    QCOMPARE(currentIdentity(latin1), walk.pdfs.at(0));

    QCOMPARE(nanosecondsFromMilliseconds(1700000000123), 1700000000123000000);
    QCOMPARE(nanosecondsFromMilliseconds(-1), -1);
    QCOMPARE(nanosecondsFromMilliseconds(std::numeric_limits<qint64>::max() / 1000), -1);
}

void TestFolderWalk::whatIsLeftOutIsBoundedButCounted()
{
    QTemporaryDir dir;
    for (int i = 0; i <= maxListedSkips; ++i)
        QVERIFY(touch(dir.filePath(QStringLiteral(".hidden-%1.pdf").arg(i))));
    QVERIFY(touch(dir.filePath("shown.pdf")));
    const FolderWalkResult walk = walkSelection({QFile::encodeName(dir.path())});
    QCOMPARE(walk.pdfs.size(), 1);
    QCOMPARE(walk.skipped.size(), maxListedSkips);
    QCOMPARE(walk.skippedCount(), maxListedSkips + 1);
    QVERIFY(!walk.lostSomething()); // hidden files are not the package's
    QCOMPARE(skippedCountsText(walk), QStringLiteral("1001 hidden"));
}

QTEST_APPLESS_MAIN(TestFolderWalk)

#include "tst_folderwalk.moc"
