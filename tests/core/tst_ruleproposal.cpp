#include "core/Classification.h"
#include "core/RulePreview.h"
#include "core/RuleProposal.h"
#include "support/CorpusTexts.h"

#include <QTest>

#include <algorithm>

using namespace Tessavo;

// Rules proposed from a correction, and the preview of a rule before it is saved, on the corpus of
// published tender texts.
class TestRuleProposal : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void proposalsFileTheDocumentAndNoOtherCategory();
    void theSamePackageGivesTheSameProposal();
    void previewCountsMatchesAndNamesChangedSuggestions();

private:
    // The training half, each document filed by the user under its true category.
    QList<DocumentRecord> m_filed;
    QStringList m_categories;
};

void TestRuleProposal::initTestCase()
{
    for (const CorpusTexts::Document& d : CorpusTexts::half(true)) {
        DocumentRecord r = d.record;
        r.sourcePath = QStringLiteral("/package/") + d.fileName;
        r.decision = Changed;
        r.finalCategory = d.category;
        m_filed.append(r);
        m_categories.append(d.category);
    }
    QCOMPARE(m_filed.size(), 33);
}

void TestRuleProposal::proposalsFileTheDocumentAndNoOtherCategory()
{
    int proposed = 0;
    for (int i = 0; i < m_filed.size(); ++i) {
        const DocumentRecord& document = m_filed.at(i);
        const RuleProposal proposal = proposeRule(document, m_categories.at(i), m_filed);
        QCOMPARE(proposal.rule.category, m_categories.at(i));
        QVERIFY(proposal.rule.wholeWords);
        if (proposal.terms.isEmpty()) {
            QVERIFY(!hasConditions(proposal.rule)); // nothing to propose: the user writes it
            continue;
        }
        ++proposed;
        QVERIFY2(isValid(proposal.rule), qPrintable(document.fileName));
        QVERIFY2(matchRule(proposal.rule, document).matched, qPrintable(document.fileName));
        int same = 0;
        for (int j = 0; j < m_filed.size(); ++j) {
            if (!matchRule(proposal.rule, m_filed.at(j)).matched)
                continue;
            QVERIFY2(m_categories.at(j) == m_categories.at(i),
                     qPrintable(proposal.rule.name + " also files " + m_filed.at(j).fileName));
            ++same;
        }
        QCOMPARE(proposal.sameCategory, same);
        QVERIFY(proposal.rule.name.endsWith(QStringLiteral(": ") + proposal.terms.constFirst()));
    }
    // Published texts almost always carry a heading or name of their own.
    QVERIFY2(proposed * 10 >= m_filed.size() * 8, qPrintable(QString::number(proposed)));
}

void TestRuleProposal::theSamePackageGivesTheSameProposal()
{
    QList<DocumentRecord> reversed = m_filed;
    std::reverse(reversed.begin(), reversed.end());
    for (int i = 0; i < m_filed.size(); ++i) {
        const RuleProposal a = proposeRule(m_filed.at(i), m_categories.at(i), m_filed);
        const RuleProposal b = proposeRule(m_filed.at(i), m_categories.at(i), reversed);
        QCOMPARE(a.rule, b.rule);
        QCOMPARE(a.terms, b.terms);
    }
}

void TestRuleProposal::previewCountsMatchesAndNamesChangedSuggestions()
{
    const QList<Rule> rules = defaultRules();
    QList<DocumentRecord> list = m_filed;
    list[0].decision = NeedsReview; // one undecided document among decided ones
    for (int i = 0; i < m_filed.size(); ++i) {
        const RuleProposal proposal = proposeRule(m_filed.at(i), m_categories.at(i), m_filed);
        if (proposal.terms.isEmpty())
            continue;
        Rule rule = proposal.rule;
        rule.id = newRuleId();
        const RulePreview preview = previewRule(rules, rule, list);
        QCOMPARE(preview.matched, proposal.sameCategory);
        QList<Rule> saved = rules;
        saved.append(rule);
        QList<SuggestionChange> expected;
        for (int row = 0; row < list.size(); ++row) {
            const QString before = classify(rules, list.at(row)).category;
            const QString after = classify(saved, list.at(row)).category;
            if (before != after)
                expected.append({row, before, after, row != 0});
        }
        QCOMPARE(preview.changes.size(), expected.size());
        for (int c = 0; c < expected.size(); ++c) {
            QCOMPARE(preview.changes.at(c).row, expected.at(c).row);
            QCOMPARE(preview.changes.at(c).after, expected.at(c).after);
            QCOMPARE(preview.changes.at(c).decided, expected.at(c).decided);
        }

        // Disabled, it matches the same documents and changes nothing; edited, it replaces itself.
        rule.enabled = false;
        const RulePreview off = previewRule(rules, rule, list);
        QCOMPARE(off.matched, preview.matched);
        QVERIFY(off.changes.isEmpty());
        // Edited: the rule with its id is replaced, not joined by a second one.
        rule.enabled = true;
        rule.priority = 1; // wins over every built-in rule
        Rule before = rule;
        const QString elsewhere = rule.category == QStringLiteral("08_Other")
                                      ? QStringLiteral("07_Appendices")
                                      : QStringLiteral("08_Other");
        before.category = elsewhere;
        QList<Rule> withRule = rules;
        withRule.append(before);
        const RulePreview edited = previewRule(withRule, rule, list);
        QCOMPARE(edited.changes.size(), proposal.sameCategory);
        for (const SuggestionChange& change : edited.changes) {
            QCOMPARE(change.before, elsewhere);
            QCOMPARE(change.after, rule.category);
        }
    }

    // A built-in rule moved to another category changes what it suggests, and only that.
    Rule moved = rules.constFirst();
    moved.category = QStringLiteral("08_Other");
    const RulePreview preview = previewRule(rules, moved, list);
    for (const SuggestionChange& change : preview.changes) {
        QCOMPARE(change.before, rules.constFirst().category);
        QCOMPARE(classify(rules, list.at(change.row)).ruleId, rules.constFirst().id);
    }
}

QTEST_APPLESS_MAIN(TestRuleProposal)
#include "tst_ruleproposal.moc"
