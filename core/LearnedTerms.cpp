#include "core/LearnedTerms.h"

#include "core/Classification.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace Tessavo {

namespace {

const QSet<QString>& stopWords()
{
    static const QSet<QString> words = [] {
        const char* const list[] = {
            "a",     "about", "above", "after",   "all",   "also",   "an",     "and",     "any",
            "are",   "as",    "at",    "be",      "been",  "before", "being",  "between", "both",
            "but",   "by",    "can",   "could",   "did",   "do",     "does",   "each",    "either",
            "for",   "from",  "had",   "has",     "have",  "he",     "her",    "here",    "his",
            "how",   "if",    "in",    "into",    "is",    "it",     "its",    "may",     "more",
            "most",  "must",  "no",    "nor",     "not",   "of",     "on",     "or",      "other",
            "our",   "out",   "over",  "per",     "same",  "shall",  "she",    "should",  "so",
            "such",  "than",  "that",  "the",     "their", "them",   "then",   "there",   "these",
            "they",  "this",  "those", "through", "to",    "under",  "until",  "up",      "upon",
            "us",    "very",  "was",   "we",      "were",  "what",   "when",   "where",   "which",
            "while", "who",   "whom",  "why",     "will",  "with",   "within", "without", "would",
            "you",   "your",  "pdf",   "page",    "pages", "www",    "http",   "https",   "com",
        };
        QSet<QString> set;
        for (const char* word : list)
            set.insert(QString::fromLatin1(word));
        return set;
    }();
    return words;
}

// Adds the unigrams and bigrams of the text with the given weight. A stop word, a number or a
// one-letter word breaks a bigram.
void addTerms(QStringView text, int weight, QHash<QString, int>& counts)
{
    QString previous;
    QString word;
    const auto flush = [&] {
        if (word.isEmpty())
            return;
        bool digits = true;
        for (QChar c : std::as_const(word))
            digits = digits && c.isDigit();
        if (word.size() < 2 || digits || word.size() > maxTermChars || stopWords().contains(word)) {
            previous.clear();
        } else {
            counts[word] += weight;
            if (!previous.isEmpty())
                counts[previous + u' ' + word] += weight;
            previous = word;
        }
        word.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isLetterOrNumber()) {
            word += c.toCaseFolded();
        } else if (c == u'\'' || c == QChar(0x2019)) {
            continue; // "bidder's" is one word
        } else {
            flush();
            if (!c.isSpace() && c != u'-' && c != u'_')
                previous.clear(); // punctuation ends a phrase
        }
    }
    flush();
}

QString withoutExtension(const QString& fileName)
{
    return fileName.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive) ? fileName.chopped(4)
                                                                         : fileName;
}

} // namespace

QList<TermCount> documentTerms(const DocumentRecord& record)
{
    QHash<QString, int> counts;
    addTerms(withoutExtension(record.fileName), headingTermWeight, counts);
    const DocumentHeading heading = documentHeading(record);
    addTerms(heading.title, headingTermWeight, counts);
    addTerms(heading.lines, headingTermWeight, counts);
    qsizetype budget = bodyCharLimit;
    for (const PageText& page : record.pageTexts) {
        if (budget <= 0)
            break;
        const QStringView text = QStringView(page.text).left(budget);
        addTerms(text, 1, counts);
        budget -= text.size();
    }

    QList<TermCount> terms;
    terms.reserve(counts.size());
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        terms.append({it.key(), it.value()});
    // The heaviest first, ties by term, so the same document keeps the same terms.
    const auto heavier = [](const TermCount& a, const TermCount& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    };
    if (terms.size() > maxTermsPerDocument) {
        std::partial_sort(terms.begin(), terms.begin() + maxTermsPerDocument, terms.end(), heavier);
        terms.resize(maxTermsPerDocument);
    }
    std::sort(terms.begin(), terms.end(),
              [](const TermCount& a, const TermCount& b) { return a.first < b.first; });
    return terms;
}

} // namespace Tessavo
