#include "bundle/BundleReadiness.h"

#include "bundle/ExportBundle.h"
#include "bundle/ManifestCsv.h"
#include "bundle/ZipReader.h"
#include "core/BundleLayout.h"
#include "core/RawPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringList>

#include <algorithm>

#include <sys/stat.h>

namespace Tessavo {

namespace {

// A manifest larger than this is not one this program wrote.
constexpr qint64 maxManifestBytes = qint64(512) << 20;

const QByteArray manifestName = BundleLayout::bytes(BundleLayout::manifestFile);

// More volumes than a bundle of a million documents would need are not looked for.
constexpr int maxWeighedVolumes = 100000;

// The manifest of a bundle, and which paths below it the bundle holds.
struct [[nodiscard]] BundleContents {
    bool ok = false;
    QString error;
    QByteArray manifest;
    QSet<QByteArray> held; // paths relative to the bundle, as the ZIP lists them
    QStringList zipPaths;  // the ZIPs to weigh: the one ZIP, or every volume
};

BundleContents folderContents(const QString& folder)
{
    BundleContents contents;
    const QByteArray folderBytes = QFile::encodeName(QDir::cleanPath(folder));
    QFile file;
    if (const Status opened =
            openRegularForReading(file, folderBytes + '/' + manifestName, Links::Refuse);
        !opened.ok) {
        contents.error = QStringLiteral("manifest.csv cannot be read: %1").arg(opened.error);
        return contents;
    }
    if (file.size() > maxManifestBytes) {
        contents.error = QStringLiteral("manifest.csv is far too large for a manifest");
        return contents;
    }
    contents.manifest = file.read(file.size());
    // Only the originals the manifest names are looked for: held() asks the folder itself.
    const QString base = QDir::cleanPath(folder);
    if (const QString zip = base + BundleLayout::text(BundleLayout::zipSuffix);
        QFileInfo(zip).isFile()) {
        contents.zipPaths.append(zip);
    } else {
        // A ZIP in volumes: -part1.zip, -part2.zip, … up to the first number missing.
        for (int number = 1; number <= maxWeighedVolumes; ++number) {
            const QString volume = base + BundleLayout::volumeSuffix(number);
            if (!QFileInfo(volume).isFile())
                break;
            contents.zipPaths.append(volume);
        }
    }
    contents.ok = true;
    return contents;
}

BundleContents zipContents(const QString& zipPath)
{
    BundleContents contents;
    QFile file;
    if (const Status opened =
            openRegularForReading(file, QFile::encodeName(zipPath), Links::Follow);
        !opened.ok) {
        contents.error = QStringLiteral("cannot be read: %1").arg(opened.error);
        return contents;
    }
    QString firstProblem;
    ZipReader reader(file, [&firstProblem](const QByteArray&, const QString& what) {
        if (firstProblem.isEmpty())
            firstProblem = what;
    });
    if (!reader.readDirectory()) {
        contents.error = QStringLiteral("not a readable ZIP: %1").arg(firstProblem);
        return contents;
    }
    const ZipEntryInfo* manifest = nullptr;
    for (const ZipEntryInfo& entry : reader.entries()) {
        contents.held.insert(entry.name);
        if (entry.name == manifestName && !manifest)
            manifest = &entry;
    }
    if (!manifest || !manifest->readable) {
        contents.error = QStringLiteral("manifest.csv is missing or cannot be read");
        return contents;
    }
    if (manifest->size > maxManifestBytes) {
        contents.error = QStringLiteral("manifest.csv is far too large for a manifest");
        return contents;
    }
    const Status read = reader.readData(
        *manifest, [&contents](QByteArrayView piece) { contents.manifest.append(piece); });
    if (!read.ok) {
        contents.error = QStringLiteral("manifest.csv cannot be read: %1").arg(read.error);
        return contents;
    }
    contents.zipPaths = {zipPath};
    contents.ok = true;
    return contents;
}

Decision decisionOf(const QString& word)
{
    for (const Decision decision : {Accepted, Changed, Ignored}) {
        if (word == manifestDecisionText(decision))
            return decision;
    }
    return NeedsReview;
}

} // namespace

ReadinessReport checkExportReadiness(const SubmissionProfile& profile,
                                     const QList<DocumentRecord>& records, bool fitNames)
{
    const NameLimits limits = fitNames ? nameLimitsOf(profile) : NameLimits();
    QList<QByteArray> sources;
    QHash<QByteArray, qsizetype> sourceIndex;
    for (const DocumentRecord& record : records) {
        if (!exportable(record))
            continue;
        const QByteArray source = sourcePathBytesOf(record);
        if (!sourceIndex.contains(source)) {
            sourceIndex.insert(source, sources.size());
            sources.append(source);
        }
    }
    const QList<OriginalPlace> places = placeOriginals(sources, limits);
    QStringList storedNames;
    for (const DocumentRecord& record : records) {
        const auto at = sourceIndex.constFind(sourcePathBytesOf(record));
        storedNames.append(exportable(record) && at != sourceIndex.cend() ? places.at(*at).stored
                                                                          : QString());
    }
    return checkReadiness(profile, records, storedNames, limits.any());
}

BundleReadiness checkBundleReadiness(const QString& path, const SubmissionProfile& profile)
{
    BundleReadiness result;
    const bool folder = QFileInfo(path).isDir();
    const BundleContents contents = folder ? folderContents(path) : zipContents(path);
    if (!contents.ok) {
        result.error = contents.error;
        return result;
    }
    QString manifestProblem;
    const ManifestReading reading =
        readManifestCsv(contents.manifest, [&manifestProblem](const ManifestProblem& problem) {
            if (manifestProblem.isEmpty())
                manifestProblem = manifestProblemText(problem);
        });
    if (!reading.ok) {
        result.error = QStringLiteral("manifest.csv %1").arg(manifestProblem);
        return result;
    }

    const QByteArray folderBytes = QFile::encodeName(QDir::cleanPath(path));
    const QList<QByteArray> stored = originalsOfRows(reading.rows, [&](const QByteArray& relative) {
        if (!folder)
            return contents.held.contains(relative);
        struct stat status {};
        return ::lstat((folderBytes + '/' + relative).constData(), &status) == 0;
    });
    const auto prefix = qsizetype(BundleLayout::originalsPrefix.size());
    QList<DocumentRecord> records;
    QStringList storedNames;
    for (qsizetype i = 0; i < reading.rows.size(); ++i) {
        const ManifestRow& row = reading.rows.at(i);
        DocumentRecord record;
        record.sourcePath = QFile::decodeName(row.sourcePath);
        if (!roundTrips(row.sourcePath))
            record.sourcePathBytes = row.sourcePath;
        record.fileName = row.fileName;
        record.sizeBytes = std::max<qint64>(row.size, 0);
        record.sha256 = row.sha256;
        // A row whose state cannot be read is taken as a scan: it shows no text to count on.
        record.state = row.state == Ready ? Ready : NeedsOcr;
        record.textPages = std::max(row.textPages, 0);
        record.decision = decisionOf(row.decision);
        record.finalCategory = row.finalCategory;
        record.suggestion.category = row.finalCategory; // as the manifest files it
        records.append(record);
        storedNames.append(QString::fromUtf8(stored.at(i).mid(prefix)));
    }
    result.report = checkReadiness(profile, records, storedNames, true);

    if (profile.zipVolumeBytes) {
        QStringList tooLarge;
        for (const QString& zip : std::as_const(contents.zipPaths)) {
            const qint64 zipBytes = QFileInfo(zip).size();
            if (zipBytes > *profile.zipVolumeBytes)
                tooLarge.append(QStringLiteral("%1 is %2")
                                    .arg(QFileInfo(zip).fileName(), readinessSizeText(zipBytes)));
        }
        for (ReadinessOutcome& made : result.report.outcomes) {
            if (made.rule != ReadinessRule::ZipSize || !made.passed || tooLarge.isEmpty())
                continue;
            made.passed = false;
            made.problem = tooLarge.join(QStringLiteral(", "));
        }
    }
    result.ok = true;
    return result;
}

} // namespace Tessavo
