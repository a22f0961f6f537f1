// The whole unattended job, import and then export until the bundle's ZIP is complete, against
// the same work done with standard tools on all cores: pdftotext and sha256sum of every file, two
// files at a time, then cp -r and zip -0 -r. Also reports the peak memory of this process (the
// application's side; the workers are separate processes).
// Run on demand:
//   build/tests/bench_import [text2000|scan300|small500|pages100k|titlebomb30|all] [folder]
#include "inspection/InspectionWorker.h"
#include "support/PdfFixtures.h"
#include "ui/AppController.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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

// A text PDF of the given number of pages, about 40 lines each, written without a painter per
// page being kept.
bool writeTextPdf(const QString& path, int pages, int linesPerPage)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    QPainter painter(&writer);
    if (!painter.isActive())
        return false;
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        for (int line = 0; line < linesPerPage; ++line)
            painter.drawText(40, 40 + line * 18,
                             QStringLiteral("Page %1 line %2: the contractor shall provide the "
                                            "services described in section %3.")
                                 .arg(QString::number(page + 1), QString::number(line),
                                      QString::number(line + page)));
    }
    return painter.end();
}

// A scan: pages that are only a picture of random grey pixels, stored uncompressed.
bool writeScanPdf(const QString& path, qint64 targetBytes)
{
    constexpr int width = 2480, height = 3508; // A4 at 300 dpi
    const int pages = int(std::max<qint64>(1, targetBytes / (qint64(width) * height)));
    QList<QByteArray> objects;
    objects << "<< /Type /Catalog /Pages 2 0 R >>";
    QByteArray kids;
    for (int i = 0; i < pages; ++i)
        kids += QByteArray::number(3 + i * 3) + " 0 R ";
    objects << "<< /Type /Pages /Count " + QByteArray::number(pages) + " /Kids [" + kids + "] >>";
    QRandomGenerator random(7);
    QByteArray pixels(qsizetype(width) * height, Qt::Uninitialized);
    for (int i = 0; i < pages; ++i) {
        const int page = 3 + i * 3;
        objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /XObject "
                   "<< /Im0 " +
                       QByteArray::number(page + 2) + " 0 R >> >> /Contents " +
                       QByteArray::number(page + 1) + " 0 R >>";
        const QByteArray content = "q 595 0 0 842 0 0 cm /Im0 Do Q";
        objects << "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content +
                       "\nendstream";
        random.fillRange(reinterpret_cast<quint32*>(pixels.data()), pixels.size() / 4);
        objects << "<< /Type /XObject /Subtype /Image /Width " + QByteArray::number(width) +
                       " /Height " + QByteArray::number(height) +
                       " /ColorSpace /DeviceGray /BitsPerComponent 8 /Length " +
                       QByteArray::number(pixels.size()) + " >>\nstream\n" + pixels + "\nendstream";
    }
    return PdfFixtures::writeBytes(path, PdfFixtures::assemblePdf(objects));
}

// A one-page PDF whose title is 50 million characters, compressed by qpdf into an object stream:
// about 51 KB on disk.
bool writeTitleBomb(const QString& path)
{
    const QString plain = path + QStringLiteral(".plain");
    const QString script = QString::fromLatin1(R"PY(
import sys
title = b'A' * 50000000
objs = [b'<< /Type /Catalog /Pages 2 0 R >>',
        b'<< /Type /Pages /Kids [3 0 R] /Count 1 >>',
        b'<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>',
        b'<< /Title (' + title + b') >>']
out = bytearray(b'%PDF-1.5\n')
offsets = []
for i, o in enumerate(objs):
    offsets.append(len(out))
    out += b'%d 0 obj\n' % (i + 1) + o + b'\nendobj\n'
xref = len(out)
out += b'xref\n0 %d\n0000000000 65535 f \n' % (len(objs) + 1)
for off in offsets:
    out += b'%010d 00000 n \n' % off
out += b'trailer\n<< /Size %d /Root 1 0 R /Info 4 0 R >>\n' % (len(objs) + 1)
out += b'startxref\n%d\n%%%%EOF\n' % xref
open(sys.argv[1], 'wb').write(out)
)PY");
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), script, plain});
    QProcess qpdf;
    if (python.waitForFinished(-1) && python.exitCode() == 0) {
        qpdf.start(QStringLiteral("qpdf"),
                   {QStringLiteral("--object-streams=generate"),
                    QStringLiteral("--compress-streams=y"), QStringLiteral("--recompress-flate"),
                    QStringLiteral("--compression-level=9"), plain, path});
        qpdf.waitForFinished(-1);
    }
    QFile::remove(plain);
    return qpdf.exitStatus() == QProcess::NormalExit && qpdf.exitCode() == 0 &&
           QFileInfo(path).size() > 0;
}

bool makeInput(const QString& kind, const QString& folder)
{
    QDir().mkpath(folder);
    if (kind == u"titlebomb30") {
        const QString first = folder + QStringLiteral("/bomb-0.pdf");
        if (!writeTitleBomb(first))
            return false;
        std::printf("title bomb: %lld bytes\n", static_cast<long long>(QFileInfo(first).size()));
        for (int i = 1; i < 30; ++i) {
            if (!QFile::copy(first, folder + QStringLiteral("/bomb-%1.pdf").arg(i)))
                return false;
        }
        return true;
    }
    if (kind == u"text2000")
        return writeTextPdf(folder + QStringLiteral("/volume.pdf"), 2000, 40);
    if (kind == u"scan300")
        return writeScanPdf(folder + QStringLiteral("/scan.pdf"), qint64(300) << 20);
    if (kind == u"pages100k")
        return writeTextPdf(folder + QStringLiteral("/huge.pdf"), 100000, 3);
    if (kind == u"empty20000") {
        // One blank page each, in folders of a thousand, as a scanned archive's stubs might be.
        const QByteArray blank = QByteArrayLiteral(
            "%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n2 0 obj\n<< /Type "
            "/Pages /Kids [3 0 R] /Count 1 >>\nendobj\n3 0 obj\n<< /Type /Page /Parent 2 0 R "
            "/MediaBox [0 0 595 842] >>\nendobj\ntrailer\n<< /Size 4 /Root 1 0 R >>\n%%EOF\n");
        for (int i = 0; i < 20000; ++i) {
            const QString sub = folder + QStringLiteral("/d%1").arg(i / 1000);
            QDir().mkpath(sub);
            QFile file(sub + QStringLiteral("/e%1.pdf").arg(i));
            if (!file.open(QIODevice::WriteOnly) || file.write(blank) != blank.size())
                return false;
        }
        return true;
    }
    if (kind == u"small500") {
        for (int i = 0; i < 500; ++i) {
            if (!writeTextPdf(folder + QStringLiteral("/doc-%1.pdf").arg(i), 1 + i % 3, 30))
                return false;
        }
        return true;
    }
    return false;
}

// Imports the folder into the controller and waits for the import to end, in a real event loop:
// polling with sleeps would add its own latency to every file.
void importInto(Ui::AppController& controller, const QString& input)
{
    QEventLoop imported;
    QObject::connect(controller.importer(), &Flows::ImportFlow::finished, &imported,
                     [&] { imported.quit(); });
    controller.importer()->addUrls({QUrl::fromLocalFile(input)});
    if (controller.importer()->running())
        imported.exec();
}

// Import the folder, then export it, as the unattended options do. Seconds, or -1.
double ourJob(const QString& input, const QString& output)
{
    Ui::AppController controller;
    QElapsedTimer clock;
    clock.start();
    importInto(controller, input);
    QSignalSpy exported(&controller, &Ui::AppController::exportFinished);
    controller.exporter()->exportTo(QUrl::fromLocalFile(output));
    if (!exported.wait(3600 * 1000) || !controller.lastExport().ok)
        return -1;
    return double(clock.nsecsElapsed()) / 1e9;
}

// Only the import, as the window runs it (the list stored with the session in a folder of its
// own) or as batch mode does (nothing kept). Seconds, or -1.
double importOnly(const QString& input, const QString& keptIn)
{
    Ui::AppController controller(Ui::ControllerSetup::inFolder(keptIn));
    QElapsedTimer clock;
    clock.start();
    importInto(controller, input);
    return controller.documents()->rowCount() > 0 ? double(clock.nsecsElapsed()) / 1e9 : -1;
}

double theirJob(const QString& input, const QString& output)
{
    const QString script =
        QStringLiteral("find \"$1\" -name '*.pdf' -print0 | xargs -0 -P 2 -I{} sh -c "
                       "'pdftotext \"{}\" - >/dev/null && sha256sum \"{}\" >/dev/null' && "
                       "cp -r \"$1\" \"$2/copy\" && cd \"$2\" && zip -0 -r -q copy.zip copy");
    QDir().mkpath(output);
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.start(QStringLiteral("sh"),
                  {QStringLiteral("-c"), script, QStringLiteral("sh"), input, output});
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        return -1;
    return double(clock.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    if (Inspection::isWorkerInvocation(argc, argv))
        return Inspection::runWorker(argc, argv);
    QGuiApplication application(argc, argv);
    // Inputs are made by a child process, so that making them does not count in the peak memory.
    if (argc == 4 && qstrcmp(argv[1], "--make") == 0)
        return makeInput(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3])) ? 0 : 1;
    const QString which = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("all");
    const QString base = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::tempPath();
    QTemporaryDir dir(base + QStringLiteral("/tessavo-bench-XXXXXX"));
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit());

    const QStringList kinds =
        which == u"all" ? QStringList{"text2000", "scan300", "small500"} : QStringList{which};
    for (const QString& kind : kinds) {
        const QString input = dir.filePath(kind);
        if (QProcess::execute(QCoreApplication::applicationFilePath(),
                              {QStringLiteral("--make"), kind, input}) != 0) {
            std::fprintf(stderr, "cannot make the %s input\n", qPrintable(kind));
            return 1;
        }
        if (kind == u"empty20000") {
            const QString kept = dir.filePath(QStringLiteral("window-session"));
            QDir().mkpath(kept);
            const double window = importOnly(input, kept);
            const double batch = importOnly(input, QString());
            std::printf("%-10s import in the window (stored) %7.2f s   in batch mode %7.2f s   "
                        "ratio %.2f\n",
                        qPrintable(kind), window, batch, window / batch);
            QDir(input).removeRecursively();
            continue;
        }
        const double ours = ourJob(input, dir.filePath(kind + QStringLiteral("-ours")));
        const double theirs = theirJob(input, dir.filePath(kind + QStringLiteral("-theirs")));
        if (ours < 0 || theirs < 0) {
            std::fprintf(stderr, "the %s job failed\n", qPrintable(kind));
            return 1;
        }
        std::printf("%-10s Tessavo %7.2f s   tools %7.2f s   ratio %.2f   peak memory %ld MiB\n",
                    qPrintable(kind), ours, theirs, ours / theirs, peakMemoryMiB());
        std::fflush(stdout);
        QDir(input).removeRecursively();
        QDir(dir.filePath(kind + QStringLiteral("-ours"))).removeRecursively();
        QDir(dir.filePath(kind + QStringLiteral("-theirs"))).removeRecursively();
    }
    return 0;
}
