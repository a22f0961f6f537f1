#include "bundle/ZipReader.h"

#include "bundle/ZipFormat.h"
#include "bundle/ZipWriter.h"

#include <QSet>
#include <QStringList>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>

namespace Tessavo {

namespace {

using namespace ZipFormat;

constexpr qint64 maxCommentBytes = 0xFFFF;
constexpr qint64 chunkBytes = 1 << 20;
constexpr quint16 encryptedFlag = 0x0001;
constexpr quint16 dataDescriptorFlag = 0x0008;

quint16 get16(const char* at)
{
    return qFromLittleEndian<quint16>(at);
}

quint32 get32(const char* at)
{
    return qFromLittleEndian<quint32>(at);
}

} // namespace

ZipReader::ZipReader(QFile& file, Report report)
    : m_file(file)
    , m_report(std::move(report))
{}

bool ZipReader::readDirectory()
{
    m_fileSize = m_file.size();
    if (!findEndRecord() || !readCentralRecords())
        return false;
    QSet<QByteArray> names;
    for (ZipEntryInfo& entry : m_entries) {
        if (const Status name = ZipWriter::validateEntryName(entry.name); !name.ok) {
            m_report({}, name.error);
            continue;
        }
        if (names.contains(entry.name)) {
            m_report(entry.name, QStringLiteral("stored more than once"));
            continue;
        }
        names.insert(entry.name);
        checkLocalHeader(entry);
    }
    checkLayout();
    return true;
}

// The end record is the last 22 bytes: bundles carry no archive comment. An end record followed
// by a comment is still found, so that the comment can be named.
bool ZipReader::findEndRecord()
{
    const auto unreadable = [this] {
        m_report({}, QStringLiteral("cannot be read: %1").arg(m_file.errorString()));
        return false;
    };
    const qint64 tailStart = std::max<qint64>(0, m_fileSize - endRecordBytes - maxCommentBytes);
    if (!m_file.seek(tailStart))
        return unreadable();
    const QByteArray tail = m_file.read(m_fileSize - tailStart);
    if (tail.size() != m_fileSize - tailStart)
        return unreadable();
    qint64 endAt = -1;
    for (qint64 i = tail.size() - endRecordBytes; i >= 0; --i) {
        const char* at = tail.constData() + i;
        if (get32(at) == endRecordSignature && i + endRecordBytes + get16(at + 20) == tail.size()) {
            endAt = i;
            break;
        }
    }
    if (endAt < 0) {
        m_report({}, QStringLiteral("no end of central directory record: the archive is "
                                    "truncated or not a ZIP file"));
        return false;
    }
    const char* end = tail.constData() + endAt;
    m_endAt = tailStart + endAt;
    if (const quint16 comment = get16(end + 20); comment > 0)
        m_report({}, QStringLiteral("carries an archive comment of %1 bytes; bundles carry none")
                         .arg(comment));
    const quint16 disk = get16(end + 4);
    const quint16 directoryDisk = get16(end + 6);
    const quint16 entriesHere = get16(end + 8);
    m_entriesTotal = get16(end + 10);
    const quint32 directorySize = get32(end + 12);
    const quint32 directoryOffset = get32(end + 16);
    if (m_entriesTotal == 0xFFFF || directorySize == 0xFFFFFFFF || directoryOffset == 0xFFFFFFFF) {
        m_report({}, QStringLiteral("ZIP64 archives are not supported"));
        return false;
    }
    if (disk != 0 || directoryDisk != 0 || entriesHere != m_entriesTotal) {
        m_report({}, QStringLiteral("the end record describes an archive split over several "
                                    "disks"));
        return false;
    }
    // Checked before anything is read: a claimed size the file cannot hold ends here.
    if (qint64(directoryOffset) + qint64(directorySize) != m_endAt) {
        m_report({}, QStringLiteral("the central directory (offset %1, %2 bytes) does not end "
                                    "where the end record begins (offset %3)")
                         .arg(QString::number(directoryOffset), QString::number(directorySize),
                              QString::number(m_endAt)));
        return false;
    }
    m_directoryOffset = directoryOffset;
    return true;
}

// Reads the central directory record by record; never more records than the end record counts.
bool ZipReader::readCentralRecords()
{
    if (!m_file.seek(m_directoryOffset)) {
        m_report({}, QStringLiteral("cannot be read: %1").arg(m_file.errorString()));
        return false;
    }
    qint64 at = m_directoryOffset;
    while (at < m_endAt) {
        const QString damaged =
            QStringLiteral("central directory record %1 is damaged").arg(m_entries.size() + 1);
        if (m_entries.size() == m_entriesTotal) {
            m_report({}, QStringLiteral("the central directory holds more records than the %1 "
                                        "the end record counts")
                             .arg(m_entriesTotal));
            return false;
        }
        const QByteArray record = m_file.read(centralHeaderBytes);
        if (record.size() != centralHeaderBytes || m_endAt - at < centralHeaderBytes ||
            get32(record.constData()) != centralHeaderSignature) {
            m_report({}, damaged);
            return false;
        }
        const char* r = record.constData();
        const qint64 nameBytes = get16(r + 28);
        const qint64 extraBytes = get16(r + 30);
        const qint64 commentBytes = get16(r + 32);
        const qint64 recordBytes = centralHeaderBytes + nameBytes + extraBytes + commentBytes;
        if (m_endAt - at < recordBytes) {
            m_report({}, damaged);
            return false;
        }
        ZipEntryInfo entry;
        entry.versionNeeded = get16(r + 6);
        entry.flags = get16(r + 8);
        entry.method = get16(r + 10);
        entry.crc32 = get32(r + 16);
        entry.compressedSize = get32(r + 20);
        entry.size = get32(r + 24);
        entry.diskStart = get16(r + 34);
        entry.localOffset = get32(r + 42);
        entry.name = m_file.read(nameBytes);
        if (entry.name.size() != nameBytes) {
            m_report({}, damaged);
            return false;
        }
        if (extraBytes > 0 || commentBytes > 0)
            m_report(entry.name,
                     QStringLiteral("its central directory record carries %1 bytes of extra "
                                    "field and comment; bundles carry none")
                         .arg(extraBytes + commentBytes));
        at += recordBytes;
        if (!m_file.seek(at)) {
            m_report({}, damaged);
            return false;
        }
        m_entries.append(entry);
    }
    if (m_entries.size() != m_entriesTotal)
        m_report({}, QStringLiteral("the end record counts %1 entries, the central directory "
                                    "holds %2")
                         .arg(QString::number(m_entriesTotal), QString::number(m_entries.size())));
    return true;
}

// Compares the entry's local header with its central directory record; on agreement the entry's
// data offset is known.
void ZipReader::checkLocalHeader(ZipEntryInfo& entry)
{
    const QByteArray& name = entry.name;
    if (entry.flags & encryptedFlag) {
        m_report(name, QStringLiteral("is encrypted"));
        return;
    }
    if (entry.diskStart != 0) {
        m_report(name, QStringLiteral("its central directory record places it on disk %1")
                           .arg(entry.diskStart));
        return;
    }
    if (entry.method != 0) {
        m_report(name, QStringLiteral("uses compression method %1; bundles store their entries "
                                      "uncompressed")
                           .arg(entry.method));
        return;
    }
    if (entry.compressedSize != entry.size) {
        m_report(name,
                 QStringLiteral("stored size %1 differs from its size %2")
                     .arg(QString::number(entry.compressedSize), QString::number(entry.size)));
        return;
    }
    if (qint64(entry.localOffset) + localHeaderBytes > m_directoryOffset ||
        !m_file.seek(entry.localOffset)) {
        m_report(name, QStringLiteral("its local header lies outside the archive's entries"));
        return;
    }
    const QByteArray header = m_file.read(localHeaderBytes);
    if (header.size() != localHeaderBytes || get32(header.constData()) != localHeaderSignature) {
        m_report(name, QStringLiteral("no local header at offset %1").arg(entry.localOffset));
        return;
    }
    const char* h = header.constData();
    const qint64 nameBytes = get16(h + 26);
    const qint64 extraBytes = get16(h + 28);
    const qint64 dataOffset = entry.localOffset + localHeaderBytes + nameBytes + extraBytes;
    const QByteArray localName =
        dataOffset <= m_directoryOffset ? m_file.read(nameBytes) : QByteArray();
    // With a data descriptor the local header may leave CRC-32 and sizes at zero.
    const bool deferred = (get16(h + 6) & dataDescriptorFlag) && get32(h + 14) == 0 &&
                          get32(h + 18) == 0 && get32(h + 22) == 0;
    QStringList differences;
    if (get16(h + 4) != entry.versionNeeded)
        differences << QStringLiteral("version needed");
    if (get16(h + 6) != entry.flags)
        differences << QStringLiteral("flags");
    if (get16(h + 8) != entry.method)
        differences << QStringLiteral("compression method");
    if (!deferred && get32(h + 14) != entry.crc32)
        differences << QStringLiteral("CRC-32");
    if (!deferred && (get32(h + 18) != entry.compressedSize || get32(h + 22) != entry.size))
        differences << QStringLiteral("size");
    if (localName != entry.name)
        differences << QStringLiteral("name");
    if (!differences.isEmpty()) {
        m_report(name, QStringLiteral("its local header differs from the central directory in: %1")
                           .arg(differences.join(QStringLiteral(", "))));
        return;
    }
    if (extraBytes > 0) {
        m_report(name, QStringLiteral("its local header carries an extra field of %1 bytes; "
                                      "bundles carry none")
                           .arg(extraBytes));
        return;
    }
    if (dataOffset + qint64(entry.size) > m_directoryOffset) {
        m_report(name, QStringLiteral("its data runs into the central directory"));
        return;
    }
    entry.dataOffset = dataOffset;
    entry.readable = true;
}

// Entries must follow one another from the first byte to the central directory: bytes that no
// listed entry claims (a hidden entry, padding) and bytes that two entries claim (a forged
// archive) both fail. Overlapping entries are not readable, so their data is never read.
void ZipReader::checkLayout()
{
    struct Span {
        qint64 start;
        qint64 end;
        qsizetype entry;
    };
    QList<Span> spans;
    bool complete = true; // every entry's extent is known
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const ZipEntryInfo& e = m_entries.at(i);
        if (e.dataOffset < 0) {
            complete = false;
            continue;
        }
        spans.append({qint64(e.localOffset), e.dataOffset + qint64(e.size), i});
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
        return a.start < b.start || (a.start == b.start && a.entry < b.entry);
    });
    qint64 covered = 0;
    qsizetype last = -1; // the span that reaches furthest so far
    for (const Span& span : std::as_const(spans)) {
        if (span.start > covered && complete)
            reportGap(covered, span.start);
        if (span.start < covered && last >= 0) {
            ZipEntryInfo& earlier = m_entries[spans.at(last).entry];
            ZipEntryInfo& later = m_entries[span.entry];
            m_report(later.name,
                     QStringLiteral("overlaps the entry %1").arg(QString::fromUtf8(earlier.name)));
            earlier.readable = false;
            later.readable = false;
        }
        if (span.end > covered) {
            covered = span.end;
            last = &span - spans.constData();
        }
    }
    if (covered < m_directoryOffset && complete)
        reportGap(covered, m_directoryOffset);
}

void ZipReader::reportGap(qint64 from, qint64 to)
{
    QString what = QStringLiteral("%1 bytes at offset %2 belong to no listed entry")
                       .arg(QString::number(to - from), QString::number(from));
    if (to - from >= localHeaderBytes && m_file.seek(from)) {
        const QByteArray header = m_file.read(localHeaderBytes);
        if (header.size() == localHeaderBytes &&
            get32(header.constData()) == localHeaderSignature) {
            const qint64 nameBytes = std::min<qint64>(get16(header.constData() + 26), 1024);
            const QByteArray name = m_file.read(nameBytes);
            what += QStringLiteral(": an entry the central directory does not list (%1)")
                        .arg(QString::fromUtf8(name));
        }
    }
    m_report({}, what);
}

Status ZipReader::readData(const ZipEntryInfo& entry, const Sink& sink)
{
    if (!entry.readable || !m_file.seek(entry.dataOffset))
        return Status::failure(QStringLiteral("its data cannot be read"));
    uLong crc = ::crc32(0L, Z_NULL, 0);
    qint64 left = entry.size;
    while (left > 0) {
        const QByteArray chunk = m_file.read(std::min(left, chunkBytes));
        if (chunk.isEmpty())
            break;
        crc = ::crc32(crc, reinterpret_cast<const Bytef*>(chunk.constData()), uInt(chunk.size()));
        sink(chunk);
        left -= chunk.size();
    }
    if (left != 0)
        return Status::failure(
            QStringLiteral("its data cannot be read: %1").arg(m_file.errorString()));
    if (quint32(crc) != entry.crc32)
        return Status::failure(QStringLiteral("CRC-32 is %1, the archive says %2")
                                   .arg(QString::number(quint32(crc), 16).rightJustified(8, u'0'),
                                        QString::number(entry.crc32, 16).rightJustified(8, u'0')));
    return Status::success();
}

} // namespace Tessavo
