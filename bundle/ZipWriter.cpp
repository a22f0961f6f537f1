#include "bundle/ZipWriter.h"

#include "bundle/ZipFormat.h"

#include <QBuffer>
#include <QFile>
#include <QtEndian>

#include <zlib.h>

#include <cerrno>
#include <cstring>

namespace Tessavo {

namespace {

using namespace ZipFormat;

// "Version made by": Unix, and the version of the format the entry needs.
constexpr quint16 unixHost = 0x0300;
constexpr quint16 utf8NameFlag = 0x0800;
constexpr qsizetype maxNameBytes = 0xFFFF;
// From this many entries on, the end record's 16-bit counts hold the ZIP64 marker.
constexpr qsizetype zip64Entries = zip64Marker16;
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

void put64(QByteArray& out, quint64 value)
{
    char bytes[8];
    qToLittleEndian(value, bytes);
    out.append(bytes, 8);
}

// A size or offset in a classic 32-bit field: the value itself, or the ZIP64 marker when it
// does not fit (the value then goes to the ZIP64 extra field or end record).
bool needsZip64(qint64 value)
{
    return value >= qint64(zip64Marker32);
}

quint32 field32(qint64 value)
{
    return needsZip64(value) ? zip64Marker32 : quint32(value);
}

// What the central directory record of an entry takes beyond its fixed part and name.
qint64 centralExtraBytes(qint64 size, qint64 localHeaderOffset)
{
    const qint64 fields = (needsZip64(size) ? 16 : 0) + (needsZip64(localHeaderOffset) ? 8 : 0);
    return fields > 0 ? extraHeaderBytes + fields : 0;
}

// Whether a chunk of entry data is all zero bytes.
bool allZero(const char* data, qint64 size)
{
    return size > 0 && data[0] == 0 && std::memcmp(data, data + 1, size_t(size - 1)) == 0;
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
    if (size < 0)
        return fail(QStringLiteral("ZIP entry has no size: %1").arg(entryName));
    if (name.size() > maxNameBytes)
        return fail(QStringLiteral("ZIP entry name is too long: %1").arg(entryName));
    return true;
}

bool ZipWriter::addFile(const QString& entryName, const QString& sourcePath)
{
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1: %2").arg(sourcePath, source.errorString()));
    const qint64 size = source.size();
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
// An entry of 4 GiB or more carries its sizes in a ZIP64 extra field; an entry whose header lies
// at 4 GiB or beyond needs version 4.5 too, though only its central record says where it is.
// Chunks of zero bytes are skipped rather than written, so they take no disk space where the file
// system keeps holes; they read back as the same zeros.
bool ZipWriter::writeEntry(const QByteArray& name, QIODevice& source, qint64 size,
                           const QString& sourceDescription)
{
    QFile& file = m_out.device();
    const qint64 headerOffset = file.pos();
    const bool zip64Size = needsZip64(size);
    const bool zip64 = zip64Size || needsZip64(headerOffset);
    const DosDateTime stamp = m_stamp;
    QByteArray header;
    header.reserve(localHeaderBytes + zip64LocalExtraBytes);
    put32(header, localHeaderSignature);
    put16(header, zip64 ? zip64Version : classicVersion);
    put16(header, utf8NameFlag);
    put16(header, 0); // stored
    put16(header, stamp.time);
    put16(header, stamp.date);
    put32(header, 0); // CRC-32, patched below
    put32(header, field32(size));
    put32(header, field32(size));
    put16(header, quint16(name.size()));
    put16(header, zip64Size ? quint16(zip64LocalExtraBytes) : 0);
    QByteArray extra;
    if (zip64Size) {
        put16(extra, zip64ExtraId);
        put16(extra, quint16(zip64LocalExtraBytes - extraHeaderBytes));
        put64(extra, quint64(size));
        put64(extra, quint64(size));
    }
    if (!put(header) || !put(name) || !put(extra))
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
        // What follows the data (another entry, the central directory) is always written, so a
        // skipped chunk never ends the file.
        const bool skipped = allZero(chunk.constData(), got) && file.seek(file.pos() + got);
        if (!skipped && !put(chunk.constData(), got))
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

    m_entries.append({name, quint32(crc), size, headerOffset});
    m_names.insert(name);
    m_centralDirectoryBytes +=
        centralHeaderBytes + name.size() + centralExtraBytes(size, headerOffset);
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
        const bool zip64Size = needsZip64(entry.size);
        const bool zip64Offset = needsZip64(entry.localHeaderOffset);
        const quint16 version = zip64Size || zip64Offset ? zip64Version : classicVersion;
        const qint64 extraBytes = centralExtraBytes(entry.size, entry.localHeaderOffset);
        put32(directory, centralHeaderSignature);
        put16(directory, unixHost | version);
        put16(directory, version);
        put16(directory, utf8NameFlag);
        put16(directory, 0);
        put16(directory, stamp.time);
        put16(directory, stamp.date);
        put32(directory, entry.crc32);
        put32(directory, field32(entry.size));
        put32(directory, field32(entry.size));
        put16(directory, quint16(entry.name.size()));
        put16(directory, quint16(extraBytes));
        put16(directory, 0); // comment
        put16(directory, 0); // disk number
        put16(directory, 0); // internal attributes
        put32(directory, folder ? folderAttributes : fileAttributes);
        put32(directory, field32(entry.localHeaderOffset));
        directory.append(entry.name);
        if (extraBytes > 0) {
            // The fields whose classic place holds the marker, in the format's order.
            put16(directory, zip64ExtraId);
            put16(directory, quint16(extraBytes - extraHeaderBytes));
            if (zip64Size) {
                put64(directory, quint64(entry.size)); // uncompressed
                put64(directory, quint64(entry.size)); // compressed
            }
            if (zip64Offset)
                put64(directory, quint64(entry.localHeaderOffset));
        }
    }
    if (!put(directory))
        return broken(QStringLiteral("failed to write ZIP central directory"));
    const qint64 directorySize = directory.size();
    const qint64 count = m_entries.size();
    QByteArray end;
    if (count >= zip64Entries || needsZip64(directoryOffset) || needsZip64(directorySize)) {
        const qint64 zip64EndOffset = directoryOffset + directorySize;
        put32(end, zip64EndRecordSignature);
        put64(end, quint64(zip64EndRecordBytes - 12)); // what follows this field
        put16(end, unixHost | zip64Version);
        put16(end, zip64Version);
        put32(end, 0); // this disk
        put32(end, 0); // the directory's disk
        put64(end, quint64(count));
        put64(end, quint64(count));
        put64(end, quint64(directorySize));
        put64(end, quint64(directoryOffset));
        put32(end, zip64LocatorSignature);
        put32(end, 0); // the ZIP64 end record's disk
        put64(end, quint64(zip64EndOffset));
        put32(end, 1); // disks in all
    }
    put32(end, endRecordSignature);
    put16(end, 0);
    put16(end, 0);
    put16(end, quint16(std::min<qint64>(count, zip64Marker16)));
    put16(end, quint16(std::min<qint64>(count, zip64Marker16)));
    put32(end, field32(directorySize));
    put32(end, field32(directoryOffset));
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
