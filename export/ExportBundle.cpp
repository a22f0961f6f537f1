#include "export/ExportBundle.h"

#include "export/IndexPdf.h"
#include "export/ManifestCsv.h"
#include "export/ZipWriter.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <algorithm>

namespace Tessavo {

namespace {

bool pathExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QStringList directoryPieces(const QString& path)
{
    QStringList pieces = QDir::fromNativeSeparators(path).split(u'/');
    pieces.removeLast();
    return pieces;
}

// relativePath with "-n" inserted before the extension of its file name.
QString numbered(const QString& relativePath, int n)
{
    const qsizetype nameStart = relativePath.lastIndexOf(u'/') + 1;
    const qsizetype dot = relativePath.lastIndexOf(u'.');
    const qsizetype cut = dot > nameStart ? dot : relativePath.size();
    return relativePath.left(cut) + QStringLiteral("-%1").arg(n) + relativePath.mid(cut);
}

// Every file below root, hidden ones and those in hidden folders included, relative to
// relativeTo with '/' separators, sorted by UTF-16 code units.
QStringList filesBelow(const QString& root, const QDir& relativeTo)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(relativeTo.relativeFilePath(it.next()));
    std::sort(files.begin(), files.end());
    return files;
}

// Creates a fresh bundle folder; safe against a folder of the same name appearing meanwhile.
QString createBundleDirectory(const QString& parent, const QString& name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = uniqueExportDirectory(parent, name);
        if (QDir().mkdir(candidate))
            return candidate;
        if (!pathExists(candidate))
            return {};
    }
    return {};
}

void copyOriginals(const QList<DocumentRecord>& exported, const QString& directory,
                   ExportResult& result)
{
    QStringList sources;
    for (const DocumentRecord& r : exported)
        sources.append(r.sourcePath);
    const QString base = commonBaseDirectory(sources);

    QSet<QString> takenTargets; // relative paths below originals/
    QSet<QString> copiedSources;
    for (const DocumentRecord& record : exported) {
        const QString source = record.sourcePath;
        if (copiedSources.contains(source))
            continue; // the same file listed twice is copied once
        copiedSources.insert(source);

        if (!QFileInfo(source).isFile()) {
            result.warnings.append(QStringLiteral("Missing source file: %1").arg(source));
            continue;
        }
        const QString wanted = originalsRelativePath(base, source);
        QString relative = wanted;
        for (int n = 2; takenTargets.contains(relative); ++n)
            relative = numbered(wanted, n);
        takenTargets.insert(relative);
        const QString target = directory + QStringLiteral("/originals/%1").arg(relative);

        if (relative != wanted) {
            result.warnings.append(
                QStringLiteral("Two originals would share originals/%1: %2 is stored as "
                               "originals/%3")
                    .arg(wanted, source, relative));
        }
        if (!QDir().mkpath(QFileInfo(target).path())) {
            result.warnings.append(QStringLiteral("Cannot create folder for: %1").arg(target));
            continue;
        }
        if (pathExists(target))
            QFile::remove(target);
        if (!QFile::copy(source, target))
            result.warnings.append(QStringLiteral("Cannot copy original: %1").arg(source));
    }
}

bool zipBundle(const QString& directory, const QString& zipPath, bool includeOriginals,
               QString* error)
{
    ZipWriter zip(zipPath);
    if (!zip.open(error))
        return false;
    if (!zip.addFile(QStringLiteral("manifest.csv"), directory + QStringLiteral("/manifest.csv"),
                     error) ||
        !zip.addFile(QStringLiteral("index.pdf"), directory + QStringLiteral("/index.pdf"), error))
        return false;
    if (includeOriginals) {
        const QDir bundle(directory);
        const QStringList originals = filesBelow(directory + QStringLiteral("/originals"), bundle);
        for (const QString& relative : originals) {
            if (!zip.addFile(relative, bundle.filePath(relative), error))
                return false;
        }
    }
    return zip.finish(error);
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
    QString candidate = folder.filePath(name);
    for (qint64 n = 2; pathExists(candidate); ++n)
        candidate = folder.filePath(QStringLiteral("%1-%2").arg(name, QString::number(n)));
    return candidate;
}

ExportResult buildExportBundle(QList<DocumentRecord> records, const ExportOptions& options)
{
    ExportResult result;
    auto failed = [&result](const QString& error) {
        result.error = error;
        return result;
    };

    if (options.exportFolder.trimmed().isEmpty())
        return failed(QStringLiteral("No export folder was selected"));

    QList<DocumentRecord> exported;
    for (DocumentRecord& record : records) {
        if (exportable(record))
            exported.append(std::move(record));
        else
            ++result.skipped;
    }
    if (exported.isEmpty())
        return failed(QStringLiteral("Nothing to export: every document is ignored or unreadable"));

    if (!QFileInfo(options.exportFolder).isDir() && !QDir().mkpath(options.exportFolder))
        return failed(QStringLiteral("Cannot create export folder: %1").arg(options.exportFolder));

    const QString name =
        QStringLiteral("Tessavo-Export-%1")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString directory = createBundleDirectory(options.exportFolder, name);
    if (directory.isEmpty())
        return failed(QStringLiteral("Cannot create export directory: %1")
                          .arg(uniqueExportDirectory(options.exportFolder, name)));
    result.directory = directory;

    QSaveFile manifest(directory + QStringLiteral("/manifest.csv"));
    if (!manifest.open(QIODevice::WriteOnly))
        return failed(QStringLiteral("Cannot write manifest.csv: %1").arg(manifest.errorString()));
    manifest.write(buildManifestCsv(exported));
    if (!manifest.commit())
        return failed(QStringLiteral("Cannot save manifest.csv: %1").arg(manifest.errorString()));
    result.csv = manifest.fileName();

    const QString pdfPath = directory + QStringLiteral("/index.pdf");
    QString indexError;
    if (!writeIndexPdf(pdfPath, exported, options.subtitle, options.regularFontPath,
                       options.boldFontPath, &indexError))
        return failed(QStringLiteral("Cannot write index.pdf: %1").arg(indexError));
    result.pdf = pdfPath;

    if (options.includeOriginals)
        copyOriginals(exported, directory, result);

    const QString zipPath = directory + QStringLiteral(".zip");
    QString zipError;
    if (!zipBundle(directory, zipPath, options.includeOriginals, &zipError))
        return failed(zipError);
    result.zip = zipPath;
    result.exported = int(exported.size());
    result.ok = true;
    return result;
}

} // namespace Tessavo
