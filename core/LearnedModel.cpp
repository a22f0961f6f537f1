#include "core/LearnedModel.h"

#include "core/Classification.h"

#include "core/Rule.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

namespace Tessavo {

namespace {

constexpr int formatVersion = 1;

// A unit vector over the terms of the model, as (term id, weight) sorted by id; ids follow the
// terms' sort order, so sums taken along a vector always run in the same order.
using Sparse = std::vector<std::pair<int, double>>;

// A document weighed against the model: a damped count times how rare the term is among the
// filed documents. Terms the model never saw count at full rarity, so novel text lowers the
// resemblance; they have no id and take part only in the length.
struct Weighted {
    Sparse known;
    QStringList knownTerms; // the terms of known, in the same order
};

double dot(const Sparse& a, const Sparse& b)
{
    double sum = 0;
    auto i = a.cbegin();
    auto j = b.cbegin();
    while (i != a.cend() && j != b.cend()) {
        if (i->first < j->first) {
            ++i;
        } else if (j->first < i->first) {
            ++j;
        } else {
            sum += i->second * j->second;
            ++i;
            ++j;
        }
    }
    return sum;
}

// Earlier categories of the standard list first, others after them by name.
bool categoryBefore(const QString& a, const QString& b)
{
    static const QStringList order = categoryList();
    qsizetype ia = order.indexOf(a);
    qsizetype ib = order.indexOf(b);
    if (ia < 0)
        ia = order.size();
    if (ib < 0)
        ib = order.size();
    return ia != ib ? ia < ib : a < b;
}

} // namespace

struct LearnedModel::Index {
    double documents = 0;
    QHash<QString, int> termIds;
    std::vector<int> documentFrequency; // by term id
    // Copies, not pointers: a copy of the model shares its index with the original.
    struct Example {
        QString fileName;
        Sparse vector;
    };
    std::map<QString, QList<Example>> byCategory; // each list in key order
    std::map<QString, Sparse> centroids;          // unit length

    Weighted weigh(const QList<TermCount>& terms) const
    {
        Weighted w;
        w.known.reserve(size_t(terms.size()));
        double norm = 0;
        for (const TermCount& t : terms) {
            const int id = termIds.value(t.first, -1);
            const int df = id >= 0 ? documentFrequency[size_t(id)] : 1;
            const double idf = std::log(1.0 + documents / double(df));
            const double value = (1.0 + std::log(double(std::max(1, t.second)))) * idf;
            norm += value * value;
            if (id >= 0) {
                w.known.emplace_back(id, value);
                w.knownTerms.append(t.first);
            }
        }
        norm = std::sqrt(norm);
        if (norm > 0) {
            for (auto& e : w.known)
                e.second /= norm;
        }
        return w;
    }
};

QString learnedKey(const DocumentRecord& record)
{
    // The record holds its SHA-256 in hexadecimal already, as the manifest does.
    return record.sha256.isEmpty() ? record.fileName : QString::fromLatin1(record.sha256);
}

void LearnedModel::learn(const DocumentRecord& record, const QString& category)
{
    add({learnedKey(record), record.fileName, category, documentTerms(record)});
}

void LearnedModel::add(const LearnedExample& example)
{
    if (example.key.isEmpty() || example.category.isEmpty() ||
        example.key.size() > maxLearnedNameChars || example.fileName.size() > maxLearnedNameChars ||
        example.category.size() > maxLearnedNameChars)
        return;
    m_examples.insert(example.key, example);
    m_index.reset();
}

void LearnedModel::forget(const QString& key)
{
    m_examples.remove(key);
    m_index.reset();
}

void LearnedModel::clear()
{
    m_examples.clear();
    m_index.reset();
}

const LearnedModel::Index& LearnedModel::index() const
{
    if (m_index)
        return *m_index;
    auto index = std::make_shared<Index>();
    index->documents = double(m_examples.size());
    QStringList terms;
    for (const LearnedExample& e : m_examples) {
        for (const TermCount& t : e.terms)
            terms.append(t.first);
    }
    std::sort(terms.begin(), terms.end());
    terms.erase(std::unique(terms.begin(), terms.end()), terms.end());
    index->termIds.reserve(terms.size());
    for (qsizetype i = 0; i < terms.size(); ++i)
        index->termIds.insert(terms.at(i), int(i));
    index->documentFrequency.assign(size_t(terms.size()), 0);
    for (const LearnedExample& e : m_examples) {
        for (const TermCount& t : e.terms)
            ++index->documentFrequency[size_t(index->termIds.value(t.first))];
    }
    // Each example's terms are sorted and all known, so its vector comes out sorted by id.
    for (const LearnedExample& e : m_examples)
        index->byCategory[e.category].append({e.fileName, index->weigh(e.terms).known});
    std::vector<double> sum(size_t(terms.size()), 0.0);
    for (const auto& [category, examples] : index->byCategory) {
        std::fill(sum.begin(), sum.end(), 0.0);
        for (const Index::Example& example : examples) {
            for (const auto& [id, value] : example.vector)
                sum[size_t(id)] += value;
        }
        double norm = 0;
        for (double value : sum)
            norm += value * value;
        norm = std::sqrt(norm);
        Sparse& centroid = index->centroids[category];
        for (size_t id = 0; id < sum.size(); ++id) {
            if (sum[id] > 0 && norm > 0)
                centroid.emplace_back(int(id), sum[id] / norm);
        }
    }
    m_index = index;
    return *m_index;
}

LearnedSuggestion LearnedModel::suggest(const DocumentRecord& record) const
{
    if (m_examples.isEmpty())
        return {};
    return suggest(documentTerms(record));
}

LearnedSuggestion LearnedModel::suggest(const QList<TermCount>& terms) const
{
    LearnedSuggestion result;
    if (m_examples.isEmpty() || terms.isEmpty())
        return result;
    const Index& idx = index();
    QList<TermCount> sorted = terms;
    if (!std::is_sorted(sorted.cbegin(), sorted.cend()))
        std::sort(sorted.begin(), sorted.end());
    const Weighted query = idx.weigh(sorted);

    QString best;
    double bestScore = -1;
    double secondScore = 0;
    for (const auto& [category, centroid] : idx.centroids) {
        const double score = dot(query.known, centroid);
        const bool better =
            score > bestScore || (score == bestScore && categoryBefore(category, best));
        if (better) {
            if (!best.isEmpty())
                secondScore = std::max(secondScore, bestScore);
            best = category;
            bestScore = score;
        } else {
            secondScore = std::max(secondScore, score);
        }
    }
    if (best.isEmpty() || bestScore < minSuggestScore)
        return result;

    const QList<Index::Example>& examples = idx.byCategory.at(best);
    const Index::Example* nearest = nullptr;
    double nearestScore = -1;
    for (const Index::Example& example : examples) {
        const double score = dot(query.known, example.vector);
        if (score > nearestScore ||
            (score == nearestScore && example.fileName < nearest->fileName)) {
            nearest = &example;
            nearestScore = score;
        }
    }

    result.category = best;
    result.score = bestScore;
    result.runnerUp = secondScore;
    result.support = int(examples.size());
    result.clear = result.support >= minClearSupport && bestScore >= minClearScore &&
                   bestScore - secondScore >= minClearMargin * bestScore;
    result.exampleFile = nearest->fileName;

    // What the document and the example share, heaviest first; a word already shown inside a
    // chosen phrase, or a phrase around a chosen word, is not repeated.
    QList<std::pair<double, QString>> shared;
    {
        auto j = nearest->vector.cbegin();
        for (size_t i = 0; i < query.known.size(); ++i) {
            const auto& [id, value] = query.known[i];
            while (j != nearest->vector.cend() && j->first < id)
                ++j;
            if (j != nearest->vector.cend() && j->first == id)
                shared.append({value * j->second, query.knownTerms.at(qsizetype(i))});
        }
    }
    std::sort(shared.begin(), shared.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    for (const auto& [weight, term] : std::as_const(shared)) {
        if (result.sharedTerms.size() >= maxSharedTerms)
            break;
        const QStringList words = term.split(u' ');
        const bool overlaps = std::any_of(
            result.sharedTerms.cbegin(), result.sharedTerms.cend(), [&](const QString& chosen) {
                const QStringList chosenWords = chosen.split(u' ');
                return std::any_of(words.cbegin(), words.cend(),
                                   [&](const QString& w) { return chosenWords.contains(w); });
            });
        if (!overlaps)
            result.sharedTerms.append(term);
    }
    return result;
}

namespace {

QJsonObject exampleObject(const LearnedExample& e)
{
    QJsonArray terms;
    QJsonArray counts;
    for (const TermCount& t : e.terms) {
        terms.append(t.first);
        counts.append(t.second);
    }
    return QJsonObject{{QStringLiteral("key"), e.key},
                       {QStringLiteral("file"), e.fileName},
                       {QStringLiteral("category"), e.category},
                       {QStringLiteral("terms"), terms},
                       {QStringLiteral("counts"), counts}};
}

// One example as the stored forms hold it, checked against the limits; nullopt when damaged.
std::optional<LearnedExample> readExample(const QJsonObject& object)
{
    const QJsonValue key = object.value(QStringLiteral("key"));
    const QJsonValue file = object.value(QStringLiteral("file"));
    const QJsonValue category = object.value(QStringLiteral("category"));
    const QJsonValue termsValue = object.value(QStringLiteral("terms"));
    const QJsonValue countsValue = object.value(QStringLiteral("counts"));
    if (!key.isString() || !file.isString() || !category.isString() || !termsValue.isArray() ||
        !countsValue.isArray() || key.toString().isEmpty() || category.toString().isEmpty() ||
        key.toString().size() > maxLearnedNameChars ||
        file.toString().size() > maxLearnedNameChars ||
        category.toString().size() > maxLearnedNameChars)
        return std::nullopt;
    const QJsonArray terms = termsValue.toArray();
    const QJsonArray counts = countsValue.toArray();
    if (terms.size() != counts.size() || terms.size() > maxTermsPerDocument)
        return std::nullopt;
    LearnedExample example{key.toString(), file.toString(), category.toString(), {}};
    example.terms.reserve(terms.size());
    for (qsizetype i = 0; i < terms.size(); ++i) {
        const QString term = terms.at(i).toString();
        const double count = counts.at(i).toDouble(-1);
        // A bigram is two words and a space.
        if (!terms.at(i).isString() || term.isEmpty() || term.size() > 2 * maxTermChars + 1 ||
            !(count >= 1 && count <= maxLearnedTermCount) || count != std::floor(count))
            return std::nullopt;
        example.terms.append({term, int(count)});
    }
    std::sort(example.terms.begin(), example.terms.end());
    for (qsizetype i = 1; i < example.terms.size(); ++i) {
        if (example.terms.at(i).first == example.terms.at(i - 1).first)
            return std::nullopt;
    }
    return example;
}

} // namespace

QByteArray LearnedModel::toBytes() const
{
    QJsonArray examples;
    for (const LearnedExample& e : m_examples)
        examples.append(exampleObject(e));
    const QJsonObject root{{QStringLiteral("version"), formatVersion},
                           {QStringLiteral("examples"), examples}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

LearnedModelRead LearnedModel::fromBytes(const QByteArray& bytes)
{
    LearnedModelRead read;
    const auto fail = [&read](const QString& error) {
        read.examples.clear();
        read.error = error;
        return read;
    };
    if (bytes.size() > maxLearnedBytes)
        return fail(QStringLiteral("The learned history is too large."));
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return fail(QStringLiteral("The learned history is damaged."));
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("version")).toInt(-1) != formatVersion)
        return fail(QStringLiteral("The learned history has an unknown version."));
    const QJsonValue examplesValue = root.value(QStringLiteral("examples"));
    if (!examplesValue.isArray())
        return fail(QStringLiteral("The learned history is damaged."));
    const QJsonArray examples = examplesValue.toArray();
    if (examples.size() > maxLearnedExamples)
        return fail(QStringLiteral("The learned history holds too many documents."));
    read.examples.reserve(examples.size());
    for (const QJsonValue& value : examples) {
        std::optional<LearnedExample> example = readExample(value.toObject());
        if (!example)
            return fail(QStringLiteral("The learned history is damaged."));
        read.examples.append(std::move(*example));
    }
    read.ok = true;
    return read;
}

QByteArray learnedExampleBytes(const LearnedExample& example)
{
    QJsonObject object = exampleObject(example);
    object.insert(QStringLiteral("version"), formatVersion);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<LearnedExample> readLearnedExample(const QByteArray& bytes)
{
    if (bytes.size() > maxLearnedExampleBytes)
        return std::nullopt;
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject() ||
        document.object().value(QStringLiteral("version")).toInt(-1) != formatVersion)
        return std::nullopt;
    return readExample(document.object());
}

QString learnedExplanation(const LearnedSuggestion& suggestion)
{
    if (suggestion.isEmpty())
        return {};
    QStringList quoted;
    for (const QString& term : suggestion.sharedTerms)
        quoted << QStringLiteral("\"%1\"").arg(term);
    const QString count = suggestion.support == 1
                              ? QStringLiteral("1 filed document")
                              : QStringLiteral("%1 filed documents").arg(suggestion.support);
    const QString shares =
        quoted.isEmpty() ? QString()
                         : QStringLiteral(": shares %1").arg(quoted.join(QStringLiteral(", ")));
    return QStringLiteral("learned from %1, e.g. \"%2\" (%3)%4")
        .arg(count, suggestion.exampleFile, suggestion.category, shares);
}

Suggestion suggestFor(const QList<Rule>& rules, const LearnedModel& learned,
                      const DocumentRecord& record)
{
    Suggestion suggestion = classify(rules, record);
    if (!suggestion.isEmpty() || learned.isEmpty())
        return suggestion;
    const LearnedSuggestion taught = learned.suggest(record);
    if (taught.isEmpty())
        return suggestion;
    suggestion.category = taught.category;
    suggestion.ruleName = QStringLiteral("Learned");
    suggestion.evidence = learnedExplanation(taught);
    suggestion.learned = true;
    suggestion.tentative = !taught.clear;
    return suggestion;
}

} // namespace Tessavo
