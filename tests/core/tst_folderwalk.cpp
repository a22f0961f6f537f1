// The folder walk against trees a hostile package or a careless disk can hold: it never blocks,
// never loops, never reads through a link, and its list of what it left out stays bounded.
#include "core/FolderWalk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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

QStringList names(const QList<QByteArray>& paths, const QString& root)
{
    QStringList result;
    for (const QByteArray& path : paths)
        result.append(QDir(root).relativeFilePath(QFile::decodeName(path)));
    return result;
}

} // namespace

class TestFolderWalk : public QObject {
    Q_OBJECT

private slots:
    void bundleLookalikesNeitherBlockNorCount();
    void loopsEndAndSelfLinksAreWalkedOnce();
    void whatIsLeftOutIsBoundedButCounted();
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
