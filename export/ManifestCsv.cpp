#include "export/ManifestCsv.h"

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
            csvField(r.fileName),
            csvField(r.sourcePath),
            QString::fromLatin1(r.sha256),
            QString::number(r.sizeBytes),
            QString::number(r.pages),
            QString::number(r.textPages),
            stateText(r.state),
            csvField(r.suggestion.category),
            csvField(r.suggestion.ruleName),
            csvField(r.suggestion.evidence),
            manifestDecisionText(r.decision),
            csvField(displayCategory(r)),
            csvField(r.note),
        };
        csv += columns.join(u',').toUtf8();
        csv += '\n';
    }
    return csv;
}

} // namespace Tessavo
