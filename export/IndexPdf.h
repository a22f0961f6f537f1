#pragma once

#include "core/DocumentRecord.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace Tessavo {

// Registers one font file with the application font database; its first family name, or empty.
QString registerIndexFont(const QString& fontPath);

// Registers the regular and the bold index font and remembers the family the index uses.
QString registerIndexFonts(const QString& regularFontPath, const QString& boldFontPath);

// The family remembered by registerIndexFonts; empty before it ran.
QString indexFontFamily();

// The family the index is set in: the remembered one, else the first of the two font files that
// registers, else "DejaVu Sans".
QString indexFontFamilyFor(const QString& regularFontPath, const QString& boldFontPath);

// The rich text of the index, generated at the given local time.
QString indexHtml(const QList<DocumentRecord>& records, const QString& subtitle,
                  const QString& fontFamily, const QDateTime& generatedAt);

// Writes the index of the exported records: A4 at 300 dpi, laid out once and painted page by
// page. On failure returns false with *error set.
bool writeIndexPdf(const QString& pdfPath, const QList<DocumentRecord>& records,
                   const QString& subtitle, const QString& regularFontPath,
                   const QString& boldFontPath, QString* error = nullptr);

} // namespace Tessavo
