#include "bundle/ExportBundle.h"

#include "bundle/BundleStaging.h"
#include "bundle/IndexPdf.h"
#include "bundle/ManifestCsv.h"
#include "bundle/PendingFile.h"
#include "bundle/PortableNames.h"
#include "bundle/SpaceCheck.h"
#include "bundle/ZipVolumes.h"
#include "bundle/ZipWriter.h"

#include "inspection/Sha256.h"

#include "core/BundleLayout.h"
#include "core/Failure.h"
#include "core/RawPath.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>

#include <algorithm>
#include <memory>
#include <optional>

namespace Tessavo {

namespace {

constexpr qint64 copyChunkBytes = 1 << 20;

const QString cancelledError = QStringLiteral("Export was cancelled");

const QString manifestName = BundleLayout::text(BundleLayout::manifestFile);
const QString indexName = BundleLayout::text(BundleLayout::indexFile);
const QString originalsPrefix = BundleLayout::text(BundleLayout::originalsPrefix);

QStringList directoryPieces(const QString& path)
{
    QStringList pieces = QDir::fromNativeSeparators(path).split(u'/');
    pieces.removeLast();
    return pieces;
}

// Counts the bytes done against the bytes to do, reports the percentage and asks whether to stop.
class Progress {
public:
    explicit Progress(const ExportMonitor& monitor)
        : m_monitor(monitor)
    {}

    void addWork(qint64 bytes) { m_total += bytes; }

    // False once the export is to stop.
    [[nodiscard]] bool advance(qint64 bytes)
    {
        m_done += bytes;
        if (m_monitor.progress) {
            // Never 100 before the end: the ZIP still has to take its name.
            const qint64 percent = m_total > 0 ? m_done * 100 / m_total : 0;
            // The work still to do is known better as the export goes on; the figure never falls.
            m_percent = std::max(m_percent, int(std::clamp<qint64>(percent, 0, 99)));
            m_monitor.progress(m_percent);
        }
        return !cancelled();
    }

    [[nodiscard]] bool cancelled() const { return m_monitor.cancelled && m_monitor.cancelled(); }

    void finish()
    {
        if (m_monitor.progress)
            m_monitor.progress(100);
    }

private:
    const ExportMonitor& m_monitor;
    qint64 m_total = 0;
    qint64 m_done = 0;
    int m_percent = 0;
};

enum class CopyOutcome { Copied, Missing, Changed, Failed, Cancelled };

struct [[nodiscard]] Copying {
    CopyOutcome outcome = CopyOutcome::Failed;
    QString error; // the system's reason when the copy failed
};

// What the inspection found: the copy must have the same size and, when one was taken, the same
// SHA-256.
struct Expected {
    qint64 size = 0;
    QByteArray sha256; // lowercase hexadecimal; empty when none was taken
};

// Copies source to target in chunks, under a temporary name, counting and hashing the bytes as
// they pass. The copy takes its name only when it is complete and holds what the inspection saw.
Copying copyFile(const QString& source, const QByteArray& sourceBytes, const QString& target,
                 const Expected& expected, Progress& progress)
{
    const auto failed = [](const QString& action, const QString& path, const QString& why) {
        return Copying{CopyOutcome::Failed,
                       QStringLiteral("cannot %1 %2: %3").arg(action, path, why)};
    };
    QFile in;
    // Never blocks: a pipe, device or folder now in the file's place is refused, as missing.
    if (const Status opened = openRegularForReading(in, sourceBytes, Links::Follow); !opened.ok) {
        if (const RawFileStatus now = rawFileStatus(sourceBytes); !now.ok || !now.regularFile)
            return {CopyOutcome::Missing, QString()};
        return failed(QStringLiteral("read"), source, opened.error);
    }
    PendingFile out(target);
    // The staging folder takes its name only after one sync of the whole bundle (below), not a
    // sync per copy: thousands of small originals would wait for thousands of journal commits.
    out.setSyncedLater(true);
    if (!out.open())
        return failed(QStringLiteral("create"), target, out.errorString());
    Sha256 digest;
    qint64 copied = 0;
    QByteArray chunk(copyChunkBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 got = in.read(chunk.data(), chunk.size());
        if (got < 0)
            return failed(QStringLiteral("read"), source, in.errorString());
        if (got == 0)
            break;
        copied += got;
        if (copied > expected.size)
            return {CopyOutcome::Changed, QString()}; // it grew since it was inspected
        digest.add(QByteArrayView(chunk.constData(), got));
        if (!out.write(chunk.constData(), got))
            return failed(QStringLiteral("write"), target, out.errorString());
        if (!progress.advance(got))
            return {CopyOutcome::Cancelled, QString()};
    }
    if (copied != expected.size)
        return {CopyOutcome::Changed, QString()};
    const QByteArray sha256 = digest.hex();
    if (sha256.isEmpty())
        return failed(QStringLiteral("hash"), source, QStringLiteral("SHA-256 is not available"));
    if (!expected.sha256.isEmpty() && sha256 != expected.sha256.toLower())
        return {CopyOutcome::Changed, QString()};
    if (!out.commit())
        return failed(QStringLiteral("write"), target, out.errorString());
    return {CopyOutcome::Copied, QString()};
}

// One original to copy: where it comes from, where it goes below originals/, and what it must
// hold.
struct Original {
    QString source;
    QByteArray sourceBytes;               // what opens it
    QString wanted;                       // its path relative to the common folder
    QString stored;                       // the portable, unique path it is stored under
    std::optional<ExportWarning> renamed; // says so when stored differs from wanted
    Expected expected;
    bool present = false; // a regular file lay at the source when the export started
    bool copied = false;
};

// The originals, each source once, with the paths they are stored under. The records refer to
// them by index in originalOf.
QList<Original> planOriginals(const QList<DocumentRecord>& exported, const NameLimits& fitNames,
                              QList<qsizetype>& originalOf)
{
    QList<Original> originals;
    QList<QByteArray> sources;
    QHash<QByteArray, qsizetype> seen;
    originalOf.clear();
    for (const DocumentRecord& r : exported) {
        const QByteArray sourceBytes = sourcePathBytesOf(r);
        if (const auto known = seen.constFind(sourceBytes); known != seen.cend()) {
            originalOf.append(*known); // the same file listed twice is copied once
            continue;
        }
        seen.insert(sourceBytes, originals.size());
        originalOf.append(originals.size());
        sources.append(sourceBytes);
        Original original;
        original.source = r.sourcePath;
        original.sourceBytes = sourceBytes;
        original.expected = Expected{r.sizeBytes, r.sha256};
        original.present = rawFileStatus(sourceBytes).regularFile;
        originals.append(original);
    }

    const QList<OriginalPlace> places = placeOriginals(sources, fitNames);
    const auto fileName = [](const QString& path) {
        return path.section(u'/', -1);
    };
    for (qsizetype i = 0; i < originals.size(); ++i) {
        Original& original = originals[i];
        original.wanted = places.at(i).wanted;
        original.stored = places.at(i).stored;
        if (places.at(i).nameNotUtf8) {
            original.renamed =
                ExportWarning{ExportWarning::Kind::RenamedNotUtf8,
                              QStringLiteral("Renamed because its name is not valid UTF-8: "
                                             "%1 is stored as originals/%2")
                                  .arg(original.source, original.stored)};
            continue;
        }
        // Fitted names differ by design; the manifest lists each under its stored name.
        if (original.stored == original.wanted || fitNames.any())
            continue;
        // Alone, the original would keep its portable name; a different one means a clash.
        const QString portable = portablePaths({original.wanted}).first();
        if (fileName(original.stored) == fileName(portable)) {
            original.renamed =
                ExportWarning{ExportWarning::Kind::RenamedPortable,
                              QStringLiteral("Renamed so that Windows and macOS can open it: "
                                             "%1 is stored as originals/%2")
                                  .arg(original.source, original.stored)};
        } else {
            original.renamed =
                ExportWarning{ExportWarning::Kind::NamesClash,
                              QStringLiteral("Two originals would share originals/%1: %2 is "
                                             "stored as originals/%3")
                                  .arg(portable, original.source, original.stored)};
        }
    }
    return originals;
}

// Copies the originals into the bundle folder; one that is gone, changed since its inspection or
// cannot be copied is left out with a warning that says so. False when cancelled.
bool copyOriginals(QList<Original>& originals, const QString& directory, Progress& progress,
                   ExportResult& result)
{
    for (Original& original : originals) {
        if (progress.cancelled())
            return false;
        const QString target = directory + u'/' + originalsPrefix + original.stored;
        Copying copying{CopyOutcome::Missing, QString()};
        if (original.present) {
            if (QDir().mkpath(QFileInfo(target).path())) {
                copying = copyFile(original.source, original.sourceBytes, target, original.expected,
                                   progress);
            } else {
                copying = {CopyOutcome::Failed,
                           QStringLiteral("cannot create the folder for %1").arg(target)};
            }
        }
        switch (copying.outcome) {
        case CopyOutcome::Copied:
            original.copied = true;
            if (original.renamed)
                result.warnings.append(*original.renamed);
            continue;
        case CopyOutcome::Cancelled:
            return false;
        case CopyOutcome::Missing:
            result.warnings.append(
                {ExportWarning::Kind::SourceMissing,
                 QStringLiteral("Missing source file, left out of the bundle: %1")
                     .arg(original.source)});
            break;
        case CopyOutcome::Changed:
            result.warnings.append(
                {ExportWarning::Kind::SourceChanged,
                 QStringLiteral("Changed since it was inspected, left out of the bundle: %1")
                     .arg(original.source)});
            break;
        case CopyOutcome::Failed:
            // The warning names the original; the log keeps the system's reason.
            qWarning("%s", qPrintable(copying.error));
            result.warnings.append(
                {ExportWarning::Kind::CopyFailed,
                 QStringLiteral("Cannot copy original, left out of the bundle: %1")
                     .arg(original.source)});
            break;
        }
        // Not read into the ZIP either.
        progress.addWork(-original.expected.size);
    }
    return true;
}

// An original as one file of the ZIP: its entry's name length, its size, and its source for
// messages.
VolumeFile volumeFile(const Original& original)
{
    return {(originalsPrefix + original.stored).toUtf8().size(), original.expected.size,
            original.source};
}

// The manifest and the index, which every volume holds.
QList<VolumeFile> sharedFiles(qint64 manifestBytes, qint64 indexBytes)
{
    return {{manifestName.toUtf8().size(), manifestBytes, manifestName},
            {indexName.toUtf8().size(), indexBytes, indexName}};
}

// Volume numbers as wide as the widest one there can be (one volume per original at most), for
// the largest size the manifest can take.
QList<int> widestVolumes(qsizetype rows, qsizetype originals)
{
    return QList<int>(rows, int(std::max<qsizetype>(1, originals)));
}

Status zipBundle(const QString& directory, const QString& zipPath, QStringList originals,
                 const QDateTime& entryTime, Progress& progress)
{
    ZipWriter zip(zipPath, entryTime);
    zip.setChunkHandler([&progress](qint64 bytes) { return progress.advance(bytes); });
    const auto failed = [&zip] {
        return Status::failure(zip.errorString());
    };
    if (!zip.open())
        return failed();
    if (!zip.addFile(manifestName, directory + u'/' + manifestName) ||
        !zip.addFile(indexName, directory + u'/' + indexName))
        return failed();
    // Entries in the order of their names' UTF-16 code units.
    std::sort(originals.begin(), originals.end());
    for (const QString& stored : std::as_const(originals)) {
        if (!zip.addFile(originalsPrefix + stored, directory + u'/' + originalsPrefix + stored))
            return failed();
    }
    if (!zip.finish())
        return failed();
    return Status::success();
}

} // namespace

QVariantMap exportResultMap(const ExportResult& result)
{
    QVariantMap map{
        {QStringLiteral("ok"), result.ok},
        {QStringLiteral("error"), result.error},
        {QStringLiteral("directory"), result.directory},
        {QStringLiteral("csv"), result.csv},
        {QStringLiteral("pdf"), result.pdf},
        {QStringLiteral("zip"), result.zip},
        {QStringLiteral("exported"), result.exported},
        {QStringLiteral("skipped"), result.skipped},
        {QStringLiteral("warnings"), warningTexts(result.warnings)},
    };
    // A ZIP in volumes lists them all.
    if (!result.volumes.isEmpty())
        map.insert(QStringLiteral("volumes"), result.volumes);
    return map;
}

QList<OriginalPlace> placeOriginals(const QList<QByteArray>& sources, const NameLimits& fitNames)
{
    QStringList names;
    for (const QByteArray& source : sources)
        names.append(QFile::decodeName(source));
    const QString base = commonBaseDirectory(names);
    QList<OriginalPlace> places;
    QStringList wanted;
    for (qsizetype i = 0; i < sources.size(); ++i) {
        OriginalPlace place;
        place.wanted = originalsRelativePath(base, names.at(i));
        if (!roundTrips(sources.at(i))) {
            // The bytes that are not UTF-8 were decoded as U+FFFD; the copy gets "_" for them.
            place.wanted.replace(QChar::ReplacementCharacter, u'_');
            place.nameNotUtf8 = true;
        }
        wanted.append(place.wanted);
        places.append(place);
    }
    QStringList stored;
    if (fitNames.any()) {
        QStringList names;
        for (const QString& path : std::as_const(wanted))
            names.append(path.section(u'/', -1));
        stored = fittedNames(names, fitNames);
    } else {
        stored = portablePaths(wanted);
    }
    for (qsizetype i = 0; i < places.size(); ++i)
        places[i].stored = stored.at(i);
    return places;
}

QList<QByteArray> originalsOfRows(const QList<ManifestRow>& rows,
                                  const std::function<bool(const QByteArray& path)>& held)
{
    const QByteArray prefix = BundleLayout::bytes(BundleLayout::originalsPrefix);
    QList<QByteArray> sources;
    QHash<QByteArray, qsizetype> sourceIndex;
    for (const ManifestRow& row : rows) {
        if (sourceIndex.contains(row.sourcePath))
            continue; // the same file listed twice is stored once
        sourceIndex.insert(row.sourcePath, sources.size());
        sources.append(row.sourcePath);
    }
    const QList<OriginalPlace> places = placeOriginals(sources);
    QList<QByteArray> placed;
    QList<QByteArray> fitted;
    qsizetype placedHeld = 0;
    qsizetype fittedHeld = 0;
    for (const ManifestRow& row : rows) {
        placed.append(prefix + places.at(sourceIndex.value(row.sourcePath)).stored.toUtf8());
        fitted.append(prefix + row.fileName.toUtf8());
        placedHeld += held(placed.back()) ? 1 : 0;
        fittedHeld += held(fitted.back()) ? 1 : 0;
    }
    return fittedHeld > placedHeld ? fitted : placed;
}

QString commonBaseDirectory(const QStringList& paths)
{
    if (paths.isEmpty())
        return {};
    QStringList base = directoryPieces(paths.first());
    for (qsizetype i = 1; i < paths.size(); ++i) {
        const QStringList pieces = directoryPieces(paths.at(i));
        qsizetype common = 0;
        const qsizetype limit = std::min(base.size(), pieces.size());
        while (common < limit && base.at(common) == pieces.at(common))
            ++common;
        base = base.mid(0, common);
    }
    return base.join(u'/');
}

QString originalsRelativePath(const QString& base, const QString& sourcePath)
{
    const QString fileName = QFileInfo(sourcePath).fileName();
    if (base.isEmpty())
        return fileName;
    QString relative = QDir::fromNativeSeparators(QDir(base).relativeFilePath(sourcePath));
    while (relative.startsWith(QStringLiteral("../")))
        relative.remove(0, 3);
    if (relative.isEmpty() || relative.startsWith(u'/'))
        return fileName;
    return relative;
}

QString uniqueExportDirectory(const QString& parent, const QString& name, int volumes)
{
    const QDir folder(parent);
    const auto taken = [volumes](const QString& path) {
        if (pathTaken(path) || pathTaken(path + BundleLayout::text(BundleLayout::zipSuffix)))
            return true;
        for (int number = 1; number <= volumes; ++number) {
            if (pathTaken(path + BundleLayout::volumeSuffix(number)))
                return true;
        }
        return false;
    };
    QString candidate = folder.filePath(name);
    for (qint64 n = 2; taken(candidate); ++n)
        candidate = folder.filePath(QStringLiteral("%1-%2").arg(name, QString::number(n)));
    return candidate;
}

ExportResult buildExportBundle(QList<DocumentRecord> records, const ExportOptions& options)
{
    return buildExportBundle(std::move(records), options, ExportMonitor());
}

ExportResult buildExportBundle(QList<DocumentRecord> records, const ExportOptions& options,
                               const ExportMonitor& monitor)
{
    ExportResult result;
    auto failed = [&result](const QString& error) {
        // Nothing of a bundle that was not finished stays: the staging folder goes with it.
        result.error = error;
        result.directory.clear();
        result.csv.clear();
        result.pdf.clear();
        return result;
    };
    Progress progress(monitor);

    if (options.exportFolder.trimmed().isEmpty())
        return failed(QStringLiteral("No export folder was selected"));
    // Every path below is absolute, so nothing depends on how it is joined or listed.
    const QString exportFolder = QDir(options.exportFolder).absolutePath();

    QList<DocumentRecord> exported;
    for (DocumentRecord& record : records) {
        if (exportable(record))
            exported.append(std::move(record));
        else
            ++result.skipped;
    }
    if (exported.isEmpty())
        return failed(QStringLiteral("Nothing to export: every document is ignored or unreadable"));

    if (!QFileInfo(exportFolder).isDir() && !QDir().mkpath(exportFolder))
        return failed(QStringLiteral("Cannot create export folder: %1").arg(options.exportFolder));
    for (const QString& leftover : removeUnfinishedExports(exportFolder))
        qInfo("Removed %s, left unfinished by an earlier export", qPrintable(leftover));

    // The bundle is built under a temporary name and takes its own only when it is complete.
    const QDateTime startedAt = options.now ? options.now() : QDateTime::currentDateTime();
    const QString name = BundleLayout::text(BundleLayout::namePrefix) +
                         startedAt.toString(BundleLayout::text(BundleLayout::nameTimeFormat));
    BundleStaging staging;
    if (!staging.create(exportFolder, name)) {
        return failed(QStringLiteral("Cannot create export directory: %1")
                          .arg(QDir(exportFolder).filePath(name)));
    }
    const QString directory = staging.folder();
    if (progress.cancelled())
        return failed(cancelledError);

    // The originals come first: the manifest and the index describe only what was stored.
    QList<qsizetype> originalOf;
    QList<Original> originals;
    if (options.includeOriginals)
        originals = planOriginals(exported, options.fitNames, originalOf);
    // Each original is read twice: once for its copy, once into the ZIP. The manifest and the
    // index are counted at their likely size until they are written.
    const qint64 manifestEstimate = buildManifestCsv(exported).size();
    const qint64 indexEstimate = 4096 * exported.size();
    const qint64 estimatedExtras = manifestEstimate + indexEstimate;
    progress.addWork(estimatedExtras);
    for (const Original& original : std::as_const(originals))
        progress.addWork(original.expected.size * 2);
    if (!progress.advance(0))
        return failed(cancelledError);

    // A bundle that cannot fit fails before anything is copied, and so does an original too
    // large for a ZIP volume of its own.
    QList<qint64> sizes;
    qint64 nameBytes = 0;
    QList<VolumeFile> present;
    for (const Original& original : std::as_const(originals)) {
        if (!original.present)
            continue;
        sizes.append(original.expected.size);
        nameBytes += (originalsPrefix + original.stored).toUtf8().size();
        present.append(volumeFile(original));
    }
    const qint64 limit = options.zipVolumeBytes;
    int estimatedVolumes = 1;
    if (limit > 0 && singleZipBytes(sharedFiles(manifestEstimate, 0), present, limit) > limit) {
        // The index is not written yet: each original is checked with what is known.
        const qint64 manifestBound =
            buildManifestCsv(exported, {}, widestVolumes(exported.size(), present.size())).size();
        if (const VolumePlan alone = planVolumes(sharedFiles(manifestBound, 0), present, limit);
            !alone.ok)
            return failed(alone.error);
        const VolumePlan likely =
            planVolumes(sharedFiles(manifestBound, indexEstimate), present, limit);
        estimatedVolumes = likely.ok ? likely.volumeCount() : int(present.size());
    }
    const Status room = checkFreeSpace(
        options.exportFolder,
        bundleBytesNeeded(sizes, manifestEstimate, indexEstimate, nameBytes, estimatedVolumes),
        options.freeBytes ? options.freeBytes(directory) : freeBytesAt(directory));
    if (!room.ok)
        return failed(room.error);

    if (!copyOriginals(originals, directory, progress, result))
        return failed(cancelledError);

    QList<DocumentRecord> stored;
    QStringList storedNames;         // for the manifest, when the names were fitted
    QList<qsizetype> storedOriginal; // for each stored record, its original in copiedFiles
    QStringList copied;
    QList<VolumeFile> copiedFiles;
    if (options.includeOriginals) {
        QList<qsizetype> copiedIndex(originals.size(), -1);
        for (qsizetype i = 0; i < originals.size(); ++i) {
            if (originals.at(i).copied) {
                copiedIndex[i] = copied.size();
                copied.append(originals.at(i).stored);
                copiedFiles.append(volumeFile(originals.at(i)));
            }
        }
        for (qsizetype i = 0; i < exported.size(); ++i) {
            const Original& original = originals.at(originalOf.at(i));
            const DocumentRecord& record = exported.at(i);
            // A second record of the same file counts only when it saw the same bytes.
            if (original.copied && record.sizeBytes == original.expected.size &&
                record.sha256 == original.expected.sha256) {
                stored.append(record);
                if (options.fitNames.any())
                    storedNames.append(original.stored);
                storedOriginal.append(copiedIndex.at(originalOf.at(i)));
            }
        }
        if (stored.isEmpty()) {
            return failed(QStringLiteral("Nothing to export: no original could be stored in the "
                                         "bundle"));
        }
    } else {
        stored = exported;
    }

    // The index comes before the manifest: how the ZIP is shared among volumes, which the
    // manifest records, depends on the index's size.
    const QString pdfPath = directory + u'/' + indexName;
    // The index reports as its pages are drawn, counted against its estimate.
    qint64 indexDone = 0;
    const Status index =
        writeIndexPdf(pdfPath, stored, options.subtitle, options.regularFontPath,
                      options.boldFontPath, startedAt, [&](qsizetype piecesDone, qsizetype pieces) {
                          const qint64 done = pieces > 0 ? indexEstimate * piecesDone / pieces : 0;
                          const qint64 step = done - indexDone;
                          indexDone = done;
                          return progress.advance(step);
                      });
    if (progress.cancelled())
        return failed(cancelledError);
    if (!index.ok)
        return failed(QStringLiteral("Cannot write index.pdf: %1").arg(index.error));
    const qint64 indexBytes = QFileInfo(pdfPath).size();

    QByteArray manifestBytes = buildManifestCsv(stored, storedNames);
    QList<QStringList> volumes; // the originals of each volume; empty for one ZIP
    if (limit > 0 &&
        singleZipBytes(sharedFiles(manifestBytes.size(), indexBytes), copiedFiles, limit) > limit) {
        const QByteArray widest =
            buildManifestCsv(stored, storedNames, widestVolumes(stored.size(), copiedFiles.size()));
        const VolumePlan plan =
            planVolumes(sharedFiles(widest.size(), indexBytes), copiedFiles, limit);
        if (!plan.ok)
            return failed(plan.error);
        QList<int> volumeOfRecord;
        for (const qsizetype original : std::as_const(storedOriginal))
            volumeOfRecord.append(plan.volumeOf.at(original));
        manifestBytes = buildManifestCsv(stored, storedNames, volumeOfRecord);
        volumes.resize(plan.volumeCount());
        for (qsizetype i = 0; i < copied.size(); ++i)
            volumes[plan.volumeOf.at(i) - 1].append(copied.at(i));
    }

    // Unbuffered, every write error is caught before the commit, with the system's reason; a
    // buffered save file could commit whatever part of its buffer reached the disk.
    QSaveFile manifest(directory + u'/' + manifestName);
    if (!manifest.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failed(QStringLiteral("Cannot write manifest.csv: %1").arg(manifest.errorString()));
    if (!writeAll(manifest, manifestBytes.constData(), manifestBytes.size()) || !manifest.commit())
        return failed(QStringLiteral("Cannot save manifest.csv: %1").arg(manifest.errorString()));
    if (progress.cancelled())
        return failed(cancelledError);

    // From here the manifest and the index count at their real size, once more for each ZIP.
    const qint64 zips = std::max<qint64>(1, volumes.size());
    progress.addWork(zips * (manifestBytes.size() + indexBytes) - estimatedExtras + indexDone);
    if (!progress.advance(0))
        return failed(cancelledError);

    staging.setVolumes(int(volumes.size()));
    if (volumes.isEmpty()) {
        const Status zipped = zipBundle(directory, staging.zipPath(), copied, startedAt, progress);
        if (!zipped.ok)
            return failed(progress.cancelled() ? cancelledError : zipped.error);
    }
    for (qsizetype i = 0; i < volumes.size(); ++i) {
        const Status zipped = zipBundle(directory, staging.volumePath(int(i) + 1), volumes.at(i),
                                        startedAt, progress);
        if (!zipped.ok)
            return failed(progress.cancelled() ? cancelledError : zipped.error);
    }
    if (progress.cancelled())
        return failed(cancelledError);
    if (const Status synced = syncFileSystem(directory); !synced.ok) {
        return failed(QStringLiteral("Cannot write the bundle in %1: %2")
                          .arg(options.exportFolder, synced.error));
    }
    if (!staging.publish()) {
        return failed(QStringLiteral("Cannot give the bundle its name in %1: %2")
                          .arg(options.exportFolder, staging.errorString()));
    }
    result.directory = staging.published();
    result.csv = result.directory + u'/' + manifestName;
    result.pdf = result.directory + u'/' + indexName;
    result.volumes = staging.publishedVolumes();
    result.zip = result.volumes.isEmpty()
                     ? result.directory + BundleLayout::text(BundleLayout::zipSuffix)
                     : result.volumes.first();
    result.exported = int(stored.size());
    result.ok = true;
    progress.finish();
    return result;
}

} // namespace Tessavo
