#include "core/Classification.h"

#include <QSet>
#include <QStringMatcher>

#include <algorithm>

namespace Tessavo {

namespace {

// Simple case folding of every UTF-16 unit, the same folding Qt's case-insensitive comparison
// applies; the length never changes.
QString caseFolded(QStringView text)
{
    QString folded(text.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(folded.data());
    const char16_t* in = text.utf16();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = in[i];
        if (c < 0x80) {
            out[i] = (c >= u'A' && c <= u'Z') ? char16_t(c | 0x20) : c;
        } else if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(in[i + 1])) {
            const char32_t folded32 = QChar::toCaseFolded(QChar::surrogateToUcs4(c, in[i + 1]));
            out[i] = QChar::highSurrogate(folded32);
            out[i + 1] = QChar::lowSurrogate(folded32);
            ++i;
        } else {
            out[i] = QChar::toCaseFolded(c);
        }
    }
    return folded;
}

// The page texts of one document, case-folded once and shared by every rule that searches them.
class FoldedPages {
public:
    explicit FoldedPages(const QList<PageText>& pages)
        : m_pages(pages)
    {}

    // The first page whose text contains the needle without regard to case, or -1. Pages are
    // folded when a search first reaches them, so a hit on an early page leaves the rest alone.
    int firstPageContaining(const QString& needle)
    {
        const QStringMatcher matcher(caseFolded(needle), Qt::CaseSensitive);
        for (qsizetype i = 0; i < m_pages.size(); ++i) {
            if (matcher.indexIn(folded(i)) >= 0)
                return int(i);
        }
        return -1;
    }

private:
    const QString& folded(qsizetype page)
    {
        while (m_folded.size() <= page)
            m_folded.append(caseFolded(m_pages.at(m_folded.size()).text));
        return m_folded.at(page);
    }

    const QList<PageText>& m_pages;
    QList<QString> m_folded; // the first pages, folded
};

RuleEvaluation evaluate(const Rule& rule, const DocumentRecord& record, FoldedPages& pages)
{
    RuleEvaluation result;
    QStringList parts;

    if (!rule.fileContains.trimmed().isEmpty()) {
        if (!record.fileName.contains(rule.fileContains, Qt::CaseInsensitive))
            return {};
        parts << QStringLiteral("file name contains \"%1\"").arg(rule.fileContains);
    }
    if (!rule.textContains.trimmed().isEmpty()) {
        const int page = pages.firstPageContaining(rule.textContains);
        if (page < 0)
            return {};
        result.page = page;
        const bool recognised = record.pageTexts.at(page).recognised;
        parts << QStringLiteral("text contains \"%1\" on page %2%3")
                     .arg(rule.textContains, QString::number(page + 1),
                          recognised ? QStringLiteral(" (recognised)") : QString());
    }
    if (rule.minPages > 0) {
        if (record.pages < rule.minPages)
            return {};
        parts << QStringLiteral("pages >= %1").arg(rule.minPages);
    }
    if (rule.maxPages > 0) {
        if (record.pages > rule.maxPages)
            return {};
        parts << QStringLiteral("pages <= %1").arg(rule.maxPages);
    }
    if (rule.minBytes > 0) {
        if (record.sizeBytes < rule.minBytes)
            return {};
        parts << QStringLiteral("size >= %1").arg(evidenceSizeText(rule.minBytes));
    }
    if (rule.maxBytes > 0) {
        if (record.sizeBytes > rule.maxBytes)
            return {};
        parts << QStringLiteral("size <= %1").arg(evidenceSizeText(rule.maxBytes));
    }
    if (parts.isEmpty())
        return {};

    result.matched = true;
    result.evidence = parts.join(QStringLiteral("; "));
    return result;
}

struct Found {
    const Rule* rule;
    RuleEvaluation evaluation;
};

} // namespace

RuleEvaluation matchRule(const Rule& rule, const DocumentRecord& record)
{
    FoldedPages pages(record.pageTexts);
    return evaluate(rule, record, pages);
}

Suggestion classify(const QList<Rule>& rules, const DocumentRecord& record)
{
    QList<Found> found;
    FoldedPages pages(record.pageTexts);
    for (const Rule& rule : rules) {
        if (!rule.enabled || !hasConditions(rule))
            continue;
        RuleEvaluation evaluation = evaluate(rule, record, pages);
        if (evaluation.matched)
            found.append({&rule, std::move(evaluation)});
    }
    if (found.isEmpty())
        return {};

    std::stable_sort(found.begin(), found.end(),
                     [](const Found& a, const Found& b) { return ranksBefore(*a.rule, *b.rule); });

    Suggestion suggestion;
    const Found& winner = found.constFirst();
    suggestion.category = winner.rule->category;
    suggestion.ruleId = winner.rule->id;
    suggestion.ruleName = winner.rule->name;
    suggestion.evidence = winner.evaluation.evidence;
    suggestion.evidencePage = winner.evaluation.page;

    // The note names the matches in ranking order until it reaches its cap; the rest are
    // counted. The set of categories keeps this linear in the number of matches.
    QSet<QString> categories;
    QString noteItems;
    qsizetype unnamed = 0;
    suggestion.matches.reserve(found.size());
    for (const Found& f : std::as_const(found)) {
        suggestion.matches.append(
            {f.rule->id, f.rule->name, f.rule->category, f.evaluation.evidence, f.evaluation.page});
        categories.insert(f.rule->category);
        if (unnamed > 0 || noteItems.size() >= maxConflictNoteChars) {
            ++unnamed;
            continue;
        }
        if (!noteItems.isEmpty())
            noteItems += QStringLiteral(", ");
        noteItems += QStringLiteral("%1 (%2)").arg(f.rule->category, f.rule->name);
        if (noteItems.size() > maxConflictNoteChars) {
            noteItems.truncate(maxConflictNoteChars);
            noteItems += QChar(0x2026);
        }
    }
    if (categories.size() >= 2) {
        suggestion.conflict = true;
        if (unnamed > 0)
            noteItems += QStringLiteral(" and %1 more").arg(unnamed);
        suggestion.conflictNote = QStringLiteral("Conflicting categories: %1").arg(noteItems);
    }
    return suggestion;
}

} // namespace Tessavo
