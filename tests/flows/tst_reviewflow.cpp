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

QTEST_GUILESS_MAIN(TestReviewFlow)
#include "tst_reviewflow.moc"
