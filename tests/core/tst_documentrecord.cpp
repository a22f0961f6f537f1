#include "core/DocumentRecord.h"

#include <QTest>

using namespace Tessavo;

class TestDocumentRecord : public QObject {
    Q_OBJECT

private slots:
    void sizeTextsAtUnitBoundaries_data();
    void sizeTextsAtUnitBoundaries();
    void sizeTextsIgnoreTheLocale();
    void displayTextsFallBack();
    void displayCategoryPrefersTheReviewersChoice();
    void exportableNeedsAnOpenedUnignoredDocument();
    void decisionsKeepTheirCategoryWhenTheSuggestionChanges();
    void freshRecordDefaults();
    void onlyConfidentSuggestionsAreClear();
};

void TestDocumentRecord::sizeTextsAtUnitBoundaries_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("evidence");
    QTest::newRow("zero") << qint64(0) << "0 B"
                          << "0 B";
    QTest::newRow("below a kilobyte") << qint64(1023) << "1023 B"
                                      << "1023 B";
    QTest::newRow("one kilobyte") << qint64(1024) << "1 KB"
                                  << "1.0 KB";
    QTest::newRow("rounds to nearest") << qint64(1536) << "2 KB"
                                       << "1.5 KB";
    QTest::newRow("500 KB") << qint64(500 * 1024) << "500 KB"
                            << "500.0 KB";
    QTest::newRow("just below a megabyte") << qint64(1048575) << "1024 KB"
                                           << "1024.0 KB";
    QTest::newRow("one megabyte") << qint64(1048576) << "1.0 MB"
                                  << "1.0 MB";
    QTest::newRow("five megabytes") << qint64(5 * 1048576) << "5.0 MB"
                                    << "5.0 MB";
    QTest::newRow("no digit grouping") << qint64(5000) * 1048576 << "5000.0 MB"
                                       << "5000.0 MB";
    QTest::newRow("negative") << qint64(-5) << "-5 B"
                              << "-5 B";
}

void TestDocumentRecord::sizeTextsAtUnitBoundaries()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, list);
    QFETCH(QString, evidence);
    QCOMPARE(sizeText(bytes), list);
    QCOMPARE(evidenceSizeText(bytes), evidence);
}

void TestDocumentRecord::sizeTextsIgnoreTheLocale()
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(sizeText(1572864), QStringLiteral("1.5 MB"));
    QCOMPARE(evidenceSizeText(1536), QStringLiteral("1.5 KB"));
    QLocale::setDefault(previous);
}

void TestDocumentRecord::displayTextsFallBack()
{
    QCOMPARE(stateText(Ready), QStringLiteral("Ready"));
    QCOMPARE(stateText(NeedsOcr), QStringLiteral("Needs OCR"));
    QCOMPARE(stateText(Unreadable), QStringLiteral("Unreadable"));
    QCOMPARE(stateText(Encrypted), QStringLiteral("Encrypted"));
    QCOMPARE(stateText(7), QStringLiteral("Unknown"));
    QCOMPARE(stateText(-1), QStringLiteral("Unknown"));
    QCOMPARE(decisionText(NeedsReview), QStringLiteral("Needs review"));
    QCOMPARE(decisionText(Accepted), QStringLiteral("Accepted"));
    QCOMPARE(decisionText(Changed), QStringLiteral("Changed"));
    QCOMPARE(decisionText(Ignored), QStringLiteral("Ignored"));
    QCOMPARE(decisionText(-1), QStringLiteral("Needs review"));
    QCOMPARE(decisionText(4), QStringLiteral("Needs review"));
}

void TestDocumentRecord::displayCategoryPrefersTheReviewersChoice()
{
    DocumentRecord r;
    r.suggestion.category = QStringLiteral("02_Forms");
    r.finalCategory = QStringLiteral("03_Pricing");

    r.decision = Accepted;
    QCOMPARE(displayCategory(r), QStringLiteral("03_Pricing"));
    r.decision = Changed;
    QCOMPARE(displayCategory(r), QStringLiteral("03_Pricing"));
    r.decision = Ignored; // a previously accepted category is not shown any more
    QCOMPARE(displayCategory(r), QStringLiteral("02_Forms"));
    r.decision = NeedsReview;
    QCOMPARE(displayCategory(r), QStringLiteral("02_Forms"));

    r.decision = Changed;
    r.finalCategory.clear();
    QCOMPARE(displayCategory(r), QStringLiteral("02_Forms"));
    r.suggestion.category.clear();
    QVERIFY(displayCategory(r).isEmpty());
    QVERIFY(!hasSuggestion(r));
}

void TestDocumentRecord::exportableNeedsAnOpenedUnignoredDocument()
{
    for (int state : {int(Ready), int(NeedsOcr), int(Unreadable), int(Encrypted), 9}) {
        for (int decision : {NeedsReview, Accepted, Changed, Ignored}) {
            DocumentRecord r;
            r.state = DocumentState(state); // 9 lies outside the known values
            r.decision = Decision(decision);
            const bool expected = (state == Ready || state == NeedsOcr) && decision != Ignored;
            QCOMPARE(exportable(r), expected);
        }
    }
}

void TestDocumentRecord::decisionsKeepTheirCategoryWhenTheSuggestionChanges()
{
    Suggestion forms;
    forms.category = QStringLiteral("02_Forms");
    Suggestion pricing;
    pricing.category = QStringLiteral("03_Pricing");

    DocumentRecord accepted;
    accepted.suggestion = forms;
    QVERIFY(acceptSuggestion(accepted));
    setSuggestion(accepted, pricing);
    QCOMPARE(accepted.finalCategory, QStringLiteral("02_Forms"));
    QCOMPARE(accepted.suggestion.category, QStringLiteral("03_Pricing"));
    setSuggestion(accepted, Suggestion()); // no rule matches any more
    QCOMPARE(accepted.decision, int(Accepted));
    QCOMPARE(accepted.finalCategory, QStringLiteral("02_Forms"));
    QCOMPARE(displayCategory(accepted), QStringLiteral("02_Forms"));

    DocumentRecord changed;
    changeCategory(changed, QStringLiteral("05_References"));
    setSuggestion(changed, forms);
    QCOMPARE(changed.finalCategory, QStringLiteral("05_References"));

    // An accepted record without a category (kept so by an earlier version) takes the new one.
    DocumentRecord lost;
    lost.decision = Accepted;
    setSuggestion(lost, pricing);
    QCOMPARE(lost.finalCategory, QStringLiteral("03_Pricing"));

    DocumentRecord pending;
    setSuggestion(pending, forms);
    QVERIFY(pending.finalCategory.isEmpty());
}

void TestDocumentRecord::freshRecordDefaults()
{
    const DocumentRecord r;
    QCOMPARE(r.state, int(Unreadable));
    QCOMPARE(r.decision, int(NeedsReview));
    QCOMPARE(r.suggestion.evidencePage, -1);
    QVERIFY(!r.suggestion.conflict);
    QCOMPARE(r.sizeBytes, 0);
    QVERIFY(r.pageTexts.isEmpty() && r.suggestion.matches.isEmpty() && r.sha256.isEmpty());
}

void TestDocumentRecord::onlyConfidentSuggestionsAreClear()
{
    DocumentRecord r;
    r.state = Ready;
    r.suggestion.category = QStringLiteral("03_Pricing");
    QVERIFY(hasClearSuggestion(r)); // a rule's, without conflict
    r.suggestion.learned = true;
    QVERIFY(hasClearSuggestion(r)); // learned, and sure of it
    r.suggestion.tentative = true;
    QVERIFY(!hasClearSuggestion(r)); // learned, not sure: shown, accepted only by a person
    QVERIFY(canAccept(r));
    r.suggestion.tentative = false;
    r.suggestion.conflict = true;
    QVERIFY(!hasClearSuggestion(r));
}

QTEST_APPLESS_MAIN(TestDocumentRecord)
#include "tst_documentrecord.moc"
