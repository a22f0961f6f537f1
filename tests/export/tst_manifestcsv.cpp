#include "export/ManifestCsv.h"
#include "support/ExternalTool.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace Tessavo;

namespace {

const QByteArray header = "file,source_path,sha256,size_bytes,pages,text_pages,state,"
                          "suggested_category,matched_rule,evidence,decision,final_category,note\n";

DocumentRecord record(const QString& name)
{
    DocumentRecord r;
    r.fileName = name;
    r.sourcePath = QStringLiteral("/bids/") + name;
    r.sha256 = QByteArray(64, 'a');
    r.sizeBytes = 2048;
    r.pages = 3;
    r.textPages = 2;
    r.state = Ready;
    return r;
}

} // namespace

class TestManifestCsv : public QObject {
    Q_OBJECT

private slots:
    void quotesOnlyWhenNeeded_data();
    void quotesOnlyWhenNeeded();
    void writesTheExactBytes();
    void decisionWordsAndFinalCategory();
    void readBackByPythonsCsvModule();
};

void TestManifestCsv::quotesOnlyWhenNeeded_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::newRow("plain") << "Offer final.pdf"
                           << "Offer final.pdf";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("spaces kept, unquoted") << "  x  "
                                           << "  x  ";
    QTest::newRow("comma") << "Offer, final.pdf"
                           << "\"Offer, final.pdf\"";
    QTest::newRow("quote doubled") << "say \"hi\""
                                   << "\"say \"\"hi\"\"\"";
    QTest::newRow("line feed") << "a\nb"
                               << "\"a\nb\"";
    QTest::newRow("carriage return") << "a\rb"
                                     << "\"a\rb\"";
    QTest::newRow("formula left alone") << "=SUM(A1)"
                                        << "=SUM(A1)";
    QTest::newRow("tab left alone") << "a\tb"
                                    << "a\tb";
}

void TestManifestCsv::quotesOnlyWhenNeeded()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(csvField(text), field);
}

void TestManifestCsv::writesTheExactBytes()
{
    QCOMPARE(buildManifestCsv({}), QByteArray("\xEF\xBB\xBF") + header);

    DocumentRecord a = record(QStringLiteral("Offer, final.pdf"));
    a.suggestion.category = QStringLiteral("02_Forms");
    a.suggestion.ruleName = QStringLiteral("Bid bond");
    a.suggestion.evidence = QStringLiteral("text contains \"bid bond\" on page 1");
    a.decision = Accepted;
    a.finalCategory = QStringLiteral("02_Forms");
    DocumentRecord b = record(QStringLiteral("scan.pdf"));
    b.state = NeedsOcr;
    b.sha256.clear();
    b.sizeBytes = 0;
    b.textPages = 0;
    b.note = QStringLiteral("line one\nline two");

    const QByteArray expected =
        QByteArray("\xEF\xBB\xBF") + header + "\"Offer, final.pdf\",\"/bids/Offer, final.pdf\"," +
        QByteArray(64, 'a') +
        ",2048,3,2,Ready,02_Forms,Bid bond,\"text contains \"\"bid bond\"\" on page 1\","
        "Accepted,02_Forms,\n" +
        "scan.pdf,/bids/scan.pdf,,0,3,0,Needs OCR,,,,Needs Review,,\"line one\nline two\"\n";
    QCOMPARE(buildManifestCsv({a, b}), expected);

    QList<DocumentRecord> ten(10, record(QStringLiteral("x.pdf")));
    QCOMPARE(buildManifestCsv(ten).count('\n'), 11);
    QVERIFY(!buildManifestCsv(ten).contains('\r'));
}

void TestManifestCsv::decisionWordsAndFinalCategory()
{
    QCOMPARE(manifestDecisionText(NeedsReview), QStringLiteral("Needs Review"));
    QCOMPARE(manifestDecisionText(Changed), QStringLiteral("Changed"));
    QCOMPARE(manifestDecisionText(Ignored), QStringLiteral("Ignored"));
    QCOMPARE(manifestDecisionText(9), QStringLiteral("Needs Review"));

    DocumentRecord changed = record(QStringLiteral("c.pdf"));
    changed.suggestion.category = QStringLiteral("02_Forms");
    changed.decision = Changed;
    changed.finalCategory = QStringLiteral("03_Pricing");
    DocumentRecord undecided = record(QStringLiteral("u.pdf"));
    undecided.suggestion.category = QStringLiteral("04_Technical");
    const QList<QByteArray> lines = buildManifestCsv({changed, undecided}).split('\n');
    QVERIFY(lines[1].endsWith(",Changed,03_Pricing,"));
    QVERIFY(lines[2].endsWith(",Needs Review,04_Technical,"));
}

void TestManifestCsv::readBackByPythonsCsvModule()
{
    DocumentRecord tricky = record(QStringLiteral("Ångström, \"quoted\".pdf"));
    tricky.suggestion.evidence = QStringLiteral("first line\r\nsecond line");
    tricky.note = QStringLiteral("=1+2");
    const QByteArray csv = buildManifestCsv({tricky, record(QStringLiteral("plain.pdf"))});
    const ToolRun run =
        runTool("python3",
                {"-c", "import csv, io, json, sys\n"
                       "data = sys.stdin.buffer.read()\n"
                       "assert data.startswith(b'\\xef\\xbb\\xbf')\n"
                       "rows = list(csv.reader(io.StringIO(data.decode('utf-8-sig'), "
                       "newline='')))\n"
                       "print(json.dumps(rows))"},
                csv);
    QVERIFY2(run.ok(), run.err);
    const QJsonArray rows = QJsonDocument::fromJson(run.out).array();
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0].toArray().size(), 13);
    QCOMPARE(rows[0].toArray()[0].toString(), QStringLiteral("file"));
    const QJsonArray first = rows[1].toArray();
    QCOMPARE(first.size(), 13);
    QCOMPARE(first[0].toString(), tricky.fileName);
    QCOMPARE(first[9].toString(), tricky.suggestion.evidence);
    QCOMPARE(first[12].toString(), QStringLiteral("=1+2"));
    QCOMPARE(rows[2].toArray()[0].toString(), QStringLiteral("plain.pdf"));
}

QTEST_GUILESS_MAIN(TestManifestCsv)
#include "tst_manifestcsv.moc"
