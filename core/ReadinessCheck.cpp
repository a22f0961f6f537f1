#include "core/ReadinessCheck.h"

#include "core/FileNames.h"
#include "core/RawPath.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace Tessavo {

namespace {

// One stored original: the first exportable record of its source.
struct Stored {
    int row = 0;
    QString name; // the last piece of its stored path
    qint64 size = 0;
    bool duplicate = false; // byte-identical to an earlier original
};

FailingDocument failingDocument(const QList<DocumentRecord>& records, int row,
                                const QString& reason)
{
    return {row, displaySourcePath(records.at(row)), reason};
}

ReadinessOutcome outcome(ReadinessRule rule, const QString& requirement)
{
    ReadinessOutcome made;
    made.rule = rule;
    made.requirement = requirement;
    return made;
}

// Fails the outcome when documents break it, or when problem says what else does.
void conclude(ReadinessOutcome& made, const QString& problem = {})
{
    if (!made.failing.isEmpty() && problem.isEmpty()) {
        made.passed = false;
        made.problem = made.failing.size() == 1 ? QStringLiteral("1 document does not meet it")
                                                : QStringLiteral("%1 documents do not meet it")
                                                      .arg(QString::number(made.failing.size()));
    } else if (!problem.isEmpty()) {
        made.passed = false;
        made.problem = problem;
    }
}

} // namespace

bool ReadinessReport::ready() const
{
    return std::all_of(outcomes.cbegin(), outcomes.cend(),
                       [](const ReadinessOutcome& made) { return made.passed; });
}

qsizetype ReadinessReport::brokenCount() const
{
    return std::count_if(outcomes.cbegin(), outcomes.cend(),
                         [](const ReadinessOutcome& made) { return !made.passed; });
}

QStringList ReadinessReport::failureLines() const
{
    QStringList lines;
    for (const ReadinessOutcome& made : outcomes) {
        if (made.passed)
            continue;
        if (made.failing.isEmpty()) {
            lines.append(QStringLiteral("%1: %2").arg(made.requirement, made.problem));
            continue;
        }
        for (const FailingDocument& document : made.failing)
            lines.append(QStringLiteral("%1: %2 (%3)")
                             .arg(made.requirement, document.path, document.reason));
    }
    return lines;
}

QString readinessSizeText(qint64 bytes)
{
    const auto scaled = [bytes](qint64 unit, const QString& name) {
        if (bytes % unit == 0)
            return QStringLiteral("%1 %2").arg(QString::number(bytes / unit), name);
        return QStringLiteral("%1 %2").arg(QString::number(double(bytes) / double(unit), 'f', 1),
                                           name);
    };
    if (bytes >= 1000 * 1000 * 1000)
        return scaled(1000 * 1000 * 1000, QStringLiteral("GB"));
    if (bytes >= 1000 * 1000)
        return scaled(1000 * 1000, QStringLiteral("MB"));
    if (bytes >= 1000)
        return scaled(1000, QStringLiteral("kB"));
    return bytes == 1 ? QStringLiteral("1 byte")
                      : QStringLiteral("%1 bytes").arg(QString::number(bytes));
}

ReadinessReport checkReadiness(const SubmissionProfile& profile,
                               const QList<DocumentRecord>& records, const QStringList& storedNames,
                               bool namesFitted)
{
    // The originals the bundle would store: each source once, in list order.
    QList<Stored> stored;
    QList<int> exported; // rows of every exportable record
    {
        QSet<QByteArray> sources;
        QSet<QByteArray> contents;
        for (int row = 0; row < records.size(); ++row) {
            const DocumentRecord& record = records.at(row);
            if (!exportable(record))
                continue;
            exported.append(row);
            const QByteArray source = sourcePathBytesOf(record);
            if (sources.contains(source))
                continue;
            sources.insert(source);
            Stored original;
            original.row = row;
            const QString path = row < storedNames.size() && !storedNames.at(row).isEmpty()
                                     ? storedNames.at(row)
                                     : record.fileName;
            original.name = path.section(u'/', -1);
            original.size = record.sizeBytes;
            original.duplicate = !record.sha256.isEmpty() && contents.contains(record.sha256);
            contents.insert(record.sha256);
            stored.append(original);
        }
    }
    qint64 totalBytes = 0;
    qint64 duplicateBytes = 0;
    int duplicates = 0;
    for (const Stored& original : std::as_const(stored)) {
        totalBytes += original.size;
        if (original.duplicate) {
            duplicateBytes += original.size;
            ++duplicates;
        }
    }

    ReadinessReport report;
    const auto add = [&report](ReadinessOutcome&& made) {
        report.outcomes.append(std::move(made));
    };

    if (profile.maxFileBytes) {
        const qint64 limit = *profile.maxFileBytes;
        ReadinessOutcome made =
            outcome(ReadinessRule::FileSize,
                    QStringLiteral("Each file at most %1").arg(readinessSizeText(limit)));
        for (const Stored& original : std::as_const(stored)) {
            if (original.size > limit)
                made.failing.append(
                    failingDocument(records, original.row, readinessSizeText(original.size)));
        }
        conclude(made);
        add(std::move(made));
    }

    if (profile.maxTotalBytes) {
        const qint64 limit = *profile.maxTotalBytes;
        ReadinessOutcome made =
            outcome(ReadinessRule::TotalSize,
                    QStringLiteral("All files together at most %1").arg(readinessSizeText(limit)));
        if (totalBytes > limit) {
            conclude(made, QStringLiteral("%1 files together are %2")
                               .arg(QString::number(stored.size()), readinessSizeText(totalBytes)));
            if (duplicates > 0 && totalBytes - duplicateBytes <= limit)
                made.fix = ReadinessFix::IgnoreDuplicates;
        }
        add(std::move(made));
    }

    if (profile.maxFiles) {
        const int limit = *profile.maxFiles;
        ReadinessOutcome made =
            outcome(ReadinessRule::FileCount,
                    QStringLiteral("At most %1 files").arg(QString::number(limit)));
        if (stored.size() > limit) {
            conclude(made, QStringLiteral("%1 files").arg(QString::number(stored.size())));
            if (duplicates > 0 && stored.size() - duplicates <= limit)
                made.fix = ReadinessFix::IgnoreDuplicates;
        }
        add(std::move(made));
    }

    const ReadinessFix nameFix = namesFitted ? ReadinessFix::None : ReadinessFix::FitNames;
    if (profile.maxNameLength) {
        const int limit = *profile.maxNameLength;
        ReadinessOutcome made =
            outcome(ReadinessRule::NameLength,
                    QStringLiteral("File names at most %1 characters").arg(QString::number(limit)));
        for (const Stored& original : std::as_const(stored)) {
            if (const qsizetype length = nameLength(original.name); length > limit)
                made.failing.append(
                    failingDocument(records, original.row,
                                    QStringLiteral("%1 characters: %2")
                                        .arg(QString::number(length), displayText(original.name))));
        }
        conclude(made);
        if (!made.passed)
            made.fix = nameFix;
        add(std::move(made));
    }

    if (profile.plainNames) {
        ReadinessOutcome made =
            outcome(ReadinessRule::PlainNames,
                    QStringLiteral("Plain file names: letters, digits, space and - _ . ( ), no "
                                   "device names, none alike but for case"));
        QHash<QString, int> firstOfName; // name key to the row of the first name so
        for (const Stored& original : std::as_const(stored)) {
            const QString shown = displayText(original.name);
            if (const PlainNameFault fault = plainNameFault(original.name);
                fault != PlainNameFault::None) {
                made.failing.append(
                    failingDocument(records, original.row,
                                    QStringLiteral("%1 %2").arg(shown, plainNameFaultText(fault))));
                continue;
            }
            const QString key = nameKey(original.name);
            if (const auto first = firstOfName.constFind(key); first != firstOfName.cend()) {
                made.failing.append(
                    failingDocument(records, original.row,
                                    QStringLiteral("%1 is the name of %2 but for case")
                                        .arg(shown, displaySourcePath(records.at(*first)))));
                continue;
            }
            firstOfName.insert(key, original.row);
        }
        conclude(made);
        if (!made.passed)
            made.fix = nameFix;
        add(std::move(made));
    }

    if (!profile.allowEncrypted) {
        ReadinessOutcome made =
            outcome(ReadinessRule::NoEncrypted, QStringLiteral("No password-protected files"));
        // Such a file never reaches a bundle; the package would be without it.
        for (int row = 0; row < records.size(); ++row) {
            if (records.at(row).state == Encrypted && records.at(row).decision != Ignored)
                made.failing.append(failingDocument(
                    records, row, QStringLiteral("password-protected, so it cannot be exported")));
        }
        conclude(made);
        add(std::move(made));
    }

    if (profile.requireText) {
        ReadinessOutcome made =
            outcome(ReadinessRule::Text, QStringLiteral("Every document has text"));
        for (const int row : std::as_const(exported)) {
            if (records.at(row).state == NeedsOcr)
                made.failing.append(
                    failingDocument(records, row, QStringLiteral("a scan without text")));
        }
        conclude(made);
        if (!made.passed)
            made.fix = ReadinessFix::RecogniseScans;
        add(std::move(made));
    }

    if (profile.requireDecided) {
        ReadinessOutcome made =
            outcome(ReadinessRule::Decided, QStringLiteral("Every document accepted or changed"));
        for (const int row : std::as_const(exported)) {
            const Decision decision = records.at(row).decision;
            if (decision != Accepted && decision != Changed)
                made.failing.append(failingDocument(records, row, QStringLiteral("needs review")));
        }
        conclude(made);
        add(std::move(made));
    }

    if (!profile.requiredCategories.isEmpty()) {
        ReadinessOutcome made =
            outcome(ReadinessRule::Categories,
                    QStringLiteral("At least one document in %1")
                        .arg(profile.requiredCategories.join(QStringLiteral(", "))));
        QSet<QString> present;
        for (const int row : std::as_const(exported))
            present.insert(displayCategory(records.at(row)));
        QStringList missing;
        for (const QString& category : profile.requiredCategories) {
            if (!present.contains(category))
                missing.append(category);
        }
        if (!missing.isEmpty())
            conclude(made,
                     QStringLiteral("no document in %1").arg(missing.join(QStringLiteral(", "))));
        add(std::move(made));
    }

    if (profile.zipVolumeBytes) {
        // Every volume also holds manifest.csv and index.pdf: an original just under the limit
        // may still not fit beside them. Only what certainly cannot fit is named here.
        const qint64 limit = *profile.zipVolumeBytes;
        ReadinessOutcome made =
            outcome(ReadinessRule::ZipSize,
                    QStringLiteral("No ZIP larger than %1").arg(readinessSizeText(limit)));
        for (const Stored& original : std::as_const(stored)) {
            if (original.size > limit)
                made.failing.append(failingDocument(records, original.row,
                                                    QStringLiteral("%1, too large for one ZIP")
                                                        .arg(readinessSizeText(original.size))));
        }
        conclude(made);
        add(std::move(made));
    }
    return report;
}

} // namespace Tessavo
