#include "bundle/ManifestCsv.h"

#include "core/BundleLayout.h"
#include "core/RawPath.h"

#include <QStringList>

#include <algorithm>

namespace Tessavo {

QString csvField(const QString& text)
{
    const bool needsQuotes =
        text.contains(u',') || text.contains(u'"') || text.contains(u'\n') || text.contains(u'\r');
    if (!needsQuotes)
        return text;
    QString quoted = text;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

namespace {

bool startsFormula(QStringView text)
{
    while (text.startsWith(u'\''))
        text = text.mid(1);
    if (text.isEmpty())
        return false;
    const char16_t first = text.front().unicode();
    return first == u'=' || first == u'+' || first == u'-' || first == u'@' || first == u'\t' ||
           first == u'\r';
}

QString textCell(const QString& text)
{
    return csvField(formulaGuarded(text));
}

} // namespace

QString formulaGuarded(const QString& text)
{
    return startsFormula(text) ? u'\'' + text : text;
}

QString formulaUnguarded(const QString& text)
{
    return text.startsWith(u'\'') && startsFormula(QStringView(text).mid(1)) ? text.mid(1) : text;
}

QString manifestDecisionText(int decision)
{
    // The list's words, except that the manifest writes "Needs Review" with a capital R.
    const bool decided = decision == Accepted || decision == Changed || decision == Ignored;
    return decided ? decisionText(decision) : QStringLiteral("Needs Review");
}

QByteArray buildManifestCsv(const QList<DocumentRecord>& records, const QStringList& storedNames,
                            const QList<int>& volumes)
{
    const bool withVolumes = !volumes.isEmpty();
    QByteArray csv = BundleLayout::bytes(BundleLayout::byteOrderMark) +
                     QByteArray::fromStdString(BundleLayout::manifestHeaderLine(withVolumes));
    for (qsizetype i = 0; i < records.size(); ++i) {
        const DocumentRecord& r = records.at(i);
        const QStringList columns = {
            textCell(i < storedNames.size() ? storedNames.at(i) : displayFileName(r)),
            textCell(displaySourcePath(r)),
            QString::fromLatin1(r.sha256),
            QString::number(r.sizeBytes),
            QString::number(r.pages),
            QString::number(r.textPages),
            stateText(r.state),
            textCell(r.suggestion.category),
            textCell(r.suggestion.ruleName),
            textCell(r.suggestion.evidence),
            manifestDecisionText(r.decision),
            textCell(displayCategory(r)),
            textCell(r.note),
        };
        csv += columns.join(u',').toUtf8();
        if (withVolumes) {
            csv += ',';
            csv += QByteArray::number(volumes.value(i));
        }
        csv += '\n';
    }
    return csv;
}

CsvReader::CsvReader(QByteArrayView text)
    : m_text(text)
{}

bool CsvReader::fault(const QString& why, int line)
{
    m_error = why;
    m_faultLine = line;
    m_at = m_text.size(); // nothing more is read
    return false;
}

bool CsvReader::readRecord()
{
    m_fields.clear();
    m_fieldCount = 0;
    if (!m_error.isEmpty() || m_at >= m_text.size())
        return false;
    const qsizetype n = m_text.size();
    qsizetype& i = m_at;
    m_recordLine = m_line;
    for (;;) {
        QByteArray field;
        const bool keep = m_fieldCount < maxKeptFields;
        if (m_text.at(i) == '"') {
            ++i;
            for (;;) {
                if (i >= n)
                    return fault(QStringLiteral("a quoted value is never closed"), m_recordLine);
                const char c = m_text.at(i++);
                if (c == '"') {
                    if (i < n && m_text.at(i) == '"') {
                        if (keep)
                            field += '"';
                        ++i;
                        continue;
                    }
                    break;
                }
                m_line += c == '\n';
                if (keep)
                    field += c;
            }
            if (i < n && m_text.at(i) != ',' && m_text.at(i) != '\n')
                return fault(QStringLiteral("text follows a closing quote"), m_line);
        } else {
            const qsizetype start = i;
            while (i < n && m_text.at(i) != ',' && m_text.at(i) != '\n') {
                if (m_text.at(i) == '"')
                    return fault(QStringLiteral("a quote inside an unquoted value"), m_line);
                ++i;
            }
            if (keep)
                field = m_text.sliced(start, i - start).toByteArray();
        }
        if (keep)
            m_fields.append(field);
        ++m_fieldCount;
        if (i >= n)
            return fault(QStringLiteral("the last line does not end with a line feed"), m_line);
        if (m_text.at(i++) == ',') {
            if (i >= n)
                return fault(QStringLiteral("the last line does not end with a line feed"), m_line);
            continue;
        }
        ++m_line; // the record's line feed
        return true;
    }
}

namespace {

// A plain decimal integer: an optional minus sign (when allowed) and at least one digit.
bool isDecimal(const QByteArray& text, bool allowMinus)
{
    const qsizetype start = allowMinus && text.startsWith('-') ? 1 : 0;
    if (text.size() <= start)
        return false;
    return std::all_of(text.begin() + start, text.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

bool isSha256Hex(const QByteArray& text)
{
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

QStringList manifestHeader(bool withVolumes = false)
{
    QStringList header;
    for (const std::string_view column : BundleLayout::manifestColumns)
        header.append(BundleLayout::text(column));
    if (withVolumes)
        header.append(BundleLayout::text(BundleLayout::volumeColumn));
    return header;
}

// A volume number as written: a plain positive decimal that fits an int.
int volumeNumber(const QByteArray& text)
{
    bool ok = isDecimal(text, false) && !text.startsWith('0');
    const int number = ok ? text.toInt(&ok) : 0;
    return ok ? number : 0;
}

} // namespace

QString manifestProblemText(const ManifestProblem& problem)
{
    using Kind = ManifestProblem::Kind;
    const QString line = QString::number(problem.line);
    switch (problem.kind) {
    case Kind::NoByteOrderMark:
        return QStringLiteral("does not begin with the UTF-8 byte order mark");
    case Kind::NotUtf8:
        return QStringLiteral("is not valid UTF-8");
    case Kind::Syntax:
        return QStringLiteral("line %1: %2").arg(line, problem.detail);
    case Kind::WrongHeader:
        return QStringLiteral("the header is not \"%1\"").arg(manifestHeader().join(u','));
    case Kind::ValueCount:
        return QStringLiteral("line %1: %2 values instead of %3")
            .arg(line, QString::number(problem.count),
                 QString::number(problem.expected > 0
                                     ? problem.expected
                                     : qsizetype(BundleLayout::manifestColumns.size())));
    case Kind::BadSha256:
        return QStringLiteral("line %1: sha256 is not 64 lowercase hexadecimal digits").arg(line);
    case Kind::BadSize:
        return QStringLiteral("line %1: size_bytes is not a byte count").arg(line);
    case Kind::BadNumber:
        return QStringLiteral("line %1: %2 is not a whole number").arg(line, problem.detail);
    case Kind::UnknownState:
        return QStringLiteral("line %1: unknown state \"%2\"").arg(line, problem.detail);
    case Kind::UnknownDecision:
        return QStringLiteral("line %1: unknown decision \"%2\"").arg(line, problem.detail);
    case Kind::NoDocuments:
        return QStringLiteral("lists no documents");
    case Kind::BadVolume:
        return QStringLiteral("line %1: volume is not a volume number").arg(line);
    }
    return {};
}

ManifestReading readManifestCsv(QByteArrayView manifest, const ManifestReport& report)
{
    using Kind = ManifestProblem::Kind;
    using namespace BundleLayout;
    ManifestReading reading;
    const auto problem = [&report](Kind kind, int line = 0, const QString& detail = {},
                                   qsizetype count = 0) {
        report(ManifestProblem{kind, line, detail, count});
    };
    const QByteArray mark = bytes(byteOrderMark);
    if (!manifest.startsWith(mark)) {
        problem(Kind::NoByteOrderMark);
        return reading;
    }
    const QByteArrayView csv = manifest.sliced(mark.size());
    if (!csv.isValidUtf8()) {
        problem(Kind::NotUtf8);
        return reading;
    }
    CsvReader reader(csv);
    const auto fault = [&] {
        problem(Kind::Syntax, reader.faultLine(), reader.errorString());
        return reading;
    };
    QStringList header;
    if (reader.readRecord()) {
        for (const QByteArray& field : reader.fields())
            header.append(QString::fromUtf8(field));
    } else if (!reader.errorString().isEmpty()) {
        return fault();
    }
    reading.volumes = header == manifestHeader(true);
    if (header != manifestHeader() && !reading.volumes) {
        problem(Kind::WrongHeader);
        return reading;
    }
    const qsizetype columns = qsizetype(manifestColumns.size()) + (reading.volumes ? 1 : 0);

    QStringList states, decisions;
    for (int value : {Ready, NeedsOcr, Unreadable, Encrypted}) {
        states.append(stateText(value));
        decisions.append(manifestDecisionText(value)); // decisions share the values 0 to 3
    }
    qsizetype records = 0;
    // Each record is checked as it is read; only what the originals need is kept.
    while (reader.readRecord()) {
        ++records;
        const int line = reader.line();
        if (reader.fieldCount() != columns) {
            report(ManifestProblem{Kind::ValueCount, line, {}, reader.fieldCount(), columns});
            continue;
        }
        const QList<QByteArray>& f = reader.fields();
        ManifestRow row;
        row.line = line;
        row.sourcePath =
            pathFromDisplay(formulaUnguarded(QString::fromUtf8(f.at(SourcePathColumn))));
        row.fileName = formulaUnguarded(QString::fromUtf8(f.at(FileColumn)));
        row.decision = QString::fromUtf8(f.at(DecisionColumn));
        row.finalCategory = formulaUnguarded(QString::fromUtf8(f.at(FinalCategoryColumn)));
        if (isSha256Hex(f.at(ShaColumn)))
            row.sha256 = f.at(ShaColumn);
        else
            problem(Kind::BadSha256, line);
        bool sizeOk = isDecimal(f.at(SizeColumn), false);
        const qint64 size = sizeOk ? f.at(SizeColumn).toLongLong(&sizeOk) : -1;
        if (sizeOk)
            row.size = size;
        else
            problem(Kind::BadSize, line);
        for (int column : {PagesColumn, TextPagesColumn}) {
            bool numberOk = isDecimal(f.at(column), true);
            const int number = numberOk ? f.at(column).toInt(&numberOk) : 0;
            if (!numberOk)
                problem(Kind::BadNumber, line, text(manifestColumns.at(size_t(column))));
            else if (column == TextPagesColumn)
                row.textPages = number;
        }
        const QString state = QString::fromUtf8(f.at(StateColumn));
        row.state = int(states.indexOf(state)); // the states are the values 0 to 3, in order
        if (row.state < 0)
            problem(Kind::UnknownState, line, state);
        if (const QString decision = QString::fromUtf8(f.at(DecisionColumn));
            !decisions.contains(decision))
            problem(Kind::UnknownDecision, line, decision);
        if (reading.volumes) {
            row.volume = volumeNumber(f.at(VolumeColumn));
            if (row.volume == 0)
                problem(Kind::BadVolume, line);
        }
        reading.rows.append(row);
    }
    if (!reader.errorString().isEmpty())
        return fault();
    if (records == 0) {
        problem(Kind::NoDocuments);
        return reading;
    }
    reading.ok = true;
    return reading;
}

} // namespace Tessavo
