#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QSet>
#include <QString>

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

// Writes one ZIP archive whose entries are stored uncompressed, with UTF-8 names and the classic
// (32-bit) structures. Entry data is streamed in fixed-size chunks, so memory does not grow with
// file size. Anything that would not fit the classic format is refused before it is written.
class ZipWriter {
public:
    explicit ZipWriter(const QString& path);
    // An archive that was opened but never finished gets its central directory here.
    ~ZipWriter();

    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    bool open(QString* error = nullptr);
    bool addFile(const QString& entryName, const QString& sourcePath, QString* error = nullptr);
    bool addData(const QString& entryName, const QByteArray& data, QString* error = nullptr);
    bool finish(QString* error = nullptr);

    // Refuses empty names, absolute names, backslashes and ".." pieces.
    static bool validateEntryName(const QByteArray& nameBytes, QString* error = nullptr);

private:
    struct Entry {
        QByteArray name;
        quint32 crc32 = 0;
        quint32 size = 0;
        quint32 localHeaderOffset = 0;
    };

    bool checkEntry(const QString& entryName, const QByteArray& name, qint64 size,
                    QString* error) const;
    bool writeEntry(const QByteArray& name, QIODevice& source, qint64 size,
                    const QString& sourceDescription, QString* error);

    QString m_path;
    QFile m_file;
    QList<Entry> m_entries;
    QSet<QByteArray> m_names;
    qint64 m_centralDirectoryBytes = 0; // what the central directory will take
    bool m_opened = false;
    bool m_finished = false;
    bool m_finishFailed = false;
};

} // namespace Tessavo
