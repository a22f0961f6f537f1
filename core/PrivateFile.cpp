#include "core/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tessavo {

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString notRegular()
{
    return QStringLiteral("not a regular file");
}

// The bytes to hand to the system; empty for a path it cannot name (empty or holding a NUL).
QByteArray nativeName(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    return name.contains('\0') ? QByteArray() : name;
}

class Descriptor {
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

// Opens without following a link and without blocking on a pipe; the caller checks the kind.
int openNoFollow(const QByteArray& name, int flags, mode_t mode = 0)
{
    int fd = -1;
    do {
        fd = ::open(name.constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool isRegular(int fd)
{
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

bool fixMode(int fd)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return false;
    return (status.st_mode & 07777) == privateFileMode || ::fchmod(fd, privateFileMode) == 0;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += qsizetype(n);
    }
    return true;
}

} // namespace

EntryKind entryKind(const QString& path)
{
    const QByteArray name = nativeName(path);
    struct stat status {};
    if (name.isEmpty() || ::lstat(name.constData(), &status) != 0)
        return EntryKind::Missing;
    if (S_ISLNK(status.st_mode))
        return EntryKind::Link;
    return S_ISREG(status.st_mode) ? EntryKind::RegularFile : EntryKind::Other;
}

Status makePrivateFolder(const QString& folder)
{
    const QByteArray name = nativeName(folder);
    if (name.isEmpty())
        return Status::failure(QStringLiteral("no folder named"));
    struct stat status {};
    if (::lstat(name.constData(), &status) != 0) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (!QDir().mkpath(parent))
            return Status::failure(QStringLiteral("cannot create its parent folder"));
        if (::mkdir(name.constData(), privateFolderMode) != 0 && errno != EEXIST)
            return Status::failure(systemError(errno));
        if (::lstat(name.constData(), &status) != 0)
            return Status::failure(systemError(errno));
    }
    if (S_ISLNK(status.st_mode) || !S_ISDIR(status.st_mode))
        return Status::failure(QStringLiteral("not a folder"));
    if ((status.st_mode & 07777) != privateFolderMode &&
        ::chmod(name.constData(), privateFolderMode) != 0)
        return Status::failure(systemError(errno));
    return Status::success();
}

Status securePrivateFile(const QString& path)
{
    const QByteArray name = nativeName(path);
    if (name.isEmpty())
        return Status::success();
    const Descriptor fd(openNoFollow(name, O_RDONLY));
    if (fd.get() < 0) {
        const int error = errno;
        if (error == ENOENT)
            return Status::success();
        // A file its owner cannot read still gets its mode fixed.
        struct stat status {};
        if (error == EACCES && ::lstat(name.constData(), &status) == 0 && S_ISREG(status.st_mode) &&
            ::chmod(name.constData(), privateFileMode) == 0)
            return Status::success();
        return Status::failure(error == ELOOP ? notRegular() : systemError(error));
    }
    if (!isRegular(fd.get()))
        return Status::failure(notRegular());
    if (!fixMode(fd.get()))
        return Status::failure(systemError(errno));
    return Status::success();
}

Status securePrivateFolder(const QString& folder)
{
    const Status made = makePrivateFolder(folder);
    if (!made.ok)
        return made;
    DIR* dir = ::opendir(nativeName(folder).constData());
    if (!dir)
        return Status::failure(systemError(errno));
    QStringList files;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_type == DT_REG || entry->d_type == DT_UNKNOWN)
            files.append(QFile::decodeName(entry->d_name));
    }
    ::closedir(dir);
    Status result = Status::success();
    for (const QString& file : std::as_const(files)) {
        const QString path = folder + u'/' + file;
        if (entryKind(path) != EntryKind::RegularFile)
            continue;
        const Status secured = securePrivateFile(path);
        if (!secured.ok && result.ok)
            result = Status::failure(QStringLiteral("%1: %2").arg(file, secured.error));
    }
    return result;
}

PrivateRead readPrivateFile(const QString& path, qint64 maxBytes)
{
    PrivateRead result;
    const QByteArray name = nativeName(path);
    const Descriptor fd(name.isEmpty() ? -1 : openNoFollow(name, O_RDONLY));
    if (fd.get() < 0) {
        const int error = name.isEmpty() ? ENOENT : errno;
        result.missing = error == ENOENT;
        result.error = error == ELOOP ? notRegular() : systemError(error);
        return result;
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        result.error = systemError(errno);
        return result;
    }
    if (!S_ISREG(status.st_mode)) {
        result.error = notRegular();
        return result;
    }
    const QString tooLarge = QStringLiteral("larger than %1 bytes").arg(maxBytes);
    if (qint64(status.st_size) > maxBytes) {
        result.error = tooLarge;
        return result;
    }
    // At most one byte beyond the limit: a file that grows meanwhile is refused too.
    QByteArray bytes;
    bytes.reserve(qsizetype(status.st_size) + 1);
    char block[65536];
    while (bytes.size() <= maxBytes) {
        const size_t want =
            size_t(std::min<qint64>(qint64(sizeof block), maxBytes + 1 - bytes.size()));
        const ssize_t got = ::read(fd.get(), block, want);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result.error = systemError(errno);
            return result;
        }
        if (got == 0)
            break;
        bytes.append(block, qsizetype(got));
    }
    if (bytes.size() > maxBytes) {
        result.error = tooLarge;
        return result;
    }
    result.ok = true;
    result.bytes = std::move(bytes);
    return result;
}

Status writePrivateFile(const QString& path, const QByteArray& bytes)
{
    const QByteArray name = nativeName(path);
    if (name.isEmpty())
        return Status::failure(QStringLiteral("no file named"));
    QByteArray temporary = name + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC); // created 0600
    if (fd < 0)
        return Status::failure(systemError(errno));
    bool ok = ::fchmod(fd, privateFileMode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temporary.constData(), name.constData()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary.constData());
        return Status::failure(systemError(error));
    }
    return Status::success();
}

Status createPrivateFile(const QString& path)
{
    const QByteArray name = nativeName(path);
    if (name.isEmpty())
        return Status::failure(QStringLiteral("no file named"));
    const Descriptor fd(openNoFollow(name, O_WRONLY | O_CREAT, privateFileMode));
    if (fd.get() < 0)
        return Status::failure(errno == ELOOP || errno == ENXIO ? notRegular()
                                                                : systemError(errno));
    if (!isRegular(fd.get()))
        return Status::failure(notRegular());
    if (!fixMode(fd.get()))
        return Status::failure(systemError(errno));
    return Status::success();
}

int openPrivateFileForAppend(const QString& path)
{
    const QByteArray name = nativeName(path);
    if (name.isEmpty())
        return -1;
    Descriptor fd(openNoFollow(name, O_WRONLY | O_APPEND | O_CREAT, privateFileMode));
    if (fd.get() < 0 || !isRegular(fd.get()) || !fixMode(fd.get()))
        return -1;
    return fd.release();
}

PrivateJsonRead readPrivateJsonObject(const QString& path, qint64 maxBytes,
                                      const QString& notAnObject)
{
    PrivateJsonRead reading;
    if (path.isEmpty()) {
        reading.missing = true;
        return reading;
    }
    const PrivateRead file = readPrivateFile(path, maxBytes);
    if (!file.ok) {
        reading.missing = file.missing;
        reading.error = file.error;
        return reading;
    }
    QJsonParseError parsed{};
    const QJsonDocument document = QJsonDocument::fromJson(file.bytes, &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject()) {
        reading.error = notAnObject;
        return reading;
    }
    reading.object = document.object();
    reading.ok = true;
    return reading;
}

} // namespace Tessavo
