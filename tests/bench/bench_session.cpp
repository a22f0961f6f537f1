// Restores a stored session of 300 documents of 20 pages (about 3,000 characters each): the
// store alone, and a whole controller (open, read, classify with the built-in rules, check every
// file's size and time). Compares with Python's sqlite3 and zlib reading the same rows, and
// reports the file's size per document. Run on demand: build/tests/bench_session
#include "core/FileIdentity.h"
#include "store/SessionStore.h"
#include "support/ExternalTool.h"
#include "ui/AppController.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

using namespace Tessavo;

namespace {

// A controller that keeps its list in this file and nothing else.
Tessavo::Ui::ControllerSetup sessionAt(const QString& path)
{
    Tessavo::Ui::ControllerSetup setup;
    setup.sessionPath = path;
    return setup;
}

constexpr int documentCount = 300;
constexpr int pagesPerDocument = 20;
constexpr int charsPerPage = 3000;

QList<DocumentRecord> syntheticSession(const QString& folder)
{
    static const QStringList words = {
        "the",      "contractor", "shall", "provide",   "services", "according", "to",
        "section",  "of",         "this",  "agreement", "and",      "all",       "costs",
        "Proposal", "schedule",   "form",  "bond",      "city",     "Insurance", "page",
        "approach", "prices",     "annex", "clause",    "tender",   "submission"};
    QRandomGenerator random(20261208);
    QList<DocumentRecord> records;
    for (int d = 0; d < documentCount; ++d) {
        DocumentRecord r;
        r.fileName = QStringLiteral("document %1.pdf").arg(d);
        r.sourcePath = folder + QLatin1Char('/') + r.fileName;
        QFile file(r.sourcePath);
        if (file.open(QIODevice::WriteOnly))
            file.write("%PDF-1.4\n");
        file.close();
        r.sizeBytes = 9;
        r.sha256 = QByteArray(64, 'e');
        r.state = Ready;
        r.pages = pagesPerDocument;
        r.textPages = pagesPerDocument;
        for (int p = 0; p < pagesPerDocument; ++p) {
            QString text;
            while (text.size() < charsPerPage)
                text += words.at(int(random.bounded(qsizetype(words.size())))) +
                        (random.bounded(12) == 0 ? QStringLiteral("\r\n") : QStringLiteral(" "));
            r.pageTexts.append({p, int(text.size()), text});
            r.textChars += text.size();
        }
        r.modifiedNs = currentIdentity(QFile::encodeName(r.sourcePath)).modifiedNs;
        r.decision = Decision(d % 4);
        records.append(r);
    }
    return records;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("session.sqlite"));
    const QList<DocumentRecord> records = syntheticSession(dir.path());
    QElapsedTimer clock;
    {
        Store::SessionStore store(path);
        QList<DocumentRecord> none;
        if (!store.open(none))
            return 1;
        QList<int> rows;
        for (int i = 0; i < records.size(); ++i)
            rows.append(i);
        clock.start();
        if (!store.saveRecords(records, rows))
            return 1;
        std::printf("write 300 documents in one transaction: %lld ms\n",
                    static_cast<long long>(clock.elapsed()));
    } // checkpointed and closed: everything is in the main file now

    constexpr int runs = 5;
    qint64 bestStore = -1, bestController = -1;
    for (int run = 0; run < runs; ++run) {
        clock.start();
        {
            Store::SessionStore store(path);
            QList<DocumentRecord> loaded;
            if (!store.open(loaded) || loaded.size() != documentCount)
                return 1;
        }
        const qint64 storeMs = clock.elapsed();
        clock.start();
        {
            Ui::AppController controller(sessionAt(path));
            if (controller.documents()->rowCount() != documentCount)
                return 1;
        }
        const qint64 controllerMs = clock.elapsed();
        bestStore = bestStore < 0 ? storeMs : std::min(bestStore, storeMs);
        bestController = bestController < 0 ? controllerMs : std::min(bestController, controllerMs);
    }

    // The same reading with standard tools: every row, every page text decompressed.
    const ToolRun python = runPython("import sqlite3, sys, time, zlib\n"
                                     "best = None\n"
                                     "for _ in range(5):\n"
                                     "    t = time.perf_counter()\n"
                                     "    c = sqlite3.connect(sys.argv[1])\n"
                                     "    n = 0\n"
                                     "    for row in c.execute('select * from document order by "
                                     "position'):\n"
                                     "        n += len(zlib.decompress(row[13][4:]))\n"
                                     "    c.close()\n"
                                     "    e = time.perf_counter() - t\n"
                                     "    best = e if best is None else min(best, e)\n"
                                     "print(int(best * 1000))",
                                     {path});
    const qint64 pythonMs = python.ok() ? python.out.trimmed().toLongLong() : -1;

    const qint64 bytes = QFileInfo(path).size();
    std::printf("restore 300 documents (store only, best of %d): %lld ms\n", runs,
                static_cast<long long>(bestStore));
    std::printf("restore 300 documents (whole controller, best of %d): %lld ms\n", runs,
                static_cast<long long>(bestController));
    std::printf("python3 sqlite3 + zlib reading the same rows: %lld ms (store/python %.2f)\n",
                static_cast<long long>(pythonMs),
                pythonMs > 0 ? double(bestStore) / double(pythonMs) : 0.0);
    std::printf("session file: %lld bytes, %lld bytes per document (%d pages of %d characters)\n",
                static_cast<long long>(bytes), static_cast<long long>(bytes / documentCount),
                pagesPerDocument, charsPerPage);
    return bestController < 1000 ? 0 : 1;
}
