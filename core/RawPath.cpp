#include "core/RawPath.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tessavo {

bool roundTrips(const QByteArray& rawPath)
{
    return QFile::encodeName(QFile::decodeName(rawPath)) == rawPath;
}

QByteArray sourcePathBytesOf(const DocumentRecord& record)
{
    return record.sourcePathBytes.isEmpty() ? QFile::encodeName(record.sourcePath)
                                            : record.sourcePathBytes;
}

RawFileStatus rawFileStatus(const QByteArray& rawPath)
{
    RawFileStatus result;
    struct stat status {};
    if (rawPath.isEmpty() || rawPath.contains('\0') || ::stat(rawPath.constData(), &status) != 0)
        return result;
    result.ok = true;
    result.regularFile = S_ISREG(status.st_mode);
    result.directory = S_ISDIR(status.st_mode);
    result.size = qint64(status.st_size);
    result.modifiedNs = qint64(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec;
    return result;
}

Status openRawForReading(QFile& file, const QByteArray& rawPath)
{
    if (rawPath.isEmpty() || rawPath.contains('\0'))
        return Status::failure(QString::fromLocal8Bit(std::strerror(ENOENT)));
    const int fd = ::open(rawPath.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Status::failure(QString::fromLocal8Bit(std::strerror(errno)));
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const QString why = file.errorString();
        ::close(fd);
        return Status::failure(why);
    }
    return Status::success();
}

} // namespace Tessavo
