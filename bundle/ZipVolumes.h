#pragma once

#include <QList>
#include <QString>

namespace Tessavo {

// What one stored entry takes in an archive ZipWriter writes: its local header, name and data,
// and its central directory record. Exact for archives below 4 GiB; for a larger archive limit
// the ZIP64 offset field every entry might need is counted too, so the figure never falls short.
qint64 zipEntryBytes(qint64 nameBytes, qint64 size, qint64 archiveLimit);

// What the end records of an archive of that many entries take (ZIP64's too when the entry count
// or the archive limit can need them).
qint64 zipEndBytes(qint64 entries, qint64 archiveLimit);

// One file of a bundle's ZIP: its entry name's length in UTF-8, its size, and what to call it
// in a message.
struct VolumeFile {
    qint64 nameBytes = 0;
    qint64 size = 0;
    QString label;
};

// How the originals of a bundle are shared among ZIP volumes of at most limitBytes each. Every
// volume holds the shared files (the manifest and the index) and the originals it was given.
struct [[nodiscard]] VolumePlan {
    bool ok = false;
    QString error;       // names the original, or the shared files, that cannot fit
    QList<int> volumeOf; // each original's volume, counted from 1
    QList<qint64> sizes; // each volume's size in bytes, in volume order
    int volumeCount() const { return int(sizes.size()); }
};

// The size of one archive holding all the files, shared files first.
qint64 singleZipBytes(const QList<VolumeFile>& shared, const QList<VolumeFile>& originals,
                      qint64 limitBytes);

// Places each original, in the order given, in the first volume that still has room for it, and
// opens a new volume when none has. Fails when one original cannot fit even in a volume of its
// own, saying what such a volume would need.
VolumePlan planVolumes(const QList<VolumeFile>& shared, const QList<VolumeFile>& originals,
                       qint64 limitBytes);

// A byte count for a message: "1.5 MB (1572864 bytes)".
QString volumeSizeText(qint64 bytes);

} // namespace Tessavo
