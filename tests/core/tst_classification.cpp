#include "core/Classification.h"

#include "core/RulesFile.h"

#include <QFile>
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

Rule conditionRule(const QString& name = QStringLiteral("Rule"))
{
    Rule r;
    r.id = QStringLiteral("id-") + name;
    r.name = name;
    r.category = QStringLiteral("01_Solicitation");
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

    void headingIsTheTitleAndTheFirstLines();
    void lineBrokenPhrasesMatchEveryTextCondition();
    void wholeWordsSkipLongerWords();
    void allOfFindsTermsAcrossPages();
    void anyOfAndNoneOfOnTextAndFileName();
    void anEarlierRulesFileClassifiesAsBefore();
    void builtInRulesAvoidKnownMistakes();
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
    QVERIFY2(s.evidence.startsWith(QStringLiteral("file name contains \"appendix\"; text contains "
                                                  "none of \"price proposal\"")),
             qPrintable(s.evidence));
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
    QCOMPARE(s.evidence, QStringLiteral("text contains \"bid bond\" on page 2; text contains none "
                                        "of \"addendum\", \"amendment\""));
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
    // Quadratic work over 20,000 distinct categories took seconds; linear work takes a fraction
    // (the test's time limit catches the difference).
    const Suggestion s = classify(rules, document("a.pdf", {"x"}));
    QCOMPARE(s.matches.size(), 20000);
    QVERIFY(s.conflict);
    QVERIFY(s.conflictNote.size() < maxConflictNoteChars + 100);
    QVERIFY(s.conflictNote.startsWith(QStringLiteral("Conflicting categories: c0 (nnnn")));
    QVERIFY(s.conflictNote.endsWith(QStringLiteral(" and 19999 more")));
}

void TestClassification::headingIsTheTitleAndTheFirstLines()
{
    Rule rule = conditionRule();
    rule.titleContains = QStringLiteral("Request for Quotation");

    DocumentRecord titled = document(QStringLiteral("a.pdf"), {QStringLiteral("Cover")});
    titled.title = QStringLiteral("RFQ 12 - REQUEST FOR QUOTATION");
    RuleEvaluation e = matchRule(rule, titled);
    QVERIFY(e.matched);
    QCOMPARE(e.evidence,
             QStringLiteral("heading contains \"Request for Quotation\" in the PDF title"));
    QCOMPARE(e.page, -1);

    // No title: the first three non-empty lines of the first page with text, where a phrase
    // may run from one line into the next.
    const DocumentRecord lines =
        document(QStringLiteral("b.pdf"),
                 {QStringLiteral(" \r\n\r\n"),
                  QStringLiteral("\r\n  General Services Administration\r\n\r\nRequest for\r\n"
                                 "Quotation (RFQ)\r\nBody")});
    e = matchRule(rule, lines);
    QVERIFY(e.matched);
    QCOMPARE(e.evidence, QStringLiteral("heading contains \"Request for Quotation\" on page 2"));
    QCOMPARE(e.page, 1);
    QCOMPARE(classify({rule}, lines).evidencePage, 1);

    // A fourth line, a later page or the body is no heading: a proposal that quotes the request
    // is not one.
    const DocumentRecord quoting = document(
        QStringLiteral("c.pdf"),
        {QStringLiteral("Technical Proposal\nAcme Inc.\nVolume I\nIn response to the Request "
                        "for Quotation"),
         QStringLiteral("Request for Quotation")});
    QVERIFY(!matchRule(rule, quoting).matched);
    QVERIFY(!matchRule(rule, document(QStringLiteral("d.pdf"), {})).matched);
}

void TestClassification::lineBrokenPhrasesMatchEveryTextCondition()
{
    const DocumentRecord broken = document(
        QStringLiteral("Bid  Bond.pdf"),
        {QStringLiteral("Intro"),
         QStringLiteral("This Request for\r\n   Proposals invites\tsealed bids and a bid\u00a0\r\n"
                        "bond.")});
    // The condition as an earlier rules file holds it.
    const Rule old = textRule(QStringLiteral("Old"), QStringLiteral("01_Solicitation"), 10,
                              QStringLiteral("request for proposals"));
    RuleEvaluation e = matchRule(old, broken);
    QVERIFY(e.matched);
    QCOMPARE(e.page, 1);

    Rule runs = conditionRule();
    runs.textContains = QStringLiteral("sealed  bids\nand");
    runs.fileContains = QStringLiteral("bid bond");
    e = matchRule(runs, broken);
    QVERIFY(e.matched);
    QCOMPARE(e.evidence, QStringLiteral("file name contains \"bid bond\"; text contains "
                                        "\"sealed  bids\nand\" on page 2"));

    Rule all = conditionRule();
    all.textAllOf = {QStringLiteral("bid bond.")};
    QVERIFY(matchRule(all, broken).matched);
    // Folding joins runs; it does not invent a space where there is none.
    all.textAllOf = {QStringLiteral("requestfor")};
    QVERIFY(!matchRule(all, broken).matched);
}

void TestClassification::wholeWordsSkipLongerWords()
{
    const DocumentRecord doc =
        document(QStringLiteral("x.pdf"),
                 {QStringLiteral("Formal notice; information"),
                  QStringLiteral("Complete the form 3A below (form 7; form_b is gone).")});
    Rule rule = conditionRule();
    rule.textContains = QStringLiteral("form");
    QCOMPARE(matchRule(rule, doc).page, 0); // a substring: "Formal"
    rule.wholeWords = true;
    RuleEvaluation e = matchRule(rule, doc);
    QVERIFY(e.matched);
    QCOMPARE(e.page, 1);
    QCOMPARE(e.evidence, QStringLiteral("text contains \"form\" on page 2"));

    rule.textContains = QStringLiteral("form 3");
    QVERIFY(!matchRule(rule, doc).matched); // "3A" goes on
    rule.textContains = QStringLiteral("form_");
    QVERIFY(!matchRule(rule, doc).matched); // an underscore belongs to the word
    rule.textContains = QStringLiteral("(form");
    QVERIFY(matchRule(rule, doc).matched); // a bracket at the edge needs no boundary

    Rule file = conditionRule();
    file.fileAnyOf = {QStringLiteral("x")};
    file.wholeWords = true;
    QVERIFY(matchRule(file, doc).matched); // "x.pdf": the dot ends the word
    file.fileAnyOf = {QStringLiteral("pd")};
    QVERIFY(!matchRule(file, doc).matched);
}

void TestClassification::allOfFindsTermsAcrossPages()
{
    const DocumentRecord doc =
        document(QStringLiteral("bond.pdf"),
                 {QStringLiteral("The Surety named below"), QStringLiteral("Terms"),
                  QStringLiteral("This BID BOND is void if the bidder signs the contract.")});
    Rule rule = conditionRule();
    rule.category = QStringLiteral("02_Forms");
    rule.textAllOf = {QStringLiteral("bid bond"), QStringLiteral(" "), QStringLiteral("surety")};
    const Suggestion s = classify({rule}, doc);
    QCOMPARE(s.category, QStringLiteral("02_Forms"));
    QCOMPARE(s.evidence, QStringLiteral("text contains all of \"bid bond\" on page 3, "
                                        "\"surety\" on page 1"));
    QCOMPARE(s.evidencePage, 2);

    rule.textAllOf.append(QStringLiteral("penal sum"));
    QVERIFY(classify({rule}, doc).isEmpty());
}

void TestClassification::anyOfAndNoneOfOnTextAndFileName()
{
    const DocumentRecord proposal = document(
        QStringLiteral("Appendix H Financial Proposal.pdf"),
        {QStringLiteral("Cover"), QStringLiteral("Our response to the request for quotation"),
         QStringLiteral("Price schedule")});
    Rule rule = conditionRule(QStringLiteral("Solicitation"));
    rule.textAnyOf = {QStringLiteral("invitation to bid"), QStringLiteral("request for quotation"),
                      QStringLiteral("cover")};
    RuleEvaluation e = matchRule(rule, proposal);
    QVERIFY(e.matched); // the first page that holds any term, whichever term it is
    QCOMPARE(e.evidence, QStringLiteral("text contains \"cover\" on page 1"));
    QCOMPARE(e.page, 0);

    rule.textNoneOf = {QStringLiteral("our response"), QStringLiteral("proposal")};
    QVERIFY(!matchRule(rule, proposal).matched);
    rule.textNoneOf = {QStringLiteral("invoice"), QStringLiteral("  ")};
    e = matchRule(rule, proposal);
    QVERIFY(e.matched);
    QCOMPARE(e.evidence, QStringLiteral("text contains \"cover\" on page 1; text contains none "
                                        "of \"invoice\""));

    Rule appendix = conditionRule(QStringLiteral("Appendix"));
    appendix.category = QStringLiteral("07_Appendices");
    appendix.fileAnyOf = {QStringLiteral("attachment"), QStringLiteral("APPENDIX")};
    appendix.fileNoneOf = {QStringLiteral("price"), QStringLiteral("financial")};
    QVERIFY(!matchRule(appendix, proposal).matched);
    appendix.fileNoneOf = {QStringLiteral("price")};
    e = matchRule(appendix, proposal);
    QCOMPARE(e.evidence, QStringLiteral("file name contains \"APPENDIX\"; file name contains "
                                        "none of \"price\""));
    QCOMPARE(e.page, -1);

    // A none-of condition alone is a condition too.
    Rule none = conditionRule(QStringLiteral("None"));
    none.textNoneOf = {QStringLiteral("bid bond")};
    QVERIFY(matchRule(none, proposal).matched);
    QVERIFY(
        !matchRule(none, document(QStringLiteral("b.pdf"), {QStringLiteral("Bid Bond")})).matched);
}

// The nine built-in rules as the version before the later conditions saved them classify as they
// did then, evidence included.
void TestClassification::anEarlierRulesFileClassifiesAsBefore()
{
    QFile file(QStringLiteral(TESSAVO_CORE_TEST_DATA "/rules-earlier-version.json"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<Rule> rules = readRulesDocument(file.readAll());
    QCOMPARE(rules.size(), 9);

    Suggestion s = classify(rules, document(QStringLiteral("Appendix H Financial Proposal.pdf"),
                                            {QStringLiteral("Pricing Schedule")}));
    QCOMPARE(s.category, QStringLiteral("03_Pricing"));
    QVERIFY(s.conflict);
    QCOMPARE(s.conflictNote,
             QStringLiteral("Conflicting categories: 03_Pricing (Pricing schedule), "
                            "07_Appendices (Appendix)"));

    s = classify(rules, document(QStringLiteral("forms.pdf"),
                                 {QStringLiteral("x"), QStringLiteral("MWBE and Bid Bond")}));
    QCOMPARE(s.ruleName, QStringLiteral("Bid bond"));
    QCOMPARE(s.evidence, QStringLiteral("text contains \"bid bond\" on page 2"));
    QCOMPARE(s.matches.size(), 2);
    QVERIFY(!s.conflict);

    // The singular is still not the plural; file names still see the extension.
    QVERIFY(classify(rules,
                     document(QStringLiteral("rfp.pdf"), {QStringLiteral("Request for Proposal")}))
                .isEmpty());
    s = classify(rules, document(QStringLiteral("Client References.pdf"), {}));
    QCOMPARE(s.evidence, QStringLiteral("file name contains \"reference\""));
    QCOMPARE(s.evidencePage, -1);
}

void TestClassification::builtInRulesAvoidKnownMistakes()
{
    const QList<Rule> rules = defaultRules();
    const auto suggest = [&rules](const QString& file, const QStringList& pages) {
        return classify(rules, document(file, pages));
    };

    // A price proposal saved as an appendix is priced, not appended.
    Suggestion s = suggest(QStringLiteral("Appendix H Financial Proposal.pdf"),
                           {QStringLiteral("COST PROPOSAL\nDirect labor, hours, rate")});
    QCOMPARE(s.category, QStringLiteral("03_Pricing"));
    QVERIFY(!s.conflict);

    // An addendum that adds a bid bond clause is still an addendum.
    s = suggest(QStringLiteral("Addendum 2.pdf"),
                {QStringLiteral("ADDENDUM NO. 2\nA bid bond of five percent is required.")});
    QCOMPARE(s.category, QStringLiteral("01_Solicitation"));
    QVERIFY(!s.conflict);

    // A request for quotation that asks for a pricing schedule later on.
    s = suggest(QStringLiteral("rfq.pdf"),
                {QStringLiteral("REQUEST FOR QUOTATION (RFQ)"), QStringLiteral("Terms"),
                 QStringLiteral("Submit a pricing schedule with your quote.")});
    QCOMPARE(s.category, QStringLiteral("01_Solicitation"));
    QCOMPARE(s.evidencePage, 0);

    // A proposal that quotes the request it answers, and a singular request for proposal.
    s = suggest(QStringLiteral("Volume I.pdf"),
                {QStringLiteral("In response to the Request for Quotation (RFQ) our team "
                                "proposes an iterative technical approach.")});
    QCOMPARE(s.category, QStringLiteral("04_Technical"));
    s = suggest(QStringLiteral("rfp.pdf"), {QStringLiteral("Request for Proposal (RFP) 24-17")});
    QCOMPARE(s.category, QStringLiteral("01_Solicitation"));

    // The plain texts that earlier rules knew still find their category.
    QCOMPARE(suggest(QStringLiteral("a.pdf"), {QStringLiteral("Bid Bond")}).ruleName,
             QStringLiteral("Bid bond"));
    QCOMPARE(suggest(QStringLiteral("a.pdf"), {QStringLiteral("Request for Proposals")}).category,
             QStringLiteral("01_Solicitation"));
    QCOMPARE(suggest(QStringLiteral("appendix-a.pdf"), {QStringLiteral("Drawings")}).category,
             QStringLiteral("07_Appendices"));
    QVERIFY(suggest(QStringLiteral("a.pdf"), {QStringLiteral("Formal notice")}).isEmpty());
}

QTEST_APPLESS_MAIN(TestClassification)
#include "tst_classification.moc"
