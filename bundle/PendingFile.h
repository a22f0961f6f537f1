#pragma once

#include "core/Failure.h"

#include <QFile>
#include <QString>

namespace Tessavo {

// Writes all of data to an unbuffered device, or returns false with the device's error set: a
// short write carries no reason, so the rest is tried again until the system gives one.
[[nodiscard]] bool writeAll(QIODevice& device, const char* data, qint64 size);

// Writes everything the file system that holds path still has in memory to its disk; fails with
// the system's reason when it cannot, or when an earlier write-back there failed.
Status syncFileSystem(const QString& path);

// True when anything at all lies at path: a file, a folder, or a link, even one that points
// nowhere.
bool pathTaken(const QString& path);

// A new file that is written under a hidden temporary name beside its final name and takes that
// name only when it is complete. Nothing that already lies at the final name, not even a dangling
// link, is ever replaced or written through; a file that is never committed is removed.
class PendingFile {
public:
    explicit PendingFile(const QString& finalPath);
    // Removes the temporary file unless it was committed.
    ~PendingFile();

    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the temporary file exclusively (mode 0666 less the umask), unbuffered. mode is
    // WriteOnly or ReadWrite.
    [[nodiscard]] bool open(QIODevice::OpenMode mode = QIODevice::WriteOnly);

    // The open temporary file. Writes through it that do not go through write() below must be
    // checked by the caller.
    QFile& device() { return m_file; }
    const QFile& device() const { return m_file; }

    // Writes all of data or records why not.
    [[nodiscard]] bool write(const char* data, qint64 size);
    [[nodiscard]] bool write(const QByteArray& data)
    {
        return write(data.constData(), data.size());
    }

    // Checks every earlier write, syncs to the disk, closes and gives the file its final name.
    // Fails when anything lies at the final name by then.
    [[nodiscard]] bool commit();

    // For a file inside a folder that is itself published only after one sync of its file system
    // (a bundle's staging folder): commit() then leaves the syncing to that.
    void setSyncedLater(bool later) { m_syncedLater = later; }

    // Closes and removes the temporary file.
    void discard();

    // The system's reason for the last failure ("No space left on device", "File exists").
    QString errorString() const { return m_error; }

    QString finalPath() const { return m_finalPath; }

private:
    bool fail(const QString& reason);

    QString m_finalPath;
    QFile m_file;
    QString m_error;
    bool m_committed = false;
    bool m_syncedLater = false;
};

} // namespace Tessavo
