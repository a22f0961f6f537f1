// The time from following a document to its page being shown in the preview: typical pages (a
// page of text, A4) drawn by the workers at a preview's width, each document new to the cache.
// Prints the median and the slowest, and pdftoppm's time for the same pages at the same width.
// Run on demand: build/tests/bench_preview [documents]
#include "core/Rule.h"
#include "flows/DocumentList.h"
#include "flows/PreviewFlow.h"
#include "flows/RuleBook.h"
#include "inspection/InspectionWorker.h"
#include "support/PdfFixtures.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace Tessavo;

namespace {

constexpr int previewWidth = 640;

QString pageText(int document)
{
    QString text = QStringLiteral("Performance bond %1\n").arg(document);
    for (int line = 0; line < 45; ++line)
        text += QStringLiteral("Line %1: the contractor shall provide the guarantee described "
                               "in section %2.\n")
                    .arg(line)
                    .arg(document);
    return text;
}

double median(std::vector<qint64> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? double(values[n / 2]) : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

} // namespace

int main(int argc, char** argv)
{
    if (Inspection::isWorkerInvocation(argc, argv))
        return Inspection::runWorker(argc, argv);
    QGuiApplication application(argc, argv);
    const int documents = argc > 1 ? std::max(3, QByteArray(argv[1]).toInt()) : 40;

    QTemporaryDir dir;
    Flows::DocumentList list;
    for (int i = 0; i < documents; ++i) {
        const QString path = dir.filePath(QStringLiteral("doc%1.pdf").arg(i));
        if (!PdfFixtures::writeTextPdf(path, {pageText(i)})) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(path));
            return 1;
        }
        DocumentRecord record;
        record.sourcePath = path;
        record.fileName = QFileInfo(path).fileName();
        record.pages = 1;
        record.state = Ready;
        record.suggestion.category = QStringLiteral("Bonds");
        record.suggestion.ruleId = QStringLiteral("rule-bond");
        record.suggestion.evidencePage = 0;
        list.appendRecord(record);
    }
    Rule rule;
    rule.id = QStringLiteral("rule-bond");
    rule.name = QStringLiteral("Bonds");
    rule.category = QStringLiteral("Bonds");
    rule.textAnyOf = {QStringLiteral("bond"), QStringLiteral("guarantee")};
    Flows::RuleBook rules(QList<Rule>{rule});
    Flows::PreviewFlow preview(list, rules, {});
    preview.setPageWidth(previewWidth);

    // The first document starts the worker; it is not counted, as a user sees it only once.
    std::vector<qint64> times;
    QElapsedTimer clock;
    int row = 0;
    const auto next = [&] {
        clock.start();
        preview.show(row);
    };
    QObject::connect(&preview, &Flows::PreviewFlow::imageChanged, &application, [&] {
        if (!preview.hasImage() && preview.message().isEmpty())
            return;
        if (!preview.message().isEmpty())
            std::fprintf(stderr, "doc%d: %s\n", row, qPrintable(preview.message()));
        if (row > 0)
            times.push_back(clock.elapsed());
        if (++row < documents)
            QTimer::singleShot(0, &application, next);
        else
            application.quit();
    });
    QTimer::singleShot(0, &application, next);
    application.exec();

    QElapsedTimer tool;
    tool.start();
    for (int i = 1; i < documents; ++i) {
        QProcess process;
        process.start(QStringLiteral("pdftoppm"),
                      {QStringLiteral("-png"), QStringLiteral("-scale-to-x"),
                       QString::number(previewWidth), QStringLiteral("-scale-to-y"),
                       QStringLiteral("-1"), dir.filePath(QStringLiteral("doc%1.pdf").arg(i)),
                       dir.filePath(QStringLiteral("out%1").arg(i))});
        process.waitForFinished(-1);
    }
    const double toolEach = double(tool.elapsed()) / std::max(1, documents - 1);

    std::printf("preview: %zu documents at %d px: median %.1f ms, slowest %lld ms from focus to "
                "page\n",
                times.size(), previewWidth, times.empty() ? 0.0 : median(times),
                times.empty() ? 0LL : (long long)*std::max_element(times.begin(), times.end()));
    std::printf("pdftoppm (a process per page, PNG): %.1f ms per page\n", toolEach);
    return times.size() == size_t(documents - 1) ? 0 : 1;
}
