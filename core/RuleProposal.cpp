#include "core/RuleProposal.h"

#include "core/Classification.h"
#include "core/LearnedTerms.h"

#include <QSet>

#include <algorithm>

namespace Tessavo {

namespace {

// The words of the heading (title and first lines) or of the file name, as the learned terms
// spell them: case-folded unigrams and bigrams without stop words or numbers.
QStringList wordsOf(const QString& fileName, const QString& title, const QString& lines)
{
    DocumentRecord reduced;
    reduced.fileName = fileName;
    reduced.title = title;
    if (!lines.isEmpty())
        reduced.pageTexts.append({0, int(lines.size()), lines, false});
    QStringList words;
    for (const auto& [term, count] : documentTerms(reduced))
        words.append(term);
    return words;
}

struct Candidate {
    Rule rule;
    QString term;
    bool heading = false;
    int other = 0; // documents of other categories it matches
    int same = 0;  // documents of the category it matches
};

bool better(const Candidate& a, const Candidate& b)
{
    if (a.heading != b.heading)
        return a.heading;
    const bool aPhrase = a.term.contains(u' ');
    if (aPhrase != b.term.contains(u' '))
        return aPhrase;
    if (a.same != b.same)
        return a.same > b.same;
    return a.term < b.term;
}

QString shortCategory(const QString& category)
{
    // "03_Pricing" reads as "Pricing".
    const qsizetype cut = category.indexOf(u'_');
    return cut >= 0 && cut + 1 < category.size() ? category.mid(cut + 1) : category;
}

} // namespace

RuleProposal proposeRule(const DocumentRecord& document, const QString& category,
                         const QList<DocumentRecord>& package)
{
    const DocumentHeading heading = documentHeading(document);
    const QStringList headingWords = wordsOf(QString(), heading.title, heading.lines);
    const QStringList nameWords = wordsOf(document.fileName, QString(), QString());
    const QSet<QString> inHeading(headingWords.cbegin(), headingWords.cend());

    QList<Candidate> candidates;
    const auto consider = [&](const QString& term, bool fromHeading) {
        Candidate c;
        c.term = term;
        c.heading = fromHeading;
        c.rule.category = category;
        c.rule.wholeWords = true;
        if (fromHeading)
            c.rule.titleContains = term;
        else
            c.rule.fileAnyOf = {term};
        // The document itself must match: a word the tokeniser made up (an apostrophe dropped)
        // would not.
        if (!matchRule(c.rule, document).matched)
            return;
        for (const DocumentRecord& other : package) {
            // The document itself counts under the category it is being filed under.
            const QString filed =
                other.sourcePath == document.sourcePath ? category : displayCategory(other);
            if (filed.isEmpty() || !matchRule(c.rule, other).matched)
                continue;
            if (filed == category)
                ++c.same;
            else
                ++c.other;
        }
        if (c.other == 0)
            candidates.append(c);
    };
    for (const QString& term : headingWords)
        consider(term, true);
    for (const QString& term : nameWords) {
        if (!inHeading.contains(term))
            consider(term, false);
    }

    RuleProposal proposal;
    proposal.rule.category = category;
    proposal.rule.wholeWords = true;
    if (candidates.isEmpty()) {
        proposal.rule.name = shortCategory(category);
        return proposal;
    }
    std::sort(candidates.begin(), candidates.end(), better);
    const Candidate& best = candidates.constFirst();
    proposal.rule = best.rule;
    proposal.sameCategory = best.same;
    proposal.terms = {best.term};
    if (!best.heading) {
        // File-name words that also set the document apart widen the rule: any of them will do.
        for (const Candidate& c : std::as_const(candidates)) {
            if (!c.heading && c.term != best.term && proposal.terms.size() < 3)
                proposal.terms.append(c.term);
        }
        proposal.rule.fileAnyOf = proposal.terms;
        proposal.sameCategory = 0;
        for (const DocumentRecord& other : package) {
            const bool filedHere =
                other.sourcePath == document.sourcePath || displayCategory(other) == category;
            if (filedHere && matchRule(proposal.rule, other).matched)
                ++proposal.sameCategory;
        }
    }
    proposal.rule.name = QStringLiteral("%1: %2").arg(shortCategory(category), best.term);
    return proposal;
}

} // namespace Tessavo
