#pragma once

#include "core/DocumentRecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace Tessavo {

// The whole manifest.csv: UTF-8 byte order mark, header line and one line per record, each
// ended by a single line feed. With storedNames (one per record), the file column lists those,
// the names the copies were stored under, instead of the records' own file names. With volumes,
// the column "volume" comes last: the number of the ZIP volume that holds each record's original,
// volumes[i] for records[i].
QByteArray buildManifestCsv(const QList<DocumentRecord>& records,
                            const QStringList& storedNames = {}, const QList<int>& volumes = {});

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

// One manifest row as read back: what its original is checked against.
struct ManifestRow {
    int line = 0;          // the line the row begins on
    QByteArray sourcePath; // the path's bytes, as the display form in the manifest stands for
    QByteArray sha256;     // empty when the row's value is unusable
    qint64 size = -1;      // -1 when the row's value is unusable
    QString fileName;      // the file column, as shown
    QString decision;      // the decision word as written ("Accepted", "Changed", …)
    QString finalCategory; // the category the document was filed under
    int state = -1;        // the DocumentState its state word names; -1 when unknown
    int textPages = -1;    // -1 when the row's value is unusable
    int volume = 0;        // the ZIP volume that holds its original; 0 without one or unusable
};

// One thing wrong with a manifest.
struct ManifestProblem {
    enum class Kind {
        NoByteOrderMark,
        NotUtf8,
        Syntax, // detail: what the CSV reader found
        WrongHeader,
        ValueCount, // count: the values on the line
        BadSha256,
        BadSize,
        BadNumber, // detail: the column
        UnknownState,
        UnknownDecision, // detail: the word found
        NoDocuments,
        BadVolume,
    };
    Kind kind = Kind::Syntax;
    int line = 0; // 0 for the manifest as a whole
    QString detail;
    qsizetype count = 0;
    qsizetype expected = 0; // ValueCount: the values a line must have
};

// The problem as one line of text, without the file's name.
QString manifestProblemText(const ManifestProblem& problem);

struct [[nodiscard]] ManifestReading {
    bool ok = false; // false when the manifest is unusable as a whole; the report said why
    QList<ManifestRow> rows;
    bool volumes = false; // the header names the volume column
};

// Reads a whole manifest.csv as buildManifestCsv writes it, with or without the volume column,
// and checks every row: the columns, the SHA-256, the size, the page counts, the state, the
// decision words and the volume numbers. Each problem goes to
// the report as it is found; rows with problems in some values are still returned, with those
// values marked unusable. Memory follows the rows, not the text.
using ManifestReport = std::function<void(const ManifestProblem& problem)>;
ManifestReading readManifestCsv(QByteArrayView bytes, const ManifestReport& report);

} // namespace Tessavo
