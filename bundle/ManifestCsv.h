#pragma once

#include "core/DocumentRecord.h"

#include <QByteArray>
#include <QByteArrayView>
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

// A text cell guarded against spreadsheet formulas: a text that a spreadsheet would evaluate
// (beginning with "=", "+", "-", "@", a tab or a carriage return, also behind apostrophes) gets
// one leading apostrophe. formulaUnguarded takes exactly that apostrophe off again.
QString formulaGuarded(const QString& text);
QString formulaUnguarded(const QString& text);

// Reads CSV text as the manifest writes it, one record at a time, so that memory follows the
// longest record rather than the file: fields separated by commas, records ended by a line feed,
// quoted fields with doubled quotes inside.
class CsvReader {
public:
    // Fields beyond this many are counted but not kept.
    static constexpr qsizetype maxKeptFields = 64;

    explicit CsvReader(QByteArrayView text);

    // Reads the next record. False at the end of the text, and at a fault: then errorString()
    // says what is wrong and faultLine() where (errorString() is empty at the end).
    [[nodiscard]] bool readRecord();

    const QList<QByteArray>& fields() const { return m_fields; }
    qsizetype fieldCount() const { return m_fieldCount; }
    int line() const { return m_recordLine; } // the physical line the record begins on
    QString errorString() const { return m_error; }
    int faultLine() const { return m_faultLine; }

private:
    bool fault(const QString& why, int line);

    QByteArrayView m_text;
    qsizetype m_at = 0;
    int m_line = 1;
    int m_recordLine = 0;
    QList<QByteArray> m_fields;
    qsizetype m_fieldCount = 0;
    QString m_error;
    int m_faultLine = 0;
};

} // namespace Tessavo
