#include "bundle/ManifestCsv.h"
#include "core/RawPath.h"
#include "support/ExternalTool.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
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
    void formulasAreWrittenAsText();
    void namesThatAreNotUtf8StayApart();
    void readerKeepsOneRecordAtATime();
    void readsBackWhatItWrites();
    void readingNamesEveryFault();
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
    QCOMPARE(first[12].toString(), QStringLiteral("'=1+2")); // a spreadsheet shows it as text
    QCOMPARE(rows[2].toArray()[0].toString(), QStringLiteral("plain.pdf"));
}

void TestManifestCsv::formulasAreWrittenAsText()
{
    // Every text cell that a spreadsheet would evaluate starts with an apostrophe; nothing else
    // changes, and reading takes exactly that apostrophe off again.
    const QStringList formulas = {
        QStringLiteral("=HYPERLINK(\"https://example.invalid\";\"Open\").pdf"),
        QStringLiteral("@SUM(1+1).pdf"),
        QStringLiteral("+cmd|' /C calc'!A0.pdf"),
        QStringLiteral("-2+3.pdf"),
        QStringLiteral("\tTab.pdf"),
        QStringLiteral("\rReturn.pdf"),
        QStringLiteral("'=already quoted.pdf"),
        QStringLiteral("''@twice.pdf"),
    };
    const QStringList plain = {QStringLiteral("Offer.pdf"), QStringLiteral("'quoted'.pdf"),
                               QStringLiteral("a=b.pdf"), QStringLiteral("'"), QString()};
    QList<DocumentRecord> records;
    for (const QString& name : formulas) {
        DocumentRecord r = record(name);
        r.note = name;
        r.suggestion.evidence = QStringLiteral("=1+1");
        r.pages = -1; // numbers are not text cells
        records << r;
    }
    for (const QString& name : plain)
        records << record(name);
    const QByteArray csv = buildManifestCsv(records);
    const ToolRun run =
        runTool("python3",
                {"-c", "import csv, io, json, sys\n"
                       "data = sys.stdin.buffer.read().decode('utf-8-sig')\n"
                       "print(json.dumps(list(csv.reader(io.StringIO(data, newline='')))))"},
                csv);
    QVERIFY2(run.ok(), run.err);
    const QJsonArray rows = QJsonDocument::fromJson(run.out).array();
    QCOMPARE(rows.size(), records.size() + 1);
    for (qsizetype i = 0; i < formulas.size(); ++i) {
        const QJsonArray row = rows[i + 1].toArray();
        QCOMPARE(row[0].toString(), u'\'' + formulas[i]);
        QCOMPARE(row[1].toString(), records[i].sourcePath); // begins with "/"
        QCOMPARE(row[4].toString(), QStringLiteral("-1"));
        QCOMPARE(row[9].toString(), QStringLiteral("'=1+1"));
        QCOMPARE(row[12].toString(), u'\'' + formulas[i]);
        QCOMPARE(formulaUnguarded(row[0].toString()), formulas[i]);
    }
    for (qsizetype i = 0; i < plain.size(); ++i) {
        const QString cell = rows[formulas.size() + i + 1].toArray()[0].toString();
        QCOMPARE(cell, plain[i]);
        QCOMPARE(formulaUnguarded(cell), plain[i]);
    }
}

void TestManifestCsv::namesThatAreNotUtf8StayApart()
{
    // Two Latin-1 names that decode to the same text, and a UTF-8 name that spells the escape.
    QList<DocumentRecord> records;
    for (const QByteArray& raw : {QByteArray("/bids/caf\xE9.pdf"), QByteArray("/bids/caf\xE8.pdf"),
                                  QByteArray("/bids/caf\\xE9.pdf")}) {
        DocumentRecord r = record(QFile::decodeName(raw).section(u'/', -1));
        r.sourcePath = QFile::decodeName(raw);
        if (!roundTrips(raw))
            r.sourcePathBytes = raw;
        records << r;
    }
    const QList<QByteArray> lines = buildManifestCsv(records).split('\n');
    QVERIFY(lines[1].startsWith("caf\\xE9.pdf,/bids/caf\\xE9.pdf,"));
    QVERIFY(lines[2].startsWith("caf\\xE8.pdf,/bids/caf\\xE8.pdf,"));
    QVERIFY(lines[3].startsWith("caf\\\\xE9.pdf,/bids/caf\\\\xE9.pdf,"));
    QCOMPARE(pathFromDisplay(QString::fromUtf8(lines[1].split(',')[1])),
             QByteArray("/bids/caf\xE9.pdf"));
    QCOMPARE(pathFromDisplay(QString::fromUtf8(lines[3].split(',')[1])),
             QByteArray("/bids/caf\\xE9.pdf"));

    // Any bytes come back from their display form, and different bytes never look the same.
    QRandomGenerator random(26);
    QHash<QString, QByteArray> seen;
    const char alphabet[] = {'\\',       'x',        'E',        '9',        'a',
                             '/',        char(0xC3), char(0xA9), char(0xE9), char(0x80),
                             char(0xF0), char(0x9F), char(0xED), char(0xA0)};
    for (int i = 0; i < 20000; ++i) {
        QByteArray bytes;
        const int length = random.bounded(8);
        for (int k = 0; k < length; ++k)
            bytes += alphabet[random.bounded(int(sizeof alphabet))];
        const QString shown = displayPath(bytes);
        QCOMPARE(pathFromDisplay(shown), bytes);
        QVERIFY(QUtf8StringView(shown.toUtf8()).isValidUtf8());
        const auto earlier = seen.constFind(shown);
        QVERIFY2(earlier == seen.cend() || *earlier == bytes, qPrintable(shown));
        seen.insert(shown, bytes);
        if (bytes.isValidUtf8())
            QCOMPARE(shown, displayText(QString::fromUtf8(bytes)));
    }
}

void TestManifestCsv::readerKeepsOneRecordAtATime()
{
    const QByteArray text = "a,\"b,\n\"\"c\"\"\",\n" + QByteArray(100, ',') + "\n\nx\n";
    CsvReader reader(text);
    QVERIFY(reader.readRecord());
    QCOMPARE(reader.line(), 1);
    QCOMPARE(reader.fields(), (QList<QByteArray>{"a", "b,\n\"c\"", ""}));
    QVERIFY(reader.readRecord());
    QCOMPARE(reader.line(), 3);
    QCOMPARE(reader.fieldCount(), 101);
    QCOMPARE(reader.fields().size(), CsvReader::maxKeptFields);
    QVERIFY(reader.readRecord());
    QCOMPARE(reader.fields(), QList<QByteArray>{""});
    QVERIFY(reader.readRecord());
    QCOMPARE(reader.line(), 5);
    QVERIFY(!reader.readRecord());
    QVERIFY(reader.errorString().isEmpty());

    CsvReader cut("a,\"b\nc");
    QVERIFY(!cut.readRecord());
    QCOMPARE(cut.errorString(), QStringLiteral("a quoted value is never closed"));
    QCOMPARE(cut.faultLine(), 1);
}

void TestManifestCsv::readsBackWhatItWrites()
{
    QList<DocumentRecord> records;
    for (const QByteArray& raw :
         {QByteArray("/bids/plain.pdf"), QByteArray("/bids/=SUM(A1), \"quoted\".pdf"),
          QByteArray("/bids/caf\xE9.pdf"), QByteArray("/bids/line\nfeed.pdf")}) {
        DocumentRecord r = record(QFile::decodeName(raw).section(u'/', -1));
        r.sourcePath = QFile::decodeName(raw);
        if (!roundTrips(raw))
            r.sourcePathBytes = raw;
        r.sizeBytes = 1000 + records.size();
        r.sha256 = QByteArray(64, "0123456789abcdef"[records.size()]);
        r.suggestion.evidence = QStringLiteral("line one\nline two, \"quoted\"");
        records << r;
    }
    QList<ManifestProblem> problems;
    const ManifestReading reading = readManifestCsv(
        buildManifestCsv(records), [&](const ManifestProblem& p) { problems.append(p); });
    QVERIFY(reading.ok);
    QVERIFY(problems.isEmpty());
    QCOMPARE(reading.rows.size(), records.size());
    int line = 2;
    for (qsizetype i = 0; i < records.size(); ++i) {
        const ManifestRow& row = reading.rows.at(i);
        QCOMPARE(row.sourcePath, sourcePathBytesOf(records.at(i)));
        QCOMPARE(row.sha256, records.at(i).sha256);
        QCOMPARE(row.size, records.at(i).sizeBytes);
        QCOMPARE(row.line, line);
        line += 2; // the evidence holds a line feed
    }
}

void TestManifestCsv::readingNamesEveryFault()
{
    using Kind = ManifestProblem::Kind;
    const QByteArray mark = "\xEF\xBB\xBF";
    const QByteArray good =
        "a.pdf,/bids/a.pdf," + QByteArray(64, 'a') + ",10,1,1,Ready,,,,Accepted,,\n";
    struct Case {
        QByteArray bytes;
        bool usable;
        QList<Kind> kinds;
        QStringList texts;
    };
    const QList<Case> cases = {
        {header + good,
         false,
         {Kind::NoByteOrderMark},
         {"does not begin with the UTF-8 byte order mark"}},
        {mark + header + "\xFF" + good, false, {Kind::NotUtf8}, {"is not valid UTF-8"}},
        {mark + "file,source\n" + good,
         false,
         {Kind::WrongHeader},
         {QStringLiteral("the header is not \"%1\"").arg(QString::fromUtf8(header.trimmed()))}},
        {mark + header, false, {Kind::NoDocuments}, {"lists no documents"}},
        {mark + header + good + "a\"b\n",
         false,
         {Kind::Syntax},
         {"line 3: a quote inside an unquoted value"}},
        {mark + header + "x,y\n" + good,
         true,
         {Kind::ValueCount},
         {"line 2: 2 values instead of 13"}},
        {mark + header + "a.pdf,/a.pdf,ABC,-1,x,1.5,Lost,,,,Maybe,,\n",
         true,
         {Kind::BadSha256, Kind::BadSize, Kind::BadNumber, Kind::BadNumber, Kind::UnknownState,
          Kind::UnknownDecision},
         {"line 2: sha256 is not 64 lowercase hexadecimal digits",
          "line 2: size_bytes is not a byte count", "line 2: pages is not a whole number",
          "line 2: text_pages is not a whole number", "line 2: unknown state \"Lost\"",
          "line 2: unknown decision \"Maybe\""}},
        {mark + header + "a.pdf,/a.pdf," + QByteArray(64, 'a') + ",99999999999999999999,1,1," +
             "Ready,,,,Accepted,,\n",
         true,
         {Kind::BadSize},
         {"line 2: size_bytes is not a byte count"}},
    };
    for (const Case& c : cases) {
        QList<Kind> kinds;
        QStringList texts;
        const ManifestReading reading = readManifestCsv(c.bytes, [&](const ManifestProblem& p) {
            kinds.append(p.kind);
            texts.append(manifestProblemText(p));
        });
        QCOMPARE(reading.ok, c.usable);
        QCOMPARE(kinds, c.kinds);
        QCOMPARE(texts, c.texts);
    }
    // A row with unusable values is still returned, with those values marked.
    const ManifestReading partly =
        readManifestCsv(mark + header + "a.pdf,/a.pdf,ABC,-1,1,1,Ready,,,,Accepted,,\n",
                        [](const ManifestProblem&) {});
    QCOMPARE(partly.rows.size(), 1);
    QVERIFY(partly.rows.first().sha256.isEmpty());
    QCOMPARE(partly.rows.first().size, -1);
}

QTEST_GUILESS_MAIN(TestManifestCsv)
#include "tst_manifestcsv.moc"
