// The package checked against a portal's upload rules as the Export page shows it: the profiles
// to choose from, the outcomes with the failing documents, names fitted on request, the user's
// own profiles kept privately, and a check that follows the list only while it is watched.
#include "flows/DocumentList.h"
#include "flows/ReadinessFlow.h"
#include "support/PrivateFolder.h"
#include "support/TestFiles.h"

#include <QSignalSpy>
#include <QTest>
#include <QUrl>

using namespace Tessavo;
using Flows::ReadinessFlow;

namespace {

DocumentRecord doc(const QString& name, Decision decision, DocumentState state = Ready)
{
    DocumentRecord r;
    r.sourcePath = QStringLiteral("/bids/") + name;
    r.fileName = name;
    r.sizeBytes = 1000;
    r.pages = 1;
    r.textPages = state == Ready ? 1 : 0;
    r.state = state;
    r.decision = decision;
    r.suggestion.category = QStringLiteral("02_Forms");
    return r;
}

QVariantMap outcomeNamed(const ReadinessFlow& flow, const QString& start)
{
    for (const QVariant& outcome : flow.outcomes()) {
        const QVariantMap map = outcome.toMap();
        if (map.value(QStringLiteral("requirement")).toString().startsWith(start))
            return map;
    }
    return {};
}

} // namespace

class TestReadinessFlow : public QObject {
    Q_OBJECT

private slots:
    void theTypicalPortalNamesWhatFailsAndNamesCanBeFitted();
    void addedProfilesAreKeptPrivatelyAndReplacedByName();
    void theCheckFollowsTheListOnlyWhileWatched();
};

void TestReadinessFlow::theTypicalPortalNamesWhatFailsAndNamesCanBeFitted()
{
    Flows::DocumentList list;
    const QString longName = QString(56, u'x') + QStringLiteral(".pdf");
    list.appendRecord(doc(longName, Accepted));
    list.appendRecord(doc(QStringLiteral("Bid form.pdf"), NeedsReview));
    list.appendRecord(doc(QStringLiteral("Scan.pdf"), Changed, NeedsOcr));
    ReadinessFlow flow(list, QString());
    // The portable built-in profile is today's export: nothing to fail.
    QCOMPARE(flow.profileIndex(), 0);
    QVERIFY(flow.ready());
    QVERIFY(!flow.limitsNames());

    flow.setProfileIndex(flow.profileNames().indexOf(QStringLiteral("Typical tender portal")));
    QVERIFY(flow.limitsNames());
    QVERIFY(!flow.ready());
    const QVariantMap names = outcomeNamed(flow, QStringLiteral("File names at most 50"));
    QCOMPARE(names.value(QStringLiteral("passed")).toBool(), false);
    QCOMPARE(names.value(QStringLiteral("fix")).toString(), QStringLiteral("names"));
    QCOMPARE(names.value(QStringLiteral("paths")).toStringList(),
             QStringList{QStringLiteral("/bids/") + longName});
    const QVariantMap decided = outcomeNamed(flow, QStringLiteral("Every document accepted"));
    QCOMPARE(decided.value(QStringLiteral("paths")).toStringList(),
             QStringList{QStringLiteral("/bids/Bid form.pdf")});
    const QVariantMap text = outcomeNamed(flow, QStringLiteral("Every document has text"));
    QCOMPARE(text.value(QStringLiteral("fix")).toString(), QStringLiteral("recognise"));
    QCOMPARE(text.value(QStringLiteral("count")).toInt(), 1);
    QVERIFY(flow.failedRequirements().contains(QStringLiteral("File names at most 50")));
    QCOMPARE(flow.exportNameLimits(), NameLimits());

    // Fitted names pass; the export is told the limits.
    flow.setFitNames(true);
    QVERIFY(outcomeNamed(flow, QStringLiteral("File names at most 50"))
                .value(QStringLiteral("passed"))
                .toBool());
    QCOMPARE(flow.exportNameLimits().maxLength, std::optional<int>(50));
    QCOMPARE(flow.brokenCount(), 2);
    QVERIFY(!flow.failedRequirements().contains(QStringLiteral("File names")));
}

void TestReadinessFlow::addedProfilesAreKeptPrivatelyAndReplacedByName()
{
    PrivateFolder kept(QStringLiteral("city-portal-2.json"));
    QVERIFY(kept.isValid());
    const QString folder = QFileInfo(kept.file()).path();
    Flows::DocumentList list;
    list.appendRecord(doc(QStringLiteral("Bond.pdf"), Accepted));
    const QString picked = kept.outside(QStringLiteral("mine.json"));
    QVERIFY(TestFiles::writeBytes(
        picked,
        R"({"name": "City portal 2", "maxFiles": 3, "requiredCategories": ["03_Pricing"]})"));
    {
        ReadinessFlow flow(list, folder);
        const int builtIn = int(flow.profileNames().size());
        QSignalSpy said(&flow, &ReadinessFlow::status);
        flow.addProfileFile(QUrl::fromLocalFile(picked));
        QCOMPARE(flow.profileNames().size(), builtIn + 1);
        QCOMPARE(flow.profileIndex(), builtIn);
        QVERIFY(kept.isPrivate());
        QCOMPARE(said.count(), 1);
        QVERIFY(!flow.ready()); // nothing in 03_Pricing
        QCOMPARE(outcomeNamed(flow, QStringLiteral("At least one document in 03_Pricing"))
                     .value(QStringLiteral("problem"))
                     .toString(),
                 QStringLiteral("no document in 03_Pricing"));

        // The same name again replaces it; a file that is no profile changes nothing.
        QVERIFY(TestFiles::writeBytes(picked, R"({"name": "city portal 2", "maxNameLength": 5})"));
        flow.addProfileFile(QUrl::fromLocalFile(picked));
        QCOMPARE(flow.profileNames().size(), builtIn + 1);
        QVERIFY(!flow.ready()); // "Bond.pdf" is longer than 5
        QVERIFY(TestFiles::writeBytes(picked, R"({"maxFiles": "three"})"));
        flow.addProfileFile(QUrl::fromLocalFile(picked));
        QCOMPARE(flow.profileNames().size(), builtIn + 1);
        QVERIFY(said.last().at(0).toString().startsWith(
            QStringLiteral("“mine.json” is not a usable submission profile: ")));
    }
    // The next start offers it without the file it came from.
    QVERIFY(QFile::remove(picked));
    ReadinessFlow again(list, folder);
    QCOMPARE(again.profileNames().last(), QStringLiteral("city portal 2"));
}

void TestReadinessFlow::theCheckFollowsTheListOnlyWhileWatched()
{
    Flows::DocumentList list;
    list.appendRecord(doc(QStringLiteral("Bond.pdf"), Accepted));
    ReadinessFlow flow(list, QString());
    flow.setProfileIndex(1);
    QVERIFY(flow.ready());
    QSignalSpy checked(&flow, &ReadinessFlow::checked);

    list.appendRecord(doc(QStringLiteral("Form.pdf"), NeedsReview));
    QTest::qWait(300); // longer than a burst is gathered for
    QCOMPARE(checked.count(), 0);
    QVERIFY(flow.ready()); // not watched: not checked again

    flow.setWatching(true); // checks at once
    QCOMPARE(checked.count(), 1);
    QVERIFY(!flow.ready());
    // A burst of changes is checked once: an odd number of them ends accepted.
    for (int i = 0; i < 51; ++i)
        list.update(1, [](DocumentRecord& r) {
            r.decision = r.decision == Accepted ? NeedsReview : Accepted;
            return true;
        });
    QTRY_COMPARE(checked.count(), 2);
    QVERIFY(flow.ready());
    QTest::qWait(300);
    QCOMPARE(checked.count(), 2);
}

QTEST_GUILESS_MAIN(TestReadinessFlow)
#include "tst_readinessflow.moc"
