#include "core/DocumentRecord.h"

#include <algorithm>

namespace Tessavo {

namespace {

constexpr qint64 KiB = 1024;
constexpr qint64 MiB = 1024 * 1024;

QString formatSize(qint64 bytes, int kilobyteDecimals)
{
    if (bytes >= MiB)
        return QStringLiteral("%1 MB").arg(QString::number(double(bytes) / double(MiB), 'f', 1));
    if (bytes < KiB)
        return QStringLiteral("%1 B").arg(bytes);
    return QStringLiteral("%1 KB").arg(
        QString::number(double(bytes) / double(KiB), 'f', kilobyteDecimals));
}

} // namespace

QString recognitionText(const DocumentRecord& record)
{
    const auto recognised = std::count_if(record.pageTexts.cbegin(), record.pageTexts.cend(),
                                          [](const PageText& page) { return page.recognised; });
    if (recognised == 0)
        return record.recognitionError.isEmpty()
                   ? QString()
                   : QStringLiteral("Text not recognised: %1").arg(record.recognitionError);
    if (record.recognitionError.isEmpty())
        return QStringLiteral("Text recognised");
    return QStringLiteral("Text recognised on %1 of %2 pages; %3")
        .arg(QString::number(recognised), QString::number(record.pages), record.recognitionError);
}

QString stateText(int state)
{
    switch (state) {
    case Ready:
        return QStringLiteral("Ready");
    case NeedsOcr:
        return QStringLiteral("Needs OCR");
    case Unreadable:
        return QStringLiteral("Unreadable");
    case Encrypted:
        return QStringLiteral("Encrypted");
    default:
        return QStringLiteral("Unknown");
    }
}

QString decisionText(int decision)
{
    switch (decision) {
    case Accepted:
        return QStringLiteral("Accepted");
    case Changed:
        return QStringLiteral("Changed");
    case Ignored:
        return QStringLiteral("Ignored");
    default:
        return QStringLiteral("Needs review");
    }
}

QString fileStatusText(int fileStatus)
{
    switch (fileStatus) {
    case FileChanged:
        return QStringLiteral("File changed since import");
    case FileMissing:
        return QStringLiteral("File missing");
    default:
        return {};
    }
}

QString sizeText(qint64 bytes)
{
    return formatSize(bytes, 0);
}

QString evidenceSizeText(qint64 bytes)
{
    return formatSize(bytes, 1);
}

QString displayCategory(const DocumentRecord& record)
{
    const bool decided = record.decision == Accepted || record.decision == Changed;
    return decided && !record.finalCategory.isEmpty() ? record.finalCategory
                                                      : record.suggestion.category;
}

bool hasSuggestion(const DocumentRecord& record)
{
    return !record.suggestion.isEmpty();
}

bool acceptSuggestion(DocumentRecord& record)
{
    if (record.suggestion.isEmpty())
        return false;
    record.decision = Accepted;
    record.finalCategory = record.suggestion.category;
    return true;
}

bool canAccept(const DocumentRecord& record)
{
    return hasSuggestion(record) && record.decision != Accepted && record.decision != Ignored;
}

void changeCategory(DocumentRecord& record, const QString& category)
{
    record.decision = Changed;
    record.finalCategory = category;
}

void ignore(DocumentRecord& record)
{
    record.decision = Ignored;
}

void resetDecision(DocumentRecord& record)
{
    record.decision = NeedsReview;
    record.finalCategory.clear();
}

void setSuggestion(DocumentRecord& record, const Suggestion& suggestion)
{
    record.suggestion = suggestion;
    // The reviewer's category is theirs: new rules never take it away. Only an accepted record
    // that somehow lost its category takes the new suggestion's, so it no longer claims a
    // decision without one.
    if (record.decision == Accepted && record.finalCategory.isEmpty())
        record.finalCategory = suggestion.category;
}

bool hasClearSuggestion(const DocumentRecord& record)
{
    return record.decision == NeedsReview && !record.suggestion.isEmpty() &&
           !record.suggestion.conflict && !record.suggestion.tentative;
}

bool exportable(const DocumentRecord& record)
{
    // A file that changed or vanished since its inspection would no longer match its manifest
    // row: it waits until it is imported again.
    return (record.state == Ready || record.state == NeedsOcr) && record.decision != Ignored &&
           record.fileStatus == FileUnchanged;
}

UndecidedExports undecidedExports(const QList<DocumentRecord>& records)
{
    UndecidedExports counts;
    for (const DocumentRecord& record : records) {
        if (!exportable(record) || record.decision != NeedsReview)
            continue;
        if (record.suggestion.conflict)
            ++counts.conflicting;
        else
            ++counts.undecided;
    }
    return counts;
}

QString undecidedExportsText(const UndecidedExports& counts)
{
    if (counts.total() == 0)
        return {};
    return QStringLiteral("Exported without a decision: %1 needing review, %2 with conflicting "
                          "suggestions.")
        .arg(QString::number(counts.undecided), QString::number(counts.conflicting));
}

} // namespace Tessavo
