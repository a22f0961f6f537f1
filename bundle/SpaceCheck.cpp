#include "bundle/SpaceCheck.h"

#include "bundle/ZipFormat.h"

#include <QFile>
#include <QLocale>

#include <limits>
#include <sys/statvfs.h>

namespace Tessavo {

namespace {

// Local header and central directory record of one entry, without its name, with room to spare
// for ZIP64 extra fields; and the end records, ZIP64's included.
constexpr qint64 zipEntryOverhead =
    ZipFormat::localHeaderBytes + ZipFormat::centralHeaderBytes + 64;
static_assert(2 * ZipFormat::extraHeaderBytes + 3 * 8 + 16 <= 64);
constexpr qint64 zipEndRecord =
    ZipFormat::endRecordBytes + ZipFormat::zip64EndRecordBytes + ZipFormat::zip64LocatorBytes;

qint64 saturatedAdd(qint64 a, qint64 b)
{
    constexpr qint64 most = std::numeric_limits<qint64>::max();
    if (a < 0 || b < 0)
        return a < 0 ? b : a;
    return a > most - b ? most : a + b;
}

QString sizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

} // namespace

qint64 bundleBytesNeeded(const QList<qint64>& originalSizes, qint64 manifestBytes,
                         qint64 indexBytes, qint64 entryNameBytes, int zipVolumes)
{
    qint64 files = saturatedAdd(manifestBytes, indexBytes);
    for (const qint64 size : originalSizes)
        files = saturatedAdd(files, size);
    // Every file twice: in the folder and in the ZIP.
    qint64 needed = saturatedAdd(files, files);
    const qint64 entries = originalSizes.size() + 2;
    needed = saturatedAdd(needed, entries * zipEntryOverhead + zipEndRecord);
    needed = saturatedAdd(needed, saturatedAdd(entryNameBytes, entryNameBytes));
    // Each further volume: the manifest and the index again, their two entries (names
    // included) and its own end records.
    const qint64 perVolume = saturatedAdd(saturatedAdd(manifestBytes, indexBytes),
                                          2 * zipEntryOverhead + zipEndRecord + 64);
    for (int volume = 1; volume < zipVolumes; ++volume)
        needed = saturatedAdd(needed, perVolume);
    return needed;
}

qint64 freeBytesAt(const QString& path)
{
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(path).constData(), &info) != 0 || info.f_frsize == 0)
        return -1;
    const auto most = static_cast<unsigned long long>(std::numeric_limits<qint64>::max());
    const unsigned long long blocks = info.f_bavail;
    const unsigned long long blockSize = info.f_frsize;
    if (blocks > most / blockSize)
        return std::numeric_limits<qint64>::max();
    return qint64(blocks * blockSize);
}

Status checkFreeSpace(const QString& folder, qint64 neededBytes, qint64 freeBytes)
{
    if (freeBytes < 0 || neededBytes <= freeBytes)
        return Status::success();
    return Status::failure(QStringLiteral("Not enough free space in %1: the bundle needs %2, "
                                          "%3 are free")
                               .arg(folder, sizeText(neededBytes), sizeText(freeBytes)));
}

} // namespace Tessavo
