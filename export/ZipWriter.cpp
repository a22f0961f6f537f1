#include "export/ZipWriter.h"

#include <QBuffer>
#include <QtEndian>

#include <zlib.h>

namespace Tessavo {

namespace {

constexpr quint32 localHeaderSignature = 0x04034B50;
constexpr quint32 centralHeaderSignature = 0x02014B50;
constexpr quint32 endRecordSignature = 0x06054B50;
constexpr quint16 versionNeeded = 20;
constexpr quint16 versionMadeBy = 0x0314;
constexpr quint16 utf8NameFlag = 0x0800;
constexpr qint64 localHeaderBytes = 30;
constexpr qint64 centralHeaderBytes = 46;
constexpr qint64 endRecordBytes = 22;
constexpr qint64 maxEntrySize = 0xFFFFFFFE; // 0xFFFFFFFF itself is never written
constexpr qint64 maxArchiveBytes = 0xFFFFFFFF;
constexpr qsizetype maxEntries = 0xFFFF;
constexpr qsizetype maxNameBytes = 0xFFFF;
constexpr qint64 chunkBytes = 1 << 20;

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

bool setError(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
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

ZipWriter::ZipWriter(const QString& path)
    : m_path(path)
{}

ZipWriter::~ZipWriter()
{
    if (m_opened && !m_finished && !m_finishFailed)
        finish();
}

bool ZipWriter::open(QString* error)
{
    if (m_opened)
        return setError(error, QStringLiteral("ZIP archive is already open"));
    m_file.setFileName(m_path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return setError(error,
                        QStringLiteral("cannot create %1: %2").arg(m_path, m_file.errorString()));
    m_opened = true;
    return true;
}

bool ZipWriter::validateEntryName(const QByteArray& nameBytes, QString* error)
{
    const QString name = QString::fromUtf8(nameBytes);
    if (nameBytes.isEmpty())
        return setError(error, QStringLiteral("ZIP entry name is empty"));
    if (nameBytes.startsWith('/') || nameBytes.contains('\\'))
        return setError(
            error, QStringLiteral("ZIP entry name must be relative and use forward slashes: %1")
                       .arg(name));
    for (const QByteArray& piece : nameBytes.split('/')) {
        if (piece == "..")
            return setError(error, QStringLiteral("ZIP entry escapes the archive: %1").arg(name));
    }
    return true;
}

bool ZipWriter::checkEntry(const QString& entryName, const QByteArray& name, qint64 size,
                           QString* error) const
{
    if (!validateEntryName(name, error))
        return false;
    if (m_names.contains(name))
        return setError(error, QStringLiteral("duplicate ZIP entry: %1").arg(entryName));
    if (!m_opened || m_finished)
        return setError(error, notOpen);
    if (size > maxEntrySize)
        return setError(error, QStringLiteral("ZIP entry is too large: %1").arg(entryName));
    if (name.size() > maxNameBytes)
        return setError(error, QStringLiteral("ZIP entry name is too long: %1").arg(entryName));
    if (m_entries.size() >= maxEntries)
        return setError(error, QStringLiteral("ZIP archive cannot hold more than 65535 entries"));
    // Every offset and the directory itself must stay addressable with 32 bits, including the
    // central directory that finish() will write.
    const qint64 total = m_file.pos() + localHeaderBytes + name.size() + size +
                         m_centralDirectoryBytes + centralHeaderBytes + name.size() +
                         endRecordBytes;
    if (total > maxArchiveBytes)
        return setError(
            error, QStringLiteral("ZIP archive would exceed 4 GiB with entry: %1").arg(entryName));
    return true;
}

bool ZipWriter::addFile(const QString& entryName, const QString& sourcePath, QString* error)
{
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        return setError(error,
                        QStringLiteral("cannot read %1: %2").arg(sourcePath, source.errorString()));
    const qint64 size = source.size();
    if (size >= 0xFFFFFFFF)
        return setError(error,
                        QStringLiteral("file is too large for this exporter: %1").arg(sourcePath));
    const QByteArray name = entryName.toUtf8();
    if (!checkEntry(entryName, name, size, error))
        return false;
    return writeEntry(name, source, size, sourcePath, error);
}

bool ZipWriter::addData(const QString& entryName, const QByteArray& data, QString* error)
{
    const QByteArray name = entryName.toUtf8();
    if (!checkEntry(entryName, name, data.size(), error))
        return false;
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return writeEntry(name, buffer, data.size(), entryName, error);
}

// Writes the local header with the CRC still unknown, streams the data while computing it, then
// patches the CRC into the header. The bytes end up exactly as if the CRC had been known first.
bool ZipWriter::writeEntry(const QByteArray& name, QIODevice& source, qint64 size,
                           const QString& sourceDescription, QString* error)
{
    const qint64 headerOffset = m_file.pos();
    const DosDateTime stamp = dosDateTime(QDateTime::currentDateTime());
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
    m_file.write(header);
    if (m_file.write(name) != name.size())
        return setError(error, QStringLiteral("failed to write ZIP entry name"));

    uLong crc = ::crc32(0L, Z_NULL, 0);
    QByteArray chunk(qsizetype(std::min(chunkBytes, std::max<qint64>(size, 1))), Qt::Uninitialized);
    qint64 remaining = size;
    while (remaining > 0) {
        const qint64 got = source.read(chunk.data(), std::min<qint64>(remaining, chunk.size()));
        if (got <= 0)
            return setError(error, QStringLiteral("cannot read %1: %2")
                                       .arg(sourceDescription,
                                            got < 0 ? source.errorString()
                                                    : QStringLiteral("the file became shorter")));
        crc = ::crc32(crc, reinterpret_cast<const Bytef*>(chunk.constData()), uInt(got));
        if (m_file.write(chunk.constData(), got) != got)
            return setError(error, QStringLiteral("failed to write ZIP entry data"));
        remaining -= got;
    }

    const qint64 end = m_file.pos();
    QByteArray crcField;
    put32(crcField, quint32(crc));
    if (!m_file.seek(headerOffset + 14) || m_file.write(crcField) != 4 || !m_file.seek(end))
        return setError(error, QStringLiteral("failed to write ZIP entry data"));

    m_entries.append({name, quint32(crc), quint32(size), quint32(headerOffset)});
    m_names.insert(name);
    m_centralDirectoryBytes += centralHeaderBytes + name.size();
    return true;
}

bool ZipWriter::finish(QString* error)
{
    if (!m_opened || m_finished)
        return setError(error, notOpen);
    const qint64 directoryOffset = m_file.pos();
    const DosDateTime stamp = dosDateTime(QDateTime::currentDateTime());
    for (const Entry& entry : std::as_const(m_entries)) {
        QByteArray header;
        header.reserve(centralHeaderBytes);
        put32(header, centralHeaderSignature);
        put16(header, versionMadeBy);
        put16(header, versionNeeded);
        put16(header, utf8NameFlag);
        put16(header, 0);
        put16(header, stamp.time);
        put16(header, stamp.date);
        put32(header, entry.crc32);
        put32(header, entry.size);
        put32(header, entry.size);
        put16(header, quint16(entry.name.size()));
        put16(header, 0); // extra field
        put16(header, 0); // comment
        put16(header, 0); // disk number
        put16(header, 0); // internal attributes
        put32(header, 0); // external attributes
        put32(header, entry.localHeaderOffset);
        m_file.write(header);
        if (m_file.write(entry.name) != entry.name.size()) {
            m_finishFailed = true;
            return setError(error, QStringLiteral("failed to write ZIP central directory"));
        }
    }
    const qint64 directorySize = m_file.pos() - directoryOffset;
    QByteArray end;
    put32(end, endRecordSignature);
    put16(end, 0);
    put16(end, 0);
    put16(end, quint16(m_entries.size()));
    put16(end, quint16(m_entries.size()));
    put32(end, quint32(directorySize));
    put32(end, quint32(directoryOffset));
    put16(end, 0);
    m_file.write(end);
    if (!m_file.flush()) {
        m_finishFailed = true;
        return setError(
            error, QStringLiteral("failed to flush ZIP archive: %1").arg(m_file.errorString()));
    }
    m_file.close();
    m_finished = true;
    return true;
}

} // namespace Tessavo
