#pragma once

#include "core/DocumentRecord.h"
#include "core/Failure.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace Tessavo {

// Paths as the file system spells them. A name that is not valid UTF-8 does not survive a
// QString: decoding replaces its stray bytes, and the decoded path names no file. Such paths are
// carried as their bytes and opened through them.

// Whether the bytes come back unchanged through a QString.
bool roundTrips(const QByteArray& rawPath);

// The bytes to open a record's source through.
QByteArray sourcePathBytesOf(const DocumentRecord& record);

// Size and modification time of what a path names, following links; ok false when it names
// nothing (or cannot be examined).
struct RawFileStatus {
    bool ok = false;
    bool regularFile = false;
    bool directory = false;
    qint64 size = 0;
    qint64 modifiedNs = 0;
};

RawFileStatus rawFileStatus(const QByteArray& rawPath);

// Opens the file the bytes name for reading; on failure the error is the system's reason.
Status openRawForReading(QFile& file, const QByteArray& rawPath);

} // namespace Tessavo
