#include "bundle/BundleStaging.h"

#include "bundle/ExportBundle.h"
#include "bundle/PendingFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tessavo {

namespace {

const QString pendingPrefix =
    QRegularExpression::escape(BundleLayout::text(BundleLayout::pendingPrefix));
const QString stagingPattern =
    QStringLiteral(R"(%1\d{8}-\d{6}-partial-[A-Za-z0-9]{6})").arg(pendingPrefix);

// The hidden folder a bundle is built in.
const QRegularExpression stagingFolderName(QRegularExpression::anchoredPattern(stagingPattern));
// The ZIP or a volume of it beside it, and that file while its writer still has it under a
// temporary name.
const QRegularExpression stagingZipName(QRegularExpression::anchoredPattern(
    QStringLiteral("(%1)(-part\\d+)?\\.zip").arg(stagingPattern)));
const QRegularExpression stagingZipPartName(QRegularExpression::anchoredPattern(
    QStringLiteral("\\.(%1)(-part\\d+)?\\.zip\\.[0-9a-z]+\\.part").arg(stagingPattern)));
// A ZIP written straight under its final name by earlier versions, never finished.
const QRegularExpression unfinishedZipPartName(QRegularExpression::anchoredPattern(
    QStringLiteral(R"(%1\d{8}-\d{6}(-\d+)?\.zip\.[0-9a-z]+\.part)").arg(pendingPrefix)));

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

// Renames without ever replacing anything; returns 0 or the system's error number. Where the
// file system cannot refuse to replace, a folder first claims the name as an empty folder (which
// a rename may replace), a file through a hard link.
int renameNoReplace(const QString& from, const QString& to, bool folder)
{
    const QByteArray source = encoded(from);
    const QByteArray target = encoded(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    if (folder) {
        if (::mkdir(target.constData(), 0700) != 0)
            return errno;
        if (::rename(source.constData(), target.constData()) != 0) {
            const int error = errno;
            ::rmdir(target.constData());
            return error;
        }
        return 0;
    }
    if (::link(source.constData(), target.constData()) != 0)
        return errno;
    ::unlink(source.constData());
    return 0;
}

bool ownedBy(const struct stat& info)
{
    return info.st_uid == ::geteuid();
}

// A regular file of this user, not a link.
bool ownRegularFile(const QString& path)
{
    struct stat info {};
    return ::lstat(encoded(path).constData(), &info) == 0 && S_ISREG(info.st_mode) && ownedBy(info);
}

// A folder of this user holding nothing but folders and regular files of this user.
bool ownPlainTree(const QString& path)
{
    struct stat info {};
    if (::lstat(encoded(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode) || !ownedBy(info))
        return false;
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        if (::lstat(encoded(it.next()).constData(), &info) != 0 ||
            !(S_ISDIR(info.st_mode) || S_ISREG(info.st_mode)) || !ownedBy(info))
            return false;
    }
    return true;
}

// Opens and locks a folder for as long as the descriptor stays open; -1 when it cannot be opened
// or someone else holds it.
int lockFolder(const QString& path)
{
    const int fd =
        ::open(encoded(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

QString randomSuffix()
{
    static const char characters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString suffix;
    for (int i = 0; i < 6; ++i)
        suffix += QLatin1Char(characters[QRandomGenerator::global()->bounded(62)]);
    return suffix;
}

} // namespace

BundleStaging::~BundleStaging()
{
    if (m_published.isEmpty())
        discard();
    if (m_lock >= 0)
        ::close(m_lock);
}

bool BundleStaging::fail(const QString& reason)
{
    m_error = reason;
    return false;
}

bool BundleStaging::create(const QString& parent, const QString& name)
{
    if (!m_folder.isEmpty())
        return fail(qt_error_string(EBUSY));
    m_parent = parent;
    m_name = name;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate =
            QDir(parent).filePath(QStringLiteral(".%1-partial-%2").arg(name, randomSuffix()));
        // The bundle keeps the ordinary mode of a new folder: it is meant to be handed on.
        if (::mkdir(encoded(candidate).constData(), 0777) != 0) {
            if (errno == EEXIST)
                continue;
            return fail(qt_error_string(errno));
        }
        m_folder = candidate;
        m_lock = lockFolder(candidate);
        if (m_lock < 0) {
            const QString reason = qt_error_string(errno);
            discard();
            return fail(reason);
        }
        return true;
    }
    return fail(qt_error_string(EEXIST));
}

bool BundleStaging::publish()
{
    if (m_folder.isEmpty() || !m_published.isEmpty())
        return fail(qt_error_string(EINVAL));
    // The ZIP as one file, or each of its volumes: where each lies now and what follows the
    // folder's final name.
    QList<QPair<QString, QString>> zips;
    if (m_volumes == 0)
        zips.append({zipPath(), BundleLayout::text(BundleLayout::zipSuffix)});
    for (int number = 1; number <= m_volumes; ++number)
        zips.append({volumePath(number), BundleLayout::volumeSuffix(number)});
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        const QString candidate = uniqueExportDirectory(m_parent, m_name, m_volumes);
        error = renameNoReplace(m_folder, candidate, true);
        if (error == ENOTEMPTY)
            error = EEXIST;
        if (error != 0)
            continue;
        qsizetype renamed = 0;
        while (renamed < zips.size() &&
               (error = renameNoReplace(zips.at(renamed).first, candidate + zips.at(renamed).second,
                                        false)) == 0)
            ++renamed;
        if (renamed == zips.size()) {
            m_published = candidate;
            return true;
        }
        // Everything goes back, so nothing lies under a final name without the rest; what
        // cannot go back is removed.
        bool back = true;
        while (renamed > 0) {
            --renamed;
            const QString published = candidate + zips.at(renamed).second;
            if (renameNoReplace(published, zips.at(renamed).first, false) != 0) {
                QFile::remove(published);
                back = false;
            }
        }
        if (renameNoReplace(candidate, m_folder, true) != 0) {
            QDir(candidate).removeRecursively();
            back = false;
        }
        if (!back)
            return fail(qt_error_string(error));
    }
    return fail(qt_error_string(error));
}

QStringList BundleStaging::publishedVolumes() const
{
    QStringList paths;
    if (m_published.isEmpty())
        return paths;
    for (int number = 1; number <= m_volumes; ++number)
        paths.append(m_published + BundleLayout::volumeSuffix(number));
    return paths;
}

void BundleStaging::discard()
{
    if (m_folder.isEmpty())
        return;
    if (ownRegularFile(zipPath()))
        QFile::remove(zipPath());
    for (int number = 1; number <= m_volumes; ++number) {
        if (ownRegularFile(volumePath(number)))
            QFile::remove(volumePath(number));
    }
    QDir(m_folder).removeRecursively();
}

QStringList removeUnfinishedExports(const QString& parent)
{
    QStringList removed;
    const QDir folder(parent);
    const QStringList names =
        folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    // Folders first: a ZIP beside a folder that is still there belongs to a running export.
    for (const QString& name : names) {
        if (!stagingFolderName.match(name).hasMatch())
            continue;
        const QString path = folder.filePath(name);
        const int lock = lockFolder(path);
        if (lock < 0)
            continue; // an export is building it right now
        if (ownPlainTree(path) && QDir(path).removeRecursively())
            removed.append(name);
        ::close(lock);
    }
    for (const QString& name : names) {
        QString owner;
        if (const auto zip = stagingZipName.match(name); zip.hasMatch())
            owner = zip.captured(1);
        else if (const auto part = stagingZipPartName.match(name); part.hasMatch())
            owner = part.captured(1);
        else if (!unfinishedZipPartName.match(name).hasMatch())
            continue;
        if (!owner.isEmpty() && pathTaken(folder.filePath(owner)))
            continue;
        const QString path = folder.filePath(name);
        if (ownRegularFile(path) && QFile::remove(path))
            removed.append(name);
    }
    return removed;
}

} // namespace Tessavo
