// Runs the same job (import a package of PDFs, export it) with the real executable twice over: in
// batch mode, timed until the process exits, and in the window's unattended mode
// (--import/--export on the offscreen platform), timed until its ZIP is complete. Reports the
// median of each and their ratio. Run on demand:
//   build/tests/bench_batch [documents, default 80] [rounds, default 5]
#include "support/PdfFixtures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

// True once a finished ZIP lies in the folder: it ends with an end of central directory record.
bool zipFinished(const QString& folder)
{
    const QStringList zips = QDir(folder).entryList({QStringLiteral("*.zip")}, QDir::Files);
    if (zips.isEmpty())
        return false;
    QFile zip(QDir(folder).filePath(zips.first()));
    if (!zip.open(QIODevice::ReadOnly) || zip.size() < 22 || !zip.seek(zip.size() - 22))
        return false;
    return zip.read(4) == QByteArray("PK\x05\x06", 4);
}

QProcessEnvironment environment(const QString& dataHome)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    return env;
}

double batchSeconds(const QString& sources, const QString& out, const QString& dataHome)
{
    QProcess process;
    process.setProcessEnvironment(environment(dataHome));
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral(TESSAVO_EXECUTABLE),
                  {QStringLiteral("--batch"), QStringLiteral("--import"), sources,
                   QStringLiteral("--export"), out});
    if (!process.waitForFinished(600000) || process.exitCode() != 0)
        return -1;
    return double(timer.nsecsElapsed()) / 1e9;
}

double unattendedSeconds(const QString& sources, const QString& out, const QString& dataHome)
{
    QProcess process;
    process.setProcessEnvironment(environment(dataHome));
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral(TESSAVO_EXECUTABLE),
                  {QStringLiteral("--import"), sources, QStringLiteral("--export"), out});
    double seconds = -1;
    while (timer.elapsed() < 600000 && process.state() != QProcess::NotRunning) {
        if (zipFinished(out)) {
            seconds = double(timer.nsecsElapsed()) / 1e9;
            break;
        }
        QThread::msleep(5);
    }
    process.kill();
    process.waitForFinished();
    return seconds;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    const int documents = argc > 1 ? std::max(1, atoi(argv[1])) : 80;
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    QTemporaryDir dir;
    const QString sources = dir.filePath(QStringLiteral("sources"));
    QDir().mkpath(sources);
    for (int i = 0; i < documents; ++i) {
        QStringList pages;
        for (int p = 0; p < 1 + i % 6; ++p)
            pages << QStringLiteral("Document %1 page %2\nPricing schedule and bid bond terms")
                         .arg(i)
                         .arg(p);
        if (!PdfFixtures::writeTextPdf(sources + QStringLiteral("/doc-%1.pdf").arg(i), pages))
            return 1;
    }

    QList<double> batch, unattended;
    for (int round = 0; round < rounds; ++round) {
        const QString tag = QString::number(round);
        batch << batchSeconds(sources, dir.filePath(QStringLiteral("batch-") + tag),
                              dir.filePath(QStringLiteral("data-b") + tag));
        unattended << unattendedSeconds(sources, dir.filePath(QStringLiteral("window-") + tag),
                                        dir.filePath(QStringLiteral("data-w") + tag));
        std::printf("round %d: batch %.3f s, unattended window %.3f s\n", round + 1, batch.last(),
                    unattended.last());
    }
    if (std::any_of(batch.begin(), batch.end(), [](double s) { return s < 0; }) ||
        std::any_of(unattended.begin(), unattended.end(), [](double s) { return s < 0; })) {
        std::printf("a run failed\n");
        return 1;
    }
    std::printf("%d documents, median of %d: batch %.3f s, unattended window %.3f s, "
                "batch/window %.2f\n",
                documents, rounds, median(batch), median(unattended),
                median(batch) / median(unattended));
    return 0;
}
