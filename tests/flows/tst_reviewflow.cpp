#include "ui/AppController.h"

#include <QSignalSpy>
#include <QTest>

using namespace Tessavo;
using namespace Tessavo::Ui;

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

} // namespace

class TestDecisions : public QObject {
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
    void clearingIsLoggedWithItsCount();

private:
    const DocumentRecord& at(int row) { return *m_controller->documents()->recordAt(row); }
    std::unique_ptr<AppController> m_controller;
};

void TestDecisions::init()
{
    m_controller = std::make_unique<AppController>();
}

void TestDecisions::acceptFromEveryDecision_data()
{
    QTest::addColumn<int>("decision");
    QTest::addColumn<bool>("conflict");
    QTest::newRow("needs review") << int(NeedsReview) << false;
    QTest::newRow("accepted") << int(Accepted) << false;
    QTest::newRow("changed") << int(Changed) << false;
    QTest::newRow("ignored") << int(Ignored) << false;
    QTest::newRow("conflicting suggestion") << int(NeedsReview) << true;
}

void TestDecisions::acceptFromEveryDecision()
{
    QFETCH(int, decision);
    QFETCH(bool, conflict);
    m_controller->documentList()->appendRecord(
        record("02_Forms", Decision(decision), conflict, "07_Appendices"));
    QSignalSpy rowChanged(m_controller->documents(), &QAbstractItemModel::dataChanged);
    QSignalSpy summary(m_controller.get(), &AppController::summaryChanged);
    const QString status = m_controller->status();
    m_controller->review()->acceptDocument(0);
    QCOMPARE(at(0).decision, int(Accepted));
    QCOMPARE(at(0).finalCategory, QStringLiteral("02_Forms"));
    QCOMPARE(rowChanged.count(), 1);
    // The counters are announced when they change: accepting again changes none.
    QCOMPARE(summary.count(), decision == int(Accepted) ? 0 : 1);
    QCOMPARE(m_controller->status(), status); // success is silent
}

void TestDecisions::acceptWithoutSuggestionExplains()
{
    m_controller->documentList()->appendRecord(record(QString(), Changed, false, "03_Pricing"));
    QSignalSpy summary(m_controller.get(), &AppController::summaryChanged);
    m_controller->review()->acceptDocument(0);
    QCOMPARE(m_controller->status(),
             QStringLiteral("No suggestion to accept. Choose a category instead."));
    QCOMPARE(at(0).decision, int(Changed));
    QCOMPARE(at(0).finalCategory, QStringLiteral("03_Pricing"));
    QCOMPARE(summary.count(), 0);
}

void TestDecisions::changeTrimsAndIgnoresBlanks()
{
    m_controller->documentList()->appendRecord(record("03_Pricing"));
    QSignalSpy summary(m_controller.get(), &AppController::summaryChanged);
    m_controller->review()->changeDocumentCategory(0, QStringLiteral("   \t "));
    QCOMPARE(at(0).decision, int(NeedsReview));
    QCOMPARE(summary.count(), 0);
    m_controller->review()->changeDocumentCategory(0, QStringLiteral("  03_Pricing  "));
    QCOMPARE(at(0).decision, int(Changed)); // the suggested category still counts as a change
    QCOMPARE(at(0).finalCategory, QStringLiteral("03_Pricing"));
    m_controller->review()->changeDocumentCategory(0, QStringLiteral("Anything, really"));
    QCOMPARE(at(0).finalCategory, QStringLiteral("Anything, really"));
    QCOMPARE(summary.count(), 1); // a second change leaves the counters as they were
}

void TestDecisions::ignoreKeepsTheFinalCategory()
{
    m_controller->documentList()->appendRecord(record("02_Forms"));
    m_controller->review()->acceptDocument(0);
    m_controller->review()->ignoreDocument(0);
    QCOMPARE(at(0).decision, int(Ignored));
    QCOMPARE(at(0).finalCategory, QStringLiteral("02_Forms"));
    QCOMPARE(m_controller->summary().ignored, 1);
    QCOMPARE(m_controller->summary().exportable, 0);
}

void TestDecisions::resetClearsTheFinalCategory()
{
    for (const Decision decision : {Accepted, Changed, Ignored, NeedsReview}) {
        m_controller->documentList()->clear();
        m_controller->documentList()->appendRecord(
            record("02_Forms", decision, false, "05_References"));
        m_controller->review()->resetDecision(0);
        QCOMPARE(at(0).decision, int(NeedsReview));
        QVERIFY(at(0).finalCategory.isEmpty());
    }
}

void TestDecisions::rowsOutsideTheListDoNothing()
{
    m_controller->documentList()->appendRecord(record("02_Forms"));
    QSignalSpy summary(m_controller.get(), &AppController::summaryChanged);
    QSignalSpy status(m_controller.get(), &AppController::statusChanged);
    for (int row : {-1, 1, 99}) {
        m_controller->review()->acceptDocument(row);
        m_controller->review()->changeDocumentCategory(row, QStringLiteral("02_Forms"));
        m_controller->review()->ignoreDocument(row);
        m_controller->review()->resetDecision(row);
    }
    QCOMPARE(summary.count(), 0);
    QCOMPARE(status.count(), 0);
    QCOMPARE(at(0).decision, int(NeedsReview));
}

void TestDecisions::acceptAllTakesOnlyClearPendingSuggestions()
{
    Flows::DocumentList* docs = m_controller->documentList();
    docs->appendRecord(record("02_Forms"));
    docs->appendRecord(record(QString()));
    docs->appendRecord(record("03_Pricing", NeedsReview, true));
    docs->appendRecord(record(QString()));
    docs->appendRecord(record("04_Technical"));
    docs->appendRecord(record("05_References", Changed, false, "06_Insurance"));
    docs->appendRecord(record("05_References", Ignored));
    QSignalSpy rowChanged(docs, &QAbstractItemModel::dataChanged);
    QSignalSpy summary(m_controller.get(), &AppController::summaryChanged);

    m_controller->review()->acceptAllSuggested();
    QCOMPARE(m_controller->status(),
             QStringLiteral("Accepted 2 suggestion(s). Conflicting items were left for review."));
    QCOMPARE(rowChanged.count(), 2);
    QCOMPARE(summary.count(), 2); // once for each run of rows that changed
    QCOMPARE(at(0).decision, int(Accepted));
    QCOMPARE(at(4).finalCategory, QStringLiteral("04_Technical"));
    QCOMPARE(at(2).decision, int(NeedsReview)); // conflict left for a person
    QCOMPARE(at(5).finalCategory, QStringLiteral("06_Insurance"));
    QCOMPARE(at(6).decision, int(Ignored));
    QCOMPARE(m_controller->summary().pending, 3);

    m_controller->review()->acceptAllSuggested();
    QCOMPARE(m_controller->status(),
             QStringLiteral("Nothing to accept: no clear suggestions are pending."));
    QCOMPARE(summary.count(), 2); // nothing changed, nothing more announced
}

void TestDecisions::acceptAllOnAnEmptyList()
{
    QSignalSpy summary(m_controller.get(), &AppController::summaryChanged);
    m_controller->review()->acceptAllSuggested();
    QCOMPARE(m_controller->status(),
             QStringLiteral("Nothing to accept: no clear suggestions are pending."));
    QCOMPARE(summary.count(), 0); // nothing changed, nothing announced
}

void TestDecisions::clearingIsLoggedWithItsCount()
{
    Flows::DocumentList* docs = m_controller->documentList();
    docs->appendRecord(record("02_Forms", Accepted, false, "02_Forms"));
    docs->appendRecord(record(QString()));
    docs->appendRecord(record("03_Pricing", Changed, false, "03_Pricing"));
    QTest::ignoreMessage(QtInfoMsg, "Document list cleared: 3 document(s) removed");
    m_controller->clearDocuments();
    QCOMPARE(docs->rowCount(), 0);
    QCOMPARE(m_controller->status(), QStringLiteral("Document list cleared."));
}

QTEST_GUILESS_MAIN(TestDecisions)
#include "tst_decisions.moc"
