#include "core/Rule.h"
#include "core/RulesFile.h"

#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <limits>

using namespace Tessavo;

namespace {

Rule named(const QString& name, int priority)
{
    Rule r;
    r.name = name;
    r.priority = priority;
    return r;
}

RuleReading ruleFromText(const char* json)
{
    return ruleFromJson(QJsonDocument::fromJson(json).object());
}

} // namespace

class TestRules : public QObject {
    Q_OBJECT

private slots:
    void idsAreFreshAndWellFormed();
    void conditionsAndValidity();
    void rankingAndTies();
    void builtInRules();

    void readsTypesAndDefaults();
    void readsSizesSafely_data();
    void readsSizesSafely();
    void findsTheRuleArray();
    void skipsInvalidEntries();
    void roundTripKeepsOrderAndIds();
    void writesEveryMemberIndented();

    void readsTheLaterConditions();
    void laterConditionsCountAsConditions();
    void wrongTypesAreUnsetAndCounted();
    void laterConditionsRoundTripAndStayWithinLimits();
    void anEarlierRulesFileLoadsAndSavesUnchanged();
};

void TestRules::idsAreFreshAndWellFormed()
{
    static const QRegularExpression shape(QStringLiteral("^rule-[0-9a-f]{8}$"));
    const QString a = newRuleId();
    QVERIFY2(shape.match(a).hasMatch(), qPrintable(a));
    QVERIFY(a != newRuleId());
}

void TestRules::conditionsAndValidity()
{
    Rule r;
    r.name = QStringLiteral("Bid bond");
    r.category = QStringLiteral("02_Forms");
    QVERIFY(!hasConditions(r));
    r.fileContains = QStringLiteral("   ");
    QVERIFY(!hasConditions(r)); // blanks are no condition
    r.minPages = -3;
    QVERIFY(!hasConditions(r));
    QVERIFY(!isValid(r));
    r.maxBytes = 1;
    QVERIFY(hasConditions(r));
    QVERIFY(isValid(r));
    r.category = QStringLiteral(" ");
    QVERIFY(!isValid(r));
    r.category = QStringLiteral("anything at all"); // not checked against the category list
    r.name = QStringLiteral("\t");
    QVERIFY(!isValid(r));
}

void TestRules::rankingAndTies()
{
    QVERIFY(ranksBefore(named("z", 10), named("a", 20)));
    QVERIFY(ranksBefore(named("appendix", 50), named("Bid bond", 50)));
    QVERIFY(!ranksBefore(named("Bid bond", 50), named("appendix", 50)));
    QVERIFY(!ranksBefore(named("Bid bond", 50), named("bid bond", 50)));
    QVERIFY(!ranksBefore(named("bid bond", 50), named("Bid bond", 50)));

    QList<Rule> list = {named("Bid bond", 5), named("bid bond", 5), named("Alpha", 5)};
    std::stable_sort(list.begin(), list.end(), ranksBefore);
    QCOMPARE(list[0].name, QStringLiteral("Alpha"));
    QCOMPARE(list[1].name, QStringLiteral("Bid bond")); // equal keys keep list order
    QCOMPARE(list[2].name, QStringLiteral("bid bond"));
}

void TestRules::builtInRules()
{
    const QList<Rule> rules = defaultRules();
    QCOMPARE(rules.size(), 9);
    const QStringList names = {"Solicitation document",
                               "Bid bond",
                               "MWBE forms",
                               "Form 3A",
                               "Pricing schedule",
                               "Technical approach",
                               "References",
                               "Certificate of insurance",
                               "Appendix"};
    for (int i = 0; i < rules.size(); ++i) {
        QCOMPARE(rules[i].name, names[i]);
        QVERIFY(rules[i].enabled);
        QVERIFY(isValid(rules[i]));
    }
    QCOMPARE(rules[6].textAnyOf.first(), QStringLiteral("references"));
    QCOMPARE(rules[8].fileAnyOf.first(), QStringLiteral("appendix"));
    QCOMPARE(rules[2].textAnyOf.first(), QStringLiteral("MWBE"));
    QCOMPARE(rules[3].textContains, QStringLiteral("form 3a"));
    QCOMPARE(rules[2].priority, 25);
    QVERIFY(rules[1].wholeWords && !rules[8].wholeWords);
    QVERIFY(std::all_of(rules.cbegin(), rules.cend(), withinTextLimit));

    const QList<Rule> again = defaultRules();
    for (int i = 0; i < rules.size(); ++i) {
        Rule sameId = again[i];
        QVERIFY(sameId.id != rules[i].id);
        sameId.id = rules[i].id;
        QCOMPARE(sameId, rules[i]);
    }
    QCOMPARE(categoryList().size(), 8);
    QCOMPARE(categoryList().last(), QStringLiteral("08_Other"));
}

void TestRules::readsTypesAndDefaults()
{
    RuleReading read =
        ruleFromText(R"({"name":"N","category":"C","textContains":"x","priority":12.5,
                              "enabled":"false","minPages":"5","maxPages":3})");
    QVERIFY(read.valid);
    Rule r = read.rule;
    QCOMPARE(r.priority, 100); // a fraction is no integer
    QVERIFY(r.enabled);        // a string is no boolean
    QCOMPARE(r.minPages, 0);
    QCOMPARE(r.maxPages, 3);
    QVERIFY(r.id.startsWith(QStringLiteral("rule-"))); // a missing id is replaced

    r = ruleFromText(R"({"name":"N","category":"C","textContains":"x","priority":"5",
                         "enabled":false,"id":"keep-me"})")
            .rule;
    QCOMPARE(r.priority, 100);
    QVERIFY(!r.enabled);
    QCOMPARE(r.id, QStringLiteral("keep-me"));

    read = ruleFromText(
        R"({"name":"N","category":"C","priority":4294967296,"textContains":" bid bond "})");
    QVERIFY(read.valid);
    QCOMPARE(read.rule.priority, 100);                              // beyond 32 bits
    QCOMPARE(read.rule.textContains, QStringLiteral(" bid bond ")); // kept untrimmed

    QVERIFY(!ruleFromText(R"({"name":"N","category":"C","textContains":"   "})").valid);
}

void TestRules::readsSizesSafely_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<qint64>("expected");
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    constexpr qint64 min = std::numeric_limits<qint64>::min();
    QTest::newRow("fraction truncates") << QByteArray("2048.9") << qint64(2048);
    QTest::newRow("negative fraction truncates toward zero") << QByteArray("-2.7") << qint64(-2);
    QTest::newRow("negative kept") << QByteArray("-1") << qint64(-1);
    QTest::newRow("largest integer exact") << QByteArray("9223372036854775807") << max;
    QTest::newRow("beyond 64 bits clamps") << QByteArray("1e30") << max;
    QTest::newRow("far below clamps") << QByteArray("-1e30") << min;
    QTest::newRow("string") << QByteArray("\"2048\"") << qint64(0);
    QTest::newRow("null") << QByteArray("null") << qint64(0);
}

void TestRules::readsSizesSafely()
{
    QFETCH(QByteArray, value);
    QFETCH(qint64, expected);
    const QByteArray json = "{\"minBytes\":" + value + ",\"maxBytes\":" + value + "}";
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    QVERIFY(!object.isEmpty());
    const Rule r = ruleFromJson(object).rule;
    QCOMPARE(r.minBytes, expected);
    QCOMPARE(r.maxBytes, expected);

    // Values that no JSON text can carry, but a caller can.
    QJsonObject built;
    built.insert(QStringLiteral("minBytes"), std::numeric_limits<double>::quiet_NaN());
    built.insert(QStringLiteral("maxBytes"), -std::numeric_limits<double>::infinity());
    const Rule odd = ruleFromJson(built).rule;
    QCOMPARE(odd.minBytes, 0);
    QCOMPARE(odd.maxBytes, std::numeric_limits<qint64>::min());
}

void TestRules::findsTheRuleArray()
{
    const char* rule = R"({"name":"N","category":"C","fileContains":"x"})";
    auto read = [](const QByteArray& bytes) {
        return readRulesDocument(bytes).size();
    };
    QCOMPARE(read(QByteArray("[") + rule + "]"), 1);
    QCOMPARE(read(QByteArray(R"({"schemaVersion":2,"rules":[)") + rule + "]}"), 1);
    QCOMPARE(read(QByteArray(R"({"schemaVersion":1})")), 0);
    QCOMPARE(read(QByteArray(R"({"rules":{"name":"N"}})")), 0);
    QCOMPARE(read(QByteArray("[") + rule + ","), 0); // syntax error
    QCOMPARE(read(QByteArray("42")), 0);
}

void TestRules::skipsInvalidEntries()
{
    const QByteArray doc = R"({"rules":[1, "text", null,
        {"name":"A","category":"C","textContains":"a"},
        {"name":"","category":"C","textContains":"b"},
        {"name":"B","category":"C","minPages":-3},
        {"name":"C","category":"C","maxBytes":10}]})";
    const QList<Rule> rules = readRulesDocument(doc);
    QCOMPARE(rules.size(), 2);
    QCOMPARE(rules[0].name, QStringLiteral("A"));
    QCOMPARE(rules[1].name, QStringLiteral("C"));
}

void TestRules::roundTripKeepsOrderAndIds()
{
    QList<Rule> rules = defaultRules();
    Rule odd;
    odd.id = QStringLiteral("rule-00000001");
    odd.name = QStringLiteral("Odd \"quoted\" — name");
    odd.category = QStringLiteral("99_Custom");
    odd.enabled = false;
    odd.priority = -7;
    odd.textContains = QStringLiteral(" padded ");
    odd.minPages = 2;
    odd.maxPages = 9;
    odd.minBytes = 1536;
    odd.maxBytes = qint64(1) << 40;
    rules.append(odd);

    QCOMPARE(readRulesDocument(rulesDocument(rules)), rules);

    // A rule without an id gets a new one on every write.
    Rule noId = odd;
    noId.id.clear();
    const QString first = ruleToJson(noId).value(QStringLiteral("id")).toString();
    QVERIFY(first.startsWith(QStringLiteral("rule-")));
    QVERIFY(first != ruleToJson(noId).value(QStringLiteral("id")).toString());
}

void TestRules::writesEveryMemberIndented()
{
    Rule r;
    r.id = QStringLiteral("rule-12345678");
    r.name = QStringLiteral("N");
    const QJsonObject o = ruleToJson(r);
    QCOMPARE(o.keys(),
             (QStringList{"category", "enabled", "fileContains", "id", "maxBytes", "maxPages",
                          "minBytes", "minPages", "name", "priority", "textContains"}));
    QVERIFY(o.value(QStringLiteral("enabled")).isBool());
    QVERIFY(o.value(QStringLiteral("minBytes")).isDouble());

    const QByteArray doc = rulesDocument({r});
    QVERIFY(doc.startsWith("{\n    \"rules\": [\n        {\n"));
    QVERIFY(doc.contains("\n    \"schemaVersion\": 1\n}"));
}

void TestRules::readsTheLaterConditions()
{
    const RuleReading read = ruleFromText(
        R"({"name":"N","category":"C","titleContains":"Request for Quotation",
            "textAnyOf":["a","b"],"textAllOf":["c"],"textNoneOf":["d","e"],
            "fileAnyOf":["f"],"fileNoneOf":["g"],"wholeWords":true})");
    QVERIFY(read.valid);
    QCOMPARE(read.wrongTypes, 0);
    QCOMPARE(read.rule.titleContains, QStringLiteral("Request for Quotation"));
    QCOMPARE(read.rule.textAnyOf, (QStringList{"a", "b"}));
    QCOMPARE(read.rule.textAllOf, QStringList{"c"});
    QCOMPARE(read.rule.textNoneOf, (QStringList{"d", "e"}));
    QCOMPARE(read.rule.fileAnyOf, QStringList{"f"});
    QCOMPARE(read.rule.fileNoneOf, QStringList{"g"});
    QVERIFY(read.rule.wholeWords);

    // Absent keys are unset.
    const Rule plain = ruleFromText(R"({"name":"N","category":"C","textContains":"x"})").rule;
    QVERIFY(plain.titleContains.isEmpty() && plain.textAnyOf.isEmpty() &&
            plain.textNoneOf.isEmpty() && plain.fileNoneOf.isEmpty() && !plain.wholeWords);
}

void TestRules::laterConditionsCountAsConditions()
{
    Rule r;
    r.name = QStringLiteral("N");
    r.category = QStringLiteral("C");
    r.wholeWords = true;
    QVERIFY(!isValid(r)); // whole words alone is no condition
    r.textAllOf = {QStringLiteral("  "), QString()};
    QVERIFY(!isValid(r)); // nor is a list of blanks
    QCOMPARE(termsOf(r.textAllOf), QStringList());
    r.textAllOf.append(QStringLiteral(" bond"));
    QVERIFY(isValid(r));
    QCOMPARE(termsOf(r.textAllOf), QStringList{" bond"});
    for (auto set : std::initializer_list<void (*)(Rule&)>{
             [](Rule& x) { x.titleContains = QStringLiteral("t"); },
             [](Rule& x) { x.textAnyOf = {QStringLiteral("t")}; },
             [](Rule& x) { x.textNoneOf = {QStringLiteral("t")}; },
             [](Rule& x) { x.fileAnyOf = {QStringLiteral("t")}; },
             [](Rule& x) {
                 x.fileNoneOf = {QStringLiteral("t")};
             }}) {
        Rule one;
        set(one);
        QVERIFY(hasConditions(one));
    }
}

void TestRules::wrongTypesAreUnsetAndCounted()
{
    const RuleReading read = ruleFromText(
        R"({"name":"N","category":"C","textContains":"x","titleContains":7,
            "textAnyOf":"bid bond","textAllOf":["a",3,null,"b"],"wholeWords":"true",
            "fileNoneOf":{"a":1}})");
    QVERIFY(read.valid);
    QCOMPARE(read.wrongTypes, 6);
    QVERIFY(read.rule.titleContains.isEmpty());
    QVERIFY(read.rule.textAnyOf.isEmpty());
    QCOMPARE(read.rule.textAllOf, (QStringList{"a", "b"}));
    QVERIFY(!read.rule.wholeWords);
    QVERIFY(read.rule.fileNoneOf.isEmpty());

    // A rule left without any condition is dropped; the counts cover only the rules kept.
    const RulesReading document = readRulesWithinLimits(
        R"([{"name":"N","category":"C","textAnyOf":"only"},
            {"name":"M","category":"C","fileContains":"x","wholeWords":1}])");
    QCOMPARE(document.rules.size(), 1);
    QCOMPARE(document.wrongTypes, 1);
}

void TestRules::laterConditionsRoundTripAndStayWithinLimits()
{
    Rule r;
    r.id = QStringLiteral("rule-12345678");
    r.name = QStringLiteral("Heading");
    r.category = QStringLiteral("01_Solicitation");
    r.titleContains = QStringLiteral("request for");
    r.textAnyOf = {QStringLiteral("a"), QStringLiteral(" b ")};
    r.textNoneOf = {QStringLiteral("c")};
    r.fileAnyOf = {QStringLiteral("rfq")};
    r.wholeWords = true;
    const QJsonObject o = ruleToJson(r);
    QVERIFY(o.contains(QStringLiteral("titleContains")));
    QVERIFY(o.value(QStringLiteral("textAnyOf")).isArray());
    QVERIFY(!o.contains(QStringLiteral("textAllOf"))); // unset conditions are not written
    QVERIFY(!o.contains(QStringLiteral("fileNoneOf")));
    QCOMPARE(o.value(QStringLiteral("wholeWords")), QJsonValue(true));
    QCOMPARE(readRulesDocument(rulesDocument({r})), QList<Rule>{r});

    Rule tooMany = r;
    for (int i = 0; i <= int(maxRuleTerms); ++i)
        tooMany.textAllOf.append(QStringLiteral("t"));
    QVERIFY(!withinTextLimit(tooMany));
    Rule tooLong = r;
    tooLong.fileNoneOf = {QString(maxRuleTextChars + 1, u'x')};
    QVERIFY(!withinTextLimit(tooLong));
    QCOMPARE(readRulesWithinLimits(rulesDocument({tooLong, r})).refusedTooLong, 1);
}

// rules-earlier-version.json holds the nine built-in rules as the version before the later
// conditions wrote them.
void TestRules::anEarlierRulesFileLoadsAndSavesUnchanged()
{
    QFile file(QStringLiteral(TESSAVO_CORE_TEST_DATA "/rules-earlier-version.json"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray earlier = file.readAll();
    const RulesReading reading = readRulesWithinLimits(earlier);
    QCOMPARE(reading.wrongTypes, 0);
    QCOMPARE(reading.rules.size(), 9);

    const QStringList conditions = {"text:request for proposals",
                                    "text:bid bond",
                                    "text:MWBE",
                                    "text:form 3a",
                                    "text:pricing schedule",
                                    "text:technical approach",
                                    "file:reference",
                                    "text:certificate of insurance",
                                    "file:appendix"};
    for (int i = 0; i < 9; ++i) {
        const Rule& rule = reading.rules.at(i);
        QCOMPARE(rule.id, QStringLiteral("rule-0000000%1").arg(i + 1));
        QCOMPARE(rule.fileContains.isEmpty() ? "text:" + rule.textContains
                                             : "file:" + rule.fileContains,
                 conditions.at(i));
        QVERIFY(rule.titleContains.isEmpty() && rule.textAnyOf.isEmpty() &&
                rule.textAllOf.isEmpty() && rule.textNoneOf.isEmpty() && rule.fileAnyOf.isEmpty() &&
                rule.fileNoneOf.isEmpty() && !rule.wholeWords);
    }
    QCOMPARE(reading.rules.at(2).priority, 25);
    QCOMPARE(reading.rules.at(8).category, QStringLiteral("07_Appendices"));
    // Saved again, the file is byte for byte what the earlier version wrote.
    QCOMPARE(rulesDocument(reading.rules), earlier);
}

QTEST_APPLESS_MAIN(TestRules)
#include "tst_rules.moc"
