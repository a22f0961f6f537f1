#include "core/Rule.h"
#include "flows/DocumentList.h"
#include "flows/ReviewFlow.h"
#include "flows/RuleBook.h"
#include "flows/SessionFlow.h"

#include <QSignalSpy>
#include <QTest>

using namespace Tessavo;
using namespace Tessavo::Flows;

class TestRuleBook : public QObject {
    Q_OBJECT

private slots:
    void insertPutsARuleBackAsItWas();
    void undoneRemovalComesBackWhereItWas();
};

void TestRuleBook::insertPutsARuleBackAsItWas()
{
    RuleBook book(defaultRules());
    const QList<Rule> original = book.rules();
    QVERIFY(book.setEnabled(2, false));
    const Rule removed = book.rules().at(2);
    QVERIFY(book.remove(2));

    QSignalSpy changed(&book, &RuleBook::changed);
    QVERIFY(!book.insert(2, book.rules().at(0))); // its id is listed
    QVERIFY(!book.insert(-1, removed));
    QVERIFY(!book.insert(int(book.rules().size()) + 1, removed));
    QCOMPARE(changed.count(), 0);

    QVERIFY(book.insert(2, removed));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(book.rules().size(), original.size());
    QCOMPARE(book.rules().at(2).id, original.at(2).id);
    QVERIFY(!book.rules().at(2).enabled);
    QVERIFY(book.setEnabled(2, true));
    QCOMPARE(book.rules(), original);
}

// Removed, added and edited rules are undone and redone in place, keeping their ids.
void TestRuleBook::undoneRemovalComesBackWhereItWas()
{
    DocumentList list;
    RuleBook rules(defaultRules());
    SessionFlow session(list);
    ReviewFlow review(list, rules, session);
    const auto ids = [&rules] {
        QStringList out;
        for (const Rule& r : rules.rules())
            out << r.id;
        return out;
    };
    const QStringList before = ids();

    review.setRuleEnabled(1, false);
    review.removeRule(1);
    review.removeRule(3);
    review.addRule(QStringLiteral("Bonds"), QStringLiteral("06_Insurance"), QStringLiteral("bond"),
                   QString(), 0, 0, 900);
    const QString added = rules.rules().constLast().id;
    review.undo(); // the added rule goes
    review.undo(); // the fourth rule of what was left comes back as the fourth
    review.undo(); // the second rule comes back second, still off
    QCOMPARE(ids(), before);
    QVERIFY(!rules.rules().at(1).enabled);

    review.redo();
    review.redo();
    review.redo(); // added again, last, with the same id
    QCOMPARE(rules.rules().constLast().id, added);
    QCOMPARE(rules.rules().size(), before.size() - 1);
    review.undo();
    review.undo();
    review.undo();
    review.undo(); // on again
    QCOMPARE(ids(), before);
    QVERIFY(rules.rules().at(1).enabled);
}

QTEST_GUILESS_MAIN(TestRuleBook)
#include "tst_rulebook.moc"
