#pragma once

#include "core/DocumentRecord.h"
#include "core/LearnedTerms.h"
#include "core/Rule.h"
#include "core/Suggestion.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace Tessavo {

// One filed document as the model keeps it: who it was, where it was filed and its terms.
struct LearnedExample {
    QString key; // the document's identity; filing it again replaces the earlier example
    QString fileName;
    QString category;
    QList<TermCount> terms; // sorted by term

    friend bool operator==(const LearnedExample&, const LearnedExample&) = default;
};

// What the filed documents propose for a document no rule matched; empty when they propose
// nothing.
struct LearnedSuggestion {
    QString category;
    // Confident enough for "Accept all clear suggestions": the category holds at least
    // minClearSupport documents, the document resembles it at least minClearScore, and the
    // runner-up category trails by at least minClearMargin of that resemblance (resembles the
    // document at most 35 % as much).
    bool clear = false;
    double score = 0;        // cosine resemblance to the category, 0 to 1
    double runnerUp = 0;     // the same for the next category
    int support = 0;         // filed documents of the category
    QString exampleFile;     // the most similar of them
    QStringList sharedTerms; // what the document shares with that example, most telling first

    bool isEmpty() const { return category.isEmpty(); }
};

constexpr int minClearSupport = 2;
constexpr double minClearScore = 0.2;
constexpr double minClearMargin = 0.65;
// A document resembling no category at least this much gets no learned suggestion.
constexpr double minSuggestScore = 0.02;
constexpr qsizetype maxSharedTerms = 3;

// Bounds on a stored model read back: it is untrusted.
constexpr qsizetype maxLearnedBytes = 64 * 1024 * 1024;
constexpr qsizetype maxLearnedExamples = 100000;
constexpr int maxLearnedTermCount = 1000000;
constexpr qsizetype maxLearnedNameChars = 4096; // key, file name and category
constexpr qsizetype maxLearnedExampleBytes = 256 * 1024;

struct LearnedModelRead {
    bool ok = false;
    QString error;
    QList<LearnedExample> examples;
};

// Learns categories from filed documents. The result depends only on the set of examples, never
// on the order in which they were filed: ties go to the earlier category of categoryList(), then
// to the file name that sorts first.
class LearnedModel {
public:
    // Files the document under the category, replacing an earlier example with the same key.
    // The key is the document's SHA-256 in hex, or its file name when that is unknown.
    void learn(const DocumentRecord& record, const QString& category);
    // Ignores an example without key or category, or with a name beyond maxLearnedNameChars.
    void add(const LearnedExample& example);
    void forget(const QString& key);
    void clear();

    qsizetype size() const { return m_examples.size(); }
    bool isEmpty() const { return m_examples.isEmpty(); }
    QList<LearnedExample> examples() const { return m_examples.values(); }

    LearnedSuggestion suggest(const DocumentRecord& record) const;
    LearnedSuggestion suggest(const QList<TermCount>& terms) const;

    // A compact versioned JSON form, and the examples read back from it.
    QByteArray toBytes() const;
    [[nodiscard]] static LearnedModelRead fromBytes(const QByteArray& bytes);

private:
    struct Index;
    const Index& index() const;

    QMap<QString, LearnedExample> m_examples;
    mutable std::shared_ptr<const Index> m_index; // built when first needed after a change
};

// One example on its own, as a store keeps it row by row (versioned JSON), and read back within
// the limits; nullopt when the bytes are damaged or beyond them.
QByteArray learnedExampleBytes(const LearnedExample& example);
std::optional<LearnedExample> readLearnedExample(const QByteArray& bytes);

// The key under which learn() files the record.
QString learnedKey(const DocumentRecord& record);

// The suggestion of the best-ranked enabled matching rule; when no rule matches, what the filed
// documents teach ("Learned", tentative unless the model is sure). A rule always outranks it.
Suggestion suggestFor(const QList<Rule>& rules, const LearnedModel& learned,
                      const DocumentRecord& record);

// How a learned suggestion explains itself: learned from 6 filed documents, e.g. "Appendix H
// Financial Proposal.pdf" (03_Pricing): shares "financial proposal", "schedule".
QString learnedExplanation(const LearnedSuggestion& suggestion);

} // namespace Tessavo
