#include "ClassifyCorpus.h"

#include "core/Classification.h"
#include "core/LearnedModel.h"
#include "core/RulesFile.h"
#include "inspection/PdfInspection.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdio>

using namespace Tessavo;

namespace {

struct Entry {
    QString id;
    QString fileName;
    QString category;
    QString split;
};

// One line of truth.csv: id, file name, category, split, source. Only the source may be quoted.
QList<Entry> readTruth(const QString& path)
{
    QList<Entry> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entries;
    file.readLine(); // header
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        const QStringList fields = line.split(u',');
        if (fields.size() < 5)
            continue;
        entries.append({fields[0], fields[1], fields[2], fields[3]});
    }
    return entries;
}

// Each form feed starts a new page; lines keep their breaks and long lines wrap.
bool renderPdf(const QString& text, const QString& path)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::Letter));
    writer.setResolution(300);
    writer.setCreator(QStringLiteral("bench_classify"));
    QTextDocument document;
    document.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    QTextCursor cursor(&document);
    const QStringList pages = text.split(u'\f');
    for (qsizetype p = 0; p < pages.size(); ++p) {
        QString page = pages.at(p);
        if (page.startsWith(u'\n'))
            page.remove(0, 1);
        if (page.endsWith(u'\n'))
            page.chop(1);
        const QStringList lines = page.split(u'\n');
        for (qsizetype l = 0; l < lines.size(); ++l) {
            if (p > 0 || l > 0) {
                QTextBlockFormat format;
                if (l == 0)
                    format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
                cursor.insertBlock(format);
            }
            cursor.insertText(lines.at(l));
        }
    }
    document.print(&writer);
    return QFileInfo(path).size() > 0;
}

// Times learning from a history of 1,000 filed documents made of the given ones repeated under
// other names, as an import after learning from a large bundle would, and one suggestion after
// it.
void learnFromHistory(const QList<DocumentRecord>& filed, const QList<Entry>& entries)
{
    if (filed.isEmpty())
        return;
    constexpr int historySize = 1000;
    QList<DocumentRecord> history;
    history.reserve(historySize);
    for (int i = 0; i < historySize; ++i) {
        DocumentRecord r = filed.at(i % filed.size());
        r.fileName = QStringLiteral("%1 %2").arg(QString::number(i), r.fileName);
        r.sha256 = QByteArray::number(i);
        history.append(r);
    }
    QElapsedTimer timer;
    timer.start();
    LearnedModel model;
    for (int i = 0; i < historySize; ++i)
        model.learn(history.at(i), entries.at(i % entries.size()).category);
    const double learnSeconds = double(timer.nsecsElapsed()) / 1e9;
    timer.restart();
    const LearnedSuggestion first = model.suggest(filed.first());
    const double indexSeconds = double(timer.nsecsElapsed()) / 1e9;
    timer.restart();
    for (const DocumentRecord& r : filed)
        (void)model.suggest(r);
    const double suggestSeconds = double(timer.nsecsElapsed()) / 1e9 / double(filed.size());
    const QByteArray bytes = model.toBytes();
    timer.restart();
    const LearnedModelRead read = LearnedModel::fromBytes(bytes);
    const double readSeconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("history of %d filed documents: learned in %.3f s, first suggestion (builds the "
                "index) %.3f s, then %.2f ms a document; stored in %lld bytes, read back in "
                "%.3f s%s\n",
                historySize, learnSeconds, indexSeconds, suggestSeconds * 1000,
                static_cast<long long>(bytes.size()), readSeconds,
                read.ok && !first.isEmpty() ? "" : " (FAILED)");
}

// Learns from all filed documents but one and suggests for that one, for each: how scores and
// margins of right and wrong suggestions compare, to choose what counts as clear.
void leaveOneOut(const QList<DocumentRecord>& filed, const QList<Entry>& entries)
{
    int right = 0;
    int clear = 0;
    int clearRight = 0;
    for (qsizetype out = 0; out < filed.size(); ++out) {
        LearnedModel model;
        for (qsizetype i = 0; i < filed.size(); ++i) {
            if (i != out)
                model.learn(filed.at(i), entries.at(i).category);
        }
        const LearnedSuggestion s = model.suggest(filed.at(out));
        const bool ok = s.category == entries.at(out).category;
        right += ok;
        clear += s.clear;
        clearRight += s.clear && ok;
        std::printf("loo %-5s %-6s %-16s %-16s %s%.3f vs %.3f\n", qPrintable(entries.at(out).id),
                    ok ? "right" : "WRONG", qPrintable(entries.at(out).category),
                    qPrintable(s.category), s.clear ? "clear " : "", s.score, s.runnerUp);
    }
    std::printf("leave one out on %lld filed documents: right %d, clear %d of which right %d\n",
                static_cast<long long>(filed.size()), right, clear, clearRight);
}

// Rules, then what the other training documents teach, for each training document in turn: the
// figures to tune on without looking at the held-out half.
void crossValidate(const QList<Rule>& rules, const QList<DocumentRecord>& filed,
                   const QList<Entry>& entries)
{
    int right = 0, none = 0, wrong = 0, accepted = 0, acceptedRight = 0;
    for (qsizetype out = 0; out < filed.size(); ++out) {
        DocumentRecord r = filed.at(out);
        setSuggestion(r, classify(rules, r));
        QString got = r.suggestion.category;
        bool clear = hasClearSuggestion(r);
        QString how = QStringLiteral("rule");
        if (got.isEmpty()) {
            LearnedModel model;
            for (qsizetype i = 0; i < filed.size(); ++i) {
                if (i != out)
                    model.learn(filed.at(i), entries.at(i).category);
            }
            const LearnedSuggestion s = model.suggest(filed.at(out));
            got = s.category;
            clear = s.clear;
            how = QStringLiteral("learned %1 vs %2")
                      .arg(QString::number(s.score, 'f', 3), QString::number(s.runnerUp, 'f', 3));
        }
        const bool ok = got == entries.at(out).category;
        right += ok;
        none += got.isEmpty();
        wrong += !ok && !got.isEmpty();
        accepted += clear;
        acceptedRight += clear && ok;
        std::printf("cv %-5s %-6s %-16s %-16s %s%s\n", qPrintable(entries.at(out).id),
                    ok              ? "right"
                    : got.isEmpty() ? "none"
                                    : "WRONG",
                    qPrintable(entries.at(out).category), qPrintable(got), clear ? "clear " : "",
                    qPrintable(how));
    }
    std::printf("cross-validated on %lld training documents: right %d, none %d, wrong %d; "
                "accept-clear %d, of which right %d\n",
                static_cast<long long>(filed.size()), right, none, wrong, accepted, acceptedRight);
}

// Each document's terms as the learner sees them, one JSON object a line, for studying the
// learner outside the program.
void dumpTerms(const QString& path, const QList<Rule>& rules, const QList<DocumentRecord>& records,
               const QList<Entry>& entries)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    for (qsizetype i = 0; i < records.size(); ++i) {
        QJsonArray terms;
        for (const TermCount& t : documentTerms(records.at(i)))
            terms.append(QJsonArray{t.first, t.second});
        QJsonArray pages;
        for (const PageText& page : records.at(i).pageTexts)
            pages.append(page.text);
        const QJsonObject line{{QStringLiteral("id"), entries.at(i).id},
                               {QStringLiteral("category"), entries.at(i).category},
                               {QStringLiteral("split"), entries.at(i).split},
                               {QStringLiteral("rule"), classify(rules, records.at(i)).category},
                               {QStringLiteral("file"), records.at(i).fileName},
                               {QStringLiteral("heading"), documentHeading(records.at(i)).lines},
                               {QStringLiteral("pages"), pages},
                               {QStringLiteral("terms"), terms}};
        file.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
    }
}

struct Tally {
    int right = 0;
    int none = 0;
    int wrong = 0;
    int accepted = 0;
    int acceptedRight = 0;
};

} // namespace

int classifyCorpus(const QStringList& arguments)
{
    QString split = QStringLiteral("held-out");
    QString rulesPath;
    bool list = false;
    QString keep;
    bool learn = false;
    bool cross = false;
    QString dump;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--split") && i + 1 < arguments.size())
            split = arguments[++i];
        else if (arguments[i] == QLatin1String("--rules") && i + 1 < arguments.size())
            rulesPath = arguments[++i];
        else if (arguments[i] == QLatin1String("--list"))
            list = true;
        else if (arguments[i] == QLatin1String("--keep") && i + 1 < arguments.size())
            keep = arguments[++i];
        else if (arguments[i] == QLatin1String("--learn"))
            learn = true;
        else if (arguments[i] == QLatin1String("--cross-validate"))
            cross = true;
        else if (arguments[i] == QLatin1String("--dump-terms") && i + 1 < arguments.size())
            dump = arguments[++i];
    }

    QList<Rule> rules = defaultRules();
    if (!rulesPath.isEmpty()) {
        const RulesFileBytes bytes = readRulesFileBytes(rulesPath);
        rules = bytes.ok ? readRulesDocument(bytes.bytes) : QList<Rule>();
        if (rules.isEmpty()) {
            std::fprintf(stderr, "no rules in %s\n", qPrintable(rulesPath));
            return 2;
        }
    }

    const QDir corpus(QStringLiteral(TESSAVO_CORPUS_DIR));
    const QList<Entry> entries = readTruth(corpus.filePath(QStringLiteral("truth.csv")));
    QTemporaryDir scratch;
    // Renders and inspects the entries of one half; false when a text is missing or unrenderable.
    const auto inspectHalf = [&](const QString& half, QList<DocumentRecord>& records,
                                 QList<Entry>& chosen) {
        for (const Entry& entry : entries) {
            if (half != QLatin1String("all") && entry.split != half)
                continue;
            QFile source(corpus.filePath(entry.id + QStringLiteral(".txt")));
            if (!source.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "missing %s\n", qPrintable(entry.id));
                return false;
            }
            // Each file in a folder of its own: two documents may carry the same file name.
            const QString folder = keep.isEmpty() ? scratch.filePath(half + u'/' + entry.id)
                                                  : QDir(keep).filePath(entry.id);
            QDir().mkpath(folder);
            const QString pdf = QDir(folder).filePath(entry.fileName);
            if (!renderPdf(QString::fromUtf8(source.readAll()), pdf)) {
                std::fprintf(stderr, "cannot render %s\n", qPrintable(entry.id));
                return false;
            }
            records.append(inspectPdf(pdf));
            chosen.append(entry);
        }
        return true;
    };
    if (cross || !dump.isEmpty()) {
        QList<DocumentRecord> filed;
        QList<Entry> filedEntries;
        if (!inspectHalf(cross ? QStringLiteral("training") : QStringLiteral("all"), filed,
                         filedEntries))
            return 2;
        for (DocumentRecord& r : filed)
            r.title.clear();
        if (cross)
            crossValidate(rules, filed, filedEntries);
        else
            dumpTerms(dump, rules, filed, filedEntries);
        return 0;
    }
    QList<DocumentRecord> records;
    QList<Entry> chosen;
    QElapsedTimer timer;
    timer.start();
    if (!inspectHalf(split, records, chosen))
        return 2;
    const double inspectSeconds = double(timer.nsecsElapsed()) / 1e9;

    // Learning takes the training half as a bundle of it gives it: file name, category and page
    // texts.
    LearnedModel model;
    if (learn) {
        QList<DocumentRecord> filed;
        QList<Entry> filedEntries;
        if (!inspectHalf(QStringLiteral("training"), filed, filedEntries))
            return 2;
        for (DocumentRecord& r : filed)
            r.title.clear();
        learnFromHistory(filed, filedEntries);
        for (qsizetype i = 0; i < filed.size(); ++i)
            model.learn(filed.at(i), filedEntries.at(i).category);
        if (list)
            leaveOneOut(filed, filedEntries);
    }

    Tally tally;
    timer.restart();
    QList<LearnedSuggestion> learned(records.size());
    for (qsizetype i = 0; i < records.size(); ++i) {
        setSuggestion(records[i], classify(rules, records[i]));
        if (learn && records.at(i).suggestion.isEmpty())
            learned[i] = model.suggest(records.at(i));
    }
    const double classifySeconds = double(timer.nsecsElapsed()) / 1e9;

    for (qsizetype i = 0; i < records.size(); ++i) {
        const DocumentRecord& r = records.at(i);
        const Entry& e = chosen.at(i);
        const LearnedSuggestion& l = learned.at(i);
        const QString& got = l.isEmpty() ? r.suggestion.category : l.category;
        const bool clear = l.isEmpty() ? hasClearSuggestion(r) : l.clear;
        const char* verdict = got.isEmpty() ? "none" : got == e.category ? "right" : "WRONG";
        if (got.isEmpty())
            ++tally.none;
        else if (got == e.category)
            ++tally.right;
        else
            ++tally.wrong;
        if (clear) {
            ++tally.accepted;
            tally.acceptedRight += got == e.category;
        }
        if (list)
            std::printf("%-5s %-6s %-16s %-16s %s%s | %s\n", qPrintable(e.id), verdict,
                        qPrintable(e.category),
                        qPrintable(got.isEmpty() ? QStringLiteral("-") : got),
                        clear ? "clear " : "", qPrintable(e.fileName),
                        qPrintable(l.isEmpty() ? r.suggestion.evidence
                                               : QStringLiteral("%1 [%2 vs %3]")
                                                     .arg(learnedExplanation(l),
                                                          QString::number(l.score, 'f', 3),
                                                          QString::number(l.runnerUp, 'f', 3))));
    }

    const int total = int(records.size());
    const auto percent = [total](int n) {
        return total > 0 ? 100.0 * n / total : 0.0;
    };
    std::printf(
        "corpus %s: %d documents (%d pages), %d rules; inspected in %.2f s, classified in "
        "%.4f s\n",
        qPrintable(split), total,
        [&records] {
            int pages = 0;
            for (const DocumentRecord& r : records)
                pages += r.pages;
            return pages;
        }(),
        int(rules.size()), inspectSeconds, classifySeconds);
    std::printf("right %d (%.0f %%), none %d (%.0f %%), wrong %d (%.0f %%)\n", tally.right,
                percent(tally.right), tally.none, percent(tally.none), tally.wrong,
                percent(tally.wrong));
    std::printf("accept-clear would accept %d, of which right %d (%.0f %%)\n", tally.accepted,
                tally.acceptedRight,
                tally.accepted > 0 ? 100.0 * tally.acceptedRight / tally.accepted : 0.0);
    return 0;
}
