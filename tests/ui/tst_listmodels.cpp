#include "ui/DocumentListModel.h"
#include "ui/RuleListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace Tessavo;
using namespace Tessavo::Ui;

namespace {

DocumentRecord sampleRecord()
{
    DocumentRecord r;
    r.fileName = QStringLiteral("Offer, final.pdf");
    r.sourcePath = QStringLiteral("/bids/Offer, final.pdf");
    r.pages = 3;
    r.textPages = 2;
    r.sizeBytes = 2048;
    r.sha256 = QByteArray("0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef");
    r.state = NeedsOcr;
    r.suggestion.category = QStringLiteral("02_Forms");
    r.suggestion.ruleName = QStringLiteral("Bid bond");
    r.suggestion.evidence = QStringLiteral("text contains \"bid bond\" on page 1");
    r.suggestion.conflict = true;
    r.suggestion.conflictNote = QStringLiteral("Conflicting categories: …");
    r.decision = Changed;
    r.finalCategory = QStringLiteral("03_Pricing");
    r.note = QStringLiteral("n");
    return r;
}

} // namespace

class TestListModels : public QObject {
    Q_OBJECT

private slots:
    void documentRolesExposeTheRecord();
    void documentModelRejectsInvalidIndexes();
    void documentNotificationsStayInRange();
    void ruleSummaries_data();
    void ruleSummaries();
    void ruleModelOperations();
};

void TestListModels::documentRolesExposeTheRecord()
{
    Flows::DocumentList list;
    DocumentListModel model(&list);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    list.appendRecord(sampleRecord());
    const QModelIndex i = model.index(0);

    const QHash<int, QByteArray> names = model.roleNames();
    QCOMPARE(names.size(), 25);
    QCOMPARE(names.value(257), QByteArray("fileName"));
    QCOMPARE(names.value(270), QByteArray("sha"));
    QCOMPARE(names.value(272), QByteArray("hasSuggestion"));

    auto role = [&](const char* name) {
        return model.data(i, names.key(name));
    };
    QCOMPARE(model.data(i, Qt::DisplayRole).toString(), QStringLiteral("Offer, final.pdf"));
    QCOMPARE(role("fileName").toString(), QStringLiteral("Offer, final.pdf"));
    QCOMPARE(role("sourcePath").toString(), QStringLiteral("/bids/Offer, final.pdf"));
    QCOMPARE(role("pages").toInt(), 3);
    QCOMPARE(role("textPages").toInt(), 2);
    QCOMPARE(role("sizeText").toString(), QStringLiteral("2 KB"));
    QCOMPARE(role("stateText").toString(), QStringLiteral("Needs OCR"));
    QCOMPARE(role("documentState").toInt(), int(NeedsOcr));
    QCOMPARE(role("category").toString(), QStringLiteral("03_Pricing"));
    QCOMPARE(role("ruleName").toString(), QStringLiteral("Bid bond"));
    QCOMPARE(role("conflict").toBool(), true);
    QCOMPARE(role("decision").toInt(), int(Changed));
    QCOMPARE(role("decisionText").toString(), QStringLiteral("Changed"));
    QCOMPARE(role("sha").toString(), QStringLiteral("0123456789ab"));
    QCOMPARE(role("note").toString(), QStringLiteral("n"));
    QCOMPARE(role("hasSuggestion").toBool(), true);
    QCOMPARE(role("canAccept").toBool(), true); // changed, and a suggestion to take
    // The rule's own suggestion, whatever the user chose since.
    QCOMPARE(role("suggestedCategory").toString(), QStringLiteral("02_Forms"));
    // Text recognition never ran for it.
    QCOMPARE(role("recognitionText").toString(), QString());
    QCOMPARE(role("errorText").toString(), QString());

    DocumentRecord unhashed;
    list.appendRecord(unhashed);
    QVERIFY(model.data(model.index(1), DocumentListModel::ShaRole).toString().isEmpty());
    QCOMPARE(model.data(model.index(1), DocumentListModel::StateTextRole).toString(),
             QStringLiteral("Unreadable"));

    DocumentRecord locked;
    locked.state = Encrypted;
    locked.errorText = QStringLiteral("the PDF needs a password");
    list.appendRecord(locked);
    QCOMPARE(model.data(model.index(2), names.key("errorText")).toString(), locked.errorText);
    QCOMPARE(model.data(model.index(2), names.key("canAccept")).toBool(), false); // nothing to take

    // Neither an accepted nor an ignored record offers to be accepted.
    for (const Decision decision : {Accepted, Ignored, NeedsReview}) {
        list.update(0, [decision](DocumentRecord& r) {
            r.decision = decision;
            return true;
        });
        QCOMPARE(model.data(i, names.key("canAccept")).toBool(), decision == NeedsReview);
    }
}

void TestListModels::documentModelRejectsInvalidIndexes()
{
    Flows::DocumentList list;
    DocumentListModel model(&list);
    list.appendRecord(sampleRecord());
    QVERIFY(!model.data(model.index(1), DocumentListModel::FileNameRole).isValid());
    QVERIFY(!model.data(model.index(-1), DocumentListModel::FileNameRole).isValid());
    QVERIFY(!model.data(model.index(0), DocumentListModel::DuplicateOfRole + 1).isValid());
    QVERIFY(!model.data(model.index(0), Qt::DecorationRole).isValid());
    QCOMPARE(model.rowCount(model.index(0)), 0);
    QVERIFY(model.recordAt(1) == nullptr);
    QVERIFY(model.recordAt(-1) == nullptr);
    QVERIFY(model.recordAt(0) != nullptr);
}

void TestListModels::documentNotificationsStayInRange()
{
    Flows::DocumentList list;
    DocumentListModel model(&list);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    const auto touch = [](DocumentRecord& r) {
        r.note += u'x';
        return true;
    };
    QVERIFY(list.updateEach(touch).isEmpty());
    QCOMPARE(changed.count(), 0);

    for (int i = 0; i < 5; ++i)
        list.appendRecord(sampleRecord());
    QVERIFY(!list.update(5, touch));
    QVERIFY(!list.update(-1, touch));
    QVERIFY(!list.update(3, [](DocumentRecord&) { return false; })); // declined: no news
    QCOMPARE(changed.count(), 0);
    QVERIFY(list.update(4, touch));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 4);
    QVERIFY(changed.at(0).at(2).value<QList<int>>().isEmpty());
    QVERIFY(model.recordAt(4)->note.endsWith(u'x'));

    // One announcement for each run of adjacent rows that changed.
    QCOMPARE(list.updateEach([](DocumentRecord& r) { return r.note.endsWith(u'x'); }),
             (QList<int>{4}));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(1).at(0).toModelIndex().row(), 4);
    int row = 0;
    QCOMPARE(list.updateEach([&row](DocumentRecord&) { return row++ != 2; }),
             (QList<int>{0, 1, 3, 4}));
    QCOMPARE(changed.count(), 4);
    QCOMPARE(changed.at(2).at(0).toModelIndex().row(), 0);
    QCOMPARE(changed.at(2).at(1).toModelIndex().row(), 1);
    QCOMPARE(changed.at(3).at(0).toModelIndex().row(), 3);
    QCOMPARE(changed.at(3).at(1).toModelIndex().row(), 4);

    list.clear();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(model.records().isEmpty());
}

void TestListModels::ruleSummaries_data()
{
    QTest::addColumn<Rule>("rule");
    QTest::addColumn<QString>("expected");
    const QList<Rule> builtIn = defaultRules();
    QTest::newRow("built-in References")
        << builtIn[6]
        << "text contains any of \"references\", \"reference form\", \"past performance "
           "questionnaire\" and 1 more; whole words";
    Rule r;
    r.textContains = QStringLiteral("bid bond");
    r.minPages = 2;
    QTest::newRow("text and pages") << r << "text contains \"bid bond\"; pages >= 2";
    Rule sizes;
    sizes.minBytes = 1536;
    QTest::newRow("min size in whole KB") << sizes << "size >= 1 KB";
    sizes.minBytes = 0;
    sizes.maxBytes = 500;
    QTest::newRow("max size rounds down") << sizes << "size <= 0 KB";
    Rule none;
    none.fileContains = QStringLiteral("  ");
    none.minPages = -3;
    QTest::newRow("no conditions") << none << "no conditions";
    Rule every;
    every.fileContains = QStringLiteral(" a ");
    every.textContains = QStringLiteral("b");
    every.minPages = 1;
    every.maxPages = 2;
    every.minBytes = 2048;
    every.maxBytes = 4096;
    QTest::newRow("every condition in order")
        << every
        << "file name contains \" a \"; text contains \"b\"; pages >= 1; pages <= 2; "
           "size >= 2 KB; size <= 4 KB";
}

void TestListModels::ruleSummaries()
{
    QFETCH(Rule, rule);
    QFETCH(QString, expected);
    QCOMPARE(ruleSummary(rule), expected);
}

void TestListModels::ruleModelOperations()
{
    Flows::RuleList list;
    RuleListModel model(&list);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    list.setRules(defaultRules());
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model.rowCount(), 9);

    const QModelIndex first = model.index(0);
    QCOMPARE(model.roleNames().size(), 6);
    QCOMPARE(model.data(first, Qt::DisplayRole).toString(),
             QStringLiteral("Solicitation document"));
    QCOMPARE(model.data(first, RuleListModel::CategoryRole).toString(),
             QStringLiteral("01_Solicitation"));
    QCOMPARE(model.data(first, RuleListModel::PriorityRole).toInt(), 10);
    QCOMPARE(
        model.data(first, RuleListModel::SummaryRole).toString(),
        QStringLiteral("text contains any of \"request for proposals\", \"request for proposal "
                       "(\", \"request for quotation (\" and 17 more; text contains none of "
                       "\"our team\", \"our approach\", \"we propose\" and 2 more; whole words"));
    QCOMPARE(model.data(first, RuleListModel::EnabledRole).toBool(), true);
    QCOMPARE(model.data(first, RuleListModel::IdRole).toString(), model.ruleList().first().id);
    QVERIFY(!model.data(first, 263).isValid());
    QVERIFY(!model.data(model.index(9), RuleListModel::NameRole).isValid());

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    const auto disable = [](Rule& rule) {
        rule.enabled = false;
        return true;
    };
    QVERIFY(list.update(2, disable));
    QVERIFY(!list.update(9, disable));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(model.data(model.index(2), RuleListModel::EnabledRole).toBool(), false);
    QVERIFY(list.ruleAt(9) == nullptr);

    list.setRules({defaultRules().first()});
    list.removeRule(1);
    QCOMPARE(model.rowCount(), 1);
    list.removeRule(0);
    QCOMPARE(model.rowCount(), 0);
    list.appendRule(defaultRules().last());
    QCOMPARE(model.ruleList().first().name, QStringLiteral("Appendix"));
}

QTEST_GUILESS_MAIN(TestListModels)
#include "tst_listmodels.moc"
