#include "ClassifyCorpus.h"

#include "core/Classification.h"
#include "core/RulesFile.h"
#include "inspection/PdfInspection.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
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
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--split") && i + 1 < arguments.size())
            split = arguments[++i];
        else if (arguments[i] == QLatin1String("--rules") && i + 1 < arguments.size())
            rulesPath = arguments[++i];
        else if (arguments[i] == QLatin1String("--list"))
            list = true;
        else if (arguments[i] == QLatin1String("--keep") && i + 1 < arguments.size())
            keep = arguments[++i];
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
    QList<DocumentRecord> records;
    QList<Entry> chosen;
    QElapsedTimer timer;
    timer.start();
    for (const Entry& entry : entries) {
        if (split != QLatin1String("all") && entry.split != split)
            continue;
        QFile source(corpus.filePath(entry.id + QStringLiteral(".txt")));
        if (!source.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "missing %s\n", qPrintable(entry.id));
            return 2;
        }
        // Each file in a folder of its own: two documents may carry the same file name.
        const QString folder =
            keep.isEmpty() ? scratch.filePath(entry.id) : QDir(keep).filePath(entry.id);
        QDir().mkpath(folder);
        const QString pdf = QDir(folder).filePath(entry.fileName);
        if (!renderPdf(QString::fromUtf8(source.readAll()), pdf)) {
            std::fprintf(stderr, "cannot render %s\n", qPrintable(entry.id));
            return 2;
        }
        records.append(inspectPdf(pdf));
        chosen.append(entry);
    }
    const double inspectSeconds = double(timer.nsecsElapsed()) / 1e9;

    Tally tally;
    timer.restart();
    for (qsizetype i = 0; i < records.size(); ++i)
        setSuggestion(records[i], classify(rules, records[i]));
    const double classifySeconds = double(timer.nsecsElapsed()) / 1e9;

    for (qsizetype i = 0; i < records.size(); ++i) {
        const DocumentRecord& r = records.at(i);
        const Entry& e = chosen.at(i);
        const QString& got = r.suggestion.category;
        const char* verdict = got.isEmpty() ? "none" : got == e.category ? "right" : "WRONG";
        if (got.isEmpty())
            ++tally.none;
        else if (got == e.category)
            ++tally.right;
        else
            ++tally.wrong;
        if (hasClearSuggestion(r)) {
            ++tally.accepted;
            tally.acceptedRight += got == e.category;
        }
        if (list)
            std::printf("%-5s %-6s %-16s %-16s %s%s | %s\n", qPrintable(e.id), verdict,
                        qPrintable(e.category),
                        qPrintable(got.isEmpty() ? QStringLiteral("-") : got),
                        hasClearSuggestion(r) ? "clear " : "", qPrintable(e.fileName),
                        qPrintable(r.suggestion.evidence));
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
