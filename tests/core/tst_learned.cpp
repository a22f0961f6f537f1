#include "core/LearnedModel.h"

#include "support/CorpusTexts.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace Tessavo;

namespace {

using CorpusDocument = CorpusTexts::Document;

QList<CorpusDocument> corpus()
{
    return CorpusTexts::all();
}

CorpusDocument document(const QString& id)
{
    return CorpusTexts::byId(id);
}

LearnedModel trainingModel(bool reversed = false)
{
    QList<CorpusDocument> training;
    for (const CorpusDocument& d : corpus()) {
        if (d.training)
            training.append(d);
    }
    if (reversed)
        std::reverse(training.begin(), training.end());
    LearnedModel model;
    for (const CorpusDocument& d : std::as_const(training))
        model.learn(d.record, d.category);
    return model;
}

} // namespace

class TestLearned : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void learnsCategoriesFromFiledDocuments();
    void sameHistoryGivesTheSameSuggestionsWhateverTheOrder();
    void fewOrAmbiguousExamplesAreTentative();
    void refilingReplacesAndForgettingRemoves();
    void aCopyOutlivesItsOriginal();
    void explanationNamesCountExampleAndSharedTerms();
    void storedFormRoundTrips();
    void damagedOrHostileStoredFormsAreRefused_data();
    void damagedOrHostileStoredFormsAreRefused();
    void everyTruncationIsRefused();
};

void TestLearned::initTestCase()
{
    QCOMPARE(corpus().size(), 61);
}

void TestLearned::learnsCategoriesFromFiledDocuments()
{
    const LearnedModel model = trainingModel();
    QCOMPARE(model.size(), 33);
    // Held-out documents: an agreement and a bond form.
    for (const QString& id : {QStringLiteral("g07"), QStringLiteral("p07")}) {
        const CorpusDocument d = document(id);
        const LearnedSuggestion s = model.suggest(d.record);
        QCOMPARE(s.category, d.category);
        QVERIFY(s.support >= 2);
        QVERIFY(!s.sharedTerms.isEmpty());
    }
    QVERIFY(LearnedModel().suggest(document(QStringLiteral("g07")).record).isEmpty());
}

void TestLearned::sameHistoryGivesTheSameSuggestionsWhateverTheOrder()
{
    const LearnedModel forward = trainingModel();
    const LearnedModel backward = trainingModel(true);
    QCOMPARE(forward.toBytes(), backward.toBytes());
    for (const CorpusDocument& d : corpus()) {
        if (d.training)
            continue;
        const LearnedSuggestion a = forward.suggest(d.record);
        const LearnedSuggestion b = backward.suggest(d.record);
        QCOMPARE(a.category, b.category);
        QCOMPARE(a.clear, b.clear);
        QCOMPARE(a.score, b.score);
        QCOMPARE(a.exampleFile, b.exampleFile);
        QCOMPARE(a.sharedTerms, b.sharedTerms);
    }
}

void TestLearned::fewOrAmbiguousExamplesAreTentative()
{
    // One filed document per category: never enough to be sure.
    LearnedModel model;
    for (const QString& id : {QStringLiteral("g06"), QStringLiteral("p09"), QStringLiteral("g01")})
        model.learn(document(id).record, document(id).category);
    const CorpusDocument nda = document(QStringLiteral("g07"));
    const LearnedSuggestion single = model.suggest(nda.record);
    QCOMPARE(single.category, nda.category);
    QCOMPARE(single.support, 1);
    QVERIFY(!single.clear);

    // The same text filed under two categories: as close to one as to the other.
    LearnedModel split;
    const CorpusDocument a = document(QStringLiteral("g06"));
    const CorpusDocument b = document(QStringLiteral("g08"));
    split.learn(a.record, QStringLiteral("02_Forms"));
    split.learn(b.record, QStringLiteral("02_Forms"));
    DocumentRecord copy = a.record;
    copy.sha256 = "copy-a";
    split.learn(copy, QStringLiteral("08_Other"));
    copy = b.record;
    copy.sha256 = "copy-b";
    split.learn(copy, QStringLiteral("08_Other"));
    const LearnedSuggestion tie = split.suggest(nda.record);
    QCOMPARE(tie.category, QStringLiteral("02_Forms")); // the earlier category wins a tie
    QVERIFY(!tie.clear);
}

void TestLearned::refilingReplacesAndForgettingRemoves()
{
    LearnedModel model = trainingModel();
    const CorpusDocument nda = document(QStringLiteral("g06"));
    model.learn(nda.record, QStringLiteral("08_Other"));
    QCOMPARE(model.size(), 33);
    const auto examples = model.examples();
    const auto it = std::find_if(examples.cbegin(), examples.cend(), [](const LearnedExample& e) {
        return e.key == learnedKey(document(QStringLiteral("g06")).record);
    });
    QVERIFY(it != examples.cend());
    QCOMPARE(it->category, QStringLiteral("08_Other"));
    model.forget(learnedKey(nda.record));
    QCOMPARE(model.size(), 32);
    model.clear();
    QVERIFY(model.suggest(nda.record).isEmpty());
}

void TestLearned::aCopyOutlivesItsOriginal()
{
    const DocumentRecord nda = document(QStringLiteral("g07")).record;
    auto original = std::make_unique<LearnedModel>(trainingModel());
    const LearnedSuggestion before = original->suggest(nda);
    LearnedModel copy = *original;
    copy.forget(QStringLiteral("no such document"));
    original->learn(document(QStringLiteral("g02")).record, QStringLiteral("01_Solicitation"));
    original.reset();
    const LearnedSuggestion after = copy.suggest(nda);
    QCOMPARE(after.category, before.category);
    QCOMPARE(after.exampleFile, before.exampleFile);
    QCOMPARE(after.sharedTerms, before.sharedTerms);
}

void TestLearned::explanationNamesCountExampleAndSharedTerms()
{
    LearnedSuggestion s;
    s.category = QStringLiteral("03_Pricing");
    s.support = 6;
    s.exampleFile = QStringLiteral("Appendix H Financial Proposal.pdf");
    s.sharedTerms = {QStringLiteral("financial proposal"), QStringLiteral("schedule")};
    QCOMPARE(learnedExplanation(s),
             QStringLiteral("learned from 6 filed documents, e.g. \"Appendix H Financial "
                            "Proposal.pdf\" (03_Pricing): shares \"financial proposal\", "
                            "\"schedule\""));
    s.support = 1;
    s.sharedTerms.clear();
    QCOMPARE(learnedExplanation(s),
             QStringLiteral("learned from 1 filed document, e.g. \"Appendix H Financial "
                            "Proposal.pdf\" (03_Pricing)"));
    QCOMPARE(learnedExplanation({}), QString());

    // A real one quotes a filed document of the suggested category.
    const LearnedSuggestion real = trainingModel().suggest(document(QStringLiteral("g07")).record);
    const QString text = learnedExplanation(real);
    QVERIFY2(text.startsWith(QStringLiteral("learned from 3 filed documents, e.g. \"")),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("(02_Forms): shares \"")), qPrintable(text));
}

void TestLearned::storedFormRoundTrips()
{
    const LearnedModel model = trainingModel();
    const QByteArray bytes = model.toBytes();
    const LearnedModelRead read = LearnedModel::fromBytes(bytes);
    QVERIFY2(read.ok, qPrintable(read.error));
    QCOMPARE(read.examples, model.examples());
    LearnedModel restored;
    for (const LearnedExample& e : read.examples)
        restored.add(e);
    QCOMPARE(restored.toBytes(), bytes);
    for (const CorpusDocument& d : corpus()) {
        const LearnedSuggestion a = model.suggest(d.record);
        const LearnedSuggestion b = restored.suggest(d.record);
        QCOMPARE(b.category, a.category);
        QCOMPARE(b.score, a.score);
        QCOMPARE(b.sharedTerms, a.sharedTerms);
    }
    // Compact: a filed document takes a few kilobytes at most.
    QVERIFY(bytes.size() < model.size() * 8192);
}

void TestLearned::damagedOrHostileStoredFormsAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const auto example = [](const QJsonValue& terms, const QJsonValue& counts) {
        const QJsonObject e{{QStringLiteral("key"), QStringLiteral("k")},
                            {QStringLiteral("file"), QStringLiteral("a.pdf")},
                            {QStringLiteral("category"), QStringLiteral("02_Forms")},
                            {QStringLiteral("terms"), terms},
                            {QStringLiteral("counts"), counts}};
        return QJsonDocument(QJsonObject{{QStringLiteral("version"), 1},
                                         {QStringLiteral("examples"), QJsonArray{e}}})
            .toJson(QJsonDocument::Compact);
    };
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not json") << QByteArray("\x00\xff garbage", 10);
    QTest::newRow("array") << QByteArray("[1,2,3]");
    QTest::newRow("future version") << QByteArray(R"({"version":2,"examples":[]})");
    QTest::newRow("no examples") << QByteArray(R"({"version":1})");
    QTest::newRow("huge count") << example(QJsonArray{QStringLiteral("bond")}, QJsonArray{1e300});
    QTest::newRow("negative count") << example(QJsonArray{QStringLiteral("bond")}, QJsonArray{-5});
    QTest::newRow("fractional count")
        << example(QJsonArray{QStringLiteral("bond")}, QJsonArray{2.5});
    QTest::newRow("counts missing") << example(QJsonArray{QStringLiteral("bond")}, QJsonArray{});
    QTest::newRow("term not text") << example(QJsonArray{7}, QJsonArray{1});
    QTest::newRow("repeated term")
        << example(QJsonArray{QStringLiteral("bond"), QStringLiteral("bond")}, QJsonArray{1, 2});
    QJsonArray manyTerms;
    QJsonArray manyCounts;
    for (int i = 0; i <= maxTermsPerDocument; ++i) {
        manyTerms.append(QStringLiteral("t%1").arg(i));
        manyCounts.append(1);
    }
    QTest::newRow("too many terms") << example(manyTerms, manyCounts);
    QTest::newRow("long term") << example(QJsonArray{QString(500, u'x')}, QJsonArray{1});
    QTest::newRow("too large") << QByteArray(maxLearnedBytes + 1, ' ');
    QTest::newRow("deep nesting") << QByteArray(100000, '[');
}

void TestLearned::damagedOrHostileStoredFormsAreRefused()
{
    QFETCH(QByteArray, bytes);
    const LearnedModelRead read = LearnedModel::fromBytes(bytes);
    QVERIFY(!read.ok);
    QVERIFY(!read.error.isEmpty());
    QVERIFY(read.examples.isEmpty());
}

void TestLearned::everyTruncationIsRefused()
{
    LearnedModel model;
    for (const QString& id : {QStringLiteral("g06"), QStringLiteral("p09")})
        model.learn(document(id).record, document(id).category);
    const QByteArray bytes = model.toBytes();
    QVERIFY(LearnedModel::fromBytes(bytes).ok);
    for (qsizetype n = 0; n < bytes.size(); n += 7)
        QVERIFY(!LearnedModel::fromBytes(bytes.left(n)).ok);
}

QTEST_GUILESS_MAIN(TestLearned)
#include "tst_learned.moc"
