#include "bundle/ZipWriter.h"

#include "bundle/ZipFormat.h"

#include <QBuffer>
#include <QFile>
#include <QtEndian>

#include <zlib.h>

#include <cerrno>

namespace Tessavo {

namespace {

using namespace ZipFormat;

constexpr quint16 versionNeeded = 20;
constexpr quint16 versionMadeBy = 0x0314;
constexpr quint16 utf8NameFlag = 0x0800;
constexpr qint64 maxEntrySize = 0xFFFFFFFE; // 0xFFFFFFFF itself is never written
constexpr qint64 maxArchiveBytes = 0xFFFFFFFF;
constexpr qsizetype maxEntries = 0xFFFF;
constexpr qsizetype maxNameBytes = 0xFFFF;
constexpr qint64 chunkBytes = 1 << 20;
// External attributes: the Unix mode in the high 16 bits ("version made by" names Unix), and for
// a folder also the MS-DOS directory bit. Extractors that honour the mode give 0644 and 0755.
constexpr quint32 fileAttributes = quint32(0100644) << 16;
constexpr quint32 folderAttributes = (quint32(040755) << 16) | 0x10;

void put16(QByteArray& out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void put32(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

const QString notOpen = QStringLiteral("ZIP archive is not open");

} // namespace

DosDateTime dosDateTime(const QDateTime& localTime)
{
    const QDate date = localTime.date();
    const QTime time = localTime.time();
    if (date.year() < 1980)
        return {0, quint16((1 << 5) | 1)}; // 1980-01-01 00:00:00
    if (date.year() > 2107)
        return {quint16((23 << 11) | (59 << 5) | 29), quint16((127 << 9) | (12 << 5) | 31)};
    return {quint16(time.hour() * 2048 + time.minute() * 32 + time.second() / 2),
            quint16(((date.year() - 1980) % 128) * 512 + date.month() * 32 + date.day())};
}

ZipWriter::ZipWriter(const QString& path, const QDateTime& entryTime)
    : m_path(path)
    , m_stamp(dosDateTime(entryTime))
    , m_out(path)
{}

// The pending file removes an unfinished archive by itself.
ZipWriter::~ZipWriter() = default;

bool ZipWriter::open()
{
    if (m_opened)
        return fail(QStringLiteral("ZIP archive is already open"));
    // The final name must be free now; finish() claims it without ever replacing anything.
    if (pathTaken(m_path))
        return fail(QStringLiteral("cannot create %1: %2").arg(m_path, qt_error_string(EEXIST)));
    // ReadWrite: the CRC of each entry is patched into its header once the data is written.
    if (!m_out.open(QIODevice::ReadWrite))
        return fail(QStringLiteral("cannot create %1: %2").arg(m_path, m_out.errorString()));
    m_opened = true;
    return true;
}

bool ZipWriter::put(const char* data, qint64 size)
{
    if (m_broken)
        return false;
    if (!m_out.write(data, size)) {
        m_broken = true;
        m_writeError = m_out.errorString();
        m_out.discard();
        return false;
    }
    return true;
}

bool ZipWriter::put(const QByteArray& bytes)
{
    return put(bytes.constData(), bytes.size());
}

bool ZipWriter::fail(const QString& message)
{
    m_error = message;
    return false;
}

bool ZipWriter::broken(const QString& message)
{
    m_broken = true;
    m_out.discard();
    return fail(m_writeError.isEmpty() ? message
                                       : QStringLiteral("%1: %2").arg(message, m_writeError));
}

Status ZipWriter::validateEntryName(const QByteArray& nameBytes)
{
    const QString name = QString::fromUtf8(nameBytes);
    if (nameBytes.isEmpty())
        return Status::failure(QStringLiteral("ZIP entry name is empty"));
    if (nameBytes.startsWith('/') || nameBytes.contains('\\'))
        return Status::failure(
            QStringLiteral("ZIP entry name must be relative and use forward slashes: %1")
                .arg(name));
    for (const QByteArray& piece : nameBytes.split('/')) {
        if (piece == "..")
            return Status::failure(QStringLiteral("ZIP entry escapes the archive: %1").arg(name));
    }
    return Status::success();
}

bool ZipWriter::checkEntry(const QString& entryName, const QByteArray& name, qint64 size)
{
    if (const Status check = validateEntryName(name); !check.ok)
        return fail(check.error);
    if (m_names.contains(name))
        return fail(QStringLiteral("duplicate ZIP entry: %1").arg(entryName));
    if (!m_opened || m_finished || m_broken)
        return fail(notOpen);
    if (size > maxEntrySize)
        return fail(QStringLiteral("ZIP entry is too large: %1").arg(entryName));
    if (name.size() > maxNameBytes)
        return fail(QStringLiteral("ZIP entry name is too long: %1").arg(entryName));
    if (m_entries.size() >= maxEntries)
        return fail(QStringLiteral("ZIP archive cannot hold more than 65535 entries"));
    // Every offset and the directory itself must stay addressable with 32 bits, including the
    // central directory that finish() will write.
    const qint64 total = m_out.device().pos() + localHeaderBytes + name.size() + size +
                         m_centralDirectoryBytes + centralHeaderBytes + name.size() +
                         endRecordBytes;
    if (total > maxArchiveBytes)
        return fail(QStringLiteral("ZIP archive would exceed 4 GiB with entry: %1").arg(entryName));
    return true;
}

bool ZipWriter::addFile(const QString& entryName, const QString& sourcePath)
{
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1: %2").arg(sourcePath, source.errorString()));
    const qint64 size = source.size();
    if (size >= 0xFFFFFFFF)
        return fail(QStringLiteral("file is too large for this exporter: %1").arg(sourcePath));
    const QByteArray name = entryName.toUtf8();
    if (!checkEntry(entryName, name, size))
        return false;
    return writeEntry(name, source, size, sourcePath);
}

bool ZipWriter::addData(const QString& entryName, const QByteArray& data)
{
    const QByteArray name = entryName.toUtf8();
    if (!checkEntry(entryName, name, data.size()))
        return false;
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return writeEntry(name, buffer, data.size(), entryName);
}

// Writes the local header with the CRC still unknown, streams the data while computing it, then
// patches the CRC into the header. The bytes end up exactly as if the CRC had been known first.
bool ZipWriter::writeEntry(const QByteArray& name, QIODevice& source, qint64 size,
                           const QString& sourceDescription)
{
    QFile& file = m_out.device();
    const qint64 headerOffset = file.pos();
    const DosDateTime stamp = m_stamp;
    QByteArray header;
    header.reserve(localHeaderBytes);
    put32(header, localHeaderSignature);
    put16(header, versionNeeded);
    put16(header, utf8NameFlag);
    put16(header, 0); // stored
    put16(header, stamp.time);
    put16(header, stamp.date);
    put32(header, 0); // CRC-32, patched below
    put32(header, quint32(size));
    put32(header, quint32(size));
    put16(header, quint16(name.size()));
    put16(header, 0);
    if (!put(header) || !put(name))
        return broken(QStringLiteral("failed to write ZIP entry name"));

    uLong crc = ::crc32(0L, Z_NULL, 0);
    QByteArray chunk(qsizetype(std::min(chunkBytes, std::max<qint64>(size, 1))), Qt::Uninitialized);
    qint64 remaining = size;
    while (remaining > 0) {
        const qint64 got = source.read(chunk.data(), std::min<qint64>(remaining, chunk.size()));
        if (got <= 0) {
            // The entry's header promises more bytes than follow: the archive cannot be saved.
            return broken(
                QStringLiteral("cannot read %1: %2")
                    .arg(sourceDescription, got < 0 ? source.errorString()
                                                    : QStringLiteral("the file became shorter")));
        }
        crc = ::crc32(crc, reinterpret_cast<const Bytef*>(chunk.constData()), uInt(got));
        if (!put(chunk.constData(), got))
            return broken(QStringLiteral("failed to write ZIP entry data"));
        remaining -= got;
        if (m_chunkHandler && !m_chunkHandler(got))
            return broken(QStringLiteral("ZIP archive was cancelled"));
    }

    const qint64 end = file.pos();
    QByteArray crcField;
    put32(crcField, quint32(crc));
    if (!file.seek(headerOffset + 14) || !put(crcField) || !file.seek(end)) {
        if (m_writeError.isEmpty())
            m_writeError = file.errorString();
        return broken(QStringLiteral("failed to write ZIP entry data"));
    }

    m_entries.append({name, quint32(crc), quint32(size), quint32(headerOffset)});
    m_names.insert(name);
    m_centralDirectoryBytes += centralHeaderBytes + name.size();
    return true;
}

bool ZipWriter::finish()
{
    if (!m_opened || m_finished || m_broken)
        return fail(notOpen);
    const qint64 directoryOffset = m_out.device().pos();
    const DosDateTime stamp = m_stamp;
    QByteArray directory;
    directory.reserve(m_centralDirectoryBytes);
    for (const Entry& entry : std::as_const(m_entries)) {
        const bool folder = entry.name.endsWith('/');
        put32(directory, centralHeaderSignature);
        put16(directory, versionMadeBy);
        put16(directory, versionNeeded);
        put16(directory, utf8NameFlag);
        put16(directory, 0);
        put16(directory, stamp.time);
        put16(directory, stamp.date);
        put32(directory, entry.crc32);
        put32(directory, entry.size);
        put32(directory, entry.size);
        put16(directory, quint16(entry.name.size()));
        put16(directory, 0); // extra field
        put16(directory, 0); // comment
        put16(directory, 0); // disk number
        put16(directory, 0); // internal attributes
        put32(directory, folder ? folderAttributes : fileAttributes);
        put32(directory, entry.localHeaderOffset);
        directory.append(entry.name);
    }
    if (!put(directory))
        return broken(QStringLiteral("failed to write ZIP central directory"));
    const qint64 directorySize = directory.size();
    QByteArray end;
    put32(end, endRecordSignature);
    put16(end, 0);
    put16(end, 0);
    put16(end, quint16(m_entries.size()));
    put16(end, quint16(m_entries.size()));
    put32(end, quint32(directorySize));
    put32(end, quint32(directoryOffset));
    put16(end, 0);
    if (!put(end))
        return broken(QStringLiteral("failed to write ZIP central directory"));
    if (!m_out.commit()) {
        m_broken = true;
        return fail(
            pathTaken(m_path)
                ? QStringLiteral("cannot create %1: %2").arg(m_path, m_out.errorString())
                : QStringLiteral("failed to flush ZIP archive: %1").arg(m_out.errorString()));
    }
    m_finished = true;
    return true;
}

} // namespace Tessavo
