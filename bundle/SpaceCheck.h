#pragma once

#include "core/Failure.h"

#include <QList>
#include <QString>

namespace Tessavo {

// What a bundle takes on disk: the copies of its originals, its manifest and index, and its ZIP,
// which holds all of them again with a header and a directory record for each entry.
// entryNameBytes is the total length of the entry names in UTF-8. A ZIP in that many volumes holds
// the manifest and the index in each of them.
qint64 bundleBytesNeeded(const QList<qint64>& originalSizes, qint64 manifestBytes,
                         qint64 indexBytes, qint64 entryNameBytes, int zipVolumes = 1);

// The bytes this user may still write on the file system that holds path; -1 when unknown.
qint64 freeBytesAt(const QString& path);

// Fails with what is needed and what is free when the bundle cannot fit; an unknown figure (-1)
// lets it go ahead.
Status checkFreeSpace(const QString& folder, qint64 neededBytes, qint64 freeBytes);

} // namespace Tessavo
