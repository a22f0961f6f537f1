// The preview alone, with real workers: it follows a document from its evidence page, pages
// through it, keeps a bounded cache, and opens files only through the opener it is given.
#include "core/Rule.h"
#include "flows/DocumentList.h"
#include "flows/PreviewFlow.h"
#include "flows/RuleBook.h"
#include "inspection/WorkerPool.h"
#include "support/PdfFixtures.h"
#include "support/WorkerTestMain.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Tessavo;
using namespace Tessavo::Flows;

namespace {

constexpr int generous = 30000;

Rule bondRule()
{
    Rule rule;
    rule.id = QStringLiteral("rule-bond");
    rule.name = QStringLiteral("Bonds");
    rule.category = QStringLiteral("Bonds and guarantees");
    rule.textAnyOf = {QStringLiteral("guarantee"), QStringLiteral("bond")};
    return rule;
}

DocumentRecord document(const QString& path, int pages, int evidencePage = -1)
{
    DocumentRecord r;
    r.sourcePath = path;
    r.fileName = QFileInfo(path).fileName();
    r.pages = pages;
    r.state = Ready;
    if (evidencePage >= 0) {
        r.suggestion.category = QStringLiteral("Bonds and guarantees");
        r.suggestion.ruleId = QStringLiteral("rule-bond");
        r.suggestion.ruleName = QStringLiteral("Bonds");
        r.suggestion.evidencePage = evidencePage;
    }
    return r;
}

// A non-white pixel count: the page is drawn, not blank.
int ink(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            count += qGray(image.pixel(x, y)) < 160 ? 1 : 0;
    return count;
}

struct Preview {
    explicit Preview(int cacheImages = 16)
        : flow(list, rules,
               {.pool = &pool, .cacheImages = cacheImages, .openUrl = [this](const QUrl& url) {
                    opened << url;
                    return true;
                }})
    {}

    Inspection::WorkerPool pool;
    DocumentList list;
    RuleBook rules{QList<Rule>{bondRule()}};
    QList<QUrl> opened;
    PreviewFlow flow;
};

} // namespace

class TestPreviewFlow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void followsTheDocumentFromItsEvidencePage();
    void cacheIsBoundedAndServesAgainAtOnce();
    void unopenedFilesSayWhyAndOpeningGoesThroughTheOpener();

private:
    QString fixture(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestPreviewFlow::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(PdfFixtures::writeTextPdf(fixture("bond.pdf"),
                                      {QStringLiteral("Cover page"),
                                       QStringLiteral("Performance bond\nThe guarantee holds."),
                                       QStringLiteral("Annex")}));
    QVERIFY(PdfFixtures::writeTextPdf(fixture("letter.pdf"),
                                      {QStringLiteral("Dear Sir\nA letter, nothing more.")}));
}

void TestPreviewFlow::followsTheDocumentFromItsEvidencePage()
{
    Preview p;
    p.list.appendRecord(document(fixture("bond.pdf"), 3, 1));
    p.list.appendRecord(document(fixture("letter.pdf"), 1));

    p.flow.show(0);
    QCOMPARE(p.flow.page(), 1);
    QCOMPARE(p.flow.pageCount(), 3);
    QCOMPARE(p.flow.fileName(), QStringLiteral("bond.pdf"));
    QTRY_VERIFY_WITH_TIMEOUT(p.flow.hasImage(), generous);
    QVERIFY(!p.flow.busy());
    QCOMPARE(p.flow.image().width(), p.flow.pageWidth());
    QVERIFY(ink(p.flow.image()) > 20);
    // "bond" and "guarantee", the rule's terms, each once on the evidence page.
    QCOMPARE(p.flow.highlightCount(), 2);

    // Paging stays within the document.
    p.flow.nextPage();
    QCOMPARE(p.flow.page(), 2);
    p.flow.nextPage();
    QCOMPARE(p.flow.page(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(!p.flow.busy() && p.flow.hasImage(), generous);
    QCOMPARE(p.flow.highlightCount(), 0);
    p.flow.previousPage();
    p.flow.previousPage();
    p.flow.previousPage();
    QCOMPARE(p.flow.page(), 0);

    // Another document without evidence: its first page.
    p.flow.show(1);
    QCOMPARE(p.flow.page(), 0);
    QCOMPARE(p.flow.fileName(), QStringLiteral("letter.pdf"));
    QTRY_VERIFY_WITH_TIMEOUT(!p.flow.busy() && p.flow.hasImage(), generous);
    QVERIFY(ink(p.flow.image()) > 20);

    // A new width is drawn anew, in steps.
    p.flow.setPageWidth(301);
    QCOMPARE(p.flow.pageWidth(), 320);
    QTRY_VERIFY_WITH_TIMEOUT(!p.flow.busy() && p.flow.image().width() == 320, generous);

    // The followed row goes away: nothing is shown.
    p.list.clear();
    QCOMPARE(p.flow.row(), -1);
    QVERIFY(!p.flow.hasImage());
}

void TestPreviewFlow::cacheIsBoundedAndServesAgainAtOnce()
{
    Preview p(2);
    p.list.appendRecord(document(fixture("bond.pdf"), 3, 0));
    p.flow.show(0);
    QTRY_VERIFY_WITH_TIMEOUT(!p.flow.busy() && p.flow.hasImage(), generous);
    for (int i = 0; i < 2; ++i) {
        p.flow.nextPage();
        QTRY_VERIFY_WITH_TIMEOUT(!p.flow.busy() && p.flow.hasImage(), generous);
    }
    QCOMPARE(p.flow.cachedImages(), 2);
    QVERIFY(p.flow.cachedBytes() <= 2 * p.flow.image().sizeInBytes());

    // The page before is still held: shown at once, with no worker asked.
    QSignalSpy busy(&p.flow, &PreviewFlow::busyChanged);
    p.flow.previousPage();
    QVERIFY(p.flow.hasImage());
    QVERIFY(!p.flow.busy());
    QCOMPARE(busy.count(), 0);
    // The first page was dropped: it is drawn again.
    p.flow.previousPage();
    QVERIFY(p.flow.busy());
    QTRY_VERIFY_WITH_TIMEOUT(!p.flow.busy() && p.flow.hasImage(), generous);
    QCOMPARE(p.flow.cachedImages(), 2);
}

void TestPreviewFlow::unopenedFilesSayWhyAndOpeningGoesThroughTheOpener()
{
    Preview p;
    DocumentRecord locked = document(fixture("locked.pdf"), 0);
    locked.state = Encrypted;
    locked.errorText = QStringLiteral("PDF is password protected");
    p.list.appendRecord(locked);
    p.list.appendRecord(document(fixture("letter.pdf"), 1));

    p.flow.show(0);
    QVERIFY(!p.flow.busy());
    QVERIFY(!p.flow.hasImage());
    QCOMPARE(p.flow.message(), QStringLiteral("PDF is password protected"));
    QCOMPARE(p.pool.running(), 0);

    p.flow.openDocument(1);
    p.flow.showInFolder(1);
    p.flow.openDocument(7);
    QCOMPARE(p.opened, (QList<QUrl>{QUrl::fromLocalFile(fixture("letter.pdf")),
                                    QUrl::fromLocalFile(m_dir.path())}));
}

TESSAVO_TEST_MAIN_WITH_WORKER(TestPreviewFlow)

#include "tst_previewflow.moc"
