#include "export/ExportBundle.h"

#include "export/IndexPdf.h"
#include "export/ManifestCsv.h"
#include "export/PendingFile.h"
#include "export/PortableNames.h"
#include "export/ZipWriter.h"

#include "core/Failure.h"
#include "core/RawPath.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <algorithm>

namespace Tessavo {

namespace {

constexpr qint64 copyChunkBytes = 1 << 20;

const QString cancelledError = QStringLiteral("Export was cancelled");

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
            m_monitor.progress(int(std::clamp<qint64>(percent, 0, 99)));
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
};

struct [[nodiscard]] BundleDirectory {
    bool ok = false;
    QString error; // set when !ok
    QString path;
};

// Creates a fresh bundle folder; safe against a folder of the same name appearing meanwhile.
BundleDirectory createBundleDirectory(const QString& parent, const QString& name)
{
    QString candidate;
    for (int attempt = 0; attempt < 100; ++attempt) {
        candidate = uniqueExportDirectory(parent, name);
        if (QDir().mkdir(candidate))
            return {true, QString(), candidate};
        if (!pathTaken(candidate))
            break;
    }
    return {false, QStringLiteral("Cannot create export directory: %1").arg(candidate), QString()};
}

enum class CopyOutcome { Copied, Failed, Cancelled };

struct [[nodiscard]] Copying {
    CopyOutcome outcome = CopyOutcome::Failed;
    QString error; // set when the copy failed
};

// Copies source to target in chunks, under a temporary name until the copy is complete.
Copying copyFile(const QString& source, const QByteArray& sourceBytes, const QString& target,
                 Progress& progress)
{
    const auto failed = [](const QString& action, const QString& path, const QString& why) {
        return Copying{CopyOutcome::Failed,
                       QStringLiteral("cannot %1 %2: %3").arg(action, path, why)};
    };
    QFile in;
    if (const Status opened = openRawForReading(in, sourceBytes); !opened.ok)
        return failed(QStringLiteral("read"), source, opened.error);
    PendingFile out(target);
    if (!out.open())
        return failed(QStringLiteral("create"), target, out.errorString());
    QByteArray chunk(copyChunkBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 got = in.read(chunk.data(), chunk.size());
        if (got < 0)
            return failed(QStringLiteral("read"), source, in.errorString());
        if (got == 0)
            break;
        if (!out.write(chunk.constData(), got))
            return failed(QStringLiteral("write"), target, out.errorString());
        if (!progress.advance(got))
            return {CopyOutcome::Cancelled, QString()};
    }
    if (!out.commit())
        return failed(QStringLiteral("write"), target, out.errorString());
    return {CopyOutcome::Copied, QString()};
}

// One original to copy: where it comes from and where it goes below originals/.
struct Original {
    QString source;
    QByteArray sourceBytes; // what opens it
    QString wanted;         // its path relative to the common folder
    QString stored;         // the portable, unique path it is stored under
    qint64 size = 0;
};

// The originals that exist, each source once, with the paths they are stored under; a warning
// for every source that is gone and for every name that had to change.
QList<Original> planOriginals(const QList<DocumentRecord>& exported, ExportResult& result)
{
    QStringList sources;
    for (const DocumentRecord& r : exported)
        sources.append(r.sourcePath);
    const QString base = commonBaseDirectory(sources);

    QList<Original> originals;
    QSet<QByteArray> seen;
    QSet<qsizetype> invalidNames; // indexes into originals
    for (const DocumentRecord& r : exported) {
        const QString& source = r.sourcePath;
        const QByteArray sourceBytes = sourcePathBytesOf(r);
        if (seen.contains(sourceBytes))
            continue; // the same file listed twice is copied once
        seen.insert(sourceBytes);
        const RawFileStatus status = rawFileStatus(sourceBytes);
        if (!status.regularFile) {
            result.warnings.append(QStringLiteral("Missing source file: %1").arg(source));
            continue;
        }
        QString wanted = originalsRelativePath(base, source);
        if (!roundTrips(sourceBytes)) {
            // The bytes that are not UTF-8 were decoded as U+FFFD; the copy gets "_" for them.
            wanted.replace(QChar::ReplacementCharacter, u'_');
            invalidNames.insert(originals.size());
        }
        originals.append({source, sourceBytes, wanted, QString(), status.size});
    }

    QStringList wanted;
    for (const Original& original : std::as_const(originals))
        wanted.append(original.wanted);
    const QStringList stored = portablePaths(wanted);
    const auto fileName = [](const QString& path) {
        return path.section(u'/', -1);
    };
    for (qsizetype i = 0; i < originals.size(); ++i) {
        Original& original = originals[i];
        original.stored = stored[i];
        if (invalidNames.contains(i)) {
            result.warnings.append(QStringLiteral("Renamed because its name is not valid UTF-8: "
                                                  "%1 is stored as originals/%2")
                                       .arg(original.source, original.stored));
            continue;
        }
        if (original.stored == original.wanted)
            continue;
        // Alone, the original would keep its portable name; a different one means a clash.
        const QString portable = portablePaths({original.wanted}).first();
        if (fileName(original.stored) == fileName(portable)) {
            result.warnings.append(QStringLiteral("Renamed so that Windows and macOS can open it: "
                                                  "%1 is stored as originals/%2")
                                       .arg(original.source, original.stored));
        } else {
            result.warnings.append(QStringLiteral("Two originals would share originals/%1: %2 is "
                                                  "stored as originals/%3")
                                       .arg(portable, original.source, original.stored));
        }
    }
    return originals;
}

// Copies the originals and lists the stored paths of those copied; false when cancelled.
bool copyOriginals(const QList<Original>& originals, const QString& directory, Progress& progress,
                   ExportResult& result, QStringList& copied)
{
    for (const Original& original : originals) {
        if (progress.cancelled())
            return false;
        const QString target = directory + QStringLiteral("/originals/%1").arg(original.stored);
        if (!QDir().mkpath(QFileInfo(target).path())) {
            result.warnings.append(QStringLiteral("Cannot create folder for: %1").arg(target));
            progress.addWork(-original.size * 2);
            continue;
        }
        const Copying copying = copyFile(original.source, original.sourceBytes, target, progress);
        switch (copying.outcome) {
        case CopyOutcome::Copied:
            copied.append(original.stored);
            break;
        case CopyOutcome::Failed:
            // The warning names the original; the log keeps the system's reason.
            qWarning("%s", qPrintable(copying.error));
            result.warnings.append(QStringLiteral("Cannot copy original: %1").arg(original.source));
            progress.addWork(-original.size * 2);
            break;
        case CopyOutcome::Cancelled:
            return false;
        }
    }
    return true;
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
    if (!zip.addFile(QStringLiteral("manifest.csv"), directory + QStringLiteral("/manifest.csv")) ||
        !zip.addFile(QStringLiteral("index.pdf"), directory + QStringLiteral("/index.pdf")))
        return failed();
    // Entries in the order of their names' UTF-16 code units.
    std::sort(originals.begin(), originals.end());
    for (const QString& stored : std::as_const(originals)) {
        if (!zip.addFile(QStringLiteral("originals/%1").arg(stored),
                         directory + QStringLiteral("/originals/%1").arg(stored)))
            return failed();
    }
    if (!zip.finish())
        return failed();
    return Status::success();
}

} // namespace

QVariantMap exportResultMap(const ExportResult& result)
{
    return {
        {QStringLiteral("ok"), result.ok},
        {QStringLiteral("error"), result.error},
        {QStringLiteral("directory"), result.directory},
        {QStringLiteral("csv"), result.csv},
        {QStringLiteral("pdf"), result.pdf},
        {QStringLiteral("zip"), result.zip},
        {QStringLiteral("exported"), result.exported},
        {QStringLiteral("skipped"), result.skipped},
        {QStringLiteral("warnings"), result.warnings},
    };
}

bool warningLosesOriginal(const QString& warning)
{
    return !warning.startsWith(QLatin1String("Renamed ")) &&
           !warning.startsWith(QLatin1String("Two originals would share "));
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

QString uniqueExportDirectory(const QString& parent, const QString& name)
{
    const QDir folder(parent);
    const auto taken = [](const QString& path) {
        return pathTaken(path) || pathTaken(path + QStringLiteral(".zip"));
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
        result.error = error;
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

    const QDateTime startedAt = options.now ? options.now() : QDateTime::currentDateTime();
    const QString name = QStringLiteral("Tessavo-Export-%1")
                             .arg(startedAt.toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const BundleDirectory created = createBundleDirectory(exportFolder, name);
    if (!created.ok)
        return failed(created.error);
    const QString directory = created.path;
    result.directory = directory;
    if (progress.cancelled())
        return failed(cancelledError);

    // Unbuffered, every write error is caught before the commit, with the system's reason; a
    // buffered save file could commit whatever part of its buffer reached the disk.
    const QByteArray manifestBytes = buildManifestCsv(exported);
    QSaveFile manifest(directory + QStringLiteral("/manifest.csv"));
    if (!manifest.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failed(QStringLiteral("Cannot write manifest.csv: %1").arg(manifest.errorString()));
    if (!writeAll(manifest, manifestBytes.constData(), manifestBytes.size()) || !manifest.commit())
        return failed(QStringLiteral("Cannot save manifest.csv: %1").arg(manifest.errorString()));
    result.csv = manifest.fileName();
    if (progress.cancelled())
        return failed(cancelledError);

    const QString pdfPath = directory + QStringLiteral("/index.pdf");
    const Status index = writeIndexPdf(pdfPath, exported, options.subtitle, options.regularFontPath,
                                       options.boldFontPath, startedAt);
    if (!index.ok)
        return failed(QStringLiteral("Cannot write index.pdf: %1").arg(index.error));
    result.pdf = pdfPath;

    QList<Original> originals;
    if (options.includeOriginals)
        originals = planOriginals(exported, result);
    // Each original is read twice: once for its copy, once into the ZIP.
    progress.addWork(manifestBytes.size() + QFileInfo(pdfPath).size());
    for (const Original& original : std::as_const(originals))
        progress.addWork(original.size * 2);
    if (!progress.advance(0))
        return failed(cancelledError);

    QStringList copied;
    if (!copyOriginals(originals, directory, progress, result, copied))
        return failed(cancelledError);

    const QString zipPath = directory + QStringLiteral(".zip");
    const Status zipped = zipBundle(directory, zipPath, copied, startedAt, progress);
    if (!zipped.ok)
        return failed(progress.cancelled() ? cancelledError : zipped.error);
    result.zip = zipPath;
    result.exported = int(exported.size());
    result.ok = true;
    progress.finish();
    return result;
}

} // namespace Tessavo
