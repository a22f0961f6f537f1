#include "bundle/ManifestCsv.h"

#include "core/RawPath.h"

#include <QStringList>

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

QByteArray buildManifestCsv(const QList<DocumentRecord>& records)
{
    QByteArray csv = "\xEF\xBB\xBF"
                     "file,source_path,sha256,size_bytes,pages,text_pages,state,suggested_category,"
                     "matched_rule,evidence,decision,final_category,note\n";
    for (const DocumentRecord& r : records) {
        const QStringList columns = {
            textCell(displayFileName(r)),
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

} // namespace Tessavo
