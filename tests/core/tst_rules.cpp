#include "core/Rule.h"
#include "core/RulesFile.h"

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
    QCOMPARE(rules[6].fileContains, QStringLiteral("reference"));
    QCOMPARE(rules[8].fileContains, QStringLiteral("appendix"));
    QCOMPARE(rules[2].textContains, QStringLiteral("MWBE"));
    QCOMPARE(rules[2].priority, 25);

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

QTEST_APPLESS_MAIN(TestRules)
#include "tst_rules.moc"
