#include "bundle/IndexPdf.h"
#include "core/Version.h"
#include "support/ExternalTool.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>

using namespace Tessavo;

namespace {

const QString dejaVu = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
const QString dejaVuBold = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf");
// The moment every index in these tests is generated at.
const QDateTime fixedTime(QDate(2026, 12, 7), QTime(9, 5, 3));

DocumentRecord record(const QString& name, const QString& category, int pages)
{
    DocumentRecord r;
    r.fileName = name;
    r.pages = pages;
    r.state = Ready;
    r.sha256 = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    r.suggestion.category = category;
    return r;
}

// The text of one page (1-based), exactly as a reader would copy it.
QString pageText(const QString& path, int page)
{
    return QString::fromUtf8(
        runTool("pdftotext", {"-f", QString::number(page), "-l", QString::number(page), path, "-"})
            .out);
}

int pageCount(const QString& path)
{
    const QString info = QString::fromUtf8(runTool("pdfinfo", {path}).out);
    return QRegularExpression("Pages:\\s+(\\d+)").match(info).captured(1).toInt();
}

// The top edge, in points, of every word on the first page that equals word.
QList<double> wordTops(const QString& path, const QString& word)
{
    const QString html =
        QString::fromUtf8(runTool("pdftotext", {"-bbox", "-l", "1", path, "-"}).out);
    static const QRegularExpression wordTag(
        "<word xMin=\"[^\"]+\" yMin=\"([^\"]+)\"[^>]*>([^<]*)</word>");
    QList<double> tops;
    for (const QRegularExpressionMatch& m : wordTag.globalMatch(html)) {
        if (m.captured(2) == word.toHtmlEscaped())
            tops.append(m.captured(1).toDouble());
    }
    return tops;
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
    void everyParagraphLiesOnExactlyOnePage_data();
    void everyParagraphLiesOnExactlyOnePage();
    void reportsProgressAndStops();
    void entriesKeepTheirMargins();
    void namesComeBackExactly();
    void reportsFailures();
    void worksOnAPoolThread();

private:
    QStringList hiddenFiles() const
    {
        return QDir(m_dir.path())
            .entryList(QDir::Files | QDir::Hidden)
            .filter(QRegularExpression("^\\."));
    }
    QTemporaryDir m_dir;
};

void TestIndexPdf::fallsBackToDejaVuSansWithoutFonts()
{
    QCOMPARE(indexFontFamilyFor(m_dir.filePath("none.ttf"), QString()),
             QStringLiteral("DejaVu Sans"));
    const FontRegistration none = registerIndexFonts(m_dir.filePath("none.ttf"), QString());
    QVERIFY(!none.ok && none.family.isEmpty());
    QVERIFY2(none.error.contains("none.ttf"), qPrintable(none.error)); // the first file's reason
}

void TestIndexPdf::registersFonts()
{
    QVERIFY(!registerIndexFont(QString()).ok);
    const FontRegistration missing = registerIndexFont(m_dir.filePath("missing.ttf"));
    QVERIFY(!missing.ok);
    QCOMPARE(missing.error, "no font file at " + m_dir.filePath("missing.ttf"));
    QFile notAFont(m_dir.filePath("fake.ttf"));
    QVERIFY(notAFont.open(QIODevice::WriteOnly));
    notAFont.write("not a font");
    notAFont.close();
    for (int asked = 0; asked < 2; ++asked) { // the second answer comes from what was kept
        const FontRegistration fake = registerIndexFont(notAFont.fileName());
        QVERIFY(!fake.ok);
        QCOMPARE(fake.error, notAFont.fileName() + " holds no font the index can use");
    }

    QCOMPARE(registerIndexFonts(m_dir.filePath("missing.ttf"), dejaVuBold).family,
             QStringLiteral("DejaVu Sans"));
    QCOMPARE(registerIndexFonts(dejaVu, dejaVuBold).family, QStringLiteral("DejaVu Sans"));
    const FontRegistration again = registerIndexFont(dejaVu); // asked again
    QVERIFY(again.ok);
    QCOMPARE(again.family, QStringLiteral("DejaVu Sans"));
    QCOMPARE(indexFontFamilyFor(m_dir.filePath("missing.ttf"), dejaVuBold),
             QStringLiteral("DejaVu Sans"));
}

void TestIndexPdf::composesTheHtmlExactly()
{
    DocumentRecord first = record("a<b>&\"c\".pdf", "02_Forms", 3);
    first.suggestion.ruleName = "Bid & bond";
    first.suggestion.evidence = "text contains \"bid bond\" on page 1";
    first.suggestion.conflict = true;
    first.suggestion.conflictNote = "Conflicting categories: 02_Forms (Bid bond), 03_Pricing (<x>)";
    first.note = "check <this>";
    first.decision = Accepted;
    first.finalCategory = "02_Forms";
    DocumentRecord second = record("scan.pdf", QString(), 2);
    second.state = NeedsOcr;
    second.sha256.clear();
    DocumentRecord third = record("rule-no-evidence.pdf", "02_Forms", 1);
    third.suggestion.ruleName = "Bid bond";

    const QString html =
        indexHtml({first, second, third}, "Tessavo <export>", {"Font's \"Family\"", "Fallback"},
                  QDateTime(QDate(2026, 12, 7), QTime(9, 5, 3, 250)));
    // Margins in pixels (4 pt = 5 px): rich text ignores margins in points.
    const QString expected = QString::fromUtf8(
        "<html><body style=\"font-family:'Font's &quot;Family&quot;', 'Fallback'; font-size:9.5pt; "
        "color:#172033;\">"
        "<h1 style=\"font-size:20pt; margin:0px 0 5px 0;\">Tessavo — export index</h1>"
        "<p style=\"margin:0px 0 3px 0;\"><b>Tessavo &lt;export&gt;</b></p>"
        "<p style=\"margin:0px 0 13px 0; color:#5a6474;\">Generated 2026-12-07T09:05:03 · "
        "Tessavo " +
        QByteArray(versionText) +
        "</p>"
        "<p style=\"margin:0px 0 16px 0;\">3 documents · 6 pages · 2 categories</p>"
        "<h2 style=\"font-size:13pt; margin:19px 0 5px 0; color:#28558e;\">02_Forms <span "
        "style=\"color:#8992a3; font-size:10pt;\">(2)</span></h2>"
        "<p style=\"margin:0px 0 11px 0;\"><b>a&lt;b&gt;&amp;&quot;c&quot;.pdf</b><br/>"
        "<span style=\"color:#5a6474;\">3 pages · Ready · Accepted · sha256 0123456789ab</span>"
        "<br/>Rule: Bid &amp; bond — text contains &quot;bid bond&quot; on page 1"
        "<br/><span style=\"color:#a15c00;\">Conflicting categories: 02_Forms (Bid bond), "
        "03_Pricing (&lt;x&gt;)</span>"
        "<br/>Note: check &lt;this&gt;</p>"
        "<p style=\"margin:0px 0 11px 0;\"><b>rule-no-evidence.pdf</b><br/>"
        "<span style=\"color:#5a6474;\">1 pages · Ready · Needs review · sha256 0123456789ab</span>"
        "<br/>Rule: Bid bond — </p>"
        "<h2 style=\"font-size:13pt; margin:19px 0 5px 0; color:#28558e;\">Unclassified <span "
        "style=\"color:#8992a3; font-size:10pt;\">(1)</span></h2>"
        "<p style=\"margin:0px 0 11px 0;\"><b>scan.pdf</b><br/>"
        "<span style=\"color:#5a6474;\">2 pages · Needs OCR · Needs review · sha256 </span></p>"
        "<p style=\"margin-top:21px; color:#8992a3; font-size:8pt;\">Generated locally by Tessavo. "
        "Source files were read only. Unclassified and Needs review entries require a human "
        "decision.</p></body></html>");
    QCOMPARE(html, expected);
}

void TestIndexPdf::groupsByCategoryWithUnclassifiedLast()
{
    const QString html = indexHtml(
        {record("1.pdf", "zeta", 1), record("2.pdf", "", 1), record("3.pdf", "03_Pricing", 1),
         record("4.pdf", "01_Solicitation", 1), record("5.pdf", "03_Pricing", 1)},
        "s", {"f"}, QDateTime::currentDateTime());
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
    const Status written = writeIndexPdf(
        path, {tricky, record("loose.pdf", "", 2), record("rfp.pdf", "01_Solicitation", 12)},
        "Tessavo export", dejaVu, dejaVuBold, fixedTime);
    QVERIFY2(written.ok, qPrintable(written.error));
    const ToolRun check = runTool("qpdf", {"--check", path});
    QVERIFY2(check.ok(), check.out + check.err);
    const QString info = QString::fromUtf8(runTool("pdfinfo", {path}).out);
    QVERIFY2(info.contains(QRegularExpression("Title:\\s+Tessavo export index")), qPrintable(info));
    QVERIFY(info.contains(QRegularExpression(
        "Creator:\\s+Tessavo " + QRegularExpression::escape(QLatin1String(versionText)))));
    QVERIFY(info.contains(
        QRegularExpression("Page size:\\s+59[45](\\.\\d+)? x 84[12](\\.\\d+)? pts \\(A4\\)")));

    const QString text = pdfText(path);
    QVERIFY2(text.contains("Tender <draft> & notes.pdf"), qPrintable(text));
    QVERIFY(text.contains("Tessavo — export index"));
    QVERIFY(text.contains("3 documents · 21 pages · 3 categories"));
    QVERIFY2(text.contains("Generated 2026-12-07T09:05:03"), qPrintable(text)); // the given time
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
    QVERIFY(writeIndexPdf(path, many, "Tessavo export", dejaVu, dejaVuBold, fixedTime).ok);
    const QString info = QString::fromUtf8(runTool("pdfinfo", {path}).out);
    const QRegularExpressionMatch pages = QRegularExpression("Pages:\\s+(\\d+)").match(info);
    QVERIFY(pages.hasMatch());
    QVERIFY2(pages.captured(1).toInt() >= 3, qPrintable(info));
    const QString text = pdfText(path);
    for (int i = 0; i < 150; ++i)
        QVERIFY(text.contains(QStringLiteral("document-%1.pdf").arg(i, 3, 10, QLatin1Char('0'))));
}

// Long indexes are laid out a few pages at a time; the pages must read as one continuous index
// wherever one layout ends and the next begins: every entry once, whole, in order, and headings
// with their first entry.
void TestIndexPdf::everyParagraphLiesOnExactlyOnePage_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("longNoteAt");
    QTest::newRow("150 entries") << 150 << 100;
    QTest::newRow("1,100 entries, a long note where a layout ends") << 1100 << 250;
}

void TestIndexPdf::everyParagraphLiesOnExactlyOnePage()
{
    QFETCH(int, count);
    QFETCH(int, longNoteAt);
    const QStringList categories = {"02_Forms", "03_Pricing", "04_Legal", "05_References"};
    QList<DocumentRecord> many;
    for (int i = 0; i < count; ++i)
        many << record(QStringLiteral("document-%1.pdf").arg(i, 4, 10, QLatin1Char('0')),
                       categories.at(std::min<qsizetype>(i * categories.size() / count,
                                                         categories.size() - 1)),
                       i + 1);
    // A note too long for one page is the one paragraph that has to be split, between lines.
    QStringList words;
    for (int i = 0; i < 2500; ++i)
        words << QStringLiteral("w%1").arg(i, 4, 10, QLatin1Char('0'));
    many[longNoteAt].note = words.join(' ');
    const QString path = m_dir.filePath(QStringLiteral("paged-%1.pdf").arg(count));
    const Status written =
        writeIndexPdf(path, many, "Tessavo export", dejaVu, dejaVuBold, fixedTime);
    QVERIFY2(written.ok, qPrintable(written.error));

    const int pages = pageCount(path);
    QVERIFY2(pages >= count / 30, qPrintable(QString::number(pages)));
    QStringList texts;
    for (int page = 1; page <= pages; ++page)
        texts << pageText(path, page);
    const QString all = texts.join('\n');
    qsizetype previous = -1;
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("document-%1.pdf").arg(i, 4, 10, QLatin1Char('0'));
        QCOMPARE(all.count(name), 1); // no hidden copy on a neighbouring page
        QVERIFY2(all.indexOf(name) > previous, qPrintable(name)); // in order
        previous = all.indexOf(name);
        const qsizetype page = texts.indexOf(QRegularExpression("(?s).*" + name + ".*"));
        // The entry's second line is on the same page as its name.
        const QRegularExpression details(QStringLiteral("(^|\\n)%1 pages · Ready").arg(i + 1));
        QVERIFY2(texts[page].contains(details), qPrintable(name));
    }
    qsizetype previousWord = -1;
    for (const QString& word : std::as_const(words)) {
        QVERIFY2(all.count(word) == 1, qPrintable(word));
        QVERIFY2(all.indexOf(word) > previousWord, qPrintable(word));
        previousWord = all.indexOf(word);
    }
    // Headings stay with their first entry; every page is filled but the last.
    for (qsizetype page = 0; page < texts.size(); ++page) {
        const QStringList lines = texts[page].trimmed().split('\n', Qt::SkipEmptyParts);
        for (const QString& category : categories)
            QVERIFY2(!lines.last().startsWith(category), qPrintable(texts[page]));
        if (page + 1 < texts.size())
            QVERIFY2(lines.size() >= 20, qPrintable(texts[page]));
    }
    QVERIFY(texts.last().contains("Generated locally by Tessavo."));
}

void TestIndexPdf::reportsProgressAndStops()
{
    QList<DocumentRecord> many;
    for (int i = 0; i < 2000; ++i)
        many << record(QStringLiteral("d%1.pdf").arg(i), "02_Forms", 1);
    // Pieces: the heading, subtitle, generation and summary lines, one category heading, the
    // entries and the closing line.
    const qsizetype pieces = 2000 + 6;
    QList<qsizetype> reports;
    const QString path = m_dir.filePath("progress.pdf");
    QVERIFY(writeIndexPdf(path, many, "Tessavo export", dejaVu, dejaVuBold, fixedTime,
                          [&reports, pieces](qsizetype done, qsizetype total) {
                              if (total != pieces)
                                  return false;
                              reports << done;
                              return true;
                          })
                .ok);
    QVERIFY2(reports.size() >= 5, qPrintable(QString::number(reports.size())));
    QVERIFY(std::is_sorted(reports.cbegin(), reports.cend()));
    QCOMPARE(reports.last(), pieces);

    // Stopped after the first report: nothing is left at the path.
    const QString stopped = m_dir.filePath("stopped.pdf");
    int calls = 0;
    const Status written =
        writeIndexPdf(stopped, many, "Tessavo export", dejaVu, dejaVuBold, fixedTime,
                      [&calls](qsizetype, qsizetype) { return ++calls < 2; });
    QVERIFY(!written.ok);
    QCOMPARE(written.error, QStringLiteral("the index was cancelled"));
    QCOMPARE(calls, 2);
    QVERIFY(!QFileInfo::exists(stopped));
}

void TestIndexPdf::entriesKeepTheirMargins()
{
    const QString path = m_dir.filePath("margins.pdf");
    DocumentRecord first = record("alpha.pdf", "02_Forms", 1);
    first.sha256 = "aaaaaaaaaaaa";
    DocumentRecord second = record("beta.pdf", "02_Forms", 1);
    second.sha256 = "bbbbbbbbbbbb";
    QVERIFY(
        writeIndexPdf(path, {first, second}, "Tessavo export", dejaVu, dejaVuBold, fixedTime).ok);

    const QList<double> name = wordTops(path, "alpha.pdf");
    const QList<double> details = wordTops(path, "aaaaaaaaaaaa");
    const QList<double> next = wordTops(path, "beta.pdf");
    QVERIFY(name.size() == 1 && details.size() == 1 && next.size() == 1);
    const double lineStep = details[0] - name[0];
    // 8 pt below each entry, on top of the ordinary line step.
    const double extra = next[0] - details[0] - lineStep;
    QVERIFY2(extra > 7 && extra < 9, qPrintable(QString::number(extra)));
    // 4 pt below a category heading (13 pt), 10 pt below the generation line.
    const QList<double> heading = wordTops(path, "02_Forms");
    QVERIFY(heading.size() == 1);
    QVERIFY2(name[0] - heading[0] > lineStep + 4,
             qPrintable(QString::number(name[0] - heading[0])));
    const QList<double> generated = wordTops(path, "Generated");
    const QList<double> summary = wordTops(path, "documents");
    QVERIFY(generated.size() == 2 && summary.size() == 1);
    const double afterGenerated = summary[0] - generated[0] - lineStep;
    QVERIFY2(afterGenerated > 9 && afterGenerated < 11,
             qPrintable(QString::number(afterGenerated)));
}

void TestIndexPdf::namesComeBackExactly()
{
    const QStringList latin = {"Certificates final.pdf", "Staff offer.pdf", "Workflow plan.pdf"};
    const QStringList cjk = {"投标文件.pdf", "入札書類.pdf", "입찰서.pdf"};
    QList<DocumentRecord> records;
    for (const QString& name : latin + cjk)
        records << record(name, "04_Technical", 1);
    const QString path = m_dir.filePath("names.pdf");
    QVERIFY(writeIndexPdf(path, records, "Tessavo export", dejaVu, dejaVuBold, fixedTime).ok);
    QVERIFY(runTool("qpdf", {"--check", path}).ok());

    // Without folding ligatures back: what a search or a copy gets.
    const QString text = pageText(path, 1);
    for (const QString& name : latin)
        QVERIFY2(text.contains(name), qPrintable(text));
    if (indexFallbackFamilies().isEmpty())
        QSKIP("no font for Chinese, Japanese and Korean is installed (scripts/install-deps.sh)");
    for (const QString& name : cjk)
        QVERIFY2(text.contains(name), qPrintable(text));
}

void TestIndexPdf::reportsFailures()
{
    Status written;
    QVERIFY(!(written = writeIndexPdf(m_dir.filePath("empty.pdf"), {}, "s", dejaVu, dejaVuBold,
                                      fixedTime))
                 .ok);
    QCOMPARE(written.error, QStringLiteral("no documents to index"));
    QVERIFY(!QFile::exists(m_dir.filePath("empty.pdf")));

    QVERIFY(!(written = writeIndexPdf(m_dir.filePath("missing/folder/index.pdf"),
                                      {record("a.pdf", "", 1)}, "s", dejaVu, dejaVuBold, fixedTime))
                 .ok);
    QCOMPARE(written.error, QStringLiteral("cannot create %1: No such file or directory")
                                .arg(m_dir.filePath("missing/folder/index.pdf")));

    // Anything already at the name stays as it is, a link that points nowhere included.
    const QString target = m_dir.filePath("link-target");
    QVERIFY(QFile::link(target, m_dir.filePath("linked.pdf")));
    QVERIFY(!(written = writeIndexPdf(m_dir.filePath("linked.pdf"), {record("a.pdf", "", 1)}, "s",
                                      dejaVu, dejaVuBold, fixedTime))
                 .ok);
    QCOMPARE(written.error,
             QStringLiteral("cannot write %1: File exists").arg(m_dir.filePath("linked.pdf")));
    QVERIFY(!QFileInfo::exists(target));
    QVERIFY(hiddenFiles().isEmpty());

    // A full disk, here a file size limit, leaves nothing under the name and says why.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &previous) == 0);
    const rlimit tight{4096, previous.rlim_max};
    QVERIFY(setrlimit(RLIMIT_FSIZE, &tight) == 0);
    written = writeIndexPdf(m_dir.filePath("truncated.pdf"), {record("a.pdf", "", 1)}, "s", dejaVu,
                            dejaVuBold, fixedTime);
    QVERIFY(setrlimit(RLIMIT_FSIZE, &previous) == 0);
    QVERIFY(!written.ok);
    QCOMPARE(
        written.error,
        QStringLiteral("cannot write %1: File too large").arg(m_dir.filePath("truncated.pdf")));
    QVERIFY(!QFileInfo::exists(m_dir.filePath("truncated.pdf")));
    QVERIFY(hiddenFiles().isEmpty());
}

void TestIndexPdf::worksOnAPoolThread()
{
    bool written = false;
    const QString path = m_dir.filePath("threaded.pdf");
    QThreadPool::globalInstance()->start([&] {
        written = writeIndexPdf(path, {record("threaded.pdf", "05_References", 4)},
                                "Tessavo export", dejaVu, dejaVuBold, fixedTime)
                      .ok;
    });
    QThreadPool::globalInstance()->waitForDone();
    QVERIFY(written);
    QVERIFY(pdfText(path).contains("threaded.pdf"));
}

QTEST_MAIN(TestIndexPdf)
#include "tst_indexpdf.moc"
