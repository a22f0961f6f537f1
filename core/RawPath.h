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
    qint64 modifiedNs = 0; // -1 when the time does not fit (before the epoch, far ahead)
};

RawFileStatus rawFileStatus(const QByteArray& rawPath);

// Opens a regular file for reading without ever blocking: a FIFO, device, socket or folder is
// refused, and so is a link unless links are followed.
enum class Links { Follow, Refuse };
Status openRegularForReading(QFile& file, const QByteArray& rawPath, Links links);

// The form in which path bytes are shown to people (manifest, index): valid UTF-8 as it is and
// every byte that is not part of valid UTF-8 as "\xHH" (two upper-case hexadecimal digits). A
// backslash is doubled only where it would otherwise be read as the start of an escape (before
// another backslash, an escaped byte, or "x" and two hexadecimal digits), so that ordinary names
// show unchanged and two different byte strings never look the same.
QString displayPath(const QByteArray& rawPath);

// The same form for a path already held as text.
QString displayText(const QString& text);

// The bytes a shown path stands for. A backslash that begins neither "\\" nor "\x" with two
// hexadecimal digits stands for itself.
QByteArray pathFromDisplay(const QString& shown);

// A record's source path and file name as shown.
QString displaySourcePath(const DocumentRecord& record);
QString displayFileName(const DocumentRecord& record);

} // namespace Tessavo
