#pragma once

#include "core/DocumentRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace Tessavo {

// The whole manifest.csv: UTF-8 byte order mark, header line and one line per record, each
// ended by a single line feed.
QByteArray buildManifestCsv(const QList<DocumentRecord>& records);

// The text quoted for a CSV line when it holds a comma, quote, line feed or carriage return.
QString csvField(const QString& text);

// The manifest's own decision words ("Needs Review" with a capital R).
QString manifestDecisionText(int decision);

} // namespace Tessavo
