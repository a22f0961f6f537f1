// The review list's filter, order and selection over the shared document list, with Qt's model
// tester watching every change.
#include "flows/DocumentList.h"
#include "ui/DocumentListModel.h"
#include "ui/ReviewListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace Tessavo;
using namespace Tessavo::Ui;

namespace {

DocumentRecord doc(const QString& name, qint64 size, Decision decision = NeedsReview,
                   bool learned = false)
{
    DocumentRecord r;
    r.fileName = name;
    r.sourcePath = QStringLiteral("/bids/") + name;
    r.sizeBytes = size;
    r.state = Ready;
    r.suggestion.category = QStringLiteral("02_Forms");
    r.suggestion.learned = learned;
    r.decision = decision;
    return r;
}

QStringList shownNames(const ReviewListModel& model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names << model.index(row, 0).data(DocumentListModel::FileNameRole).toString();
    return names;
}

} // namespace

class TestReviewListModel : public QObject {
    Q_OBJECT

private slots:
    void filtersSortsAndMapsRows();
    void selectionFollowsDocumentsNotRows();
};

void TestReviewListModel::filtersSortsAndMapsRows()
{
    Flows::DocumentList list;
    DocumentListModel documents(&list);
    ReviewListModel shown;
    QAbstractItemModelTester tester(&shown, QAbstractItemModelTester::FailureReportingMode::QtTest);
    shown.setDocuments(&documents);
    list.appendRecord(doc(QStringLiteral("Lot 10 prices.pdf"), 300));
    list.appendRecord(doc(QStringLiteral("lot 9 RÉSUMÉ.pdf"), 100, Accepted));
    list.appendRecord(doc(QStringLiteral("Lot 9 bond.pdf"), 200, NeedsReview, true));
    QSignalSpy counted(&shown, &ReviewListModel::countChanged);

    shown.setSearchText(QStringLiteral("  resume "));
    QCOMPARE(shownNames(shown), QStringList{QStringLiteral("lot 9 RÉSUMÉ.pdf")});
    QVERIFY(shown.filtered());
    QCOMPARE(shown.totalCount(), 3);
    QCOMPARE(shown.documentRow(0), 1);
    QCOMPARE(shown.rowOf(0), -1); // hidden
    QVERIFY(counted.count() > 0);

    shown.setSearchText(QStringLiteral("LOT"));
    shown.setSortKey(ReviewListModel::ByName); // numbers by value, case aside
    QCOMPARE(shownNames(shown),
             (QStringList{QStringLiteral("Lot 9 bond.pdf"), QStringLiteral("lot 9 RÉSUMÉ.pdf"),
                          QStringLiteral("Lot 10 prices.pdf")}));
    QCOMPARE(shown.shownDocuments(), (QList<int>{2, 1, 0}));
    shown.setSortKey(ReviewListModel::BySize);
    QCOMPARE(shown.shownDocuments(), (QList<int>{1, 2, 0}));

    shown.setShow(ReviewListModel::Learned);
    QCOMPARE(shown.shownDocuments(), QList<int>{2});
    shown.setShow(ReviewListModel::Undecided);
    QCOMPARE(shown.shownDocuments(), (QList<int>{2, 0}));
    // A decision taken moves the document out of the rows shown.
    list.update(2, [](DocumentRecord& r) {
        r.decision = Ignored;
        return true;
    });
    QCOMPARE(shown.shownDocuments(), QList<int>{0});
    shown.setShow(ReviewListModel::All);
    shown.setCategory(QStringLiteral("03_Pricing"));
    QCOMPARE(shown.count(), 0);
    shown.setCategory(QString());
    shown.setSearchText(QString());
    shown.setSortKey(ReviewListModel::ImportOrder);
    // The documents that break a rule of the package, by path: they stay shown when the list is
    // read again in another order.
    shown.showOnly({QStringLiteral("/bids/Lot 9 bond.pdf"), QStringLiteral("/bids/none.pdf")},
                   QStringLiteral("Each file at most 1 MB"));
    QVERIFY(shown.filtered());
    QCOMPARE(shown.shownDocuments(), QList<int>{2});
    const QList<DocumentRecord> before = list.records();
    list.setRecords({before.at(2), before.at(0), before.at(1)});
    QCOMPARE(shown.shownDocuments(), QList<int>{0});
    list.setRecords(before);
    shown.showOnly({}, QString());
    QVERIFY(!shown.filtered());
    QCOMPARE(shown.shownDocuments(), (QList<int>{0, 1, 2}));
}

void TestReviewListModel::selectionFollowsDocumentsNotRows()
{
    Flows::DocumentList list;
    DocumentListModel documents(&list);
    ReviewListModel shown;
    shown.setDocuments(&documents);
    for (int n = 0; n < 6; ++n)
        list.appendRecord(doc(QStringLiteral("doc %1.pdf").arg(n), 600 - n));

    shown.select(1, ReviewListModel::SelectOnly);
    shown.select(3, ReviewListModel::Extend);
    QCOMPARE(shown.selectedDocuments(), (QList<int>{1, 2, 3}));
    shown.select(2, ReviewListModel::Toggle);
    QCOMPARE(shown.selectedDocuments(), (QList<int>{1, 3}));
    QVERIFY(shown.index(1, 0).data(ReviewListModel::SelectedRole).toBool());

    // Sorted the other way round, the same documents stay selected, in the order shown.
    shown.setSortKey(ReviewListModel::BySize);
    QCOMPARE(shown.selectedDocuments(), (QList<int>{3, 1}));
    QVERIFY(shown.isSelected(shown.rowOf(3)));
    // Hidden by the filter, a selected document is left out of what the commands take.
    shown.setSearchText(QStringLiteral("doc 3"));
    QCOMPARE(shown.selectedCount(), 1);
    QCOMPARE(shown.selectedDocuments(), QList<int>{3});
    shown.setSearchText(QString());
    shown.selectAll();
    QCOMPARE(shown.selectedCount(), 6);

    QSignalSpy selection(&shown, &ReviewListModel::selectionChanged);
    list.clear(); // other documents may take these rows: nothing stays selected
    QVERIFY(selection.count() > 0);
    list.appendRecord(doc(QStringLiteral("new.pdf"), 1));
    QCOMPARE(shown.selectedCount(), 0);
    shown.select(0, ReviewListModel::Extend); // no anchor: this row alone
    QCOMPARE(shown.selectedDocuments(), QList<int>{0});
}

QTEST_GUILESS_MAIN(TestReviewListModel)
#include "tst_reviewlistmodel.moc"
