#include "core/Classification.h"

#include <QElapsedTimer>
#include <QTest>

using namespace Tessavo;

namespace {

Rule textRule(const QString& name, const QString& category, int priority, const QString& text)
{
    Rule r;
    r.id = QStringLiteral("id-") + name;
    r.name = name;
    r.category = category;
    r.priority = priority;
    r.textContains = text;
    return r;
}

DocumentRecord document(const QString& fileName, const QStringList& pages, qint64 size = 1000)
{
    DocumentRecord r;
    r.fileName = fileName;
    r.sizeBytes = size;
    r.pages = int(pages.size());
    r.state = Ready;
    for (int i = 0; i < pages.size(); ++i)
        r.pageTexts.append({i, int(pages[i].size()), pages[i]});
    return r;
}

} // namespace

class TestClassification : public QObject {
    Q_OBJECT

private slots:
    void evidenceListsEveryConditionInOrder();
    void firstFailingConditionEndsTheMatch();
    void textSearchFindsTheFirstPageIgnoringCase();
    void textSearchAgreesWithQtCaseInsensitivity();
    void failedDocumentsMatchOnlyWhatTheyHave();
    void noEnabledRuleGivesAnEmptySuggestion();
    void sameCategoryIsNoConflict();
    void differentCategoriesConflict();
    void tiesAreBrokenByNameThenListOrder();
    void aNewSuggestionReplacesTheOldAsAWhole();
    void manyConflictingRulesGiveABoundedNote();
};

void TestClassification::evidenceListsEveryConditionInOrder()
{
    Rule r;
    r.fileContains = QStringLiteral("bond");
    r.minPages = 2;
    r.maxBytes = 1048576;
    RuleEvaluation e = matchRule(r, document("Bid BOND.pdf", {"a", "b"}));
    QVERIFY(e.matched);
    QCOMPARE(e.evidence, QStringLiteral("file name contains \"bond\"; pages >= 2; size <= 1.0 MB"));
    QCOMPARE(e.page, -1);

    Rule all;
    all.fileContains = QStringLiteral(".pdf");
    all.textContains = QStringLiteral("Bid Bond");
    all.minPages = 1;
    all.maxPages = 5;
    all.minBytes = 1536;
    all.maxBytes = 500;
    e = matchRule(all, document("x.pdf", {"nothing", "the bid bond"}, 1000));
    QVERIFY(!e.matched); // 1000 bytes is below 1.5 KB
    all.minBytes = 500;
    all.maxBytes = 1536;
    e = matchRule(all, document("x.pdf", {"nothing", "the bid bond"}, 1000));
    QVERIFY(e.matched);
    QCOMPARE(e.evidence,
             QStringLiteral("file name contains \".pdf\"; text contains \"Bid Bond\" on "
                            "page 2; pages >= 1; pages <= 5; size >= 500 B; "
                            "size <= 1.5 KB"));
    QCOMPARE(e.page, 1);
}

void TestClassification::firstFailingConditionEndsTheMatch()
{
    Rule r;
    r.fileContains = QStringLiteral("offer");
    r.maxPages = 1;
    QVERIFY(!matchRule(r, document("offer.pdf", {"a", "b"})).matched);
    QVERIFY(!matchRule(r, document("other.pdf", {"a"})).matched);
    QVERIFY(matchRule(r, document("OFFER.pdf", {"a"})).matched);
    QVERIFY(!matchRule(Rule(), document("offer.pdf", {"a"})).matched); // no condition set
}

void TestClassification::textSearchFindsTheFirstPageIgnoringCase()
{
    const DocumentRecord doc = document("a.pdf", {"one", "two", "x MwBe y", "four", "mwbe"});
    RuleEvaluation e = matchRule(textRule("M", "02_Forms", 1, "MWBE"), doc);
    QVERIFY(e.matched);
    QCOMPARE(e.page, 2);
    QCOMPARE(e.evidence, QStringLiteral("text contains \"MWBE\" on page 3"));

    // Blanks around the text are part of what is searched.
    QVERIFY(
        !matchRule(textRule("P", "C", 1, " bid bond "), document("a.pdf", {"bid bond."})).matched);
    QVERIFY(matchRule(textRule("P", "C", 1, " bid bond "), document("a.pdf", {"a bid bond ."}))
                .matched);
    // Non-ASCII letters fold too.
    QVERIFY(matchRule(textRule("U", "C", 1, "ÜBERSICHT"), document("a.pdf", {"die übersicht"}))
                .matched);
}

void TestClassification::textSearchAgreesWithQtCaseInsensitivity()
{
    const QStringList texts = {
        QStringLiteral("Straße und STRASSE"),
        QStringLiteral("ΣΟΦΙΑ σοφια σοφιας"),
        QStringLiteral("İstanbul ıI"),
        QStringLiteral("𐐀𐐨 deseret"),
        QStringLiteral("Ǆ ǅ ǆ"),
        QStringLiteral("plain ascii BID BOND"),
    };
    const QStringList needles = {
        QStringLiteral("strasse"),  QStringLiteral("STRASSE"), QStringLiteral("straße"),
        QStringLiteral("σοφιας"),   QStringLiteral("ΣΟΦΙΑΣ"),  QStringLiteral("istanbul"),
        QStringLiteral("𐐨𐐨"),       QStringLiteral("𐐀𐐀"),      QStringLiteral("ǅ"),
        QStringLiteral("bid bond"), QStringLiteral("ı"),       QStringLiteral("i̇"),
    };
    for (const QString& text : texts) {
        for (const QString& needle : needles) {
            const bool expected = text.contains(needle, Qt::CaseInsensitive);
            const bool actual =
                matchRule(textRule("R", "C", 1, needle), document("a.pdf", {text})).matched;
            QVERIFY2(actual == expected, qPrintable(needle + QStringLiteral(" in ") + text));
        }
    }
}

void TestClassification::failedDocumentsMatchOnlyWhatTheyHave()
{
    DocumentRecord broken;
    broken.fileName = QStringLiteral("appendix-b.pdf");
    broken.sizeBytes = 4096;
    broken.state = Encrypted;

    QVERIFY(!matchRule(textRule("T", "C", 1, "a"), broken).matched);
    Rule minPages;
    minPages.minPages = 1;
    QVERIFY(!matchRule(minPages, broken).matched);
    Rule maxPages;
    maxPages.maxPages = 3;
    QVERIFY(matchRule(maxPages, broken).matched);
    Rule size;
    size.minBytes = 4096;
    QVERIFY(matchRule(size, broken).matched);

    const Suggestion s = classify(defaultRules(), broken);
    QCOMPARE(s.category, QStringLiteral("07_Appendices"));
    QCOMPARE(s.evidence, QStringLiteral("file name contains \"appendix\""));
}

void TestClassification::noEnabledRuleGivesAnEmptySuggestion()
{
    QList<Rule> rules = {textRule("A", "02_Forms", 1, "bond")};
    rules[0].enabled = false;
    rules.append(Rule()); // no conditions: never evaluated
    rules.last().name = QStringLiteral("empty");
    rules.last().category = QStringLiteral("03_Pricing");
    const Suggestion s = classify(rules, document("bond.pdf", {"bond"}));
    QCOMPARE(s, Suggestion());
    QCOMPARE(s.evidencePage, -1);
}

void TestClassification::sameCategoryIsNoConflict()
{
    const DocumentRecord doc = document("form.pdf", {"intro", "MWBE and bid bond forms"});
    const Suggestion s = classify(defaultRules(), doc);
    QCOMPARE(s.category, QStringLiteral("02_Forms"));
    QCOMPARE(s.ruleName, QStringLiteral("Bid bond"));
    QCOMPARE(s.evidence, QStringLiteral("text contains \"bid bond\" on page 2"));
    QCOMPARE(s.evidencePage, 1);
    QVERIFY(!s.conflict);
    QVERIFY(s.conflictNote.isEmpty());
    QCOMPARE(s.matches.size(), 2);
    QCOMPARE(s.matches[1].ruleName, QStringLiteral("MWBE forms"));
    QCOMPARE(s.matches[1].page, 1);
}

void TestClassification::differentCategoriesConflict()
{
    const DocumentRecord doc =
        document("x.pdf", {"Pricing Schedule", "bid bond", "see the MWBE plan"});
    const Suggestion s = classify(defaultRules(), doc);
    QCOMPARE(s.ruleName, QStringLiteral("Bid bond"));
    QVERIFY(s.conflict);
    QCOMPARE(s.conflictNote,
             QStringLiteral("Conflicting categories: 02_Forms (Bid bond), "
                            "02_Forms (MWBE forms), 03_Pricing (Pricing schedule)"));
    QCOMPARE(s.matches.size(), 3);
    QCOMPARE(s.matches[2].evidence, QStringLiteral("text contains \"pricing schedule\" on page 1"));

    // Categories are compared exactly.
    const QList<Rule> caseRules = {textRule("a", "02_Forms", 1, "x"),
                                   textRule("b", "02_forms", 2, "x")};
    QVERIFY(classify(caseRules, document("a.pdf", {"x"})).conflict);
}

void TestClassification::tiesAreBrokenByNameThenListOrder()
{
    const DocumentRecord doc = document("a.pdf", {"x"});
    QList<Rule> rules = {textRule("beta", "B", 5, "x"), textRule("Alpha", "A", 5, "x")};
    QCOMPARE(classify(rules, doc).ruleName, QStringLiteral("Alpha"));

    rules = {textRule("Same", "First", 5, "x"), textRule("same", "Second", 5, "x")};
    const Suggestion s = classify(rules, doc);
    QCOMPARE(s.category, QStringLiteral("First"));
    QCOMPARE(s.conflictNote, QStringLiteral("Conflicting categories: First (Same), Second (same)"));

    rules = {textRule("late", "L", 40, "x"), textRule("early", "E", 20, "x")};
    QCOMPARE(classify(rules, doc).ruleName, QStringLiteral("early"));
}

void TestClassification::aNewSuggestionReplacesTheOldAsAWhole()
{
    DocumentRecord doc = document("a.pdf", {"bid bond", "pricing schedule"});
    doc.decision = Changed;
    doc.finalCategory = QStringLiteral("07_Other");
    setSuggestion(doc, classify(defaultRules(), doc));
    QCOMPARE(doc.suggestion.category, QStringLiteral("02_Forms"));
    QCOMPARE(doc.suggestion.ruleId, doc.suggestion.matches.first().ruleId);
    QCOMPARE(doc.suggestion.ruleName, QStringLiteral("Bid bond"));
    QVERIFY(doc.suggestion.conflict);
    QCOMPARE(doc.finalCategory, QStringLiteral("07_Other")); // the reviewer's own choice stays

    setSuggestion(doc, Suggestion());
    QCOMPARE(doc.suggestion, Suggestion());
    QCOMPARE(doc.decision, int(Changed));
    QCOMPARE(doc.finalCategory, QStringLiteral("07_Other"));

    // An accepted record keeps the category it accepted; only the suggestion moves on.
    setSuggestion(doc, classify(defaultRules(), doc));
    QVERIFY(acceptSuggestion(doc));
    doc.pageTexts[0].text = QStringLiteral("certificate of insurance");
    doc.pageTexts[1].text.clear();
    setSuggestion(doc, classify(defaultRules(), doc));
    QCOMPARE(doc.decision, int(Accepted));
    QCOMPARE(doc.suggestion.category, QStringLiteral("06_Insurance"));
    QCOMPARE(doc.finalCategory, QStringLiteral("02_Forms"));
}

void TestClassification::manyConflictingRulesGiveABoundedNote()
{
    // Thousands of rules that all match, each with a category of its own, and one with a name of
    // a megabyte: every match is listed, the note stays short and says how many it leaves out.
    QList<Rule> rules;
    for (int i = 0; i < 20000; ++i)
        rules.append(textRule(QStringLiteral("r%1").arg(i, 5, 10, QLatin1Char('0')),
                              QStringLiteral("c%1").arg(i), 5, QStringLiteral("x")));
    rules[0].name = QString(1 << 20, u'n');
    QElapsedTimer clock;
    clock.start();
    const Suggestion s = classify(rules, document("a.pdf", {"x"}));
    const qint64 elapsedMs = clock.elapsed();
    QCOMPARE(s.matches.size(), 20000);
    QVERIFY(s.conflict);
    QVERIFY(s.conflictNote.size() < maxConflictNoteChars + 100);
    QVERIFY(s.conflictNote.startsWith(QStringLiteral("Conflicting categories: c0 (nnnn")));
    QVERIFY(s.conflictNote.endsWith(QStringLiteral(" and 19999 more")));
    // Quadratic work over 20,000 distinct categories took seconds; linear work takes a fraction.
    QVERIFY2(elapsedMs < 3000, qPrintable(QString::number(elapsedMs)));
}

QTEST_APPLESS_MAIN(TestClassification)
#include "tst_classification.moc"
