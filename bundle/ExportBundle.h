#pragma once

#include "bundle/ExportWarning.h"
#include "bundle/ManifestCsv.h"
#include "core/DocumentRecord.h"
#include "core/SubmissionProfile.h"
#include "core/WrittenBundle.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

namespace Tessavo {

struct ExportOptions {
    QString exportFolder; // the bundle folder is created inside it
    QString subtitle;
    QString regularFontPath;
    QString boldFontPath;
    bool includeOriginals = true;
    qint64 zipVolumeBytes = 0; // 0: one ZIP, no limit
    // The clock, read once when the export starts: the bundle's name, the index's generation time
    // and the ZIP entries' dates all come from that one reading.
    std::function<QDateTime()> now = [] {
        return QDateTime::currentDateTime();
    };
    // The bytes that may still be written in a folder, -1 when unknown; asked once, before
    // anything is copied.
    std::function<qint64(const QString& folder)> freeBytes = nullptr;
    // A submission profile's limits on names: when any is set, the copies lie side by side in
    // originals/ under names fitted to them, and the manifest's file column lists those names.
    NameLimits fitNames = {};
};

struct [[nodiscard]] ExportResult : WrittenBundle {
    bool ok = false;
    QString error;
    QList<ExportWarning> warnings;
};

// The result as the export workflow hands it on: the nine fields under their own names.
QVariantMap exportResultMap(const ExportResult& result);

// How whoever runs an export follows it and stops it. Either function may be empty.
struct ExportMonitor {
    // Asked between chunks of work; true makes the export stop within a chunk.
    std::function<bool()> cancelled;
    // Told the percentage done after every chunk, also when it did not change.
    std::function<void(int)> progress;
};

// Builds the bundle: a new folder with manifest.csv, index.pdf and copies of the originals under
// names that Windows and macOS accept too, plus a ZIP of it beside the folder. When that ZIP would
// be larger than zipVolumeBytes it is written as numbered volumes instead, each a complete ZIP
// with manifest.csv, index.pdf and its share of the originals, and the manifest names each
// document's volume; an original too large for a volume of its own fails the export before
// anything is copied. A relative export folder is taken against the current folder. Nothing is ever
// left incomplete under a final name, and nothing that already exists is replaced. Never throws;
// every outcome is in the result. Sources are only read.
ExportResult buildExportBundle(QList<DocumentRecord> records, const ExportOptions& options);
ExportResult buildExportBundle(QList<DocumentRecord> records, const ExportOptions& options,
                               const ExportMonitor& monitor);

// The longest directory shared by every path ('/' separated); empty when none is shared.
QString commonBaseDirectory(const QStringList& paths);

// Where one original goes below "originals/".
struct OriginalPlace {
    QString wanted;           // its path relative to the sources' common folder
    QString stored;           // the portable, unique path it is stored under
    bool nameNotUtf8 = false; // its bytes are not UTF-8; those are stored as "_"
};

// Where each source, given by its path's bytes and each only once, is stored below "originals/":
// relative to the sources' common folder, bytes that are not UTF-8 as "_", made portable and
// unique. With name limits set, each is stored directly in originals/ instead, under its file
// name fitted to them (fittedNames). The export places the originals so.
QList<OriginalPlace> placeOriginals(const QList<QByteArray>& sources,
                                    const NameLimits& fitNames = {});

// Where each manifest row's original lies in a bundle, "originals/…" as UTF-8: as the export
// places it by the rows' source paths, or, in a bundle whose names were fitted, directly in
// originals/ under the name the row's file column lists. held tells whether the bundle holds a
// path; the fitted reading is taken only when it finds more of the rows' originals.
QList<QByteArray> originalsOfRows(const QList<ManifestRow>& rows,
                                  const std::function<bool(const QByteArray& path)>& held);

// Where a source goes below "originals/": its path relative to base, or its file name when it
// lies outside base.
QString originalsRelativePath(const QString& base, const QString& sourcePath);

// parent/name, or the first of parent/name-2, name-3, … for which nothing, not even a dangling
// link, lies at that path, at that path followed by ".zip", or at the names of that many ZIP
// volumes ("-part1.zip", …).
QString uniqueExportDirectory(const QString& parent, const QString& name, int volumes = 0);

} // namespace Tessavo
