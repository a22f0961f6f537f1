// Text recognition of generated scans through the recognition session's workers: word recall
// against the known text (clean pages at 300 and 200 dpi, and noisy, slightly rotated ones),
// wall time for a 20-page scan against pdftoppm piped page by page into the tesseract command
// (both on all cores), and the peak memory of a worker on an A0 page.
// Run on demand: build/tests/bench_recognition [pages]
#include "inspection/InspectionWorker.h"
#include "inspection/RecognitionSession.h"
#include "support/ExternalTool.h"
#include "support/PdfFixtures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>

using namespace Tessavo;

namespace {

const QStringList vocabulary = {
    "tender",       "contractor", "insurance",  "certificate",  "liability", "schedule",
    "pricing",      "bond",       "bid",        "agreement",    "services",  "section",
    "shall",        "provide",    "payment",    "within",       "thirty",    "days",
    "owner",        "project",    "drawings",   "the",          "of",        "and",
    "to",           "for",        "with",       "under",        "coverage",  "policy",
    "limits",       "each",       "occurrence", "aggregate",    "general",   "workers",
    "compensation", "employer",   "notice",     "cancellation", "period",    "submit",
    "references",   "experience", "qualified",  "personnel",    "statement", "affidavit",
    "signed",
};

// Deterministic prose: 30 lines of 9 words per page.
QString pageText(int page)
{
    QRandomGenerator random(quint32(1000 + page));
    QString text;
    for (int line = 0; line < 30; ++line) {
        QStringList words;
        for (int w = 0; w < 9; ++w)
            words << vocabulary.at(int(random.bounded(vocabulary.size())));
        text += words.join(u' ') + u'\n';
    }
    return text;
}

QStringList wordsOf(const QString& text)
{
    static const QRegularExpression nonWord(QStringLiteral("[^a-z]+"));
    return text.toLower().split(nonWord, Qt::SkipEmptyParts);
}

// The share of the known words, counted with multiplicity, that the recognised text holds.
double recall(const QStringList& known, const QStringList& recognised)
{
    QHash<QString, int> available;
    for (const QString& word : recognised)
        ++available[word];
    int found = 0;
    for (const QString& word : known) {
        int& left = available[word];
        if (left > 0) {
            --left;
            ++found;
        }
    }
    return known.isEmpty() ? 0 : double(found) / double(known.size());
}

bool toScan(const QString& textPdf, const QString& scanPdf, int dpi, bool noisy,
            const QString& work)
{
    QDir(work).removeRecursively();
    QDir().mkpath(work);
    const QString prefix = work + QStringLiteral("/p");
    if (!runTool(QStringLiteral("pdftoppm"),
                 {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-gray"),
                  QStringLiteral("-png"), textPdf, prefix})
             .ok())
        return false;
    QStringList images = QDir(work).entryList({QStringLiteral("p*.png")}, QDir::Files, QDir::Name);
    for (QString& image : images)
        image = work + u'/' + image;
    if (noisy) {
        // A slight rotation and scanner speckle, with Pillow (which img2pdf needs anyway).
        const QByteArray script = "import sys, random\n"
                                  "from PIL import Image\n"
                                  "random.seed(7)\n"
                                  "for path in sys.argv[1:]:\n"
                                  "    im = Image.open(path).convert('L').rotate(1.2, "
                                  "resample=Image.BICUBIC, expand=True, fillcolor=255)\n"
                                  "    px = im.load(); w, h = im.size\n"
                                  "    for _ in range(w * h // 200):\n"
                                  "        x = random.randrange(w); y = random.randrange(h)\n"
                                  "        px[x, y] = random.choice((0, 90, 255))\n"
                                  "    im.save(path)\n";
        // Debian's own Python, which has Pillow.
        if (!runTool(QStringLiteral("/usr/bin/python3"),
                     QStringList{QStringLiteral("-c"), QString::fromUtf8(script)} + images)
                 .ok())
            return false;
    }
    return runTool(QStringLiteral("img2pdf"), images + QStringList{QStringLiteral("-o"), scanPdf})
        .ok();
}

struct Outcome {
    Inspection::RecognitionResult result;
    double seconds = 0;
    qint64 peakKiB = 0; // the largest VmHWM among the workers
};

qint64 peakOf(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

Outcome recognise(const QString& path, int pages, int workers)
{
    Inspection::RecognitionSession::Options options;
    options.workers = workers;
    Inspection::RecognitionSession session(options);
    Outcome outcome;
    QEventLoop loop;
    QObject::connect(&session, &Inspection::RecognitionSession::recognised, &loop,
                     [&outcome](const Inspection::RecognitionResult& r) { outcome.result = r; });
    QObject::connect(&session, &Inspection::RecognitionSession::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    session.enqueue(path, pages);
    loop.exec();
    outcome.seconds = double(clock.elapsed()) / 1000.0;
    for (const qint64 pid : session.workerProcessIds())
        outcome.peakKiB = std::max(outcome.peakKiB, peakOf(pid));
    return outcome;
}

QString recognisedText(const Inspection::RecognitionResult& result)
{
    QString text;
    for (const PageText& page : result.pageTexts)
        text += page.text + u'\n';
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    if (Inspection::isWorkerInvocation(argc, argv))
        return Inspection::runWorker(argc, argv);
    QGuiApplication application(argc, argv);
    const int pages = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 20;
    const int cores = QThread::idealThreadCount();

    QTemporaryDir dir;
    QStringList texts;
    QString known;
    for (int page = 0; page < pages; ++page) {
        texts << pageText(page);
        known += texts.last();
    }
    const QString textPdf = dir.filePath(QStringLiteral("text.pdf"));
    if (!PdfFixtures::writeTextPdf(textPdf, texts))
        return 1;
    const QStringList knownWords = wordsOf(known);
    std::printf("%d pages, %lld known words, %d cores\n", pages, qint64(knownWords.size()), cores);

    struct Variant {
        const char* name;
        int dpi;
        bool noisy;
    };
    QString scan300;
    for (const Variant& variant :
         {Variant{"clean 300 dpi", 300, false}, Variant{"clean 200 dpi", 200, false},
          Variant{"noisy, rotated 1.2°, 300 dpi", 300, true}}) {
        const QString scan = dir.filePath(
            QStringLiteral("scan-%1-%2.pdf")
                .arg(QString::number(variant.dpi), QString::number(int(variant.noisy))));
        if (!toScan(textPdf, scan, variant.dpi, variant.noisy, dir.filePath(QStringLiteral("w"))))
            return 1;
        if (variant.dpi == 300 && !variant.noisy)
            scan300 = scan;
        const Outcome outcome = recognise(scan, pages, cores);
        std::printf("%-30s recall %.2f %%  (%d of %d pages recognised, %.1f s)%s%s\n", variant.name,
                    100.0 * recall(knownWords, wordsOf(recognisedText(outcome.result))),
                    int(outcome.result.pageTexts.size()), pages, outcome.seconds,
                    outcome.result.errorText.isEmpty() ? "" : "  error: ",
                    qPrintable(outcome.result.errorText));
    }

    // Wall time on the clean 300 dpi scan: the session against the standard tools, on all cores.
    const Outcome ours = recognise(scan300, pages, cores);
    QElapsedTimer clock;
    clock.start();
    const QString pipeline =
        QStringLiteral("seq 1 %1 | xargs -P %2 -I{} sh -c 'pdftoppm -r 300 -gray -f {} -l {} "
                       "-png \"$0\" | OMP_THREAD_LIMIT=1 tesseract - - >/dev/null 2>&1' %3")
            .arg(QString::number(pages), QString::number(cores), scan300);
    if (!runTool(QStringLiteral("sh"), {QStringLiteral("-c"), pipeline}).ok())
        return 1;
    const double tools = double(clock.elapsed()) / 1000.0;
    std::printf("%d-page scan: workers %.1f s, pdftoppm | tesseract %.1f s, ratio %.2f\n", pages,
                ours.seconds, tools, ours.seconds / tools);

    // One A0 page: the worker's peak resident memory while it renders and recognises it.
    const QString a0 = dir.filePath(QStringLiteral("a0.pdf"));
    const QString work = dir.filePath(QStringLiteral("a0"));
    QDir().mkpath(work);
    if (!runTool(QStringLiteral("pdftoppm"),
                 {QStringLiteral("-r"), QStringLiteral("300"), QStringLiteral("-gray"),
                  QStringLiteral("-png"), QStringLiteral("-f"), QStringLiteral("1"),
                  QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-scale-to-x"),
                  QStringLiteral("9933"), QStringLiteral("-scale-to-y"), QStringLiteral("14043"),
                  textPdf, work + QStringLiteral("/a0")})
             .ok() ||
        !runTool(QStringLiteral("img2pdf"),
                 {QStringLiteral("--pagesize"), QStringLiteral("A0"),
                  work + QStringLiteral("/a0-01.png"), QStringLiteral("-o"), a0})
             .ok()) {
        // pdftoppm names a single page with the page number's width of the document.
        const QStringList found = QDir(work).entryList({QStringLiteral("a0*.png")});
        if (found.isEmpty() || !runTool(QStringLiteral("img2pdf"),
                                        {QStringLiteral("--pagesize"), QStringLiteral("A0"),
                                         work + u'/' + found.first(), QStringLiteral("-o"), a0})
                                    .ok())
            return 1;
    }
    const Outcome big = recognise(a0, 1, 1);
    std::printf("A0 page: %.1f s, worker peak resident memory %.0f MiB%s%s\n", big.seconds,
                double(big.peakKiB) / 1024.0, big.result.errorText.isEmpty() ? "" : ", error: ",
                qPrintable(big.result.errorText));
    return 0;
}
