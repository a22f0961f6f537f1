#pragma once

#include "core/DocumentRecord.h"

#include <QByteArray>

namespace Tessavo {

// What a file is known by from the folder walk to the stored session: the path's own bytes (never
// decoded, so that a name that is not valid UTF-8 still names its file), its size and
// modification time from one look at the file, and its SHA-256 once it has been hashed. The
// session keeps it as it is; a later start compares the file on disk with it.
struct FileIdentity {
    QByteArray path;        // absolute, as the file system spells it
    qint64 size = -1;       // bytes; -1 when unknown
    qint64 modifiedNs = -1; // nanoseconds since the epoch; -1 when unknown
    QByteArray sha256;      // hexadecimal; empty until the file is hashed

    // Same size and modification time: nothing shows that the file changed (only the digest
    // can tell for sure).
    bool looksLike(const FileIdentity& other) const
    {
        return size >= 0 && modifiedNs >= 0 && size == other.size && modifiedNs == other.modifiedNs;
    }

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// What the bytes name now, from one stat (links followed): path, size and time; size and time
// are -1 when the path names nothing. The digest is left empty.
FileIdentity currentIdentity(const QByteArray& rawPath);

// The identity a record was imported with.
FileIdentity identityOf(const DocumentRecord& record);

// A time given as seconds and nanoseconds since the epoch, in nanoseconds; -1 when it is before
// the epoch or does not fit (a file's time is whatever its owner set).
qint64 nanosecondsSinceEpoch(qint64 seconds, qint64 nanoseconds);

// A time in milliseconds since the epoch (as sessions of earlier versions kept it), in
// nanoseconds; -1 when unknown or out of range.
qint64 nanosecondsFromMilliseconds(qint64 milliseconds);

} // namespace Tessavo
