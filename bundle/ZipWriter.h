#pragma once

#include "bundle/PendingFile.h"
#include "core/Failure.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>

class QIODevice;

namespace Tessavo {

// A timestamp in the two 16-bit fields of a ZIP header.
struct DosDateTime {
    quint16 time = 0;
    quint16 date = 0;
};

// Local time as DOS fields; times outside 1980 to 2107 are clamped to the nearest one DOS can
// hold instead of wrapping.
DosDateTime dosDateTime(const QDateTime& localTime);

// Writes one ZIP archive whose entries are stored uncompressed, with UTF-8 names and the Unix mode
// 0644 for files (0755 for folders). Entry data is streamed in fixed-size chunks, so memory does
// not grow with file size. The classic (32-bit) structures are used wherever they suffice; ZIP64
// fields and records are added only for an entry of 4 GiB or more, an entry that begins at 4 GiB
// or beyond, and an archive of 65,535 entries or more or whose directory lies past 4 GiB, so
// that an archive that fits the classic format holds nothing else.
// The archive is written under a temporary name beside its path and takes that name only when
// finish() completes; nothing that already lies at the path, not even a dangling link, is
// replaced or written through. After a failed write the archive is beyond repair: every later call
// fails, and the temporary file is removed.
class ZipWriter {
public:
    // Every entry is dated entryTime (local time), by default the moment the writer is made.
    explicit ZipWriter(const QString& path,
                       const QDateTime& entryTime = QDateTime::currentDateTime());
    // An archive that was never finished is removed here.
    ~ZipWriter();

    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    [[nodiscard]] bool open();
    [[nodiscard]] bool addFile(const QString& entryName, const QString& sourcePath);
    [[nodiscard]] bool addData(const QString& entryName, const QByteArray& data);
    [[nodiscard]] bool finish();

    // Why the last operation that failed did so; empty while none has.
    QString errorString() const { return m_error; }

    // Called with the byte count after every chunk of entry data that was written; returning
    // false abandons the archive ("ZIP archive was cancelled").
    void setChunkHandler(std::function<bool(qint64)> handler)
    {
        m_chunkHandler = std::move(handler);
    }

    // Refuses empty names, absolute names, backslashes and ".." pieces.
    static Status validateEntryName(const QByteArray& nameBytes);

private:
    struct Entry {
        QByteArray name;
        quint32 crc32 = 0;
        qint64 size = 0;
        qint64 localHeaderOffset = 0;
    };

    bool checkEntry(const QString& entryName, const QByteArray& name, qint64 size);
    bool writeEntry(const QByteArray& name, QIODevice& source, qint64 size,
                    const QString& sourceDescription);
    // Writes bytes of the archive; after the first failure nothing more is written.
    bool put(const QByteArray& bytes);
    bool put(const char* data, qint64 size);
    // Records why an operation failed; returns false.
    bool fail(const QString& message);
    // Abandons the archive for good; returns false.
    bool broken(const QString& message);

    QString m_path;
    DosDateTime m_stamp;
    PendingFile m_out;
    std::function<bool(qint64)> m_chunkHandler;
    QString m_writeError; // the system's reason for the first failed write
    QString m_error;      // why the last failed operation failed
    QList<Entry> m_entries;
    QSet<QByteArray> m_names;
    qint64 m_centralDirectoryBytes = 0; // what the central directory will take
    bool m_opened = false;
    bool m_finished = false;
    bool m_broken = false; // a write failed or the archive was abandoned
};

} // namespace Tessavo
