#include "core/Classification.h"
#include "core/Rule.h"
#include "flows/DocumentList.h"
#include "flows/ReviewFlow.h"
#include "flows/RuleBook.h"
#include "flows/SessionFlow.h"
#include "support/CorpusTexts.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <QTest>
#include <algorithm>

using namespace Tessavo;
using namespace Tessavo::Flows;

namespace {

DocumentRecord record(const QString& suggestion, Decision decision = NeedsReview,
                      bool conflict = false, const QString& finalCategory = {})
{
    DocumentRecord r;
    r.fileName = QStringLiteral("doc.pdf");
    r.state = Ready;
    r.suggestion.category = suggestion;
    r.suggestion.conflict = conflict;
    r.decision = decision;
    r.finalCategory = finalCategory;
    return r;
}

// A document of its own: its own path and content, so the session keeps each apart.
DocumentRecord numbered(int n, const QString& suggestion, Decision decision = NeedsReview,
                        const QString& finalCategory = {})
{
    DocumentRecord r = record(suggestion, decision, false, finalCategory);
    r.fileName = QStringLiteral("doc %1.pdf").arg(n);
    r.sourcePath = QStringLiteral("/srv/tender/") + r.fileName;
    r.sha256 = QByteArray::number(n).rightJustified(64, 'a');
    r.sizeBytes = 1000 + n;
    return r;
}

using DecisionsByRow = QList<int>;

DecisionsByRow decisionsOf(const DocumentList& list)
{
    DecisionsByRow out;
    for (const DocumentRecord& r : list.records())
        out.append(r.decision);
    return out;
}

// The review flow alone, with the list, rules and session it shares; nothing is kept.
struct Review {
    DocumentList list;
    RuleBook rules{defaultRules()};
    SessionFlow session{list};
    ReviewFlow review{list, rules, session};
    QString status;

    Review()
    {
        QObject::connect(&review, &ReviewFlow::status, &review,
                         [this](const QString& text) { status = text; });
    }
};

} // namespace

class TestReviewFlow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void acceptFromEveryDecision_data();
    void acceptFromEveryDecision();
    void acceptWithoutSuggestionExplains();
    void changeTrimsAndIgnoresBlanks();
    void ignoreKeepsTheFinalCategory();
    void resetClearsTheFinalCategory();
    void rowsOutsideTheListDoNothing();
    void acceptAllTakesOnlyClearPendingSuggestions();
    void acceptAllOnAnEmptyList();
    void refiledDocumentsTeachWhereNoRuleMatches();
    void resetOrIgnoredDocumentsNoLongerTeach();
    void ruleDraftsArePreviewedAndSaved();
    void undoAndRedoOfABulkDecision();
    void resetGoesBackToTheEarlierDecision();
    void historyIsBoundedAndEndsWithTheList();
    void acceptClearSuggestionsOfSomeRows();
    void ruleChangesAreUndoneInTheSameHistory();

private:
    const DocumentRecord& at(int row) { return *m_f->list.recordAt(row); }
    std::unique_ptr<Review> m_f;
};

void TestReviewFlow::init()
{
    m_f = std::make_unique<Review>();
}

void TestReviewFlow::acceptFromEveryDecision_data()
{
    QTest::addColumn<int>("decision");
    QTest::addColumn<bool>("conflict");
    QTest::newRow("needs review") << int(NeedsReview) << false;
    QTest::newRow("accepted") << int(Accepted) << false;
    QTest::newRow("changed") << int(Changed) << false;
    QTest::newRow("ignored") << int(Ignored) << false;
    QTest::newRow("conflicting suggestion") << int(NeedsReview) << true;
}

void TestReviewFlow::acceptFromEveryDecision()
{
    QFETCH(int, decision);
    QFETCH(bool, conflict);
    m_f->list.appendRecord(record("02_Forms", Decision(decision), conflict, "07_Appendices"));
    QSignalSpy rowChanged(&m_f->list, &QAbstractItemModel::dataChanged);
    const QString status = m_f->status;
    m_f->review.acceptDocument(0);
    QCOMPARE(at(0).decision, int(Accepted));
    QCOMPARE(at(0).finalCategory, QStringLiteral("02_Forms"));
    QCOMPARE(rowChanged.count(), 1);
    QCOMPARE(m_f->status, status); // success is silent
}

void TestReviewFlow::acceptWithoutSuggestionExplains()
{
    m_f->list.appendRecord(record(QString(), Changed, false, "03_Pricing"));
    QSignalSpy rows(&m_f->list, &QAbstractItemModel::dataChanged);
    m_f->review.acceptDocument(0);
    QCOMPARE(m_f->status, QStringLiteral("No suggestion to accept. Choose a category instead."));
    QCOMPARE(at(0).decision, int(Changed));
    QCOMPARE(at(0).finalCategory, QStringLiteral("03_Pricing"));
    QCOMPARE(rows.count(), 0);
}

void TestReviewFlow::changeTrimsAndIgnoresBlanks()
{
    m_f->list.appendRecord(record("03_Pricing"));
    QSignalSpy rows(&m_f->list, &QAbstractItemModel::dataChanged);
    m_f->review.changeDocumentCategory(0, QStringLiteral("   \t "));
    QCOMPARE(at(0).decision, int(NeedsReview));
    QCOMPARE(rows.count(), 0);
    m_f->review.changeDocumentCategory(0, QStringLiteral("  03_Pricing  "));
    QCOMPARE(at(0).decision, int(Changed)); // the suggested category still counts as a change
    QCOMPARE(at(0).finalCategory, QStringLiteral("03_Pricing"));
    m_f->review.changeDocumentCategory(0, QStringLiteral("Anything, really"));
    QCOMPARE(at(0).finalCategory, QStringLiteral("Anything, really"));
    QCOMPARE(rows.count(), 2);
}

void TestReviewFlow::ignoreKeepsTheFinalCategory()
{
    m_f->list.appendRecord(record("02_Forms"));
    m_f->review.acceptDocument(0);
    m_f->review.ignoreDocument(0);
    QCOMPARE(at(0).decision, int(Ignored));
    QCOMPARE(at(0).finalCategory, QStringLiteral("02_Forms"));
    QVERIFY(!exportable(at(0)));
}

void TestReviewFlow::resetClearsTheFinalCategory()
{
    for (const Decision decision : {Accepted, Changed, Ignored, NeedsReview}) {
        m_f->list.clear();
        m_f->list.appendRecord(record("02_Forms", decision, false, "05_References"));
        m_f->review.resetDecision(0);
        QCOMPARE(at(0).decision, int(NeedsReview));
        QVERIFY(at(0).finalCategory.isEmpty());
    }
}

void TestReviewFlow::rowsOutsideTheListDoNothing()
{
    m_f->list.appendRecord(record("02_Forms"));
    QSignalSpy rows(&m_f->list, &QAbstractItemModel::dataChanged);
    QSignalSpy status(&m_f->review, &ReviewFlow::status);
    for (int row : {-1, 1, 99}) {
        m_f->review.acceptDocument(row);
        m_f->review.changeDocumentCategory(row, QStringLiteral("02_Forms"));
        m_f->review.ignoreDocument(row);
        m_f->review.resetDecision(row);
    }
    QCOMPARE(rows.count(), 0);
    QCOMPARE(status.count(), 0);
    QCOMPARE(at(0).decision, int(NeedsReview));
}

void TestReviewFlow::acceptAllTakesOnlyClearPendingSuggestions()
{
    DocumentList* docs = &m_f->list;
    docs->appendRecord(record("02_Forms"));
    docs->appendRecord(record(QString()));
    docs->appendRecord(record("03_Pricing", NeedsReview, true));
    docs->appendRecord(record(QString()));
    docs->appendRecord(record("04_Technical"));
    docs->appendRecord(record("05_References", Changed, false, "06_Insurance"));
    docs->appendRecord(record("05_References", Ignored));
    QSignalSpy rowChanged(docs, &QAbstractItemModel::dataChanged);

    m_f->review.acceptAllSuggested();
    QCOMPARE(m_f->status,
             QStringLiteral("Accepted 2 suggestion(s). Conflicting items were left for review."));
    QCOMPARE(rowChanged.count(), 2); // once for each run of rows that changed
    QCOMPARE(at(0).decision, int(Accepted));
    QCOMPARE(at(4).finalCategory, QStringLiteral("04_Technical"));
    QCOMPARE(at(2).decision, int(NeedsReview)); // conflict left for a person
    QCOMPARE(at(5).finalCategory, QStringLiteral("06_Insurance"));
    QCOMPARE(at(6).decision, int(Ignored));

    m_f->review.acceptAllSuggested();
    QCOMPARE(m_f->status, QStringLiteral("Nothing to accept: no clear suggestions are pending."));
    QCOMPARE(rowChanged.count(), 2); // nothing changed, nothing more announced
}

void TestReviewFlow::acceptAllOnAnEmptyList()
{
    QSignalSpy rows(&m_f->list, &QAbstractItemModel::dataChanged);
    m_f->review.acceptAllSuggested();
    QCOMPARE(m_f->status, QStringLiteral("Nothing to accept: no clear suggestions are pending."));
    QCOMPARE(rows.count(), 0); // nothing changed, nothing announced
}

void TestReviewFlow::refiledDocumentsTeachWhereNoRuleMatches()
{
    // The user files the training half of the published tender texts; the held-out half then
    // gets learned suggestions where no rule matches, after a restart too, until forgotten.
    QTemporaryDir folder;
    const QString stored = folder.filePath("session.sqlite");
    const QList<CorpusTexts::Document> training = CorpusTexts::half(true);
    const QList<CorpusTexts::Document> heldOut = CorpusTexts::half(false);
    {
        Review f;
        f.session.restore(stored, f.rules);
        for (const CorpusTexts::Document& d : training)
            f.list.appendRecord(d.record);
        for (int row = 0; row < training.size(); ++row)
            f.review.changeDocumentCategory(row, training.at(row).category);
        QCOMPARE(f.review.learnedCount(), training.size());
    }

    Review f;
    const auto record = [&f](int row) -> const DocumentRecord& {
        return *f.list.recordAt(row);
    };
    QSignalSpy counted(&f.review, &ReviewFlow::learnedCountChanged);
    f.session.restore(stored, f.rules);
    QCOMPARE(f.review.learnedCount(), training.size()); // kept with the session
    f.list.clear();
    for (const CorpusTexts::Document& d : heldOut) {
        DocumentRecord r = d.record;
        r.suggestion = f.rules.suggest(r);
        f.list.appendRecord(r);
    }
    int learned = 0;
    for (int row = 0; row < heldOut.size(); ++row) {
        const Suggestion& s = record(row).suggestion;
        QCOMPARE(s.learned, classify(defaultRules(), record(row)).isEmpty()); // a rule always wins
        if (!s.learned)
            continue;
        ++learned;
        QCOMPARE(s.ruleName, QStringLiteral("Learned"));
        QVERIFY2(s.evidence.startsWith(QStringLiteral("learned from ")), qPrintable(s.evidence));
    }
    QVERIFY(learned > 0);

    // "Accept all clear suggestions" leaves the unsure learned ones for a person.
    f.review.acceptAllSuggested();
    for (int row = 0; row < heldOut.size(); ++row) {
        const DocumentRecord& r = record(row);
        QCOMPARE(r.decision == Accepted, !r.suggestion.tentative && !r.suggestion.conflict);
    }

    f.review.forgetLearned();
    QCOMPARE(f.review.learnedCount(), 0);
    QVERIFY(counted.count() >= 1);
    QTRY_VERIFY(std::none_of(f.list.records().cbegin(), f.list.records().cend(),
                             [](const DocumentRecord& r) { return r.suggestion.learned; }));
    Review again;
    again.session.restore(stored, again.rules);
    QCOMPARE(again.review.learnedCount(), 0); // forgotten on the disk too
}

void TestReviewFlow::resetOrIgnoredDocumentsNoLongerTeach()
{
    QTemporaryDir folder;
    const QString stored = folder.filePath("session.sqlite");
    const QList<CorpusTexts::Document> training = CorpusTexts::half(true);
    QVERIFY(training.size() > 4);
    const int n = int(training.size());
    QStringList keys;
    {
        Review f;
        f.session.restore(stored, f.rules);
        for (const CorpusTexts::Document& d : training) {
            f.list.appendRecord(d.record);
            keys.append(learnedKey(d.record));
        }
        f.list.appendRecord(training.at(2).record); // the same content listed twice
        for (int row = 0; row < n; ++row)
            f.review.changeDocumentCategory(row, training.at(row).category);
        f.review.changeDocumentCategory(n, training.at(2).category);
        QCOMPARE(f.review.learnedCount(), n);

        f.review.resetDecision(0);
        QCOMPARE(f.review.learnedCount(), n - 1);
        f.review.ignoreDocument(1);
        QCOMPARE(f.review.learnedCount(), n - 2);
        f.review.resetDecision(2); // its copy still teaches
        QCOMPARE(f.review.learnedCount(), n - 2);
        f.review.changeDocumentCategory(0, training.at(0).category); // teaches again
        QCOMPARE(f.review.learnedCount(), n - 1);
    }
    Review again;
    again.session.restore(stored, again.rules);
    QCOMPARE(again.review.learnedCount(), n - 1);
    QStringList kept;
    for (const LearnedExample& e : again.rules.learned().examples())
        kept.append(e.key);
    QVERIFY(kept.contains(keys.at(0)));
    QVERIFY(!kept.contains(keys.at(1))); // ignored: forgotten on the disk too
    QVERIFY(kept.contains(keys.at(2)));
}

void TestReviewFlow::ruleDraftsArePreviewedAndSaved()
{
    // A refiled document among others: the proposal sets it apart, the preview names what it
    // changes (a learned suggestion too), saving adds it, an edit keeps its place and state.
    const auto doc = [](const QString& name, const QString& text) {
        DocumentRecord r;
        r.fileName = name;
        r.sourcePath = QStringLiteral("/p/") + name;
        r.sha256 = name.toUtf8().toHex();
        r.state = Ready;
        r.pages = r.textPages = 1;
        r.pageTexts = {{0, int(text.size()), text, false}};
        return r;
    };
    Review& f = *m_f;
    f.list.appendRecord(doc(QStringLiteral("Traffic plan.pdf"),
                            QStringLiteral("Traffic management plan\nLane closures.")));
    f.list.appendRecord(
        doc(QStringLiteral("Rates.pdf"), QStringLiteral("Schedule of rates\nResurfacing rates.")));
    f.list.appendRecord(doc(QStringLiteral("Rates again.pdf"),
                            QStringLiteral("Schedule of rates\nResurfacing rates, drainage.")));
    f.review.changeDocumentCategory(0, QStringLiteral("04_Technical"));
    f.review.changeDocumentCategory(1, QStringLiteral("03_Pricing"));
    QTRY_VERIFY(f.list.recordAt(2)->suggestion.learned); // taught by row 1

    const QVariantMap proposal = f.review.proposeRuleFor(0);
    QCOMPARE(proposal.value("category").toString(), QStringLiteral("04_Technical"));
    QVERIFY(proposal.value("wholeWords").toBool());
    QVERIFY(!proposal.value("titleContains").toString().isEmpty());
    QVERIFY(!proposal.value("terms").toStringList().isEmpty());
    QVERIFY(!proposal.contains("id"));
    QVERIFY(f.review.proposeRuleFor(7).isEmpty());

    // It taught its own category already: the rule matches it and changes no category.
    QVariantMap preview = f.review.previewRuleDraft(proposal);
    QCOMPARE(preview.value("matched").toInt(), 1);
    QCOMPARE(preview.value("changed").toInt(), 0);
    QVariantMap other = proposal;
    other.insert("category", "08_Other");
    preview = f.review.previewRuleDraft(other);
    QCOMPARE(preview.value("changed").toInt(), 1);
    QCOMPARE(preview.value("decided").toInt(), 1);

    // "rates" as a term: the learned suggestion of row 2 would give way to the rule.
    QVariantMap rates{{"name", "Rates"},
                      {"category", "08_Other"},
                      {"textAnyOf", QStringList{" rates ", ""}},
                      {"priority", 5000}};
    preview = f.review.previewRuleDraft(rates);
    QCOMPARE(preview.value("matched").toInt(), 2);
    const QVariantList changes = preview.value("changes").toList();
    QCOMPARE(changes.size(), 2);
    QCOMPARE(changes.at(1).toMap().value("fileName").toString(), QStringLiteral("Rates again.pdf"));
    QCOMPARE(changes.at(1).toMap().value("before").toString(), QStringLiteral("03_Pricing"));
    QCOMPARE(changes.at(1).toMap().value("after").toString(), QStringLiteral("08_Other"));
    QCOMPARE(f.rules.rules().size(), defaultRules().size()); // nothing saved yet

    QVERIFY(f.review.saveRuleDraft(rates));
    QCOMPARE(f.status, QStringLiteral("Rule \"Rates\" added."));
    const Rule added = f.rules.rules().constLast();
    QCOMPARE(added.textAnyOf, QStringList{QStringLiteral("rates")});
    QCOMPARE(added.priority, 1000);
    QCOMPARE(f.list.recordAt(2)->suggestion.category, QStringLiteral("08_Other"));

    // Edited in place: same row, same id, still off.
    const int last = int(f.rules.rules().size()) - 1;
    f.review.setRuleEnabled(last, false);
    QVariantMap edit = f.review.ruleDraft(last);
    QCOMPARE(edit.value("id").toString(), added.id);
    edit.insert("name", "Rates, edited");
    QVERIFY(f.review.saveRuleDraft(edit));
    QCOMPARE(f.status, QStringLiteral("Rule \"Rates, edited\" changed."));
    QCOMPARE(f.rules.rules().size(), last + 1);
    QCOMPARE(f.rules.rules().constLast().name, QStringLiteral("Rates, edited"));
    QCOMPARE(f.rules.rules().constLast().id, added.id);
    QVERIFY(!f.rules.rules().constLast().enabled);

    // Refused: no condition, or a rule no longer in the list.
    QVERIFY(!f.review.saveRuleDraft({{"name", "Empty"}, {"category", "02_Forms"}}));
    QCOMPARE(f.status,
             QStringLiteral("A rule needs a name, a category and at least one condition."));
    f.review.removeRule(last);
    QVERIFY(!f.review.saveRuleDraft(edit));
    QCOMPARE(f.status, QStringLiteral("Rule not changed: it is no longer in the list."));
    QCOMPARE(f.rules.rules().size(), defaultRules().size());
}

void TestReviewFlow::undoAndRedoOfABulkDecision()
{
    const DecisionsByRow before{Accepted, Changed, NeedsReview, NeedsReview};
    const DecisionsByRow ignored{Ignored, Ignored, Ignored, NeedsReview};
    const DecisionsByRow afterwards{Accepted, Changed, NeedsReview, Accepted};
    QTemporaryDir folder;
    const QString stored = folder.filePath("session.sqlite");
    {
        Review f;
        f.session.restore(stored, f.rules);
        f.list.appendRecord(numbered(0, "02_Forms", Accepted, "02_Forms"));
        f.list.appendRecord(numbered(1, "03_Pricing", Changed, "05_References"));
        f.list.appendRecord(numbered(2, "04_Technical"));
        f.list.appendRecord(numbered(3, "04_Technical"));
        f.session.storeRecords({0, 1, 2, 3}); // as an import does
        QVERIFY(!f.review.canUndo());
        QSignalSpy history(&f.review, &ReviewFlow::historyChanged);

        f.review.ignoreDocuments({0, 1, 2});
        QCOMPARE(decisionsOf(f.list), ignored);
        QCOMPARE(f.status, QStringLiteral("Ignored 3 document(s)."));
        QVERIFY(f.review.canUndo());
        QCOMPARE(history.count(), 1);
        f.review.undo(); // one step, every row as it was
        QCOMPARE(decisionsOf(f.list), before);
        QCOMPARE(f.list.recordAt(1)->finalCategory, QStringLiteral("05_References"));
        QCOMPARE(f.status, QStringLiteral("Undid 3 decision(s)."));
        QVERIFY(!f.review.canUndo() && f.review.canRedo());
        f.review.redo();
        QCOMPARE(decisionsOf(f.list), ignored);
        f.review.undo();
        f.review.acceptDocument(3); // a new decision: the undone step cannot come back
        QVERIFY(!f.review.canRedo());
        f.review.redo();
        QCOMPARE(decisionsOf(f.list), afterwards);
        f.review.undo();
        f.review.undo(); // nothing left: nothing happens
        QCOMPARE(decisionsOf(f.list), before);
        f.review.redo();
    }
    // The stored session holds what the undo and redo left; the history is not kept.
    Review again;
    again.session.restore(stored, again.rules);
    QCOMPARE(decisionsOf(again.list), afterwards);
    QCOMPARE(again.list.recordAt(1)->finalCategory, QStringLiteral("05_References"));
    QVERIFY(!again.review.canUndo());
}

void TestReviewFlow::resetGoesBackToTheEarlierDecision()
{
    m_f->list.appendRecord(numbered(0, "02_Forms"));
    m_f->review.acceptDocument(0);
    m_f->review.changeDocumentCategory(0, QStringLiteral("06_Insurance"));
    m_f->review.ignoreDocument(0);
    m_f->review.resetDecision(0); // back to the change
    QCOMPARE(at(0).decision, int(Changed));
    QCOMPARE(at(0).finalCategory, QStringLiteral("06_Insurance"));
    m_f->review.undo(); // the reset undone: ignored again, and its reset still goes back
    QCOMPARE(at(0).decision, int(Ignored));
    m_f->review.resetDecision(0);
    QCOMPARE(at(0).decision, int(Changed));
    m_f->review.resetDecision(0); // then to the acceptance
    QCOMPARE(at(0).decision, int(Accepted));
    QCOMPARE(at(0).finalCategory, QStringLiteral("02_Forms"));
    m_f->review.resetDecision(0); // and to where it started
    QCOMPARE(at(0).decision, int(NeedsReview));
    QVERIFY(at(0).finalCategory.isEmpty());
    m_f->review.resetDecision(0); // nothing earlier: stays
    QCOMPARE(at(0).decision, int(NeedsReview));

    // Several rows at once, each to its own earlier decision.
    m_f->list.appendRecord(numbered(1, "03_Pricing"));
    m_f->review.acceptDocument(0);
    m_f->review.changeDocumentCategory(1, QStringLiteral("07_Appendices"));
    m_f->review.ignoreDocuments({0, 1});
    m_f->review.resetDocuments({0, 1});
    QCOMPARE(decisionsOf(m_f->list), (DecisionsByRow{Accepted, Changed}));
    QCOMPARE(at(1).finalCategory, QStringLiteral("07_Appendices"));
}

void TestReviewFlow::historyIsBoundedAndEndsWithTheList()
{
    m_f->list.appendRecord(numbered(0, "02_Forms"));
    for (int i = 0; i < 300; ++i)
        i % 2 ? m_f->review.ignoreDocument(0) : m_f->review.acceptDocument(0);
    int undone = 0;
    for (; m_f->review.canUndo(); ++undone)
        m_f->review.undo();
    QVERIFY2(undone >= 50 && undone < 300, qPrintable(QString::number(undone)));

    m_f->review.acceptDocument(0);
    QVERIFY(m_f->review.canUndo());
    QSignalSpy history(&m_f->review, &ReviewFlow::historyChanged);
    m_f->list.clear(); // the rows are gone: their steps with them
    QVERIFY(!m_f->review.canUndo() && !m_f->review.canRedo());
    QCOMPARE(history.count(), 1);
    m_f->review.undo();
    QCOMPARE(m_f->list.rowCount(), 0);
}

void TestReviewFlow::acceptClearSuggestionsOfSomeRows()
{
    for (int n = 0; n < 4; ++n)
        m_f->list.appendRecord(numbered(n, n == 2 ? QString() : QStringLiteral("02_Forms")));
    QCOMPARE(m_f->review.clearSuggestionCount({0, 1, 2}), 2);
    m_f->review.acceptClearSuggestions({1, 2, 3});
    QCOMPARE(decisionsOf(m_f->list),
             (DecisionsByRow{NeedsReview, Accepted, NeedsReview, Accepted}));
    QCOMPARE(m_f->status,
             QStringLiteral("Accepted 2 suggestion(s). Conflicting items were left for review."));
    m_f->review.acceptDocuments({0, 1, 2}); // the accepted and the one without stay as they are
    QCOMPARE(decisionsOf(m_f->list), (DecisionsByRow{Accepted, Accepted, NeedsReview, Accepted}));
    QCOMPARE(m_f->status, QStringLiteral("Accepted 1 document(s); 2 left as they were (already "
                                         "accepted, ignored or without a suggestion)."));
    m_f->review.undo();
    m_f->review.undo();
    QCOMPARE(decisionsOf(m_f->list), DecisionsByRow(4, NeedsReview));
}

void TestReviewFlow::ruleChangesAreUndoneInTheSameHistory()
{
    const auto names = [this] {
        QStringList out;
        for (const Rule& r : m_f->rules.rules())
            out << r.name + (r.enabled ? QString() : QStringLiteral(" (off)"));
        return out;
    };
    ReviewFlow& review = m_f->review;
    const QStringList builtIn = names();
    QVERIFY(builtIn.size() > 2);
    DocumentRecord bond = numbered(0, QString());
    bond.fileName = QStringLiteral("Performance bond.pdf");
    m_f->list.appendRecord(bond);

    review.addRule(QStringLiteral("Bonds"), QStringLiteral("06_Insurance"), QStringLiteral("bond"),
                   QString(), 0, 0, 900);
    QCOMPARE(at(0).suggestion.category, QStringLiteral("06_Insurance"));
    review.acceptDocument(0);
    review.setRuleEnabled(0, false);
    review.removeRule(1);
    QStringList changed = builtIn;
    changed[0] += QStringLiteral(" (off)");
    changed.removeAt(1);
    changed << QStringLiteral("Bonds");
    QCOMPARE(names(), changed);

    review.undo(); // the removed rule comes back where it was
    QCOMPARE(m_f->status, QStringLiteral("Undid the change to rule “%1”.").arg(builtIn.at(1)));
    QCOMPARE(names().at(1), builtIn.at(1));
    review.undo(); // on again
    QVERIFY(!names().constFirst().endsWith(QStringLiteral(" (off)")));
    review.undo(); // the decision, in the same history
    QCOMPARE(at(0).decision, int(NeedsReview));
    review.undo(); // the added rule goes, and with it its suggestion
    QVERIFY(!names().contains(QStringLiteral("Bonds")));
    QVERIFY(at(0).suggestion.category != QStringLiteral("06_Insurance"));
    QVERIFY(!review.canUndo());

    review.redo(); // added again, found again by its new id
    QVERIFY(names().contains(QStringLiteral("Bonds")));
    QCOMPARE(at(0).suggestion.category, QStringLiteral("06_Insurance"));
    for (int i = 0; i < 3; ++i)
        review.redo(); // removed again
    QCOMPARE(names().size(), builtIn.size());
    QVERIFY(!names().contains(builtIn.at(1)));
    for (int i = 0; i < 4; ++i)
        review.undo();
    QVERIFY(!names().contains(QStringLiteral("Bonds")));
    const QStringList back = names(); // every built-in rule, the removed one now last
    QCOMPARE(QSet<QString>(back.cbegin(), back.cend()),
             QSet<QString>(builtIn.cbegin(), builtIn.cend()));
}

QTEST_GUILESS_MAIN(TestReviewFlow)
#include "tst_reviewflow.moc"
