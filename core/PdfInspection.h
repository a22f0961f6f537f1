#pragma once

#include "core/DocumentRecord.h"

#include <QByteArray>
#include <QPdfDocument>
#include <QString>

namespace Tessavo {

// How long a PDF may take to open before it counts as unreadable.
inline constexpr int pdfOpenTimeoutMs = 15000;

// Reads one file into a new record: name, size, SHA-256, pages, the text
// of every page and the resulting state. Never fails as a call; problems end up in state and
// errorText. The file is only read.
DocumentRecord inspectPdf(const QString& path);

// SHA-256 of the file as 64 lowercase hexadecimal characters. On failure *digest is unchanged and
// *error says why.
bool hashFile(const QString& path, QByteArray* digest, QString* error);

// Sets the record's state and error text for a Qt PDF error code.
void applyPdfError(QPdfDocument::Error error, DocumentRecord& record);

} // namespace Tessavo
