#pragma once

#include "core/Failure.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace Tessavo {

// What checking one export bundle found. Each problem is one line that names the file concerned.
struct BundleVerification {
    // The first hundred problems, then one line "… and N more problems" when there were more.
    QStringList problems;
    qsizetype problemCount = 0; // all problems found, listed or not
    int zipEntries = 0;         // ZIP entries whose header and CRC-32 were checked
    int manifestRows = 0;       // documents listed in the manifest(s) checked
    int originals = 0; // stored originals compared with their manifest row (ZIP and folder)
    bool ok() const { return problems.isEmpty(); }
};

// Whether the PDF at a path opens, and if not, why.
using PdfOpenCheck = std::function<Status(const QString& pdfPath)>;

// Opens the PDF in an inspection worker process, this program's own executable started for it, so
// that a file that hangs or crashes the PDF engine costs the worker, not the caller.
Status openPdfInWorker(const QString& pdfPath);

// Checks an export bundle given as its folder (the ZIP beside it is checked too) or as its ZIP
// alone: the ZIP's structure (every local header against the central directory, every byte of
// the archive claimed by a listed entry, its header, the central directory or the end record)
// and every entry's CRC-32; that manifest.csv parses with its thirteen columns; that every row's
// size and SHA-256 match the stored original, in the ZIP and in the folder; that nothing
// unlisted is stored (in the folder: no other file, no link, FIFO or device); and that index.pdf
// opens, as pdfOpens tells. A bundle whose ZIP is in volumes ("-part1.zip", …) has each volume
// checked the same way against the folder: the same manifest.csv and index.pdf, and exactly the
// originals of the rows that name it, so that every original lies in the one volume its row
// names; a volume given alone is checked for the rows that name it. Only reads, only regular
// files, never through a link inside the bundle, and in memory bounded by the sizes of the files.
BundleVerification verifyBundle(const QString& path,
                                const PdfOpenCheck& pdfOpens = openPdfInWorker);

} // namespace Tessavo
