#include "ui/AppController.h"
#include "ui/Summary.h"

#include "core/RulesFile.h"
#include "core/Version.h"
#include "flows/DocumentList.h"
#include "flows/ExportFlow.h"
#include "flows/ReviewFlow.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdint>

using namespace Tessavo;
using namespace Tessavo::Ui;

namespace {

DocumentRecord record(DocumentState state, Decision decision, const QString& suggestion = {},
                      bool conflict = false)
{
    DocumentRecord r;
    r.state = state;
    r.decision = decision;
    r.suggestion.category = suggestion;
    r.suggestion.conflict = conflict;
    return r;
}

// A Ready record with a suggestion (none when empty) and this decision.
DocumentRecord reviewed(const QString& suggestion, Decision decision)
{
    DocumentRecord r = record(Ready, decision, suggestion);
    r.fileName = QStringLiteral("doc.pdf");
    if (decision != NeedsReview)
        r.finalCategory = suggestion;
    return r;
}

const QStringList summaryKeys = {
    "total",   "needsOcr",  "unreadable",        "pending",     "accepted",
    "changed", "ignored",   "exportable",        "suggestions", "conflicts",
    "ready",   "undecided", "undecidedConflicts"};

} // namespace

class TestAppController : public QObject {
    Q_OBJECT

private slots:
    void startsIdleWithTheWelcomeText();
    void summaryCountsEveryKey();
    void importProgressArithmetic_data();
    void importProgressArithmetic();
    void statusChangesOnlyForANewText();
    void keepsTheLastBundleTheExportFlowWrote();
    void loadsRulesAtStartup();
    void fallsBackToBuiltInRulesSilently_data();
    void fallsBackToBuiltInRulesSilently();
    void clearingIsLoggedWithItsCount();
    void summaryIsAnnouncedWhenItsCountersChange();
    void summaryFollowsEveryKindOfChange();

private:
    QString rulesPath() const { return m_data.filePath(QStringLiteral("rules.json")); }
    QByteArray writeRulesFile(const QByteArray& content);
    ControllerSetup setup() const { return ControllerSetup::inFolder(m_data.path()); }

    QTemporaryDir m_data;
};

QByteArray TestAppController::writeRulesFile(const QByteArray& content)
{
    return TestFiles::writeBytes(rulesPath(), content) ? content : QByteArray();
}

void TestAppController::startsIdleWithTheWelcomeText()
{
    AppController controller;
    QCOMPARE(controller.status(),
             QStringLiteral("Add PDFs to start. Files are processed on this computer only."));
    // The pages read the counters by these names, through the property system.
    const QVariant summary = controller.property("summary");
    const QMetaObject& counters = DocumentSummary::staticMetaObject;
    QCOMPARE(summary.metaType(), QMetaType::fromType<DocumentSummary>());
    QCOMPARE(counters.propertyCount(), summaryKeys.size());
    for (const QString& key : summaryKeys) {
        const QMetaProperty counter = counters.property(counters.indexOfProperty(qPrintable(key)));
        QVERIFY2(counter.isValid(), qPrintable(key));
        const QVariant value = counter.readOnGadget(summary.constData());
        QCOMPARE(value.typeId(), QMetaType::Int);
        QCOMPARE(value.toInt(), 0);
    }
    QCOMPARE(controller.importer()->progress(), 0);
    QVERIFY(!controller.importer()->running());
    QVERIFY(!controller.exporter()->exporting());
    QVERIFY(!controller.lastExport().ok);
    QCOMPARE(controller.appVersion(), QLatin1String(versionText));
    QCOMPARE(controller.categories().size(), 8);
    QCOMPARE(controller.categories().first(), QStringLiteral("01_Solicitation"));
    QCOMPARE(controller.documents()->rowCount(), 0);
    QVERIFY(AppController::fontPath(QStringLiteral("DejaVuSans.ttf"))
                .endsWith(QStringLiteral("/fonts/DejaVuSans.ttf")));
}

void TestAppController::summaryCountsEveryKey()
{
    const QList<DocumentRecord> three = {
        record(Ready, Ignored),
        record(NeedsOcr, NeedsReview),
        record(Encrypted, NeedsReview),
    };
    DocumentSummary s = summaryOf(three);
    QCOMPARE(s.total, 3);
    QCOMPARE(s.needsOcr, 1);
    QCOMPARE(s.unreadable, 1);
    QCOMPARE(s.exportable, 1);
    QCOMPARE(s.ignored, 1);
    QCOMPARE(s.pending, 2);
    QCOMPARE(s.suggestions, 0);
    QCOMPARE(s.ready, 0);
    QCOMPARE(s.undecided, 1);
    QCOMPARE(s.undecidedConflicts, 0);

    const QList<DocumentRecord> mixed = {
        record(Ready, Accepted, "02_Forms"),
        record(Ready, Changed, "03_Pricing", true),
        record(Unreadable, NeedsReview, "05_References"),
        record(DocumentState(7),
               NeedsReview), // unknown state: neither needsOcr nor unreadable, not exportable
        record(Ready, NeedsReview, "02_Forms", true),
        record(NeedsOcr, NeedsReview),
    };
    s = summaryOf(mixed);
    QCOMPARE(s.total, 6);
    QCOMPARE(s.accepted, 1);
    QCOMPARE(s.changed, 1);
    QCOMPARE(s.pending, 4);
    QCOMPARE(s.unreadable, 1);
    QCOMPARE(s.needsOcr, 1);
    QCOMPARE(s.exportable, 4);
    QCOMPARE(s.suggestions, 4);
    QCOMPARE(s.conflicts, 2);
    // Of the four an export takes, two are decided; two are not, one of them in conflict.
    QCOMPARE(s.ready, 2);
    QCOMPARE(s.undecided, 1);
    QCOMPARE(s.undecidedConflicts, 1);
}

void TestAppController::importProgressArithmetic_data()
{
    QTest::addColumn<bool>("importing");
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("pending");
    QTest::addColumn<int>("expected");
    QTest::newRow("idle") << false << 3 << 1 << 0;
    QTest::newRow("first file being inspected") << true << 0 << 4 << 0;
    QTest::newRow("one of four") << true << 1 << 3 << 25;
    QTest::newRow("truncates toward zero") << true << 2 << 1 << 66;
    QTest::newRow("all added, end not yet reached") << true << 4 << 0 << 100;
    QTest::newRow("nothing at all") << true << 0 << 0 << 100;
}

void TestAppController::importProgressArithmetic()
{
    QFETCH(bool, importing);
    QFETCH(int, done);
    QFETCH(int, pending);
    QFETCH(int, expected);
    QCOMPARE(Flows::importProgressPercent(importing, done, pending), expected);
}

void TestAppController::statusChangesOnlyForANewText()
{
    AppController controller;
    QSignalSpy spy(&controller, &AppController::statusChanged);
    controller.setStatus(QStringLiteral("one"));
    controller.setStatus(QStringLiteral("one"));
    QCOMPARE(spy.count(), 1);
    controller.setStatus(QStringLiteral("two"));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(controller.status(), QStringLiteral("two"));
}

void TestAppController::keepsTheLastBundleTheExportFlowWrote()
{
    AppController controller;
    QSignalSpy finished(&controller, &AppController::exportFinished);
    QSignalSpy summary(&controller, &AppController::summaryChanged);
    Flows::ExportFlow* service = controller.exporter();

    Flows::ExportOutcome written;
    written.kind = Flows::ExportOutcome::Kind::Written;
    written.result = {{.directory = "/out/B",
                       .csv = "c",
                       .pdf = "p",
                       .zip = "/out/B.zip",
                       .exported = 3,
                       .skipped = 2,
                       .volumes = {}},
                      true,
                      {},
                      {{ExportWarning::Kind::SourceMissing, "w"}}};
    emit service->finished(written);
    // A warning of a kind that leaves the original out means it is missing from the bundle.
    const LastExport expected = {written.result, true, QString(), {"w"}, 1};
    QCOMPARE(controller.lastExport(), expected);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(summary.count(), 0); // the list is as it was

    Flows::ExportOutcome failed;
    failed.error = "Cannot create export folder: /x";
    emit service->finished(failed);
    QCOMPARE(controller.lastExport(), expected); // only a written bundle replaces it
    QCOMPARE(finished.count(), 1);

    Flows::ExportOutcome cancelled;
    cancelled.kind = Flows::ExportOutcome::Kind::Cancelled;
    emit service->finished(cancelled);
    QCOMPARE(controller.lastExport(), expected);
    QCOMPARE(finished.count(), 1);
}

void TestAppController::loadsRulesAtStartup()
{
    Rule custom;
    custom.id = QStringLiteral("rule-abcdef01");
    custom.name = QStringLiteral("Custom");
    custom.category = QStringLiteral("08_Other");
    custom.fileContains = QStringLiteral("misc");
    Rule invalid;
    invalid.name = QStringLiteral("No condition");
    invalid.category = QStringLiteral("08_Other");
    writeRulesFile(rulesDocument({custom, invalid}));

    AppController controller(setup());
    QCOMPARE(controller.rules()->ruleList(), QList<Rule>{custom});
    QFile::remove(rulesPath());
}

void TestAppController::fallsBackToBuiltInRulesSilently_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("no file") << false << QByteArray();
    QTest::newRow("not JSON") << true << QByteArray("{ not json");
    QTest::newRow("no valid rule")
        << true << QByteArray(R"({"schemaVersion":1,"rules":[{"name":"x"}]})");
    QTest::newRow("empty array") << true << QByteArray("[]");
}

void TestAppController::fallsBackToBuiltInRulesSilently()
{
    QFETCH(bool, present);
    QFETCH(QByteArray, content);
    QFile::remove(rulesPath());
    if (present)
        QCOMPARE(writeRulesFile(content), content);

    AppController controller(setup());
    const QList<Rule>& rules = controller.rules()->ruleList();
    QCOMPARE(rules.size(), 9);
    QCOMPARE(rules.first().name, QStringLiteral("Solicitation document"));

    // Nothing is written at start-up.
    QCOMPARE(QFile::exists(rulesPath()), present);
    if (present)
        QCOMPARE(TestFiles::readBytes(rulesPath()), content);
    QFile::remove(rulesPath());
}

void TestAppController::clearingIsLoggedWithItsCount()
{
    AppController controller;
    Flows::DocumentList* docs = controller.documentList();
    docs->appendRecord(reviewed("02_Forms", Accepted));
    docs->appendRecord(reviewed(QString(), NeedsReview));
    docs->appendRecord(reviewed("03_Pricing", Changed));
    QTest::ignoreMessage(QtInfoMsg, "Document list cleared: 3 document(s) removed");
    controller.clearDocuments();
    QCOMPARE(docs->rowCount(), 0);
    QCOMPARE(controller.status(), QStringLiteral("Document list cleared."));
}

// The counters are announced when a change of the list changes them, not for every command.
void TestAppController::summaryIsAnnouncedWhenItsCountersChange()
{
    AppController controller;
    controller.documentList()->appendRecord(reviewed("02_Forms", NeedsReview));
    QSignalSpy summary(&controller, &AppController::summaryChanged);
    controller.review()->acceptDocument(0);
    QCOMPARE(summary.count(), 1);
    QCOMPARE(controller.summary().accepted, 1);
    controller.review()->acceptDocument(0); // accepted already: the counters stay
    controller.review()->acceptAllSuggested();
    QCOMPARE(summary.count(), 1);
    controller.review()->ignoreDocument(0);
    QCOMPARE(summary.count(), 2);
    QCOMPARE(controller.summary().ignored, 1);
}

// The counters follow the list row by row; whatever changes, they equal a fresh count.
void TestAppController::summaryFollowsEveryKindOfChange()
{
    AppController controller;
    Flows::DocumentList& list = *controller.documentList();
    const QList<DocumentRecord> kinds = {
        record(Ready, Ignored),
        record(NeedsOcr, NeedsReview),
        record(Encrypted, NeedsReview),
        record(Ready, Accepted, "02_Forms"),
        record(Ready, Changed, "03_Pricing", true),
        record(Ready, NeedsReview, "02_Forms", true),
        record(Unreadable, NeedsReview, "05_References"),
    };
    std::uint32_t seed = 7;
    const auto next = [&seed](std::uint32_t bound) {
        seed = seed * 1664525u + 1013904223u;
        return int((seed >> 8) % bound);
    };
    for (int step = 0; step < 400; ++step) {
        const int rows = int(list.rowCount());
        switch (next(5)) {
        case 0:
        case 1:
            list.appendRecord(kinds.at(next(kinds.size())));
            break;
        case 2:
            if (rows > 0)
                list.replace(next(rows), kinds.at(next(kinds.size())));
            break;
        case 3:
            if (rows > 0) {
                QList<DocumentRecord> fewer = list.records();
                fewer.removeAt(next(rows));
                list.setRecords(fewer);
            }
            break;
        default:
            if (next(8) == 0)
                list.setRecords(list.records().mid(0, rows / 2));
            else if (rows > 0)
                controller.review()->ignoreDocument(next(rows));
        }
        QCOMPARE(controller.summary(), summaryOf(list.records()));
    }
}

QTEST_GUILESS_MAIN(TestAppController)
#include "tst_appcontroller.moc"
