#include "core/Classification.h"

#include <QHash>
#include <QSet>
#include <QStringMatcher>

#include <algorithm>
#include <memory>
#include <vector>

namespace Tessavo {

namespace {

bool isWordChar(char16_t c)
{
    return c == u'_' || QChar::isLetterOrNumber(c);
}

// Simple case folding of every UTF-16 unit, the same folding Qt's case-insensitive comparison
// applies, with every run of white space (line breaks included) taken as one space.
void foldInto(QStringView text, QString& out)
{
    out.resize(text.size());
    char16_t* o = reinterpret_cast<char16_t*>(out.data());
    qsizetype n = 0;
    const char16_t* in = text.utf16();
    const qsizetype size = text.size();
    bool inSpace = false;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = in[i];
        if (c < 0x80) {
            if (c == u' ' || (c >= u'\t' && c <= u'\r')) {
                if (!inSpace)
                    o[n++] = u' ';
                inSpace = true;
                continue;
            }
            inSpace = false;
            o[n++] = (c >= u'A' && c <= u'Z') ? char16_t(c | 0x20) : c;
        } else if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(in[i + 1])) {
            inSpace = false;
            const char32_t folded32 = QChar::toCaseFolded(QChar::surrogateToUcs4(c, in[i + 1]));
            o[n++] = QChar::highSurrogate(folded32);
            o[n++] = QChar::lowSurrogate(folded32);
            ++i;
        } else if (QChar::isSpace(c)) {
            if (!inSpace)
                o[n++] = u' ';
            inSpace = true;
        } else {
            inSpace = false;
            o[n++] = QChar::toCaseFolded(c);
        }
    }
    out.truncate(n);
}

QString folded(QStringView text)
{
    QString out;
    foldInto(text, out);
    return out;
}

// Finds many folded terms in one pass over a text (Aho-Corasick): for every term, whether the
// text holds it and whether it stands there as a whole word.
class PageSearch {
public:
    explicit PageSearch(const QStringList& terms)
        : m_terms(terms)
    {
        m_nodes.emplace_back();
        for (qsizetype t = 0; t < m_terms.size(); ++t) {
            m_slots.insert(m_terms.at(t), int(t));
            int node = 0;
            for (const QChar ch : m_terms.at(t)) {
                int next = child(node, ch.unicode());
                if (next < 0) {
                    next = int(m_nodes.size());
                    m_nodes.emplace_back();
                    setChild(node, ch.unicode(), next);
                }
                node = next;
            }
            m_nodes[node].term = int(t);
        }
        // Breadth first: a node's fail link is shallower, so complete before the node.
        std::vector<int> queue{0};
        for (size_t q = 0; q < queue.size(); ++q) {
            const int u = queue[q];
            const Node& un = m_nodes[u];
            std::vector<std::pair<char16_t, int>> edges = un.other;
            for (int c = 0; c < 128; ++c) {
                if (un.ascii[c] > 0 && !un.asciiInherited[c])
                    edges.emplace_back(char16_t(c), un.ascii[c]);
            }
            for (const auto& [c, v] : edges) {
                int f = 0;
                if (u != 0) {
                    f = m_nodes[u].fail;
                    while (f != 0 && child(f, c) < 0)
                        f = m_nodes[f].fail;
                    const int target = child(f, c);
                    f = target >= 0 && target != v ? target : 0;
                }
                m_nodes[v].fail = f;
                m_nodes[v].output = m_nodes[f].term >= 0 ? f : m_nodes[f].output;
                queue.push_back(v);
            }
            // Complete the ASCII transitions through the fail link.
            Node& node = m_nodes[u];
            for (int c = 0; c < 128; ++c) {
                if (node.ascii[c] < 0) {
                    node.ascii[c] = u == 0 ? 0 : m_nodes[node.fail].ascii[c];
                    node.asciiInherited[c] = true;
                }
            }
        }
        qsizetype longest = 1;
        for (const QString& term : m_terms)
            longest = std::max(longest, term.size());
        m_ringMask = 1;
        while (m_ringMask < size_t(longest) + 1)
            m_ringMask <<= 1;
        --m_ringMask;
        // Compact tables for the scan, which visits them once per character: ASCII characters
        // that no term holds share one class.
        std::fill(std::begin(m_class), std::end(m_class), quint8(0));
        m_classes = 1;
        for (const QString& term : m_terms) {
            for (const QChar ch : term) {
                const char16_t c = ch.unicode();
                if (c < 128 && m_class[c] == 0 && m_classes < 255)
                    m_class[c] = quint8(m_classes++);
            }
        }
        int representative[256] = {};
        for (int c = 127; c >= 0; --c)
            representative[m_class[c]] = c;
        representative[0] = 0;
        for (int c = 0; c < 128; ++c) {
            if (m_class[c] == 0) {
                representative[0] = c;
                break;
            }
        }
        m_next.resize(m_nodes.size() * size_t(m_classes));
        m_firstOutput.resize(m_nodes.size());
        for (size_t u = 0; u < m_nodes.size(); ++u) {
            for (int k = 0; k < m_classes; ++k)
                m_next[u * size_t(m_classes) + size_t(k)] = m_nodes[u].ascii[representative[k]];
            m_firstOutput[u] = m_nodes[u].term >= 0 ? int(u) : m_nodes[u].output;
        }
    }

    qsizetype size() const { return m_terms.size(); }
    int slotOf(const QString& foldedTerm) const { return m_slots.value(foldedTerm, -1); }

    enum : quint8 { Held = 1, HeldAsWord = 2 };

    // Folds the text as folded() does while it scans, so that no folded copy is made.
    void scan(QStringView text, std::vector<quint8>& found) const
    {
        found.assign(size_t(m_terms.size()), 0);
        // Whether each of the last folded characters belongs to a word, for the check before a
        // term's first character.
        thread_local std::vector<quint8> wordRing;
        wordRing.resize(m_ringMask + 1);
        quint8* const ring = wordRing.data();
        const char16_t* const in = text.utf16();
        const qsizetype size = text.size();
        const int* const next = m_next.data();
        const int* const firstOutput = m_firstOutput.data();
        const quint8* const classOf = m_class;
        const size_t classes = size_t(m_classes);
        int state = 0;
        qsizetype pos = 0; // in the folded text
        bool inSpace = false;
        for (qsizetype i = 0; i < size; ++i) {
            const char16_t c = in[i];
            if (c < 0x80) [[likely]] {
                if (c == u' ' || (c >= u'\t' && c <= u'\r')) {
                    if (inSpace)
                        continue;
                    inSpace = true;
                    state = next[size_t(state) * classes + classOf[u' ']];
                    ring[size_t(pos) & m_ringMask] = 0;
                } else {
                    inSpace = false;
                    const char16_t f = (c >= u'A' && c <= u'Z') ? char16_t(c | 0x20) : c;
                    state = next[size_t(state) * classes + classOf[f]];
                    ring[size_t(pos) & m_ringMask] = isWordChar(f);
                }
                if (firstOutput[state] >= 0) [[unlikely]]
                    report(firstOutput[state], ring, pos, in, size, i, found);
                ++pos;
                continue;
            }
            // Outside ASCII: one or two folded units.
            char16_t units[2];
            int count = 1;
            if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(in[i + 1])) {
                const char32_t folded32 = QChar::toCaseFolded(QChar::surrogateToUcs4(c, in[i + 1]));
                units[0] = QChar::highSurrogate(folded32);
                units[1] = QChar::lowSurrogate(folded32);
                count = 2;
                ++i;
                inSpace = false;
            } else if (QChar::isSpace(c)) {
                if (inSpace)
                    continue;
                inSpace = true;
                units[0] = u' ';
            } else {
                inSpace = false;
                units[0] = QChar::toCaseFolded(c);
            }
            for (int u = 0; u < count; ++u) {
                state = units[u] < 0x80 ? next[size_t(state) * classes + classOf[units[u]]]
                                        : stepOutsideAscii(state, units[u]);
                ring[size_t(pos) & m_ringMask] = isWordChar(units[u]);
                if (firstOutput[state] >= 0)
                    report(firstOutput[state], ring, pos, in, size, u + 1 < count ? size : i,
                           found);
                ++pos;
            }
        }
    }

private:
    struct Node {
        Node() { std::fill(std::begin(ascii), std::end(ascii), -1); }
        int ascii[128];
        bool asciiInherited[128] = {};
        std::vector<std::pair<char16_t, int>> other;
        int fail = 0;
        int term = -1;   // the term that ends here
        int output = -1; // the next node on the fail chain where a term ends
    };

    Q_NEVER_INLINE int stepOutsideAscii(int state, char16_t c) const
    {
        while (state != 0 && child(state, c) < 0)
            state = m_nodes[size_t(state)].fail;
        const int target = child(state, c);
        return target < 0 ? 0 : target;
    }

    // Every term that ends at folded position pos, found at node o and its output chain. The
    // character after it is the one after in[i] in the text, a space when that is white space.
    Q_NEVER_INLINE void report(int o, const quint8* ring, qsizetype pos, const char16_t* in,
                               qsizetype size, qsizetype i, std::vector<quint8>& found) const
    {
        const bool wordAfter = i + 1 < size && isWordChar(in[i + 1]);
        for (; o >= 0; o = m_nodes[size_t(o)].output) {
            const int term = m_nodes[size_t(o)].term;
            quint8& f = found[size_t(term)];
            if (f & HeldAsWord)
                continue;
            f |= Held;
            const QString& word = m_terms.at(term);
            const qsizetype start = pos - word.size() + 1;
            const bool startOk = start == 0 || !isWordChar(word.front().unicode()) ||
                                 !ring[size_t(start - 1) & m_ringMask];
            const bool endOk = !isWordChar(word.back().unicode()) || !wordAfter;
            if (startOk && endOk)
                f |= HeldAsWord;
        }
    }

    int child(int node, char16_t c) const
    {
        const Node& n = m_nodes[size_t(node)];
        if (c < 128)
            return n.asciiInherited[c] ? -1 : n.ascii[c];
        for (const auto& [key, next] : n.other) {
            if (key == c)
                return next;
        }
        return -1;
    }
    void setChild(int node, char16_t c, int next)
    {
        if (c < 128)
            m_nodes[size_t(node)].ascii[c] = next;
        else
            m_nodes[size_t(node)].other.emplace_back(c, next);
    }

    QStringList m_terms;
    QHash<QString, int> m_slots;
    std::vector<Node> m_nodes;
    size_t m_ringMask = 0; // one less than a power of two above the longest term
    quint8 m_class[128];   // an ASCII character's class
    int m_classes = 1;
    std::vector<int> m_next;        // per node, the transition for each class
    std::vector<int> m_firstOutput; // per node: the first node of its chain where a term ends
};

// One term of a rule, folded once, found as a substring or, with whole words, only where the
// letters and digits at its ends do not continue in the text.
class Term {
public:
    Term(const QString& stored, bool wholeWords, const PageSearch* search = nullptr)
        : m_stored(stored)
        , m_folded(folded(stored))
        , m_matcher(m_folded, Qt::CaseSensitive)
        , m_wholeWords(wholeWords)
        , m_slot(search ? search->slotOf(m_folded) : -1)
    {}

    const QString& stored() const { return m_stored; }
    bool wholeWords() const { return m_wholeWords; }
    int slot() const { return m_slot; } // in the document's page search; -1 when not there

    bool in(const QString& text) const
    {
        const qsizetype length = m_folded.size();
        if (length == 0)
            return false;
        const char16_t* t = reinterpret_cast<const char16_t*>(text.utf16());
        const bool checkStart = m_wholeWords && isWordChar(m_folded.front().unicode());
        const bool checkEnd = m_wholeWords && isWordChar(m_folded.back().unicode());
        for (qsizetype at = m_matcher.indexIn(text); at >= 0;
             at = m_matcher.indexIn(text, at + 1)) {
            if (checkStart && at > 0 && isWordChar(t[at - 1]))
                continue;
            if (checkEnd && at + length < text.size() && isWordChar(t[at + length]))
                continue;
            return true;
        }
        return false;
    }

private:
    QString m_stored;
    QString m_folded;
    QStringMatcher m_matcher;
    bool m_wholeWords;
    int m_slot;
};

QList<Term> termsFor(const QStringList& list, bool wholeWords, const PageSearch* search = nullptr)
{
    QList<Term> terms;
    for (const QString& term : termsOf(list))
        terms.append(Term(term, wholeWords, search));
    return terms;
}

// Every term the rules look for in page text, folded, each once, in rule order.
QStringList pageTermsOf(const QList<Rule>& rules)
{
    QStringList terms;
    QSet<QString> seen;
    for (const Rule& rule : rules) {
        if (!rule.enabled || !hasConditions(rule))
            continue;
        QStringList texts = rule.textAnyOf + rule.textAllOf + rule.textNoneOf;
        texts.prepend(rule.textContains);
        for (const QString& text : termsOf(texts)) {
            const QString term = folded(text);
            if (!term.isEmpty() && !seen.contains(term)) {
                seen.insert(term);
                terms.append(term);
            }
        }
    }
    return terms;
}

// The page search for a set of terms; the last one is kept, since classification runs the same
// rules over every document of a package.
std::shared_ptr<const PageSearch> pageSearchFor(const QStringList& terms)
{
    thread_local QStringList cachedTerms;
    thread_local std::shared_ptr<const PageSearch> cached;
    if (!cached || cachedTerms != terms) {
        cached = std::make_shared<const PageSearch>(terms);
        cachedTerms = terms;
    }
    return cached;
}

QString quoted(const QList<Term>& terms)
{
    QStringList parts;
    for (const Term& term : terms)
        parts << QStringLiteral("\"%1\"").arg(term.stored());
    return parts.join(QStringLiteral(", "));
}

// The texts of one document, folded once and shared by every rule that searches them.
class FoldedDocument {
public:
    FoldedDocument(const DocumentRecord& record, std::shared_ptr<const PageSearch> search)
        : m_record(record)
        , m_search(std::move(search))
    {}

    const PageSearch* search() const { return m_search.get(); }

    qsizetype pageCount() const { return m_record.pageTexts.size(); }

    // Whether the page holds the term, as a whole word when the term wants one.
    bool pageHolds(qsizetype index, const Term& term)
    {
        if (term.slot() < 0)
            return term.in(page(index));
        while (m_hits.size() <= size_t(index)) {
            m_hits.emplace_back();
            const qsizetype next = qsizetype(m_hits.size() - 1);
            m_search->scan(m_record.pageTexts.at(next).text, m_hits.back());
        }
        const quint8 found = m_hits[size_t(index)][size_t(term.slot())];
        return found & (term.wholeWords() ? PageSearch::HeldAsWord : PageSearch::Held);
    }

    // Pages are folded when a search first reaches them, so a hit on an early page leaves the
    // rest alone.
    const QString& page(qsizetype index)
    {
        while (m_pages.size() <= index)
            m_pages.append(folded(m_record.pageTexts.at(m_pages.size()).text));
        return m_pages.at(index);
    }

    // The first page holding the term, or -1.
    int firstPageWith(const Term& term)
    {
        for (qsizetype i = 0; i < pageCount(); ++i) {
            if (pageHolds(i, term))
                return int(i);
        }
        return -1;
    }

    const QString& fileName()
    {
        if (!m_fileFolded) {
            m_file = folded(m_record.fileName);
            m_fileFolded = true;
        }
        return m_file;
    }

    const QString& title()
    {
        heading();
        return m_title;
    }

    // The first three non-empty lines of the first page with text, and that page; -1 when no
    // page has text.
    const QString& headingLines()
    {
        heading();
        return m_lines;
    }
    int headingPage()
    {
        heading();
        return m_headingPage;
    }

private:
    void heading()
    {
        if (m_headingKnown)
            return;
        m_headingKnown = true;
        m_title = folded(m_record.title);
        for (qsizetype i = 0; i < pageCount(); ++i) {
            const QString& text = m_record.pageTexts.at(i).text;
            QStringList lines;
            qsizetype from = 0;
            while (lines.size() < 3 && from <= text.size()) {
                qsizetype end = text.indexOf(u'\n', from);
                if (end < 0)
                    end = text.size();
                const QStringView line = QStringView(text).mid(from, end - from).trimmed();
                if (!line.isEmpty())
                    lines << line.toString();
                from = end + 1;
            }
            if (!lines.isEmpty()) {
                m_lines = folded(lines.join(u'\n'));
                m_headingPage = int(i);
                return;
            }
        }
    }

    const DocumentRecord& m_record;
    std::shared_ptr<const PageSearch> m_search;
    QList<QString> m_pages;                  // the first pages, folded
    std::vector<std::vector<quint8>> m_hits; // per page: what the page search found
    QString m_file;
    bool m_fileFolded = false;
    bool m_headingKnown = false;
    QString m_title;
    QString m_lines;
    int m_headingPage = -1;
};

QString pageText(int page, const DocumentRecord& record)
{
    const bool recognised = record.pageTexts.at(page).recognised;
    return QStringLiteral("page %1%2")
        .arg(QString::number(page + 1), recognised ? QStringLiteral(" (recognised)") : QString());
}

RuleEvaluation evaluate(const Rule& rule, const DocumentRecord& record, FoldedDocument& doc)
{
    RuleEvaluation result;
    QStringList parts;
    // What a none-of condition held is named only when no other condition decided the match: a
    // list of terms the document does not hold says nothing about why it was chosen.
    QStringList exclusions;
    const bool whole = rule.wholeWords;
    const auto notePage = [&result](int page) {
        if (result.page < 0)
            result.page = page;
    };

    if (!rule.fileContains.trimmed().isEmpty()) {
        if (!Term(rule.fileContains, whole).in(doc.fileName()))
            return {};
        parts << QStringLiteral("file name contains \"%1\"").arg(rule.fileContains);
    }
    if (const QList<Term> terms = termsFor(rule.fileAnyOf, whole); !terms.isEmpty()) {
        const auto hit = std::find_if(terms.cbegin(), terms.cend(),
                                      [&doc](const Term& t) { return t.in(doc.fileName()); });
        if (hit == terms.cend())
            return {};
        parts << QStringLiteral("file name contains \"%1\"").arg(hit->stored());
    }
    if (const QList<Term> terms = termsFor(rule.fileNoneOf, whole); !terms.isEmpty()) {
        if (std::any_of(terms.cbegin(), terms.cend(),
                        [&doc](const Term& t) { return t.in(doc.fileName()); }))
            return {};
        exclusions << QStringLiteral("file name contains none of %1").arg(quoted(terms));
    }
    if (!rule.titleContains.trimmed().isEmpty()) {
        const Term term(rule.titleContains, whole);
        if (term.in(doc.title())) {
            parts << QStringLiteral("heading contains \"%1\" in the PDF title")
                         .arg(rule.titleContains);
        } else if (term.in(doc.headingLines())) {
            notePage(doc.headingPage());
            parts << QStringLiteral("heading contains \"%1\" on %2")
                         .arg(rule.titleContains, pageText(doc.headingPage(), record));
        } else {
            return {};
        }
    }
    const PageSearch* search = doc.search();
    if (!rule.textContains.trimmed().isEmpty()) {
        const int page = doc.firstPageWith(Term(rule.textContains, whole, search));
        if (page < 0)
            return {};
        notePage(page);
        parts << QStringLiteral("text contains \"%1\" on %2")
                     .arg(rule.textContains, pageText(page, record));
    }
    if (const QList<Term> terms = termsFor(rule.textAnyOf, whole, search); !terms.isEmpty()) {
        int page = -1;
        const Term* hit = nullptr;
        for (qsizetype i = 0; i < doc.pageCount() && !hit; ++i) {
            for (const Term& term : terms) {
                if (doc.pageHolds(i, term)) {
                    hit = &term;
                    page = int(i);
                    break;
                }
            }
        }
        if (!hit)
            return {};
        notePage(page);
        parts << QStringLiteral("text contains \"%1\" on %2")
                     .arg(hit->stored(), pageText(page, record));
    }
    if (const QList<Term> terms = termsFor(rule.textAllOf, whole, search); !terms.isEmpty()) {
        QStringList found;
        for (const Term& term : terms) {
            const int page = doc.firstPageWith(term);
            if (page < 0)
                return {};
            notePage(page);
            found << QStringLiteral("\"%1\" on %2").arg(term.stored(), pageText(page, record));
        }
        parts << QStringLiteral("text contains all of %1").arg(found.join(QStringLiteral(", ")));
    }
    if (const QList<Term> terms = termsFor(rule.textNoneOf, whole, search); !terms.isEmpty()) {
        for (const Term& term : terms) {
            if (doc.firstPageWith(term) >= 0)
                return {};
        }
        exclusions << QStringLiteral("text contains none of %1").arg(quoted(terms));
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
        parts = exclusions;
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
    FoldedDocument doc(record, std::make_shared<const PageSearch>(pageTermsOf({rule})));
    return evaluate(rule, record, doc);
}

Suggestion classify(const QList<Rule>& rules, const DocumentRecord& record)
{
    QList<Found> found;
    FoldedDocument doc(record, pageSearchFor(pageTermsOf(rules)));
    for (const Rule& rule : rules) {
        if (!rule.enabled || !hasConditions(rule))
            continue;
        RuleEvaluation evaluation = evaluate(rule, record, doc);
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

DocumentHeading documentHeading(const DocumentRecord& record)
{
    FoldedDocument doc(record, nullptr);
    return {doc.title(), doc.headingLines(), doc.headingPage()};
}

} // namespace Tessavo
