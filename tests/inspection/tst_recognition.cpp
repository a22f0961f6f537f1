#include "core/Classification.h"
#include "core/Rule.h"
#include "inspection/PageRecognition.h"
#include "inspection/RecognitionSession.h"
#include "support/ControllerFolder.h"
#include "support/ExternalTool.h"
#include "support/PdfFixtures.h"
#include "support/WorkerTestMain.h"
#include "ui/AppController.h"

#include <QDir>
#include <QFont>
#include <QHash>
#include <QPainter>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Tessavo;
using namespace Tessavo::Ui;

namespace {

constexpr int generous = 120000;

// A scan of the given page texts: each text page rendered to a grey image at the resolution,
// every image wrapped as one page of an image-only PDF, as a scanner would produce it.
bool writeScan(const QString& path, const QStringList& pageTexts, int dpi = 150)
{
    QTemporaryDir work;
    const QString text = work.filePath(QStringLiteral("text.pdf"));
    if (!PdfFixtures::writeTextPdf(text, pageTexts))
        return false;
    const QString prefix = work.filePath(QStringLiteral("page"));
    if (!runTool(QStringLiteral("pdftoppm"),
                 {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-gray"),
                  QStringLiteral("-png"), text, prefix})
             .ok())
        return false;
    QStringList images =
        QDir(work.path()).entryList({QStringLiteral("page*.png")}, QDir::Files, QDir::Name);
    for (QString& image : images)
        image = work.filePath(image);
    return runTool(QStringLiteral("img2pdf"), images + QStringList{QStringLiteral("-o"), path})
        .ok();
}

// Lines of words drawn with Qt, black on white, on an image of the given size in pixels: a page as
// a scanner sees it. The lines run from margin pixels of the left edge to margin pixels of the
// right edge, each ending in its number, lineStep pixels apart.
QImage drawnLines(QSize pixels, const QStringList& lines, int pixelSize, int lineStep, int margin,
                  double degrees)
{
    QImage image(pixels, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.translate(pixels.width() / 2.0, pixels.height() / 2.0);
    painter.rotate(degrees);
    painter.translate(-pixels.width() / 2.0, -pixels.height() / 2.0);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (int i = 0; i < lines.size(); ++i) {
        const QRect line(margin, lineStep * (i + 2), pixels.width() - 2 * margin, lineStep);
        const qsizetype space = lines.at(i).lastIndexOf(u' ');
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, lines.at(i).left(space));
        painter.drawText(line, Qt::AlignRight | Qt::AlignVCenter, lines.at(i).mid(space + 1));
    }
    painter.end();
    return image.convertToFormat(QImage::Format_Grayscale8);
}

// Lines of tender words, each ending in a number.
QStringList tenderLines(int count, int wordsPerLine)
{
    static const QStringList words = {"Tender",   "Bridge",  "Steel",     "Concrete",  "Contract",
                                      "Schedule", "Drawing", "Section",   "Elevation", "Column",
                                      "Survey",   "Beam",    "Insurance", "Foundation"};
    QStringList lines;
    for (int i = 0; i < count; ++i) {
        QStringList line;
        for (int w = 0; w < wordsPerLine; ++w)
            line << words.at((i * 7 + w * 3) % words.size());
        line << QString::number(1000 + 37 * i);
        lines << line.join(u' ');
    }
    return lines;
}

// The share of the expected words, counted with their repetitions, that the text holds.
double recall(const QStringList& expected, const QString& text)
{
    QHash<QString, int> found;
    for (const QString& word :
         text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
        ++found[word];
    int total = 0;
    int hits = 0;
    for (const QString& line : expected) {
        for (const QString& word : line.split(u' ')) {
            ++total;
            if (found.value(word) > 0) {
                --found[word];
                ++hits;
            }
        }
    }
    return total == 0 ? 0 : double(hits) / total;
}

// The image as an image-only PDF through img2pdf, with further img2pdf options.
bool writeImagePdf(const QString& path, const QImage& image, const QStringList& options)
{
    QTemporaryDir work;
    const QString png = work.filePath(QStringLiteral("page.png"));
    return image.save(png) && runTool(QStringLiteral("img2pdf"),
                                      options + QStringList{png, QStringLiteral("-o"), path})
                                  .ok();
}

QString allText(const DocumentRecord& record)
{
    QString text;
    for (const PageText& page : record.pageTexts)
        text += page.text + u'\n';
    return text;
}

const DocumentRecord& only(AppController& controller)
{
    return controller.documents()->records().constFirst();
}

int recognisedPages(const DocumentRecord& record)
{
    return int(std::count_if(record.pageTexts.cbegin(), record.pageTexts.cend(),
                             [](const PageText& page) { return page.recognised; }));
}

} // namespace

class TestRecognition : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void renderPlanBoundsThePixels();
    void evidenceNamesRecognisedPages();
    void recognisedScanIsClassifiedAndKeepsItsState();
    void settingRecognisesDuringImportAndPersists();
    void installedLanguagesCanBeChosen();
    void cancellingMidDocumentKeepsTheEarlierState();
    void pagesOfOneScanAreSharedAmongWorkers();
    void pageTooLargeEndsWithClearReason();
    void missingLanguageDataSaysWhatToInstall();
    void skewedPageIsStraightened();
    void largePageWithMarginsIsReadWhole();
    void pageWithoutTextSaysSo();

private:
    void import(AppController& controller, const QString& path);

    QTemporaryDir m_dir;
    QString m_insuranceScan;
};

void TestRecognition::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_insuranceScan = m_dir.filePath(QStringLiteral("scan-insurance.pdf"));
    QVERIFY(writeScan(m_insuranceScan, {QStringLiteral("CERTIFICATE OF INSURANCE\n"
                                                       "This certifies that the policies below\n"
                                                       "have been issued to the insured.")}));
    // Independent check: the scan holds no text a PDF reader could extract.
    const ToolRun text =
        runTool(QStringLiteral("pdftotext"), {m_insuranceScan, QStringLiteral("-")});
    QVERIFY(text.ok());
    QVERIFY(text.out.trimmed().isEmpty());
}

void TestRecognition::init()
{
    // Each controller starts from no stored rules and no stored settings.
    QFile::remove(ControllerFolder::path() + QStringLiteral("/settings.json"));
    QFile::remove(ControllerFolder::path() + QStringLiteral("/rules.json"));
}

void TestRecognition::import(AppController& controller, const QString& path)
{
    controller.importer()->addUrls({QUrl::fromLocalFile(path)});
    QTRY_VERIFY_WITH_TIMEOUT(!controller.importer()->running(), generous);
}

void TestRecognition::renderPlanBoundsThePixels()
{
    using namespace Tessavo::Inspection;
    const RenderPlan letter = recognitionRenderPlan(QSizeF(612, 792));
    QCOMPARE(letter.dpi, 300.0);
    QCOMPARE(letter.pixels, QSize(2550, 3300));

    // A0: too large for 300 dpi within the cap, so rendered at a lower resolution.
    const RenderPlan a0 = recognitionRenderPlan(QSizeF(2384, 3370));
    QVERIFY(a0.dpi < 300 && a0.dpi >= minimumRecognitionDpi);
    QVERIFY(qint64(a0.pixels.width()) * a0.pixels.height() <= qint64(maxRecognitionPixels * 1.01));

    for (const QSizeF& bad : {QSizeF(14400, 14400), QSizeF(0, 100), QSizeF(-5, 100),
                              QSizeF(qQNaN(), 100), QSizeF(1, 1e9)})
        QVERIFY(recognitionRenderPlan(bad).pixels.isEmpty());
}

void TestRecognition::evidenceNamesRecognisedPages()
{
    DocumentRecord record;
    record.fileName = QStringLiteral("scan.pdf");
    record.pages = 2;
    record.pageTexts = {PageText{0, 0, {}, false},
                        PageText{1, 24, "Certificate of Insurance", true}};
    Suggestion suggestion = classify(defaultRules(), record);
    QCOMPARE(suggestion.category, QStringLiteral("06_Insurance"));
    QCOMPARE(suggestion.evidence,
             QStringLiteral("text contains \"certificate of insurance\" on page 2 (recognised)"));
    QCOMPARE(suggestion.evidencePage, 1);

    record.pageTexts[1].recognised = false;
    suggestion = classify(defaultRules(), record);
    QCOMPARE(suggestion.evidence,
             QStringLiteral("text contains \"certificate of insurance\" on page 2"));
}

void TestRecognition::recognisedScanIsClassifiedAndKeepsItsState()
{
    AppController controller(ControllerFolder::rulesAndSettings());
    import(controller, m_insuranceScan);
    QCOMPARE(only(controller).state, int(NeedsOcr));
    QVERIFY(only(controller).suggestion.category.isEmpty());

    controller.recognition()->recogniseDocument(0);
    QVERIFY(controller.recognition()->running());
    QTRY_VERIFY_WITH_TIMEOUT(!controller.recognition()->running(), generous);

    const DocumentRecord& record = only(controller);
    QCOMPARE(record.state, int(NeedsOcr));
    QCOMPARE(stateText(record.state), QStringLiteral("Needs OCR"));
    QCOMPARE(recognisedPages(record), 1);
    QVERIFY2(record.pageTexts.at(0).text.contains(QStringLiteral("CERTIFICATE OF INSURANCE")),
             qPrintable(record.pageTexts.at(0).text));
    QCOMPARE(record.suggestion.category, QStringLiteral("06_Insurance"));
    QCOMPARE(record.suggestion.evidencePage, 0);
    QCOMPARE(record.suggestion.evidence,
             QStringLiteral("text contains \"certificate of insurance\" on page 1 (recognised)"));
    QCOMPARE(recognitionText(record), QStringLiteral("Text recognised"));
    const QModelIndex index = controller.documents()->index(0);
    QCOMPARE(index.data(DocumentListModel::RecognitionTextRole).toString(),
             QStringLiteral("Text recognised"));
    QCOMPARE(controller.status(), QStringLiteral("Recognised the text of 1 scanned document(s)."));

    // Nothing is left to recognise; the action says so instead of starting.
    controller.recognition()->recogniseScans();
    QVERIFY(!controller.recognition()->running());
}

void TestRecognition::settingRecognisesDuringImportAndPersists()
{
    {
        AppController controller(ControllerFolder::rulesAndSettings());
        QVERIFY(!controller.recognition()->duringImport());
        QSignalSpy changed(controller.recognition(), &Flows::RecognitionFlow::duringImportChanged);
        controller.recognition()->setDuringImport(true);
        QCOMPARE(changed.size(), 1);
    }
    AppController controller(ControllerFolder::rulesAndSettings());
    QVERIFY(controller.recognition()->duringImport());
    controller.importer()->addUrls({QUrl::fromLocalFile(m_insuranceScan)});
    QTRY_VERIFY_WITH_TIMEOUT(
        !controller.importer()->running() && !controller.recognition()->running(), generous);
    QCOMPARE(only(controller).suggestion.category, QStringLiteral("06_Insurance"));
    QCOMPARE(only(controller).state, int(NeedsOcr));
}

void TestRecognition::installedLanguagesCanBeChosen()
{
    QTemporaryDir data;
    for (const char* name : {"eng.traineddata", "deu.traineddata", "osd.traineddata", "notes.txt"})
        QVERIFY(PdfFixtures::writeBytes(data.filePath(QString::fromLatin1(name)), "x"));
    qputenv("TESSDATA_PREFIX", QFile::encodeName(data.path()));
    {
        AppController controller(ControllerFolder::rulesAndSettings());
        QCOMPARE(controller.recognition()->language(), QStringLiteral("eng"));
        QCOMPARE(controller.recognition()->languages(),
                 (QStringList{QStringLiteral("deu"), QStringLiteral("eng")}));
        controller.recognition()->setLanguage(QStringLiteral("deu"));
    }
    qunsetenv("TESSDATA_PREFIX");
    // The choice is kept beside the rules; the system's own data has English.
    AppController controller(ControllerFolder::rulesAndSettings());
    QCOMPARE(controller.recognition()->language(), QStringLiteral("deu"));
    QVERIFY(controller.recognition()->languages().contains(QStringLiteral("eng")));
    QCOMPARE(Inspection::missingLanguageText(QStringLiteral("deu")),
             QStringLiteral("Text recognition needs the tesseract-ocr-deu package"));
    QCOMPARE(Inspection::missingLanguageText(QStringLiteral("eng+chi_sim")),
             QStringLiteral("Text recognition needs the tesseract-ocr-eng and "
                            "tesseract-ocr-chi-sim packages"));
}

void TestRecognition::cancellingMidDocumentKeepsTheEarlierState()
{
    const QString path = m_dir.filePath(QStringLiteral("hold-two-pages.pdf"));
    QVERIFY(writeScan(path,
                      {QStringLiteral("CERTIFICATE OF INSURANCE"),
                       QStringLiteral("Second page of the certificate")},
                      100));
    AppController controller(ControllerFolder::rulesAndSettings());
    import(controller, path);
    const DocumentRecord before = only(controller);
    QCOMPARE(before.state, int(NeedsOcr));

    QSignalSpy rowChanges(controller.documents(), &QAbstractItemModel::dataChanged);
    controller.recognition()->recogniseScans();
    // The first page is recognised; the second waits for the test.
    QTRY_VERIFY_WITH_TIMEOUT(controller.recognition()->progress() == 50, generous);
    controller.recognition()->cancel();
    QVERIFY(!controller.recognition()->running());
    QCOMPARE(controller.status(), QStringLiteral("Text recognition cancelled."));

    QFile gate(path + QStringLiteral(".ocr"));
    QVERIFY(gate.open(QIODevice::WriteOnly));
    gate.close();
    QTest::qWait(500); // a killed worker must not deliver anything any more
    QCOMPARE(rowChanges.size(), 0);
    QCOMPARE(only(controller), before);
    QVERIFY(recognitionText(only(controller)).isEmpty());
}

void TestRecognition::pagesOfOneScanAreSharedAmongWorkers()
{
    const QString path = m_dir.filePath(QStringLiteral("four-pages.pdf"));
    const QStringList words = {QStringLiteral("ALPHA"), QStringLiteral("BRAVO"),
                               QStringLiteral("CHARLIE"), QStringLiteral("DELTA")};
    QStringList texts;
    for (const QString& word : words)
        texts << QStringLiteral("PAGE %1").arg(word);
    QVERIFY(writeScan(path, texts, 150));

    Inspection::RecognitionSession::Options options;
    options.workers = 2;
    Inspection::RecognitionSession session(options);
    QSignalSpy recognised(&session, &Inspection::RecognitionSession::recognised);
    QSignalSpy finished(&session, &Inspection::RecognitionSession::finished);
    session.enqueue(path, 4);
    QVERIFY(session.contains(path));
    // Both workers start on the one document at once.
    QCOMPARE(session.workerProcessIds().size(), 2);
    QVERIFY(finished.wait(generous));
    QCOMPARE(recognised.size(), 1);
    const auto result = recognised.at(0).at(0).value<Inspection::RecognitionResult>();
    QVERIFY(result.errorText.isEmpty());
    QCOMPARE(result.pageTexts.size(), 4);
    for (int page = 0; page < 4; ++page) {
        QCOMPARE(result.pageTexts.at(page).pageIndex, page);
        QVERIFY(result.pageTexts.at(page).recognised);
        QVERIFY2(result.pageTexts.at(page).text.contains(words.at(page)),
                 qPrintable(result.pageTexts.at(page).text));
    }
    QCOMPARE(session.progressPercent(), 0); // idle again
    QVERIFY(!session.active());
}

void TestRecognition::pageTooLargeEndsWithClearReason()
{
    // 200 by 200 inches, the largest page a PDF may have: far beyond the pixel cap.
    const QString path = m_dir.filePath(QStringLiteral("huge.pdf"));
    QVERIFY(PdfFixtures::writeBytes(
        path, PdfFixtures::assemblePdf(
                  {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                   "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 14400 14400] >>"})));
    AppController controller(ControllerFolder::rulesAndSettings());
    import(controller, path);
    QCOMPARE(only(controller).state, int(NeedsOcr));

    controller.recognition()->recogniseScans();
    QTRY_VERIFY_WITH_TIMEOUT(!controller.recognition()->running(), generous);
    QCOMPARE(only(controller).state, int(NeedsOcr));
    QCOMPARE(recognitionText(only(controller)),
             QStringLiteral("Text not recognised: page 1 is too large to recognise"));
    QCOMPARE(
        controller.status(),
        QStringLiteral("Recognised the text of 0 scanned document(s); 1 could not be recognised."));
}

void TestRecognition::missingLanguageDataSaysWhatToInstall()
{
    QTemporaryDir empty;
    qputenv("TESSDATA_PREFIX", QFile::encodeName(empty.path()));
    AppController controller(ControllerFolder::rulesAndSettings());
    import(controller, m_insuranceScan);
    controller.recognition()->recogniseScans();
    QTRY_VERIFY_WITH_TIMEOUT(!controller.recognition()->running(), generous);
    qunsetenv("TESSDATA_PREFIX");

    const QString install = QStringLiteral("Text recognition needs the tesseract-ocr-eng package");
    QCOMPARE(controller.status(), install);
    QCOMPARE(only(controller).state, int(NeedsOcr));
    QCOMPARE(recognitionText(only(controller)), QStringLiteral("Text not recognised: ") + install);
    QVERIFY(only(controller).suggestion.category.isEmpty());
}

void TestRecognition::skewedPageIsStraightened()
{
    // A4 at 200 dpi, put on the scanner turned by 3.5 degrees.
    const QStringList lines = tenderLines(40, 7);
    const QString path = m_dir.filePath(QStringLiteral("skewed.pdf"));
    QVERIFY(writeImagePdf(path, drawnLines(QSize(1654, 2339), lines, 28, 42, 120, 3.5),
                          {QStringLiteral("--imgsize"), QStringLiteral("200dpi")}));
    AppController controller(ControllerFolder::rulesAndSettings());
    import(controller, path);
    QCOMPARE(only(controller).state, int(NeedsOcr));
    controller.recognition()->recogniseScans();
    QTRY_VERIFY_WITH_TIMEOUT(!controller.recognition()->running(), generous);
    const DocumentRecord& record = only(controller);
    QCOMPARE(recognisedPages(record), 1);
    const double found = recall(lines, allText(record));
    QVERIFY2(
        found >= 0.95,
        qPrintable(QStringLiteral("recall %1: %2").arg(QString::number(found), allText(record))));
}

void TestRecognition::largePageWithMarginsIsReadWhole()
{
    // An A0 scan at 150 dpi placed on its page with a margin around it, as scanners and
    // converters do; its lines run to the very edges of the scanned image.
    const QStringList lines = tenderLines(40, 9);
    const QImage scan = drawnLines(QSize(4967, 7022), lines, 56, 112, 4, 0);
    const QString path = m_dir.filePath(QStringLiteral("a0.pdf"));
    QVERIFY(writeImagePdf(path, scan,
                          {QStringLiteral("--pagesize"), QStringLiteral("A0"),
                           QStringLiteral("--border"), QStringLiteral("2cm:2cm")}));
    const ToolRun info = runTool(QStringLiteral("pdfinfo"), {path});
    QVERIFY2(info.out.contains("(A0)"), info.out.constData());

    AppController controller(ControllerFolder::rulesAndSettings());
    import(controller, path);
    QCOMPARE(only(controller).state, int(NeedsOcr));
    controller.recognition()->recogniseScans();
    QTRY_VERIFY_WITH_TIMEOUT(!controller.recognition()->running(), generous);
    const DocumentRecord& record = only(controller);
    QCOMPARE(recognisedPages(record), 1);
    const double found = recall(lines, allText(record));
    QVERIFY2(
        found >= 0.98,
        qPrintable(QStringLiteral("recall %1: %2").arg(QString::number(found), allText(record))));
}

void TestRecognition::pageWithoutTextSaysSo()
{
    const QString path = m_dir.filePath(QStringLiteral("empty-scan.pdf"));
    QVERIFY(writeImagePdf(path, drawnLines(QSize(1240, 1754), {}, 30, 60, 100, 0),
                          {QStringLiteral("--imgsize"), QStringLiteral("150dpi")}));
    AppController controller(ControllerFolder::rulesAndSettings());
    import(controller, path);
    controller.recognition()->recogniseScans();
    QTRY_VERIFY_WITH_TIMEOUT(!controller.recognition()->running(), generous);
    QCOMPARE(only(controller).state, int(NeedsOcr));
    QCOMPARE(recognisedPages(only(controller)), 0);
    QCOMPARE(recognitionText(only(controller)),
             QStringLiteral("Text not recognised: no text found on page 1"));
}

TESSAVO_TEST_MAIN_WITH_WORKER(TestRecognition)
#include "tst_recognition.moc"
