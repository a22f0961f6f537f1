#pragma once

#include "core/Failure.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QList>
#include <QString>

#include <functional>

namespace Tessavo {

// One entry as the central directory describes it, and where its data lies.
struct ZipEntryInfo {
    QByteArray name;
    quint16 versionNeeded = 0;
    quint16 flags = 0;
    quint16 method = 0;
    quint32 crc32 = 0;
    // From the classic fields or, where those hold the ZIP64 marker, from the ZIP64 extra field;
    // never beyond the archive's size.
    qint64 compressedSize = 0;
    qint64 size = 0;
    qint64 localOffset = 0;
    quint16 diskStart = 0;
    bool described = true;  // its central record, extra field included, could be made sense of
    qint64 dataOffset = -1; // set once its local header was found to agree
    bool readable = false;  // its header agrees and its bytes overlap no other entry's
};

// Reads an archive the way ZipWriter writes them (stored entries, no extra fields but ZIP64's, no
// comments) and checks that it holds nothing else: every byte belongs to a listed entry, its
// local header, the central directory or the end records. ZIP64 fields are read where the
// classic ones hold the marker, and must agree with them and with the archive's size. What it
// finds wrong goes to the report, which names the entry concerned (an empty name for the archive
// itself).
//
// Memory stays bounded by the archive: nothing a field claims is allocated before the file's
// size has shown it can be there, and entries are kept only as the central directory, which lies
// in the file, holds their records.
class ZipReader {
public:
    using Report = std::function<void(const QByteArray& entryName, const QString& what)>;

    // The file is opened by the caller and must stay open while the reader is used.
    ZipReader(QFile& file, Report report);

    // Finds the end record, reads the central directory and the local headers and checks the
    // layout; no entry's data is read. False when the structure is too damaged to go on (the
    // report says why); true otherwise, even when some entries were reported.
    [[nodiscard]] bool readDirectory();

    const QList<ZipEntryInfo>& entries() const { return m_entries; }

    // Reads a readable entry's data in pieces, handing each to the sink, and checks its CRC-32.
    // The failure names the fault (a read error or the CRC-32 that differs).
    using Sink = std::function<void(QByteArrayView piece)>;
    [[nodiscard]] Status readData(const ZipEntryInfo& entry, const Sink& sink);

private:
    bool findEndRecord();
    bool readZip64EndRecord(quint16 entriesHere, quint32 directorySize, quint32 directoryOffset);
    bool readCentralRecords();
    void readCentralExtra(ZipEntryInfo& entry, const QByteArray& extra, bool& foreign);
    void checkLocalHeader(ZipEntryInfo& entry);
    void checkLayout();
    void reportGap(qint64 from, qint64 to);

    QFile& m_file;
    Report m_report;
    qint64 m_fileSize = 0;
    qint64 m_endAt = 0;
    qint64 m_entriesTotal = 0;
    qint64 m_directoryOffset = 0;
    qint64 m_directoryEnd = 0; // the end record, or the ZIP64 end record when there is one
    QList<ZipEntryInfo> m_entries;
};

} // namespace Tessavo
