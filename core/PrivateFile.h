#pragma once

#include "core/Failure.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace Tessavo {

// The files the program keeps for itself (session, log, rules, settings) hold confidential text:
// they live in a folder only the user can enter (0700), each file readable by the user alone
// (0600), whatever the umask. They are opened only when they are regular files, never through a
// link, and never in a way that can block (a pipe placed under their name).

inline constexpr unsigned privateFolderMode = 0700;
inline constexpr unsigned privateFileMode = 0600;

// Creates the folder (and its parents) if needed and gives the folder itself mode 0700. Fails
// when it cannot be created, is not a folder, or is a link.
Status makePrivateFolder(const QString& folder);

// Gives the folder mode 0700 and every regular file directly inside it mode 0600; links and
// other entries are left alone. Used at start on a folder that may come from an older version.
Status securePrivateFolder(const QString& folder);

// Gives an existing regular file mode 0600 without following a link. Missing is not a failure.
Status securePrivateFile(const QString& path);

// What lies at a path, without following a link.
enum class EntryKind { Missing, RegularFile, Link, Other };
EntryKind entryKind(const QString& path);

struct [[nodiscard]] PrivateRead {
    bool ok = false;
    bool missing = false; // nothing lies at the path (ok is false then too)
    QString error;        // set when !ok
    QByteArray bytes;
};

// Reads a whole regular file of at most maxBytes. A link, pipe, device or folder is refused with
// "not a regular file", a larger file with "larger than <maxBytes> bytes".
PrivateRead readPrivateFile(const QString& path, qint64 maxBytes);

struct [[nodiscard]] PrivateJsonRead {
    bool ok = false;
    bool missing = false; // no path, or nothing lies at it (ok is false then too)
    QString error;        // set when !ok
    QJsonObject object;
};

// Reads a private file as readPrivateFile does; it must hold one JSON object, or it fails with
// notAnObject ("not a settings file"). An empty path is missing.
PrivateJsonRead readPrivateJsonObject(const QString& path, qint64 maxBytes,
                                      const QString& notAnObject);

// Replaces the file by these bytes atomically: a new file of mode 0600 beside it is written,
// flushed to disk and renamed over the name. A link at the name is replaced, never written
// through. On failure the old file is untouched and no temporary file remains.
Status writePrivateFile(const QString& path, const QByteArray& bytes);

// Creates an empty regular file of mode 0600 if nothing lies at the path; an existing regular
// file is left as it is (its mode fixed). Fails for a link or any other kind of entry.
Status createPrivateFile(const QString& path);

// Opens a regular file for appending (created 0600 when missing) and returns its descriptor,
// or -1 when the path is a link, not a regular file, or cannot be opened.
int openPrivateFileForAppend(const QString& path);

} // namespace Tessavo
