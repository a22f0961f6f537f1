#pragma once

#include "core/DocumentRecord.h"
#include "core/Failure.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace Tessavo {

// A font file's family as the application font database knows it.
struct [[nodiscard]] FontRegistration {
    bool ok = false;
    QString family; // the file's first family name, when ok
    QString error;  // why the file gives none, when not ok
};

// Registers one font file with the application font database, once per path however often it is
// asked.
FontRegistration registerIndexFont(const QString& fontPath);

// Registers the regular and the bold index font; the family of the first that gives one.
FontRegistration registerIndexFonts(const QString& regularFontPath, const QString& boldFontPath);

// The family an index with these font files is set in: theirs, else "DejaVu Sans".
QString indexFontFamilyFor(const QString& regularFontPath, const QString& boldFontPath);

// Installed families that cover the characters the index family may lack (Chinese, Japanese,
// Korean), best first; empty when the system has none.
QStringList indexFallbackFamilies();

// The index as rich text in pieces: the opening tags, one piece per heading or paragraph, and the
// closing tags. Joined in order they make the index's rich text.
struct IndexPieces {
    QString open;
    QStringList pieces;
    QString close;
};

IndexPieces indexPieces(const QList<DocumentRecord>& records, const QString& subtitle,
                        const QStringList& fontFamilies, const QDateTime& generatedAt);

// The rich text of the index, set in the first family with the others as fallbacks, generated at
// the given local time. Margins are in pixels (96 to the inch, which the layout scales to its
// device).
QString indexHtml(const QList<DocumentRecord>& records, const QString& subtitle,
                  const QStringList& fontFamilies, const QDateTime& generatedAt);

// Told how many of the index's pieces are on pages, of how many, after every run of pages; false
// stops the index.
using IndexProgress = std::function<bool(qsizetype piecesDone, qsizetype pieces)>;

// Writes the index of the exported records, generated at the given local time: A4 at 300 dpi,
// cut into pages between paragraphs, so that every paragraph lies on exactly one page (one too
// tall for a page is cut between its lines). It is laid out a few pages at a time, so time and
// memory grow only with the number of records. The file is written under a temporary name and
// takes pdfPath only when complete; nothing at pdfPath is replaced.
Status writeIndexPdf(const QString& pdfPath, const QList<DocumentRecord>& records,
                     const QString& subtitle, const QString& regularFontPath,
                     const QString& boldFontPath, const QDateTime& generatedAt);
Status writeIndexPdf(const QString& pdfPath, const QList<DocumentRecord>& records,
                     const QString& subtitle, const QString& regularFontPath,
                     const QString& boldFontPath, const QDateTime& generatedAt,
                     const IndexProgress& progress);

} // namespace Tessavo
