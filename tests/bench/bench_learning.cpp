// What a lesson costs the window: a user changes one document's category among 3,000 (copies of
// the published tender texts), the rule book learns it, and the suggestions are brought up to
// date once the event is done. Prints the median of the lesson and of the update that follows.
// Run on demand: build/tests/bench_learning
#include "core/LearnedTerms.h"
#include "core/Rule.h"
#include "flows/DocumentList.h"
#include "flows/ReviewFlow.h"
#include "flows/RuleBook.h"
#include "flows/SessionFlow.h"
#include "support/CorpusTexts.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

using namespace Tessavo;
using namespace Tessavo::Flows;

namespace {

constexpr int documentCount = 3000;
constexpr int rounds = 15;

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QList<CorpusTexts::Document> corpus = CorpusTexts::all();
    if (corpus.isEmpty()) {
        std::fprintf(stderr, "No corpus at %s\n", TESSAVO_CORPUS_DIR);
        return 1;
    }
    DocumentList list;
    RuleBook rules(defaultRules());
    SessionFlow session(list);
    ReviewFlow review(list, rules, session);
    for (int i = 0; i < documentCount; ++i) {
        DocumentRecord r = corpus.at(i % corpus.size()).record;
        r.sha256 += QByteArray::number(i); // each copy its own document
        r.suggestion = rules.suggest(r);
        list.appendRecord(r);
    }
    int matched = 0;
    for (const DocumentRecord& r : list.records())
        matched += r.suggestion.isEmpty() ? 0 : 1;

    QList<double> lessons;
    QList<double> updates;
    for (int round = 0; round < rounds; ++round) {
        const int row = (round * 97) % documentCount;
        const QString category = categoryList().at(round % categoryList().size());
        QElapsedTimer timer;
        timer.start();
        review.changeDocumentCategory(row, category);
        lessons.append(double(timer.nsecsElapsed()) / 1e6);
        timer.restart();
        QCoreApplication::processEvents(); // the update posted by the lesson
        updates.append(double(timer.nsecsElapsed()) / 1e6);
    }
    int learned = 0;
    for (const DocumentRecord& r : list.records())
        learned += r.suggestion.learned ? 1 : 0;
    std::printf("%d documents, %d matched by a rule, %d with a learned suggestion after %d "
                "lessons\n",
                documentCount, matched, learned, rounds);
    QElapsedTimer split;
    split.start();
    QList<QList<TermCount>> terms;
    for (const DocumentRecord& r : list.records()) {
        if (r.suggestion.learned || r.suggestion.isEmpty())
            terms.append(documentTerms(r));
    }
    const double termsMs = double(split.nsecsElapsed()) / 1e6;
    split.restart();
    for (const QList<TermCount>& t : terms)
        (void)rules.learned().suggest(t);
    const double scoreMs = double(split.nsecsElapsed()) / 1e6;
    std::printf("of which terms %.1f ms, scores %.1f ms\n", termsMs, scoreMs);
    std::printf("lesson (decision and learning): median %.1f ms\n", median(lessons));
    std::printf("suggestions brought up to date:  median %.1f ms\n", median(updates));
    return 0;
}
