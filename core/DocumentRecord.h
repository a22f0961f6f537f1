#pragma once

#include "core/Suggestion.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

namespace Tessavo {

// The state and the decision carry meta-object data, so the interface can name their values;
// the values themselves are used unqualified in Tessavo.
namespace DocumentStates {
Q_NAMESPACE
enum DocumentState : int { Ready = 0, NeedsOcr = 1, Unreadable = 2, Encrypted = 3 };
Q_ENUM_NS(DocumentState)
} // namespace DocumentStates
using DocumentStates::DocumentState;
using enum DocumentStates::DocumentState;

namespace Decisions {
Q_NAMESPACE
enum Decision : int { NeedsReview = 0, Accepted = 1, Changed = 2, Ignored = 3 };
Q_ENUM_NS(Decision)
} // namespace Decisions
using Decisions::Decision;
using enum Decisions::Decision;

// Whether the file on disk is still the one that was inspected; checked when a stored session is
// restored.
enum FileStatus : int { FileUnchanged = 0, FileChanged = 1, FileMissing = 2 };

// The extracted text of one page.
struct PageText {
    int pageIndex = 0;
    int charCount = 0; // length of text in UTF-16 code units
    QString text;      // untrimmed
    // Read from the rendered page by text recognition, not from the file.
    bool recognised = false;

    friend bool operator==(const PageText&, const PageText&) = default;
};

// Everything known about one imported PDF: inspection, suggestion and review decision.
struct DocumentRecord {
    // Inspection
    QString sourcePath;
    QByteArray sourcePathBytes; // the path's own bytes when its name is not valid UTF-8, else empty
    QString fileName;
    qint64 sizeBytes = 0;
    QByteArray sha256;
    int pages = 0;
    int textPages = 0;
    qint64 textChars = 0;
    QString title;
    DocumentState state = Unreadable;
    QString errorText;
    QList<PageText> pageTexts;
    QString recognitionError; // why text recognition failed for this scan; empty otherwise

    Suggestion suggestion;

    // Review
    Decision decision = NeedsReview;
    QString finalCategory;
    QString note;

    // File check
    // the file's modification time in nanoseconds since the epoch, taken once before the
    // inspection read it; -1 when unknown
    qint64 modifiedNs = -1;
    FileStatus fileStatus = FileUnchanged;

    friend bool operator==(const DocumentRecord&, const DocumentRecord&) = default;
};

// Display text of a state; "Unknown" outside the known values.
QString stateText(int state);

// Display text of a decision; "Needs review" outside the known values.
QString decisionText(int decision);

// "File changed since import", "File missing", or empty for an unchanged file.
QString fileStatusText(int fileStatus);

// Size as shown in the document list: "12 B", "3 KB", "1.5 MB".
QString sizeText(qint64 bytes);

// Size as quoted in evidence texts: like sizeText but kilobytes with one decimal.
QString evidenceSizeText(qint64 bytes);

// What text recognition did for a scan, as its rows show it: "Text recognised", the reason it
// failed, or empty when it never ran.
QString recognitionText(const DocumentRecord& record);

// The reviewer's category for accepted or changed records, else the suggestion.
QString displayCategory(const DocumentRecord& record);

bool hasSuggestion(const DocumentRecord& record);

// The reviewer's decisions. Accepting takes the suggestion's category and is refused (false) when
// there is no suggestion; the record is unchanged then.
[[nodiscard]] bool acceptSuggestion(DocumentRecord& record);
// Whether the review offers "Accept": a suggestion to take, and the record neither accepted
// already nor ignored (an ignored record is reset first).
bool canAccept(const DocumentRecord& record);
void changeCategory(DocumentRecord& record, const QString& category);
void ignore(DocumentRecord& record);
void resetDecision(DocumentRecord& record);

// Replaces the suggestion after a new classification. An accepted or changed record keeps its
// category whatever the new suggestion says, or when there is none.
void setSuggestion(DocumentRecord& record, const Suggestion& suggestion);

// A suggestion that "Accept all clear suggestions" takes: pending, present, without conflict and,
// when learned, confident.
bool hasClearSuggestion(const DocumentRecord& record);

// Opened (with or without text), not ignored, and its file unchanged since the inspection.
bool exportable(const DocumentRecord& record);

// The exportable records nobody has decided on yet: an export takes them without a category.
struct UndecidedExports {
    int undecided = 0;   // their suggestion, if any, is clear
    int conflicting = 0; // the matching rules disagree
    int total() const { return undecided + conflicting; }
};
UndecidedExports undecidedExports(const QList<DocumentRecord>& records);

// "Exported without a decision: 10 needing review, 2 with conflicting suggestions."; empty when
// there are none.
QString undecidedExportsText(const UndecidedExports& counts);

} // namespace Tessavo
