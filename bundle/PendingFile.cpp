#include "bundle/PendingFile.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace Tessavo {

namespace {

// Renames without ever replacing: fails with EEXIST when anything, a dangling link included,
// lies at to. Falls back to link and unlink on file systems without renameat2.
int renameNoReplace(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    if (::link(source.constData(), target.constData()) != 0)
        return errno;
    ::unlink(source.constData());
    return 0;
}

} // namespace

bool writeAll(QIODevice& device, const char* data, qint64 size)
{
    for (qint64 done = 0; done < size;) {
        const qint64 written = device.write(data + done, size - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

bool pathTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

PendingFile::PendingFile(const QString& finalPath)
    : m_finalPath(finalPath)
{}

PendingFile::~PendingFile()
{
    if (!m_committed)
        discard();
}

bool PendingFile::fail(const QString& reason)
{
    m_error = reason;
    return false;
}

bool PendingFile::open(QIODevice::OpenMode mode)
{
    if (m_file.isOpen() || m_committed)
        return fail(qt_error_string(EBUSY));
    const QFileInfo target(m_finalPath);
    // The name stays short enough for any file system whatever the final name's length.
    const QString stem = QStringLiteral("%1/.%2.").arg(target.path(), target.fileName().left(64));
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString candidate = stem +
                                  QString::number(QRandomGenerator::global()->generate64(), 36) +
                                  QStringLiteral(".part");
        m_file.setFileName(candidate);
        // NewOnly creates exclusively: an existing file or link at the name makes it fail.
        // Unbuffered: every write reaches the system at once, so its failure and the system's
        // reason are known at that write.
        if (m_file.open(mode | QIODevice::NewOnly | QIODevice::Unbuffered))
            return true;
        if (!pathTaken(candidate))
            break;
    }
    const QString reason = m_file.errorString();
    m_file.setFileName(QString());
    return fail(reason);
}

bool PendingFile::write(const char* data, qint64 size)
{
    return writeAll(m_file, data, size) || fail(m_file.errorString());
}

Status syncFileSystem(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Status::failure(qt_error_string(errno));
    const int synced = ::syncfs(fd);
    const int error = errno;
    ::close(fd);
    if (synced != 0)
        return Status::failure(qt_error_string(error));
    return Status::success();
}

bool PendingFile::commit()
{
    if (!m_file.isOpen())
        return fail(qt_error_string(EBADF));
    if (m_file.error() != QFileDevice::NoError) {
        const QString reason = m_file.errorString();
        discard();
        return fail(reason);
    }
    if (!m_syncedLater && ::fsync(m_file.handle()) != 0) {
        const QString reason = qt_error_string(errno);
        discard();
        return fail(reason);
    }
    m_file.close();
    if (const int error = renameNoReplace(m_file.fileName(), m_finalPath)) {
        discard();
        return fail(qt_error_string(error));
    }
    m_committed = true;
    return true;
}

void PendingFile::discard()
{
    m_file.close();
    if (!m_file.fileName().isEmpty())
        QFile::remove(m_file.fileName());
    m_file.setFileName(QString());
}

} // namespace Tessavo
