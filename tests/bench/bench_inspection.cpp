// Inspects a generated folder of PDFs (2,400 pages in all) through the import session's workers
// and compares the rate with pdftotext plus sha256sum over the same files, two at a time.
// Run on demand: build/tests/bench_inspection
#include "inspection/ImportSession.h"
#include "inspection/InspectionWorker.h"
#include "support/PdfFixtures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace Tessavo;

namespace {

constexpr int fileCount = 48;
constexpr int pagesPerFile = 50;

QString pageText(int file, int page)
{
    QString text = QStringLiteral("Document %1, page %2\n").arg(file).arg(page);
    for (int line = 0; line < 40; ++line)
        text += QStringLiteral("Line %1: the contractor shall provide the services described in "
                               "section %2 of the agreement.\n")
                    .arg(line)
                    .arg(page);
    return text;
}

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitCode() == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (Inspection::isWorkerInvocation(argc, argv))
        return Inspection::runWorker(argc, argv);
    QGuiApplication application(argc, argv);

    QTemporaryDir dir;
    QStringList files;
    qint64 bytes = 0;
    for (int f = 0; f < fileCount; ++f) {
        QStringList pages;
        for (int p = 0; p < pagesPerFile; ++p)
            pages << pageText(f, p);
        const QString path = dir.filePath(QStringLiteral("file-%1.pdf").arg(f));
        if (!PdfFixtures::writeTextPdf(path, pages))
            return 1;
        files << path;
        bytes += QFileInfo(path).size();
    }
    const int totalPages = fileCount * pagesPerFile;
    std::printf("%d files, %d pages, %.1f MB\n", fileCount, totalPages, double(bytes) / 1e6);

    Inspection::ImportSession session;
    int pages = 0;
    bool finished = false;
    QObject::connect(&session, &Inspection::ImportSession::inspected,
                     [&pages](const DocumentRecord& record) { pages += record.pages; });
    QObject::connect(&session, &Inspection::ImportSession::finished, [&finished] {
        finished = true;
        QCoreApplication::quit();
    });
    QElapsedTimer clock;
    clock.start();
    session.enqueue(files);
    if (!finished)
        QCoreApplication::exec();
    const double ours = double(clock.nsecsElapsed()) / 1e9;

    clock.restart();
    for (const QString& path : std::as_const(files))
        inspectPdf(path);
    const double inProcess = double(clock.nsecsElapsed()) / 1e9;

    clock.restart();
    const QString script = QStringLiteral("printf '%s\\0' \"$@\" | xargs -0 -P 2 -I{} sh -c "
                                          "'pdftotext \"{}\" - >/dev/null && sha256sum \"{}\"'");
    if (!run(QStringLiteral("sh"),
             QStringList{QStringLiteral("-c"), script, QStringLiteral("sh")} + files))
        return 1;
    const double theirs = double(clock.nsecsElapsed()) / 1e9;

    std::printf("import session workers:  %.2f s, %.0f pages/s (%d pages read)\n", ours,
                totalPages / ours, pages);
    std::printf("same, in this process:   %.2f s, %.0f pages/s\n", inProcess,
                totalPages / inProcess);
    std::printf("pdftotext + sha256sum, 2 at a time: %.2f s, %.0f pages/s\n", theirs,
                totalPages / theirs);
    std::printf("ratio worker / tools (time): %.2f\n", ours / theirs);
    return 0;
}
