// Classifies a synthetic package of 1,000 documents of 20 pages (about 3,000 characters each)
// against the built-in rules and compares the time with grep -F -i looking for every term the
// rules look for in the same text. Run on demand: build/tests/bench_classify
// With --many-rules: 30,000 rules that all match, over 35 documents.
// With --corpus [--split training|held-out|all] [--rules FILE] [--list] [--keep DIR]: renders the
// published tender texts of tests/bench/corpus to PDF (into DIR with --keep), inspects and
// classifies them and reports right, none and wrong suggestions and what "Accept all clear
// suggestions" would accept (needs a platform, e.g. QT_QPA_PLATFORM=offscreen).
// With --corpus --learn: learns from the training half as a bundle of it gives it (file name,
// category, page texts) and suggests the learned category where no rule matches; also times
// learning from a history of 1,000 filed documents, and with --list shows how each training
// document fares when learned from all the others (leave one out).
// With --corpus --cross-validate: rules, then learning from the other training documents, for
// each training document (the figures to tune on). With --corpus --dump-terms FILE: every
// document's learned terms and rule category as JSON lines.
#include "BenchTiming.h"
#include "ClassifyCorpus.h"
#include "core/Classification.h"

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

using namespace Tessavo;

namespace {

constexpr int documentCount = 1000;
constexpr int pagesPerDocument = 20;
constexpr int charsPerPage = 3000;

QList<DocumentRecord> syntheticPackage()
{
    static const QStringList words = {
        "the",      "contractor", "shall", "provide",   "services", "according", "to",
        "section",  "of",         "this",  "agreement", "and",      "all",       "costs",
        "Proposal", "schedule",   "form",  "bond",      "city",     "Insurance", "page",
        "approach", "prices",     "annex", "clause",    "tender",   "submission"};
    static const QStringList keywords = {"request for proposals",
                                         "bid bond",
                                         "MWBE",
                                         "form 3a",
                                         "pricing schedule",
                                         "technical approach",
                                         "certificate of insurance"};
    QRandomGenerator random(20261207);
    QList<DocumentRecord> records;
    records.reserve(documentCount);
    for (int d = 0; d < documentCount; ++d) {
        DocumentRecord r;
        r.fileName = QStringLiteral("document-%1.pdf").arg(d);
        r.pages = pagesPerDocument;
        r.sizeBytes = 100000;
        r.state = Ready;
        // One document in four carries a keyword, late in the document.
        const int keywordPage = d % 4 == 0 ? pagesPerDocument - 1 - int(random.bounded(5)) : -1;
        for (int p = 0; p < pagesPerDocument; ++p) {
            QString text;
            text.reserve(charsPerPage + 100);
            int lineLength = 0;
            while (text.size() < charsPerPage) {
                const QString& word = Bench::pick(random, words);
                text += word;
                lineLength += int(word.size());
                if (lineLength > 80) {
                    text += QStringLiteral("\r\n");
                    lineLength = 0;
                } else {
                    text += u' ';
                }
            }
            if (p == keywordPage)
                text += Bench::pick(random, keywords);
            r.pageTexts.append({p, int(text.size()), text});
        }
        records.append(r);
    }
    return records;
}

} // namespace

// 30,000 rules that all match, each with its own category, over a package of 35 documents.
int manyMatchingRules()
{
    QList<Rule> rules;
    for (int i = 0; i < 30000; ++i) {
        Rule rule;
        rule.id = QStringLiteral("rule-%1").arg(i);
        rule.name = QStringLiteral("Always %1").arg(i);
        rule.category = QStringLiteral("category-%1").arg(i);
        rule.fileContains = QStringLiteral(".pdf");
        rules.append(rule);
    }
    QList<DocumentRecord> records = syntheticPackage();
    records.resize(35);
    qsizetype noteChars = 0;
    const double seconds = Bench::bestSecondsOf(1, [&] {
        for (const DocumentRecord& r : records)
            noteChars += classify(rules, r).conflictNote.size();
    });
    std::printf("30,000 always-matching rules over 35 documents: %.3f s (conflict notes of %lld "
                "characters on average)\n",
                seconds, static_cast<long long>(noteChars / 35));
    return 0;
}

int main(int argc, char** argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "--many-rules")
        return manyMatchingRules();
    if (argc > 1 && QByteArray(argv[1]) == "--corpus") {
        QGuiApplication app(argc, argv);
        return classifyCorpus(QCoreApplication::arguments().mid(2));
    }

    const QList<DocumentRecord> records = syntheticPackage();
    const QList<Rule> rules = defaultRules();

    int suggested = 0;
    const double classifySeconds = Bench::bestSecondsOf(3, [&] {
        suggested = 0;
        for (const DocumentRecord& r : records)
            suggested += !classify(rules, r).category.isEmpty();
    });

    QTemporaryDir dir;
    const QString textPath = dir.filePath(QStringLiteral("package.txt"));
    {
        QFile file(textPath);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        QTextStream out(&file);
        for (const DocumentRecord& r : records) {
            for (const PageText& page : r.pageTexts)
                out << page.text << '\n';
        }
    }
    // grep looks for every term the rules look for in page text, in one pass.
    QStringList grepArguments = {QStringLiteral("-F"), QStringLiteral("-i"), QStringLiteral("-c")};
    int terms = 0;
    for (const Rule& rule : rules) {
        QStringList texts = rule.textAnyOf + rule.textAllOf + rule.textNoneOf;
        texts << rule.textContains << rule.titleContains;
        for (const QString& text : termsOf(texts)) {
            grepArguments << QStringLiteral("-e") << text;
            ++terms;
        }
    }
    grepArguments << textPath;
    QByteArray grepOutput;
    const double grepSeconds = Bench::bestSecondsOf(3, [&] {
        QProcess grep;
        grep.start(QStringLiteral("grep"), grepArguments);
        grep.waitForFinished(-1);
        grepOutput = grep.readAllStandardOutput().trimmed();
    });

    std::printf("documents: %d x %d pages x ~%d chars (%.1f MB of text)\n", documentCount,
                pagesPerDocument, charsPerPage, double(QFileInfo(textPath).size()) / 1e6);
    std::printf("classify (built-in rules): %.3f s, %d documents with a suggestion\n",
                classifySeconds, suggested);
    std::printf("grep -F -i (%d strings):  %.3f s, %s matching lines\n", terms, grepSeconds,
                grepOutput.constData());
    std::printf("ratio classify / grep: %.2f\n", classifySeconds / grepSeconds);
    return 0;
}
