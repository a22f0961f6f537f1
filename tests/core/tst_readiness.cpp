#include "core/FileNames.h"
#include "core/ReadinessCheck.h"
#include "core/SubmissionProfile.h"

#include <QTest>

using namespace Tessavo;

// Submission profiles read from JSON, and the check of a package against one.
class TestReadiness : public QObject {
    Q_OBJECT

private slots:
    void profilesReadBackAsWritten();
    void unusableProfilesNameTheirKey_data();
    void unusableProfilesNameTheirKey();
    void unknownKeysAndNullsAreHarmless();
    void eachRuleNamesTheDocumentsThatBreakIt();
    void countsAndTotalsTakeEachStoredFileOnce();
    void namesAreCheckedAsStored();
    void plainNameFaults_data();
    void plainNameFaults();
    void onlyTheRulesSetAreChecked();
};

namespace {

constexpr qint64 MB = 1000 * 1000;

DocumentRecord document(const QString& name, qint64 size = 1000, const QByteArray& sha = {})
{
    DocumentRecord r;
    r.sourcePath = QStringLiteral("/package/") + name;
    r.fileName = name;
    r.sizeBytes = size;
    r.sha256 = sha.isEmpty() ? QByteArray::number(qHash(name)).leftJustified(64, 'a') : sha;
    r.pages = 1;
    r.textPages = 1;
    r.state = Ready;
    r.suggestion.category = QStringLiteral("04_Technical");
    r.decision = Accepted;
    r.finalCategory = QStringLiteral("04_Technical");
    return r;
}

const ReadinessOutcome* find(const ReadinessReport& report, ReadinessRule rule)
{
    for (const ReadinessOutcome& made : report.outcomes) {
        if (made.rule == rule)
            return &made;
    }
    return nullptr;
}

QStringList failingPaths(const ReadinessOutcome& made)
{
    QStringList paths;
    for (const FailingDocument& d : made.failing)
        paths.append(d.path);
    return paths;
}

} // namespace

void TestReadiness::profilesReadBackAsWritten()
{
    SubmissionProfile full;
    full.name = QStringLiteral("Städtisches Portal");
    full.maxFileBytes = 15 * MB;
    full.maxTotalBytes = qint64(1) << 40; // beyond 32 bits
    full.maxFiles = 15;
    full.maxNameLength = 50;
    full.plainNames = true;
    full.allowEncrypted = false;
    full.requireText = true;
    full.requireDecided = true;
    full.requiredCategories = {QStringLiteral("02_Forms"), QStringLiteral("03_Pricing")};
    full.zipVolumeBytes = 100 * MB;
    QList<SubmissionProfile> profiles = builtInProfiles();
    profiles.append(full);
    profiles.append(SubmissionProfile());
    for (const SubmissionProfile& profile : std::as_const(profiles)) {
        const SubmissionProfileRead read = readSubmissionProfile(submissionProfileJson(profile));
        QVERIFY2(read.ok, qPrintable(read.error));
        QVERIFY(read.warnings.isEmpty());
        QCOMPARE(read.profile, profile);
    }
    // The built-in ones: today's export, and a typical portal.
    QCOMPARE(builtInProfiles().size(), 2);
    QVERIFY(!nameLimitsOf(portableNamesProfile()).any());
    const SubmissionProfile portal = typicalPortalProfile();
    QCOMPARE(portal.maxNameLength, 50);
    QVERIFY(portal.plainNames && portal.requireText && portal.requireDecided);
    QCOMPARE(portal.maxFileBytes, 50 * MB);
    QVERIFY(portal.name != portableNamesProfile().name);
}

void TestReadiness::unusableProfilesNameTheirKey_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error");
    QTest::newRow("text for a number") << QByteArray(R"({"maxFileBytes": "50 MB"})")
                                       << "maxFileBytes: expected a whole number, found text";
    QTest::newRow("fraction") << QByteArray(R"({"maxFiles": 2.5})")
                              << "maxFiles: 2.5 is not a whole number";
    QTest::newRow("zero") << QByteArray(R"({"maxNameLength": 0})")
                          << "maxNameLength: 0 is outside 1 to 255";
    QTest::newRow("negative") << QByteArray(R"({"maxTotalBytes": -1})")
                              << "maxTotalBytes: -1 is outside 1 to 9007199254740992";
    QTest::newRow("beyond a double's integers")
        << QByteArray(R"({"zipVolumeBytes": 9007199254740993})")
        << "zipVolumeBytes: 9007199254740993 is outside 1 to 9007199254740992";
    QTest::newRow("huge") << QByteArray(R"({"maxFiles": 1e300})")
                          << "maxFiles: 1e+300 is outside 1 to 1000000";
    QTest::newRow("too many files") << QByteArray(R"({"maxFiles": 4294967297})")
                                    << "maxFiles: 4294967297 is outside 1 to 1000000";
    QTest::newRow("number for a flag") << QByteArray(R"({"plainNames": 1})")
                                       << "plainNames: expected true or false, found a number";
    QTest::newRow("text for a flag") << QByteArray(R"({"allowEncrypted": "no"})")
                                     << "allowEncrypted: expected true or false, found text";
    QTest::newRow("category text") << QByteArray(R"({"requiredCategories": "03_Pricing"})")
                                   << "requiredCategories: expected a list of categories, "
                                      "found text";
    QTest::newRow("category number") << QByteArray(R"({"requiredCategories": [3]})")
                                     << "requiredCategories: expected category names, found a "
                                        "number";
    QTest::newRow("unknown category")
        << QByteArray(R"({"requiredCategories": ["09_Bribes"]})")
        << "requiredCategories: \"09_Bribes\" is not one of the categories 01_Solicitation, "
           "02_Forms, 03_Pricing, 04_Technical, 05_References, 06_Insurance, 07_Appendices, "
           "08_Other";
    QTest::newRow("name a number")
        << QByteArray(R"({"name": 5})") << "name: expected text, found a number";
    QTest::newRow("name with a line feed")
        << QByteArray(R"({"name": "a\nb"})") << "name: contains a control character";
    QTest::newRow("a list") << QByteArray("[]") << "not a profile: the JSON is not an object";
    QTest::newRow("not JSON") << QByteArray("{\"name\": ") << "not valid JSON";
    QByteArray large = R"({"name": ")" + QByteArray(maxProfileBytes, 'x') + R"("})";
    QTest::newRow("too large") << large << "larger than 65536 bytes";
}

void TestReadiness::unusableProfilesNameTheirKey()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    const SubmissionProfileRead read = readSubmissionProfile(json);
    QVERIFY(!read.ok);
    if (error == QLatin1String("not valid JSON"))
        QVERIFY2(read.error.startsWith(error), qPrintable(read.error)); // Qt's words follow
    else
        QCOMPARE(read.error, error);
}

void TestReadiness::unknownKeysAndNullsAreHarmless()
{
    const SubmissionProfileRead read = readSubmissionProfile(
        R"({"name": "P", "maxFileBytes": null, "maxFileSize": 5, "plainNames": true,
            "requiredCategories": ["03_Pricing", "03_Pricing"], "maxFiles": 1e1})");
    QVERIFY2(read.ok, qPrintable(read.error));
    QCOMPARE(read.warnings, QStringList{QStringLiteral("unknown key \"maxFileSize\" ignored")});
    QVERIFY(!read.profile.maxFileBytes);
    QCOMPARE(read.profile.maxFiles, 10);
    QCOMPARE(read.profile.requiredCategories, QStringList{QStringLiteral("03_Pricing")});
    QVERIFY(read.profile.allowEncrypted); // the default
}

void TestReadiness::eachRuleNamesTheDocumentsThatBreakIt()
{
    DocumentRecord big = document(QStringLiteral("Drawings.pdf"), 3 * MB);
    DocumentRecord longName = document(QString(56, u'n') + QStringLiteral(".pdf")); // 60
    DocumentRecord locked = document(QStringLiteral("Locked.pdf"));
    locked.state = Encrypted;
    DocumentRecord lockedIgnored = document(QStringLiteral("Old locked.pdf"));
    lockedIgnored.state = Encrypted;
    lockedIgnored.decision = Ignored;
    DocumentRecord scan = document(QStringLiteral("Signed form.pdf"));
    scan.state = NeedsOcr;
    scan.textPages = 0;
    DocumentRecord undecided = document(QStringLiteral("Offer.pdf"));
    undecided.decision = NeedsReview;
    undecided.suggestion.category = QStringLiteral("03_Pricing");
    const QList<DocumentRecord> records{big, longName, locked, lockedIgnored, scan, undecided};

    SubmissionProfile profile;
    profile.maxFileBytes = 1 * MB;
    profile.maxNameLength = 50;
    profile.allowEncrypted = false;
    profile.requireText = true;
    profile.requireDecided = true;
    profile.requiredCategories = {QStringLiteral("03_Pricing"), QStringLiteral("06_Insurance"),
                                  QStringLiteral("02_Forms")};
    profile.zipVolumeBytes = 2 * MB;
    const ReadinessReport report = checkReadiness(profile, records, {}, false);
    QVERIFY(!report.ready());
    QCOMPARE(report.outcomes.size(), 7);

    const ReadinessOutcome* size = find(report, ReadinessRule::FileSize);
    QVERIFY(size && !size->passed);
    QCOMPARE(size->requirement, QStringLiteral("Each file at most 1 MB"));
    QCOMPARE(size->failing.size(), 1);
    QCOMPARE(size->failing.first().row, 0);
    QCOMPARE(size->failing.first().path, QStringLiteral("/package/Drawings.pdf"));
    QCOMPARE(size->failing.first().reason, QStringLiteral("3 MB"));
    QCOMPARE(size->fix, ReadinessFix::None);

    const ReadinessOutcome* length = find(report, ReadinessRule::NameLength);
    QVERIFY(length && !length->passed);
    QCOMPARE(failingPaths(*length), QStringList{longName.sourcePath});
    QVERIFY(length->failing.first().reason.startsWith(QStringLiteral("60 characters: nnn")));
    QCOMPARE(length->fix, ReadinessFix::FitNames);

    const ReadinessOutcome* locks = find(report, ReadinessRule::NoEncrypted);
    QVERIFY(locks && !locks->passed);
    QCOMPARE(failingPaths(*locks), QStringList{locked.sourcePath}); // the ignored one is no loss

    const ReadinessOutcome* text = find(report, ReadinessRule::Text);
    QVERIFY(text && !text->passed);
    QCOMPARE(failingPaths(*text), QStringList{scan.sourcePath});
    QCOMPARE(text->fix, ReadinessFix::RecogniseScans);

    const ReadinessOutcome* decided = find(report, ReadinessRule::Decided);
    QVERIFY(decided && !decided->passed);
    QCOMPARE(failingPaths(*decided), QStringList{undecided.sourcePath});
    QCOMPARE(decided->failing.first().row, 5);

    // An undecided document counts with its suggested category, as the manifest files it.
    const ReadinessOutcome* categories = find(report, ReadinessRule::Categories);
    QVERIFY(categories && !categories->passed);
    QVERIFY(categories->failing.isEmpty());
    QCOMPARE(categories->problem, QStringLiteral("no document in 06_Insurance, 02_Forms"));

    const ReadinessOutcome* zip = find(report, ReadinessRule::ZipSize);
    QVERIFY(zip && !zip->passed);
    QCOMPARE(failingPaths(*zip), QStringList{big.sourcePath});

    const QStringList lines = report.failureLines();
    QVERIFY(lines.contains(QStringLiteral("Each file at most 1 MB: /package/Drawings.pdf (3 MB)")));
    QVERIFY(lines.contains(QStringLiteral(
        "At least one document in 03_Pricing, 06_Insurance, 02_Forms: no document in "
        "06_Insurance, 02_Forms")));
    QCOMPARE(lines.size(), 7);

    // Mended, the same package passes every rule.
    QList<DocumentRecord> mended = records;
    mended[0].sizeBytes = MB;
    mended[1].fileName = QStringLiteral("Short.pdf");
    mended[2].decision = Ignored;
    mended[4].state = Ready;
    mended[5].decision = Changed;
    mended[5].finalCategory = QStringLiteral("03_Pricing");
    mended[3].finalCategory = QStringLiteral("06_Insurance"); // ignored: does not count
    profile.requiredCategories.removeAll(QStringLiteral("06_Insurance"));
    profile.requiredCategories.removeAll(QStringLiteral("02_Forms"));
    const ReadinessReport after = checkReadiness(profile, mended, {}, false);
    QVERIFY2(after.ready(), qPrintable(after.failureLines().join(u'\n')));
    QVERIFY(after.failureLines().isEmpty());
}

void TestReadiness::countsAndTotalsTakeEachStoredFileOnce()
{
    const QByteArray same(64, 'c');
    DocumentRecord a = document(QStringLiteral("a.pdf"), 400 * 1000, same);
    DocumentRecord copy = document(QStringLiteral("copy of a.pdf"), 400 * 1000, same);
    DocumentRecord b = document(QStringLiteral("b.pdf"), 400 * 1000);
    // The same file listed twice is stored once; an unreadable one not at all.
    DocumentRecord bAgain = b;
    DocumentRecord unreadable = document(QStringLiteral("broken.pdf"), 50 * MB);
    unreadable.state = Unreadable;
    const QList<DocumentRecord> records{a, copy, b, bAgain, unreadable};

    SubmissionProfile profile;
    profile.maxFiles = 2;
    profile.maxTotalBytes = 1 * MB;
    ReadinessReport report = checkReadiness(profile, records, {}, false);
    const ReadinessOutcome* count = find(report, ReadinessRule::FileCount);
    QVERIFY(count && !count->passed);
    QCOMPARE(count->problem, QStringLiteral("3 files"));
    QCOMPARE(count->fix, ReadinessFix::IgnoreDuplicates);
    const ReadinessOutcome* total = find(report, ReadinessRule::TotalSize);
    QVERIFY(total && !total->passed);
    QCOMPARE(total->problem, QStringLiteral("3 files together are 1.2 MB"));
    QCOMPARE(total->fix, ReadinessFix::IgnoreDuplicates);

    // Where leaving out the copies is not enough, no fix is offered.
    profile.maxFiles = 1;
    profile.maxTotalBytes = 500 * 1000;
    report = checkReadiness(profile, records, {}, false);
    QCOMPARE(find(report, ReadinessRule::FileCount)->fix, ReadinessFix::None);
    QCOMPARE(find(report, ReadinessRule::TotalSize)->fix, ReadinessFix::None);

    profile.maxFiles = 3;
    profile.maxTotalBytes = 1200 * 1000;
    QVERIFY(checkReadiness(profile, records, {}, false).ready());
}

void TestReadiness::namesAreCheckedAsStored()
{
    const QList<DocumentRecord> records{document(QStringLiteral("Offer: final.pdf")),
                                        document(QStringLiteral("offer.PDF")),
                                        document(QStringLiteral("Offer.pdf"))};
    SubmissionProfile profile;
    profile.plainNames = true;
    profile.maxNameLength = 12;
    // As the records name them: a forbidden character, a clash but for case, one too long.
    ReadinessReport report = checkReadiness(profile, records, {}, false);
    const ReadinessOutcome* plain = find(report, ReadinessRule::PlainNames);
    QVERIFY(plain && !plain->passed);
    QCOMPARE(plain->failing.size(), 2);
    QCOMPARE(plain->failing.at(0).row, 0);
    QVERIFY(plain->failing.at(0).reason.contains(QStringLiteral("\\ / : * ?")));
    QCOMPARE(plain->failing.at(1).row, 2);
    QCOMPARE(plain->failing.at(1).reason,
             QStringLiteral("Offer.pdf is the name of /package/offer.PDF but for case"));
    QCOMPARE(plain->fix, ReadinessFix::FitNames);
    QCOMPARE(failingPaths(*find(report, ReadinessRule::NameLength)),
             QStringList{records.at(0).sourcePath});

    // As the bundle stores them, below their folders: the stored names count, not the records'.
    const QStringList stored{QStringLiteral("A/Offer_ final.pdf"), QStringLiteral("B/offer.PDF"),
                             QStringLiteral("B/Offer-2.pdf")};
    report = checkReadiness(profile, records, stored, true);
    plain = find(report, ReadinessRule::PlainNames);
    QVERIFY(plain->passed);
    QVERIFY(plain->problem.isEmpty());
    const ReadinessOutcome* length = find(report, ReadinessRule::NameLength);
    QVERIFY(!length->passed);
    QCOMPARE(length->failing.first().reason, QStringLiteral("16 characters: Offer_ final.pdf"));
    QCOMPARE(length->fix, ReadinessFix::None); // fitted already
}

void TestReadiness::plainNameFaults_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<PlainNameFault>("fault");
    QTest::newRow("plain") << "Offer (final)_v2-1.pdf" << PlainNameFault::None;
    QTest::newRow("colon") << "a:b.pdf" << PlainNameFault::ForbiddenCharacter;
    QTest::newRow("pipe") << "a|b.pdf" << PlainNameFault::ForbiddenCharacter;
    QTest::newRow("tab") << "a\tb.pdf" << PlainNameFault::ForbiddenCharacter;
    QTest::newRow("umlaut") << "Müller.pdf" << PlainNameFault::NotPlain;
    QTest::newRow("ampersand") << "A&B.pdf" << PlainNameFault::NotPlain;
    QTest::newRow("leading period") << ".hidden.pdf" << PlainNameFault::LeadingPeriod;
    QTest::newRow("trailing space") << "offer.pdf " << PlainNameFault::TrailingPeriodOrSpace;
    QTest::newRow("device") << "con.pdf" << PlainNameFault::DeviceName;
    QTest::newRow("device with space") << "LPT1 .tar.gz" << PlainNameFault::DeviceName;
    QTest::newRow("not a device") << "CONTRACT.pdf" << PlainNameFault::None;
    QTest::newRow("empty") << "" << PlainNameFault::Empty;
}

void TestReadiness::plainNameFaults()
{
    QFETCH(QString, name);
    QFETCH(PlainNameFault, fault);
    QCOMPARE(plainNameFault(name), fault);
    QCOMPARE(plainNameFaultText(fault).isEmpty(), fault == PlainNameFault::None);
    // A character outside the Basic Multilingual Plane is one character.
    QCOMPARE(nameLength(QStringLiteral("a\U0001F600b")), 3);
}

void TestReadiness::onlyTheRulesSetAreChecked()
{
    DocumentRecord scan = document(QStringLiteral("scan.pdf"), 90 * MB);
    scan.state = NeedsOcr;
    scan.decision = NeedsReview;
    QVERIFY(checkReadiness(SubmissionProfile(), {scan}, {}, false).outcomes.isEmpty());
    const ReadinessReport portal = checkReadiness(typicalPortalProfile(), {scan}, {}, false);
    QList<ReadinessRule> rules;
    for (const ReadinessOutcome& made : portal.outcomes)
        rules.append(made.rule);
    QCOMPARE(rules, (QList<ReadinessRule>{ReadinessRule::FileSize, ReadinessRule::NameLength,
                                          ReadinessRule::PlainNames, ReadinessRule::Text,
                                          ReadinessRule::Decided}));
    QCOMPARE(find(portal, ReadinessRule::FileSize)->requirement,
             QStringLiteral("Each file at most 50 MB"));
    QCOMPARE(readinessSizeText(2500 * 1000), QStringLiteral("2.5 MB"));
    QCOMPARE(readinessSizeText(999), QStringLiteral("999 bytes"));
}

QTEST_GUILESS_MAIN(TestReadiness)
#include "tst_readiness.moc"
