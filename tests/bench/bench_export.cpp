// Exports about 1 GiB of PDFs (one 512 MiB file and sixteen of 32 MiB) and compares the time with
// cp -r of the same files followed by zip -0 -r of the copy; also reports the peak memory.
// Run on demand: build/tests/bench_export [folder with 3 GiB free, default: the temp folder]
#include "bundle/ExportBundle.h"
#include "bundle/IndexPdf.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

using namespace Tessavo;

namespace {

long peakMemoryMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

bool writeLargePdf(const QString& path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    QRandomGenerator random{quint32(bytes)};
    random.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
    file.write("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    for (qint64 written = file.size(); written < bytes; written += block.size())
        file.write(block.constData(), std::min<qint64>(block.size(), bytes - written));
    return true;
}

bool run(const QString& program, const QStringList& arguments, const QString& folder = {})
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitCode() == 0;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    QTemporaryDir dir(base + QStringLiteral("/tessavo-bench-XXXXXX"));
    const QString sources = dir.filePath(QStringLiteral("sources"));
    QDir().mkpath(sources);

    QList<DocumentRecord> records;
    qint64 total = 0;
    auto add = [&](const QString& name, qint64 bytes) {
        const QString path = sources + u'/' + name;
        writeLargePdf(path, bytes);
        DocumentRecord r;
        r.sourcePath = path;
        r.fileName = name;
        r.sizeBytes = QFileInfo(path).size(); // the copy is checked against it
        r.pages = 1;
        r.state = Ready;
        records.append(r);
        total += bytes;
    };
    add(QStringLiteral("large.pdf"), qint64(512) << 20);
    for (int i = 0; i < 16; ++i)
        add(QStringLiteral("part-%1.pdf").arg(i), qint64(32) << 20);
    (void)registerIndexFonts(
        QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"),
        QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"));
    run(QStringLiteral("sync"), {});
    const long memoryBefore = peakMemoryMiB();

    QElapsedTimer clock;
    clock.start();
    const ExportResult result =
        buildExportBundle(records, {dir.filePath(QStringLiteral("ours")),
                                    QStringLiteral("Tessavo export"), QString(), QString(), true});
    const double ours = double(clock.nsecsElapsed()) / 1e9;
    const long memoryAfter = peakMemoryMiB();
    if (!result.ok) {
        std::printf("export failed: %s\n", qPrintable(result.error));
        return 1;
    }

    clock.restart();
    const QString copy = dir.filePath(QStringLiteral("theirs/bundle"));
    QDir().mkpath(dir.filePath(QStringLiteral("theirs")));
    if (!run(QStringLiteral("cp"), {QStringLiteral("-r"), sources, copy}) ||
        !run(QStringLiteral("zip"),
             {QStringLiteral("-0"), QStringLiteral("-r"), QStringLiteral("-q"),
              QStringLiteral("../bundle.zip"), QStringLiteral(".")},
             copy))
        return 1;
    const double theirs = double(clock.nsecsElapsed()) / 1e9;

    std::printf("%lld files, %.2f GiB\n", qint64(records.size()), double(total) / (1 << 30));
    std::printf("buildExportBundle:   %.2f s (peak memory %ld MiB before, %ld MiB after)\n", ours,
                memoryBefore, memoryAfter);
    std::printf("cp -r + zip -0 -r:   %.2f s\n", theirs);
    std::printf("ratio ours / theirs: %.2f\n", ours / theirs);
    return 0;
}
