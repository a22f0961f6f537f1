// Exports PDFs and compares the time with cp -r of the same files followed by zip -0 -r of the
// copy, in the same run; also reports the peak memory and the time the index alone takes.
// Run on demand: build/tests/bench_export [options] [folder, default: the temp folder]
//   (no option)      about 1 GiB: one 512 MiB file and sixteen of 32 MiB (3 GiB free needed)
//   --documents N    N small PDFs of about 700 bytes in folders of 1,000, in five categories
//   --zeros GIB      one file of GIB GiB of zeros (sparse) and three small ones: a ZIP past 4 GiB
//                    (twice GIB free needed: the copy is not sparse)
#include "bundle/ExportBundle.h"
#include "bundle/IndexPdf.h"

#include <QCryptographicHash>
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

// A small valid PDF that says which document it is.
bool writeSmallPdf(const QString& path, int number)
{
    const QByteArray text =
        "BT /F1 12 Tf 72 720 Td (Document " + QByteArray::number(number) + ") Tj ET";
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    const QList<QByteArray> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        "/Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + QByteArray::number(text.size()) + " >>\nstream\n" + text + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : std::as_const(offsets))
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size();
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
    QStringList arguments = application.arguments().mid(1);
    int documents = 0;
    int zeroGiB = 0;
    while (!arguments.isEmpty() && arguments.first().startsWith(QStringLiteral("--"))) {
        const QString option = arguments.takeFirst();
        const int value = arguments.isEmpty() ? 0 : arguments.takeFirst().toInt();
        if (option == QStringLiteral("--documents") && value > 0) {
            documents = value;
        } else if (option == QStringLiteral("--zeros") && value > 0) {
            zeroGiB = value;
        } else {
            std::fprintf(stderr, "usage: bench_export [--documents N | --zeros GIB] [folder]\n");
            return 2;
        }
    }
    const QString base = arguments.isEmpty() ? QDir::tempPath() : arguments.first();
    QTemporaryDir dir(base + QStringLiteral("/tessavo-bench-XXXXXX"));
    const QString sources = dir.filePath(QStringLiteral("sources"));
    QDir().mkpath(sources);

    QList<DocumentRecord> records;
    qint64 total = 0;
    const QStringList categories = {QStringLiteral("01_Tender"), QStringLiteral("02_Forms"),
                                    QStringLiteral("03_Technical"), QString(),
                                    QStringLiteral("05_References")};
    auto record = [&](const QString& name) {
        const QString path = sources + u'/' + name;
        DocumentRecord r;
        r.sourcePath = path;
        r.fileName = QFileInfo(path).fileName();
        r.sizeBytes = QFileInfo(path).size(); // the copy is checked against it
        r.pages = 1;
        r.textPages = 1;
        r.state = Ready;
        // The copy is checked against it, and the verifier wants it in the manifest.
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (file.open(QIODevice::ReadOnly) && hash.addData(&file))
            r.sha256 = hash.result().toHex();
        const int i = int(records.size());
        r.suggestion.category = categories.at(i % categories.size());
        if (i % 3 == 0) {
            r.suggestion.ruleName = QStringLiteral("Rule %1").arg(i % 5);
            r.suggestion.evidence = QStringLiteral("matched \"offer\" on page 1");
        }
        records.append(r);
        total += r.sizeBytes;
    };
    auto add = [&](const QString& name, qint64 bytes) {
        writeLargePdf(sources + u'/' + name, bytes);
        record(name);
    };
    if (documents > 0) {
        for (int i = 0; i < documents; ++i) {
            const QString name = QStringLiteral("batch-%1/document-%2.pdf")
                                     .arg(i / 1000, 3, 10, QChar(u'0'))
                                     .arg(i, 6, 10, QChar(u'0'));
            if (i % 1000 == 0)
                QDir().mkpath(QFileInfo(sources + u'/' + name).path());
            writeSmallPdf(sources + u'/' + name, i);
            record(name);
        }
    } else if (zeroGiB > 0) {
        QFile zeros(sources + QStringLiteral("/zeros.pdf"));
        if (!zeros.open(QIODevice::WriteOnly) || !zeros.resize(qint64(zeroGiB) << 30))
            return 1;
        zeros.close();
        record(QStringLiteral("zeros.pdf"));
        for (int i = 0; i < 3; ++i) {
            writeSmallPdf(sources + QStringLiteral("/small-%1.pdf").arg(i), i);
            record(QStringLiteral("small-%1.pdf").arg(i));
        }
    } else {
        add(QStringLiteral("large.pdf"), qint64(512) << 20);
        for (int i = 0; i < 16; ++i)
            add(QStringLiteral("part-%1.pdf").arg(i), qint64(32) << 20);
    }
    (void)registerIndexFonts(
        QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"),
        QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"));
    run(QStringLiteral("sync"), {});
    const long memoryBefore = peakMemoryMiB();

    // The index alone, as the export writes it.
    QElapsedTimer clock;
    clock.start();
    const Status index = writeIndexPdf(dir.filePath(QStringLiteral("index-alone.pdf")), records,
                                       QStringLiteral("Tessavo export"), QString(), QString(),
                                       QDateTime::currentDateTime());
    const double indexSeconds = double(clock.nsecsElapsed()) / 1e9;
    if (!index.ok) {
        std::printf("index failed: %s\n", qPrintable(index.error));
        return 1;
    }
    QFile::remove(dir.filePath(QStringLiteral("index-alone.pdf")));
    const long memoryAfterIndex = peakMemoryMiB();

    int reports = 0;
    double longestSilence = 0;
    QElapsedTimer sinceReport;
    const ExportMonitor monitor{{}, [&](int) {
                                    longestSilence = std::max(
                                        longestSilence, double(sinceReport.nsecsElapsed()) / 1e9);
                                    sinceReport.restart();
                                    ++reports;
                                }};
    run(QStringLiteral("sync"), {});
    clock.restart();
    sinceReport.start();
    const ExportResult result =
        buildExportBundle(records,
                          {dir.filePath(QStringLiteral("ours")), QStringLiteral("Tessavo export"),
                           QString(), QString(), true},
                          monitor);
    const double ours = double(clock.nsecsElapsed()) / 1e9;
    const long memoryAfter = peakMemoryMiB();
    if (!result.ok) {
        std::printf("export failed: %s\n", qPrintable(result.error));
        return 1;
    }

    run(QStringLiteral("sync"), {});
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

    std::printf("%lld files, %.2f GiB; ZIP %s, %.2f GiB\n", qint64(records.size()),
                double(total) / (1 << 30), qPrintable(result.zip),
                double(QFileInfo(result.zip).size()) / (1 << 30));
    std::printf("writeIndexPdf alone: %.2f s (peak memory %ld MiB before, %ld MiB after)\n",
                indexSeconds, memoryBefore, memoryAfterIndex);
    std::printf("buildExportBundle:   %.2f s (peak memory %ld MiB after; %d progress reports, "
                "longest silence %.2f s)\n",
                ours, memoryAfter, reports, longestSilence);
    std::printf("cp -r + zip -0 -r:   %.2f s\n", theirs);
    std::printf("ratio ours / theirs: %.2f\n", ours / theirs);
    if (qEnvironmentVariableIsSet("BENCH_KEEP")) {
        dir.setAutoRemove(false);
        std::printf("kept: %s\n", qPrintable(dir.path()));
    }
    return 0;
}
