#include "bundle/ZipReader.h"

#include "bundle/ZipFormat.h"
#include "bundle/ZipWriter.h"

#include <QSet>
#include <QStringList>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <limits>

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
    const quint16 entriesTotal = get16(end + 10);
    const quint32 directorySize = get32(end + 12);
    const quint32 directoryOffset = get32(end + 16);
    if (disk != 0 || directoryDisk != 0 || entriesHere != entriesTotal) {
        m_report({}, QStringLiteral("the end record describes an archive split over several "
                                    "disks"));
        return false;
    }
    m_entriesTotal = entriesTotal;
    m_directoryOffset = directoryOffset;
    m_directoryEnd = m_endAt;
    qint64 directoryBytes = directorySize;
    // A marker sends the reader to the ZIP64 end record. Without one (an archive of exactly
    // 65,535 entries from a writer that knew no ZIP64) the classic figures are taken as they are.
    const bool marked = entriesTotal == zip64Marker16 || directorySize == zip64Marker32 ||
                        directoryOffset == zip64Marker32;
    if (marked && m_endAt >= zip64LocatorBytes) {
        if (!m_file.seek(m_endAt - zip64LocatorBytes))
            return unreadable();
        const QByteArray locator = m_file.read(zip64LocatorBytes);
        if (locator.size() != zip64LocatorBytes)
            return unreadable();
        if (get32(locator.constData()) == zip64LocatorSignature) {
            if (!readZip64EndRecord(entriesHere, directorySize, directoryOffset))
                return false;
            directoryBytes = m_directoryEnd - m_directoryOffset; // checked there
        }
    }
    // Checked before anything is read: a claimed size the file cannot hold ends here.
    if (m_directoryOffset > m_directoryEnd ||
        m_directoryEnd - m_directoryOffset != directoryBytes) {
        m_report({}, QStringLiteral("the central directory (offset %1, %2 bytes) does not end "
                                    "where the end record begins (offset %3)")
                         .arg(QString::number(m_directoryOffset), QString::number(directoryBytes),
                              QString::number(m_directoryEnd)));
        return false;
    }
    return true;
}

// The ZIP64 end record lies right before its locator, which lies right before the end record:
// bundles carry no extensible data. Its figures must fit the file and agree with every classic
// field that does not hold the marker.
bool ZipReader::readZip64EndRecord(quint16 entriesHere, quint32 directorySize,
                                   quint32 directoryOffset)
{
    const auto damaged = [this](const QString& what) {
        m_report({}, QStringLiteral("the ZIP64 end record %1").arg(what));
        return false;
    };
    const qint64 locatorAt = m_endAt - zip64LocatorBytes;
    if (!m_file.seek(locatorAt))
        return damaged(QStringLiteral("cannot be read"));
    const QByteArray loc = m_file.read(zip64LocatorBytes);
    if (loc.size() != zip64LocatorBytes)
        return damaged(QStringLiteral("cannot be read"));
    const char* l = loc.constData();
    if (get32(l + 4) != 0 || get32(l + 16) != 1) {
        m_report({}, QStringLiteral("the ZIP64 locator describes an archive split over several "
                                    "disks"));
        return false;
    }
    const quint64 recordAt = qFromLittleEndian<quint64>(l + 8);
    if (locatorAt < zip64EndRecordBytes || recordAt != quint64(locatorAt - zip64EndRecordBytes))
        return damaged(QStringLiteral("is not where its locator says (offset %1)")
                           .arg(QString::number(recordAt)));
    if (!m_file.seek(qint64(recordAt)))
        return damaged(QStringLiteral("cannot be read"));
    const QByteArray record = m_file.read(zip64EndRecordBytes);
    if (record.size() != zip64EndRecordBytes ||
        get32(record.constData()) != zip64EndRecordSignature)
        return damaged(QStringLiteral("is missing at offset %1").arg(QString::number(recordAt)));
    const char* r = record.constData();
    if (qFromLittleEndian<quint64>(r + 4) != quint64(zip64EndRecordBytes - 12))
        return damaged(QStringLiteral("carries extensible data; bundles carry none"));
    const quint64 here = qFromLittleEndian<quint64>(r + 24);
    const quint64 total = qFromLittleEndian<quint64>(r + 32);
    const quint64 size = qFromLittleEndian<quint64>(r + 40);
    const quint64 offset = qFromLittleEndian<quint64>(r + 48);
    if (get32(r + 16) != 0 || get32(r + 20) != 0 || here != total) {
        m_report({}, QStringLiteral("the ZIP64 end record describes an archive split over several "
                                    "disks"));
        return false;
    }
    // Every figure within the file before anything is derived from it.
    if (offset > recordAt || size != recordAt - offset) {
        m_report({}, QStringLiteral("the central directory (offset %1, %2 bytes) does not end "
                                    "where the ZIP64 end record begins (offset %3)")
                         .arg(QString::number(offset), QString::number(size),
                              QString::number(recordAt)));
        return false;
    }
    if ((entriesHere != zip64Marker16 && entriesHere != total) ||
        (directorySize != zip64Marker32 && directorySize != size) ||
        (directoryOffset != zip64Marker32 && directoryOffset != offset))
        return damaged(QStringLiteral("disagrees with the end record"));
    if (total > quint64(std::numeric_limits<qint64>::max()))
        return damaged(QStringLiteral("counts more entries than any archive can hold"));
    m_entriesTotal = qint64(total);
    m_directoryOffset = qint64(offset);
    m_directoryEnd = qint64(recordAt);
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
    while (at < m_directoryEnd) {
        const QString damaged =
            QStringLiteral("central directory record %1 is damaged").arg(m_entries.size() + 1);
        if (m_entries.size() == m_entriesTotal) {
            m_report({}, QStringLiteral("the central directory holds more records than the %1 "
                                        "the end record counts")
                             .arg(m_entriesTotal));
            return false;
        }
        const QByteArray record = m_file.read(centralHeaderBytes);
        if (record.size() != centralHeaderBytes || m_directoryEnd - at < centralHeaderBytes ||
            get32(record.constData()) != centralHeaderSignature) {
            m_report({}, damaged);
            return false;
        }
        const char* r = record.constData();
        const qint64 nameBytes = get16(r + 28);
        const qint64 extraBytes = get16(r + 30);
        const qint64 commentBytes = get16(r + 32);
        const qint64 recordBytes = centralHeaderBytes + nameBytes + extraBytes + commentBytes;
        if (m_directoryEnd - at < recordBytes) {
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
        const QByteArray extra = m_file.read(extraBytes);
        if (entry.name.size() != nameBytes || extra.size() != extraBytes) {
            m_report({}, damaged);
            return false;
        }
        bool foreign = commentBytes > 0;
        readCentralExtra(entry, extra, foreign);
        if (foreign)
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

// The one extra field a bundle's entry may carry is ZIP64's, and only with exactly the figures
// whose classic fields hold the marker: the sizes, the offset, in that order. Anything else in
// the extra field is foreign; a ZIP64 field that is short, too long or points beyond the archive
// leaves the entry undescribed.
void ZipReader::readCentralExtra(ZipEntryInfo& entry, const QByteArray& extra, bool& foreign)
{
    const bool sizeMarked = entry.size == zip64Marker32;
    const bool compressedMarked = entry.compressedSize == zip64Marker32;
    const bool offsetMarked = entry.localOffset == zip64Marker32;
    const qint64 wanted =
        8 * (qint64(sizeMarked) + qint64(compressedMarked) + qint64(offsetMarked));
    bool found = false;
    qint64 at = 0;
    while (at < extra.size()) {
        if (extra.size() - at < extraHeaderBytes) {
            foreign = true;
            break;
        }
        const quint16 id = get16(extra.constData() + at);
        const qint64 length = get16(extra.constData() + at + 2);
        const qint64 dataAt = at + extraHeaderBytes;
        if (length > extra.size() - dataAt) {
            m_report(entry.name, QStringLiteral("its central directory record has an extra field "
                                                "that runs past its end"));
            entry.described = false;
            return;
        }
        if (id != zip64ExtraId || found || wanted == 0) {
            foreign = true;
        } else if (length != wanted || entry.diskStart == zip64Marker16) {
            m_report(entry.name, QStringLiteral("its ZIP64 extra field holds %1 bytes where %2 "
                                                "are due")
                                     .arg(QString::number(length), QString::number(wanted)));
            entry.described = false;
            return;
        } else {
            found = true;
            const char* field = extra.constData() + dataAt;
            const auto next = [&field] {
                const quint64 value = qFromLittleEndian<quint64>(field);
                field += 8;
                return value;
            };
            const quint64 size = sizeMarked ? next() : quint64(entry.size);
            const quint64 compressed = compressedMarked ? next() : quint64(entry.compressedSize);
            const quint64 offset = offsetMarked ? next() : quint64(entry.localOffset);
            const quint64 limit = quint64(m_fileSize);
            if (size > limit || compressed > limit || offset > limit) {
                m_report(entry.name, QStringLiteral("its ZIP64 extra field gives a size or offset "
                                                    "beyond the archive's %1 bytes")
                                         .arg(m_fileSize));
                entry.described = false;
                return;
            }
            entry.size = qint64(size);
            entry.compressedSize = qint64(compressed);
            entry.localOffset = qint64(offset);
        }
        at = dataAt + length;
    }
    // A marker with no ZIP64 field behind it is taken as the figure it is; the layout check
    // decides whether that fits.
}

// Compares the entry's local header with its central directory record; on agreement the entry's
// data offset is known.
void ZipReader::checkLocalHeader(ZipEntryInfo& entry)
{
    const QByteArray& name = entry.name;
    if (!entry.described)
        return; // already reported
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
    if (entry.localOffset > m_directoryOffset - localHeaderBytes ||
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
    const bool inEntries = dataOffset <= m_directoryOffset;
    const QByteArray localName = inEntries ? m_file.read(nameBytes) : QByteArray();
    const QByteArray localExtra = inEntries ? m_file.read(extraBytes) : QByteArray();
    // Sizes at the marker with a ZIP64 extra field of exactly both sizes: that field gives them.
    qint64 localSize = get32(h + 22);
    qint64 localCompressed = get32(h + 18);
    bool zip64Extra = false;
    if (localSize == zip64Marker32 && localCompressed == zip64Marker32 &&
        localExtra.size() == zip64LocalExtraBytes &&
        get16(localExtra.constData()) == zip64ExtraId &&
        get16(localExtra.constData() + 2) == zip64LocalExtraBytes - extraHeaderBytes) {
        const quint64 size = qFromLittleEndian<quint64>(localExtra.constData() + 4);
        const quint64 compressed = qFromLittleEndian<quint64>(localExtra.constData() + 12);
        // Anything beyond the file cannot agree with the central record, which lies within it.
        localSize = size > quint64(m_fileSize) ? -1 : qint64(size);
        localCompressed = compressed > quint64(m_fileSize) ? -1 : qint64(compressed);
        zip64Extra = true;
    }
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
    if (!deferred && (localCompressed != entry.compressedSize || localSize != entry.size))
        differences << QStringLiteral("size");
    if (localName != entry.name)
        differences << QStringLiteral("name");
    if (!differences.isEmpty()) {
        m_report(name, QStringLiteral("its local header differs from the central directory in: %1")
                           .arg(differences.join(QStringLiteral(", "))));
        return;
    }
    if (extraBytes > 0 && !zip64Extra) {
        m_report(name, QStringLiteral("its local header carries an extra field of %1 bytes; "
                                      "bundles carry none")
                           .arg(extraBytes));
        return;
    }
    if (entry.size > m_directoryOffset - dataOffset) {
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
