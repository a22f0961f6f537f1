#include "export/IndexPdf.h"
#include "support/ExternalTool.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

using namespace Tessavo;

namespace {

const QString dejaVu = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
const QString dejaVuBold = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf");

DocumentRecord record(const QString& name, const QString& category, int pages)
{
    DocumentRecord r;
    r.fileName = name;
    r.pages = pages;
    r.state = Ready;
    r.sha256 = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    r.suggestedCategory = category;
    return r;
}

// The text a reader would copy out of the PDF; ligatures such as "ﬁ" are folded back.
QString pdfText(const QString& path)
{
    return QString::fromUtf8(runTool("pdftotext", {"-layout", path, "-"}).out)
        .normalized(QString::NormalizationForm_KC);
}

} // namespace

class TestIndexPdf : public QObject {
    Q_OBJECT

private slots:
    void fallsBackToDejaVuSansWithoutFonts();
    void registersFonts();
    void composesTheHtmlExactly();
    void groupsByCategoryWithUnclassifiedLast();
    void writesAValidA4Pdf();
    void longListsFlowOverPages();
    void reportsFailures();
    void worksOnAPoolThread();

private:
    QTemporaryDir m_dir;
};

void TestIndexPdf::fallsBackToDejaVuSansWithoutFonts()
{
    QVERIFY(indexFontFamily().isEmpty());
    QCOMPARE(indexFontFamilyFor(m_dir.filePath("none.ttf"), QString()),
             QStringLiteral("DejaVu Sans"));
    QVERIFY(indexFontFamily().isEmpty()); // the fallback is not remembered
}

void TestIndexPdf::registersFonts()
{
    QVERIFY(registerIndexFont(QString()).isEmpty());
    QVERIFY(registerIndexFont(m_dir.filePath("missing.ttf")).isEmpty());
    QFile notAFont(m_dir.filePath("fake.ttf"));
    QVERIFY(notAFont.open(QIODevice::WriteOnly));
    notAFont.write("not a font");
    notAFont.close();
    QVERIFY(registerIndexFont(notAFont.fileName()).isEmpty());

    QCOMPARE(registerIndexFonts(m_dir.filePath("missing.ttf"), dejaVuBold),
             QStringLiteral("DejaVu Sans"));
    QCOMPARE(registerIndexFonts(dejaVu, dejaVuBold), QStringLiteral("DejaVu Sans"));
    QCOMPARE(indexFontFamily(), QStringLiteral("DejaVu Sans"));
}

void TestIndexPdf::composesTheHtmlExactly()
{
    DocumentRecord first = record("a<b>&\"c\".pdf", "02_Forms", 3);
    first.ruleName = "Bid & bond";
    first.evidence = "text contains \"bid bond\" on page 1";
    first.conflict = true;
    first.conflictNote = "Conflicting categories: 02_Forms (Bid bond), 03_Pricing (<x>)";
    first.note = "check <this>";
    first.decision = Accepted;
    first.finalCategory = "02_Forms";
    DocumentRecord second = record("scan.pdf", QString(), 2);
    second.state = NeedsOcr;
    second.sha256.clear();
    DocumentRecord third = record("rule-no-evidence.pdf", "02_Forms", 1);
    third.ruleName = "Bid bond";

    const QString html = indexHtml({first, second, third}, "Tessavo <export>", "Font's \"Family\"",
                                   QDateTime(QDate(2026, 12, 7), QTime(9, 5, 3, 250)));
    const QString expected = QString::fromUtf8(
        "<html><body style=\"font-family:'Font's &quot;Family&quot;'; font-size:9.5pt; "
        "color:#172033;\">"
        "<h1 style=\"font-size:20pt; margin:0 0 4pt 0;\">Tessavo — export index</h1>"
        "<p style=\"margin:0 0 2pt 0;\"><b>Tessavo &lt;export&gt;</b></p>"
        "<p style=\"margin:0 0 10pt 0; color:#5a6474;\">Generated 2026-12-07T09:05:03 · Tessavo "
        "0.2.0</p>"
        "<p style=\"margin:0 0 12pt 0;\">3 documents · 6 pages · 2 categories</p>"
        "<h2 style=\"font-size:13pt; margin:14pt 0 4pt 0; color:#28558e;\">02_Forms <span "
        "style=\"color:#8992a3; font-size:10pt;\">(2)</span></h2>"
        "<p style=\"margin:0 0 8pt 0;\"><b>a&lt;b&gt;&amp;&quot;c&quot;.pdf</b><br/>"
        "<span style=\"color:#5a6474;\">3 pages · Ready · Accepted · sha256 0123456789ab</span>"
        "<br/>Rule: Bid &amp; bond — text contains &quot;bid bond&quot; on page 1"
        "<br/><span style=\"color:#a15c00;\">Conflicting categories: 02_Forms (Bid bond), "
        "03_Pricing (&lt;x&gt;)</span>"
        "<br/>Note: check &lt;this&gt;</p>"
        "<p style=\"margin:0 0 8pt 0;\"><b>rule-no-evidence.pdf</b><br/>"
        "<span style=\"color:#5a6474;\">1 pages · Ready · Needs review · sha256 0123456789ab</span>"
        "<br/>Rule: Bid bond — </p>"
        "<h2 style=\"font-size:13pt; margin:14pt 0 4pt 0; color:#28558e;\">Unclassified <span "
        "style=\"color:#8992a3; font-size:10pt;\">(1)</span></h2>"
        "<p style=\"margin:0 0 8pt 0;\"><b>scan.pdf</b><br/>"
        "<span style=\"color:#5a6474;\">2 pages · Needs OCR · Needs review · sha256 </span></p>"
        "<p style=\"margin-top:16pt; color:#8992a3; font-size:8pt;\">Generated locally by Tessavo. "
        "Source files were read only. Unclassified and Needs review entries require a human "
        "decision.</p></body></html>");
    QCOMPARE(html, expected);
}

void TestIndexPdf::groupsByCategoryWithUnclassifiedLast()
{
    const QString html = indexHtml(
        {record("1.pdf", "zeta", 1), record("2.pdf", "", 1), record("3.pdf", "03_Pricing", 1),
         record("4.pdf", "01_Solicitation", 1), record("5.pdf", "03_Pricing", 1)},
        "s", "f", QDateTime::currentDateTime());
    static const QRegularExpression heading(QStringLiteral("color:#28558e;\">([^<]*) <span"));
    QStringList order;
    for (const QRegularExpressionMatch& m : heading.globalMatch(html))
        order << m.captured(1);
    // Code-unit order: digits, then upper case, then lower case.
    QCOMPARE(order, (QStringList{"01_Solicitation", "03_Pricing", "Unclassified", "zeta"}));
    QVERIFY(html.contains("5 documents · 5 pages · 4 categories"));
    QVERIFY(html.indexOf("3.pdf") < html.indexOf("5.pdf")); // input order inside a group
}

void TestIndexPdf::writesAValidA4Pdf()
{
    const QString path = m_dir.filePath("index.pdf");
    DocumentRecord tricky = record("Tender <draft> & notes.pdf", "04_Technical", 7);
    QString error;
    QVERIFY2(writeIndexPdf(
                 path,
                 {tricky, record("loose.pdf", "", 2), record("rfp.pdf", "01_Solicitation", 12)},
                 "Tessavo export", dejaVu, dejaVuBold, &error),
             qPrintable(error));
    const ToolRun check = runTool("qpdf", {"--check", path});
    QVERIFY2(check.ok(), check.out + check.err);
    const QString info = QString::fromUtf8(runTool("pdfinfo", {path}).out);
    QVERIFY2(info.contains(QRegularExpression("Title:\\s+Tessavo export index")), qPrintable(info));
    QVERIFY(info.contains(QRegularExpression("Creator:\\s+Tessavo 0.2.0")));
    QVERIFY(info.contains(
        QRegularExpression("Page size:\\s+59[45](\\.\\d+)? x 84[12](\\.\\d+)? pts \\(A4\\)")));

    const QString text = pdfText(path);
    QVERIFY2(text.contains("Tender <draft> & notes.pdf"), qPrintable(text));
    QVERIFY(text.contains("Tessavo — export index"));
    QVERIFY(text.contains("3 documents · 21 pages · 3 categories"));
    QVERIFY(text.indexOf("01_Solicitation") < text.indexOf("04_Technical"));
    QVERIFY(text.indexOf("04_Technical") < text.indexOf("Unclassified"));
    const ToolRun fonts = runTool("pdffonts", {path});
    QVERIFY2(fonts.out.contains("DejaVuSans"), fonts.out);
}

void TestIndexPdf::longListsFlowOverPages()
{
    QList<DocumentRecord> many;
    for (int i = 0; i < 150; ++i)
        many << record(QStringLiteral("document-%1.pdf").arg(i, 3, 10, QLatin1Char('0')),
                       "02_Forms", 1);
    const QString path = m_dir.filePath("long.pdf");
    QVERIFY(writeIndexPdf(path, many, "Tessavo export", dejaVu, dejaVuBold));
    const QString info = QString::fromUtf8(runTool("pdfinfo", {path}).out);
    const QRegularExpressionMatch pages = QRegularExpression("Pages:\\s+(\\d+)").match(info);
    QVERIFY(pages.hasMatch());
    QVERIFY2(pages.captured(1).toInt() >= 3, qPrintable(info));
    const QString text = pdfText(path);
    for (int i = 0; i < 150; ++i)
        QVERIFY(text.contains(QStringLiteral("document-%1.pdf").arg(i, 3, 10, QLatin1Char('0'))));
}

void TestIndexPdf::reportsFailures()
{
    QString error;
    QVERIFY(!writeIndexPdf(m_dir.filePath("empty.pdf"), {}, "s", dejaVu, dejaVuBold, &error));
    QCOMPARE(error, QStringLiteral("no documents to index"));
    QVERIFY(!QFile::exists(m_dir.filePath("empty.pdf")));

    QVERIFY(!writeIndexPdf(m_dir.filePath("missing/folder/index.pdf"), {record("a.pdf", "", 1)},
                           "s", dejaVu, dejaVuBold, &error));
    QCOMPARE(error, QStringLiteral("cannot start PDF painting"));
}

void TestIndexPdf::worksOnAPoolThread()
{
    bool written = false;
    const QString path = m_dir.filePath("threaded.pdf");
    QThreadPool::globalInstance()->start([&] {
        written = writeIndexPdf(path, {record("threaded.pdf", "05_References", 4)},
                                "Tessavo export", dejaVu, dejaVuBold);
    });
    QThreadPool::globalInstance()->waitForDone();
    QVERIFY(written);
    QVERIFY(pdfText(path).contains("threaded.pdf"));
}

QTEST_MAIN(TestIndexPdf)
#include "tst_indexpdf.moc"
