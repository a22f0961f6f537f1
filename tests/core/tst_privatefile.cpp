// The program's own files: private modes whatever the umask, never opened through a link, never
// blocking on a pipe, replaced atomically.
#include "core/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Tessavo;

namespace {

unsigned modeOf(const QString& path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return 0xffff;
    return status.st_mode & 07777;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestPrivateFile : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void writtenFilesArePrivateWhateverTheUmask();
    void linksAreReplacedNeverWrittenThrough();
    void onlyRegularFilesAreRead();
    void pipesNeverBlock();
    void existingFoldersAreMadePrivate();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    mode_t m_umask = 022;
};

void TestPrivateFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_umask = ::umask(0); // the most generous umask: nothing of it may show
}

void TestPrivateFile::cleanup()
{
    ::umask(m_umask);
}

void TestPrivateFile::writtenFilesArePrivateWhateverTheUmask()
{
    const QString folder = m_dir->filePath("data/sub");
    QVERIFY(makePrivateFolder(folder).ok);
    QCOMPARE(modeOf(folder), 0700u);
    const QString path = folder + "/settings.json";
    QVERIFY(writePrivateFile(path, "{}").ok);
    QCOMPARE(modeOf(path), 0600u);
    QCOMPARE(contentOf(path), QByteArray("{}"));
    QVERIFY(writePrivateFile(path, "{\"a\": 1}").ok);
    QCOMPARE(contentOf(path), QByteArray("{\"a\": 1}"));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList({"settings.json"}));

    const QString log = folder + "/tessavo.log";
    const int fd = openPrivateFileForAppend(log);
    QVERIFY(fd >= 0);
    ::close(fd);
    QCOMPARE(modeOf(log), 0600u);
    QVERIFY(createPrivateFile(folder + "/session.sqlite").ok);
    QCOMPARE(modeOf(folder + "/session.sqlite"), 0600u);
}

void TestPrivateFile::linksAreReplacedNeverWrittenThrough()
{
    const QString target = m_dir->filePath("someone-elses.json");
    QVERIFY(write(target, "theirs"));
    const QString path = m_dir->filePath("rules.json");
    QVERIFY(QFile::link(target, path));
    QCOMPARE(entryKind(path), EntryKind::Link);

    QVERIFY(!createPrivateFile(path).ok);
    QCOMPARE(openPrivateFileForAppend(path), -1);
    QCOMPARE(contentOf(target), QByteArray("theirs"));

    QVERIFY(writePrivateFile(path, "ours").ok);
    QCOMPARE(entryKind(path), EntryKind::RegularFile);
    QCOMPARE(contentOf(path), QByteArray("ours"));
    QCOMPARE(contentOf(target), QByteArray("theirs"));
}

void TestPrivateFile::onlyRegularFilesAreRead()
{
    const QString target = m_dir->filePath("target");
    QVERIFY(write(target, "secret"));
    const QString link = m_dir->filePath("link");
    QVERIFY(QFile::link(target, link));
    const PrivateRead throughLink = readPrivateFile(link, 1000);
    QVERIFY(!throughLink.ok);
    QVERIFY(!throughLink.missing);
    QCOMPARE(throughLink.error, QStringLiteral("not a regular file"));
    QVERIFY(throughLink.bytes.isEmpty());

    const PrivateRead folder = readPrivateFile(m_dir->path(), 1000);
    QCOMPARE(folder.error, QStringLiteral("not a regular file"));
    const PrivateRead missing = readPrivateFile(m_dir->filePath("none"), 1000);
    QVERIFY(missing.missing);
    const PrivateRead large = readPrivateFile(target, 5);
    QCOMPARE(large.error, QStringLiteral("larger than 5 bytes"));
    const PrivateRead whole = readPrivateFile(target, 6);
    QVERIFY(whole.ok);
    QCOMPARE(whole.bytes, QByteArray("secret"));
}

void TestPrivateFile::pipesNeverBlock()
{
    const QString fifo = m_dir->filePath("settings.json");
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    // Without a writer, a blocking open would never return; each of these answers at once.
    QCOMPARE(readPrivateFile(fifo, 1000).error, QStringLiteral("not a regular file"));
    QCOMPARE(openPrivateFileForAppend(fifo), -1);
    QVERIFY(!createPrivateFile(fifo).ok);
    QVERIFY(securePrivateFile(fifo).error == QStringLiteral("not a regular file"));
    QCOMPARE(entryKind(fifo), EntryKind::Other);
}

void TestPrivateFile::existingFoldersAreMadePrivate()
{
    const QString folder = m_dir->filePath("Tessavo");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
    QVERIFY(write(folder + "/session.sqlite", "x"));
    QVERIFY(::chmod(QFile::encodeName(folder + "/session.sqlite").constData(), 0644) == 0);
    const QString outside = m_dir->filePath("outside.txt");
    QVERIFY(write(outside, "y"));
    QVERIFY(::chmod(QFile::encodeName(outside).constData(), 0644) == 0);
    QVERIFY(QFile::link(outside, folder + "/link"));

    QVERIFY(securePrivateFolder(folder).ok);
    QCOMPARE(modeOf(folder), 0700u);
    QCOMPARE(modeOf(folder + "/session.sqlite"), 0600u);
    QCOMPARE(modeOf(outside), 0644u); // a link's target is not ours to change

    // A link in place of the folder is refused.
    QVERIFY(QFile::link(folder, m_dir->filePath("linked")));
    QVERIFY(!makePrivateFolder(m_dir->filePath("linked")).ok);
}

QTEST_GUILESS_MAIN(TestPrivateFile)
#include "tst_privatefile.moc"
