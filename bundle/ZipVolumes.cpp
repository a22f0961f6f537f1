#include "bundle/ZipVolumes.h"

#include "bundle/ZipFormat.h"

#include <QLocale>

namespace Tessavo {

namespace {

using namespace ZipFormat;

// Below this an archive holds no offset that needs a ZIP64 field.
bool mayReachZip64(qint64 archiveLimit)
{
    return archiveLimit <= 0 || archiveLimit >= qint64(zip64Marker32);
}

qint64 sharedBytes(const QList<VolumeFile>& shared, qint64 limitBytes)
{
    qint64 bytes = 0;
    for (const VolumeFile& file : shared)
        bytes += zipEntryBytes(file.nameBytes, file.size, limitBytes);
    return bytes;
}

} // namespace

qint64 zipEntryBytes(qint64 nameBytes, qint64 size, qint64 archiveLimit)
{
    const bool zip64Size = size >= qint64(zip64Marker32);
    const qint64 local = localHeaderBytes + nameBytes + (zip64Size ? zip64LocalExtraBytes : 0);
    const qint64 fields = (zip64Size ? 16 : 0) + (mayReachZip64(archiveLimit) ? 8 : 0);
    const qint64 central =
        centralHeaderBytes + nameBytes + (fields > 0 ? extraHeaderBytes + fields : 0);
    return local + size + central;
}

qint64 zipEndBytes(qint64 entries, qint64 archiveLimit)
{
    const bool zip64 = entries >= qint64(zip64Marker16) || mayReachZip64(archiveLimit);
    return endRecordBytes + (zip64 ? zip64EndRecordBytes + zip64LocatorBytes : 0);
}

qint64 singleZipBytes(const QList<VolumeFile>& shared, const QList<VolumeFile>& originals,
                      qint64 limitBytes)
{
    qint64 bytes = sharedBytes(shared, limitBytes);
    for (const VolumeFile& file : originals)
        bytes += zipEntryBytes(file.nameBytes, file.size, limitBytes);
    return bytes + zipEndBytes(shared.size() + originals.size(), limitBytes);
}

VolumePlan planVolumes(const QList<VolumeFile>& shared, const QList<VolumeFile>& originals,
                       qint64 limitBytes)
{
    VolumePlan plan;
    const qint64 fixed = sharedBytes(shared, limitBytes);
    // Per volume: the bytes of its entries besides the end records, and how many entries.
    QList<qint64> entryBytes;
    QList<qint64> entryCounts;
    const auto sizeWith = [&](qsizetype volume, qint64 bytes) {
        return entryBytes.at(volume) + bytes + zipEndBytes(entryCounts.at(volume) + 1, limitBytes);
    };
    for (const VolumeFile& file : originals) {
        const qint64 bytes = zipEntryBytes(file.nameBytes, file.size, limitBytes);
        qsizetype volume = 0;
        while (volume < entryBytes.size() && sizeWith(volume, bytes) > limitBytes)
            ++volume;
        if (volume == entryBytes.size()) {
            const qint64 alone = fixed + bytes + zipEndBytes(shared.size() + 1, limitBytes);
            if (alone > limitBytes) {
                plan.error =
                    QStringLiteral("%1 does not fit in a ZIP volume of at most %2: with "
                                   "manifest.csv and index.pdf it needs %3")
                        .arg(file.label, volumeSizeText(limitBytes), volumeSizeText(alone));
                return plan;
            }
            entryBytes.append(fixed);
            entryCounts.append(shared.size());
        }
        entryBytes[volume] += bytes;
        ++entryCounts[volume];
        plan.volumeOf.append(int(volume) + 1);
    }
    if (entryBytes.isEmpty()) {
        // Nothing but the shared files: one volume, if they fit.
        const qint64 alone = fixed + zipEndBytes(shared.size(), limitBytes);
        if (alone > limitBytes) {
            plan.error = QStringLiteral("manifest.csv and index.pdf do not fit in a ZIP of at most "
                                        "%1: they need %2")
                             .arg(volumeSizeText(limitBytes), volumeSizeText(alone));
            return plan;
        }
        entryBytes.append(fixed);
        entryCounts.append(shared.size());
    }
    for (qsizetype volume = 0; volume < entryBytes.size(); ++volume)
        plan.sizes.append(entryBytes.at(volume) + zipEndBytes(entryCounts.at(volume), limitBytes));
    plan.ok = true;
    return plan;
}

QString volumeSizeText(qint64 bytes)
{
    const QLocale c = QLocale::c();
    return QStringLiteral("%1 (%2 bytes)")
        .arg(c.formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat),
             QString::number(bytes));
}

} // namespace Tessavo
