#include "core/RawPath.h"

#include "core/FileIdentity.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tessavo {

namespace {

// The length of the valid UTF-8 sequence that starts at bytes[i], or 0 when none does
// (stray continuation byte, overlong form, surrogate, beyond U+10FFFF, cut short).
qsizetype utf8SequenceAt(const QByteArray& bytes, qsizetype i)
{
    const auto byte = [&bytes](qsizetype at) {
        return uchar(bytes.at(at));
    };
    const uchar lead = byte(i);
    if (lead < 0x80)
        return 1;
    qsizetype length = 0;
    uchar low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (bytes.size() - i < length)
        return 0;
    if (byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (qsizetype k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
            return 0;
    }
    return length;
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

} // namespace

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
    result.modifiedNs =
        nanosecondsSinceEpoch(qint64(status.st_mtim.tv_sec), status.st_mtim.tv_nsec);
    return result;
}

Status openRegularForReading(QFile& file, const QByteArray& rawPath, Links links)
{
    if (rawPath.isEmpty() || rawPath.contains('\0'))
        return Status::failure(QString::fromLocal8Bit(std::strerror(ENOENT)));
    // O_NONBLOCK: opening a FIFO must not wait for a writer; regular files ignore it.
    int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (links == Links::Refuse)
        flags |= O_NOFOLLOW;
    const int fd = ::open(rawPath.constData(), flags);
    if (fd < 0) {
        if (errno == ELOOP && links == Links::Refuse)
            return Status::failure(QStringLiteral("it is a link, not a file"));
        return Status::failure(QString::fromLocal8Bit(std::strerror(errno)));
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const bool folder = S_ISDIR(status.st_mode);
        ::close(fd);
        return Status::failure(folder ? QStringLiteral("it is a folder, not a file")
                                      : QStringLiteral("it is not a regular file"));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const QString why = file.errorString();
        ::close(fd);
        return Status::failure(why);
    }
    return Status::success();
}

QString displayPath(const QByteArray& rawPath)
{
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    const auto isHex = [&rawPath](qsizetype at) {
        if (at >= rawPath.size())
            return false;
        const char c = rawPath.at(at);
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    };
    QByteArray shown;
    shown.reserve(rawPath.size());
    for (qsizetype i = 0; i < rawPath.size();) {
        const qsizetype length = utf8SequenceAt(rawPath, i);
        if (length == 0) {
            const uchar stray = uchar(rawPath.at(i++));
            shown += "\\x";
            shown += hexDigits[stray >> 4];
            shown += hexDigits[stray & 0xF];
            continue;
        }
        // A backslash stays single unless what follows it would be read as an escape: another
        // backslash, an escaped byte, or "x" and two hexadecimal digits.
        if (rawPath.at(i) == '\\' && i + 1 < rawPath.size()) {
            const char next = rawPath.at(i + 1);
            if (next == '\\' || utf8SequenceAt(rawPath, i + 1) == 0 ||
                (next == 'x' && isHex(i + 2) && isHex(i + 3)))
                shown += '\\';
        }
        shown.append(rawPath.constData() + i, length);
        i += length;
    }
    return QString::fromUtf8(shown);
}

QString displayText(const QString& text)
{
    return displayPath(text.toUtf8());
}

QByteArray pathFromDisplay(const QString& shown)
{
    QByteArray bytes;
    bytes.reserve(shown.size());
    qsizetype plainFrom = 0;
    const auto flushPlain = [&](qsizetype upTo) {
        bytes += QStringView(shown).mid(plainFrom, upTo - plainFrom).toUtf8();
    };
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (shown.at(i) != u'\\' || i + 1 >= shown.size())
            continue;
        if (shown.at(i + 1) == u'\\') {
            flushPlain(i);
            bytes += '\\';
            plainFrom = i + 2;
            ++i;
        } else if (shown.at(i + 1) == u'x' && i + 3 < shown.size() &&
                   hexValue(shown.at(i + 2)) >= 0 && hexValue(shown.at(i + 3)) >= 0) {
            flushPlain(i);
            bytes += char(hexValue(shown.at(i + 2)) * 16 + hexValue(shown.at(i + 3)));
            plainFrom = i + 4;
            i += 3;
        }
    }
    flushPlain(shown.size());
    return bytes;
}

QString displaySourcePath(const DocumentRecord& record)
{
    return record.sourcePathBytes.isEmpty() ? displayText(record.sourcePath)
                                            : displayPath(record.sourcePathBytes);
}

QString displayFileName(const DocumentRecord& record)
{
    if (record.sourcePathBytes.isEmpty())
        return displayText(record.fileName);
    const QByteArray& bytes = record.sourcePathBytes;
    return displayPath(bytes.mid(bytes.lastIndexOf('/') + 1));
}

} // namespace Tessavo
