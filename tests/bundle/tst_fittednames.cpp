#include "bundle/BundleReadiness.h"
#include "bundle/BundleVerifier.h"
#include "bundle/ExportBundle.h"
#include "bundle/IndexPdf.h"
#include "bundle/PastBundle.h"
#include "bundle/PortableNames.h"
#include "support/ExternalTool.h"
#include "support/PdfFixtures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace Tessavo;

// Bundles whose stored copies carry names fitted to a submission profile, and the checks of
// packages and written bundles against a profile.
class TestFittedNames : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void namesAreFittedToTheLimits_data();
    void namesAreFittedToTheLimits();
    void fittedNamesStayUniqueWithinTheLength();
    void aFittedBundleIsReadBackWhole();
    void withoutNameRulesTheBundleIsAsBefore();
    void aWrittenBundleIsCheckedAgainstTheProfile();

private:
    DocumentRecord pdf(const QString& relativePath, const QString& category, int pad = 0);
    ExportOptions options(const QString& folder) const;

    QTemporaryDir m_dir;
};

namespace {

const QDateTime fixedTime(QDate(2026, 12, 8), QTime(10, 0, 0));

QByteArray sha256Of(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// Every entry's name, after checking every CRC, as Python's zipfile reads them.
QStringList zipNames(const QString& zip)
{
    const ToolRun run = runPython("import sys, zipfile\n"
                                  "with zipfile.ZipFile(sys.argv[1]) as z:\n"
                                  "    assert z.testzip() is None\n"
                                  "    sys.stdout.buffer.write('\\n'.join(z.namelist()).encode())",
                                  {zip});
    if (!run.ok())
        return {QString::fromUtf8(run.err)};
    return QString::fromUtf8(run.out).split(u'\n');
}

} // namespace

void TestFittedNames::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(registerIndexFonts("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                               "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf")
                .ok);
}

DocumentRecord TestFittedNames::pdf(const QString& relativePath, const QString& category, int pad)
{
    const QString path = m_dir.filePath("sources/" + relativePath);
    QDir().mkpath(QFileInfo(path).path());
    if (!QFileInfo::exists(path)) {
        QByteArray bytes;
        const QString tmp = path + ".tmp";
        if (!PdfFixtures::writeTextPdf(tmp, {"Contents of " + relativePath}))
            return {};
        bytes = PdfFixtures::readBytes(tmp);
        QFile::remove(tmp);
        // A comment after the end keeps it a PDF and makes it as large as asked.
        bytes.append("\n%" +
                     QByteArray(std::max(pad - qsizetype(bytes.size()) - 3, qsizetype(0)), 'x') +
                     "\n");
        PdfFixtures::writeBytes(path, bytes);
    }
    DocumentRecord r;
    r.sourcePath = path;
    r.fileName = QFileInfo(path).fileName();
    r.sizeBytes = QFileInfo(path).size();
    r.sha256 = sha256Of(PdfFixtures::readBytes(path));
    r.pages = 1;
    r.textPages = 1;
    r.state = Ready;
    r.suggestion.category = category;
    r.decision = Accepted;
    r.finalCategory = category;
    return r;
}

ExportOptions TestFittedNames::options(const QString& folder) const
{
    ExportOptions options{folder, "Tessavo export", "", "", true};
    options.now = [] {
        return fixedTime;
    };
    return options;
}

void TestFittedNames::namesAreFittedToTheLimits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("length"); // 0: no length
    QTest::addColumn<bool>("plain");
    QTest::addColumn<QString>("fitted");
    QTest::newRow("accents and colon")
        << "Müller: Angebot.pdf" << 0 << true << "Muller_ Angebot.pdf";
    QTest::newRow("run of others") << "Offer €€€ final.pdf" << 0 << true << "Offer _ final.pdf";
    QTest::newRow("leading period") << ". hidden.pdf" << 0 << true << "hidden.pdf";
    QTest::newRow("device") << "con.pdf" << 0 << true << "con_.pdf";
    QTest::newRow("long") << QString(56, u'a') + ".pdf" << 50 << true << QString(46, u'a') + ".pdf";
    QTest::newRow("cut before a space") << "Annex  B.pdf" << 10 << false << "Annex.pdf";
    QTest::newRow("cut to a device") << "CONTRACT.pdf" << 7 << true << "CO.pdf";
    QTest::newRow("length only keeps letters") << "Ångström.pdf" << 8 << false << "Ångs.pdf";
    QTest::newRow("long extension goes too") << "a.verylongextension" << 6 << true << "a.very";
    QTest::newRow("nothing left") << "€€.pdf" << 0 << true << "_.pdf";
}

void TestFittedNames::namesAreFittedToTheLimits()
{
    QFETCH(QString, name);
    QFETCH(int, length);
    QFETCH(bool, plain);
    QFETCH(QString, fitted);
    NameLimits limits;
    if (length > 0)
        limits.maxLength = length;
    limits.plain = plain;
    QCOMPARE(fittedNames({name}, limits), QStringList{fitted});
    if (plain)
        QCOMPARE(plainNameFault(fitted), PlainNameFault::None);
}

void TestFittedNames::fittedNamesStayUniqueWithinTheLength()
{
    const NameLimits limits{12, true};
    QStringList names;
    for (int i = 0; i < 150; ++i)
        names << (i % 2 ? "Offer.PDF" : "offer.pdf");
    names << "Offer-2.pdf"; // its own, natural name is kept from the clashes
    const QStringList fitted = fittedNames(names, limits);
    QCOMPARE(fitted.size(), names.size());
    QSet<QString> keys;
    for (const QString& name : fitted) {
        QVERIFY2(nameLength(name) <= 12, qPrintable(name));
        QCOMPARE(plainNameFault(name), PlainNameFault::None);
        QVERIFY2(!keys.contains(nameKey(name)), qPrintable(name));
        keys.insert(nameKey(name));
    }
    QCOMPARE(fitted.first(), QStringLiteral("offer.pdf"));
    QCOMPARE(fitted.at(1), QStringLiteral("Offer-3.PDF"));
    QCOMPARE(fitted.last(), QStringLiteral("Offer-2.pdf"));
    QCOMPARE(fitted.at(149), QStringLiteral("Offe-151.PDF"));
    // A length too short for any number is exceeded rather than giving two files one name.
    const QStringList tiny = fittedNames({"a.pdf", "a.doc", "A.txt"}, NameLimits{1, true});
    QCOMPARE(QSet<QString>(tiny.begin(), tiny.end()).size(), 3);
}

void TestFittedNames::aFittedBundleIsReadBackWhole()
{
    const QString sixty = QString(56, u'L') + ".pdf";
    QList<DocumentRecord> records{pdf("A/" + sixty, "04_Technical"),
                                  pdf("A/Müller: Angebot.pdf", "03_Pricing"),
                                  pdf("B/con.pdf", "02_Forms"), pdf("B/Offer.pdf", "03_Pricing"),
                                  pdf("C/offer.pdf", "03_Pricing")};
    SubmissionProfile profile = typicalPortalProfile();

    // As they are, the names break the portal's rules; fitted, they keep them.
    ReadinessReport before = checkExportReadiness(profile, records, false);
    QVERIFY(!before.ready());
    for (const ReadinessOutcome& outcome : std::as_const(before.outcomes)) {
        if (outcome.rule == ReadinessRule::NameLength ||
            outcome.rule == ReadinessRule::PlainNames) {
            QVERIFY(!outcome.passed);
            QCOMPARE(outcome.fix, ReadinessFix::FitNames);
        }
    }
    const ReadinessReport fitted = checkExportReadiness(profile, records, true);
    QVERIFY2(fitted.ready(), qPrintable(fitted.failureLines().join(u'\n')));

    ExportOptions fitting = options(m_dir.filePath("out-fitted"));
    fitting.fitNames = nameLimitsOf(profile);
    const ExportResult result = buildExportBundle(records, fitting);
    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY(result.warnings.isEmpty());

    const QStringList expected{"manifest.csv",
                               "index.pdf",
                               "originals/" + QString(46, u'L') + ".pdf",
                               "originals/Muller_ Angebot.pdf",
                               "originals/Offer.pdf",
                               "originals/con_.pdf",
                               "originals/offer-2.pdf"};
    QCOMPARE(zipNames(result.zip), expected);
    const ToolRun unzip = runTool("unzip", {"-t", result.zip});
    QVERIFY2(unzip.ok(), unzip.out + unzip.err);

    // The manifest lists the stored name in file and each file's own path in source_path.
    const ToolRun csv = runPython(
        "import csv, sys\n"
        "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')))\n"
        "sys.stdout.buffer.write('\\n'.join(r[0] + '|' + r[1] for r in rows[1:]).encode())",
        {result.csv});
    QVERIFY2(csv.ok(), csv.err);
    const QStringList rows = QString::fromUtf8(csv.out).split(u'\n');
    QCOMPARE(rows.size(), 5);
    QCOMPARE(rows.at(1), "Muller_ Angebot.pdf|" + records.at(1).sourcePath);
    QCOMPARE(rows.at(4), "offer-2.pdf|" + records.at(4).sourcePath);

    // The verifier finds every original where the manifest says, in the folder and the ZIP.
    const auto opens = [](const QString&) {
        return Status::success();
    };
    for (const QString& path : {result.directory, result.zip}) {
        const BundleVerification verified = verifyBundle(path, opens);
        QVERIFY2(verified.ok(), qPrintable(verified.problems.join(u'\n')));
        QCOMPARE(verified.manifestRows, 5);
        QVERIFY(verified.originals >= 5);
        const BundleReadiness readiness = checkBundleReadiness(path, profile);
        QVERIFY2(readiness.ok, qPrintable(readiness.error));
        QVERIFY2(readiness.report.ready(), qPrintable(readiness.report.failureLines().join(u'\n')));
    }
    // A stored copy that is not what the manifest says is still caught.
    QFile tampered(result.directory + "/originals/con_.pdf");
    QVERIFY(tampered.open(QIODevice::Append));
    tampered.write("x");
    tampered.close();
    const BundleVerification broken = verifyBundle(result.directory, opens);
    QVERIFY(!broken.ok());
    QVERIFY2(broken.problems.join(u'\n').contains("originals/con_.pdf"),
             qPrintable(broken.problems.join(u'\n')));

    // Learning from the bundle finds the originals too.
    QTemporaryDir extract;
    const PastBundle past = readPastBundle(result.zip, extract.path());
    QVERIFY2(past.problems.isEmpty(), qPrintable(past.problems.join(u'\n')));
    QCOMPARE(past.filed.size(), 5);
}

void TestFittedNames::withoutNameRulesTheBundleIsAsBefore()
{
    const QList<DocumentRecord> records{pdf("A/Müller: Angebot.pdf", "03_Pricing"),
                                        pdf("B/Offer.pdf", "03_Pricing")};
    const ExportResult plain = buildExportBundle(records, options(m_dir.filePath("out-plain")));
    ExportOptions portable = options(m_dir.filePath("out-portable"));
    portable.fitNames = nameLimitsOf(portableNamesProfile());
    const ExportResult withProfile = buildExportBundle(records, portable);
    QVERIFY(plain.ok && withProfile.ok);
    QCOMPARE(PdfFixtures::readBytes(withProfile.csv), PdfFixtures::readBytes(plain.csv));
    QCOMPARE(zipNames(withProfile.zip), zipNames(plain.zip));
    QCOMPARE(zipNames(plain.zip).at(2), QStringLiteral("originals/A/Müller_ Angebot.pdf"));
    QVERIFY(PdfFixtures::readBytes(plain.csv).contains("\nMüller: Angebot.pdf,"));
}

void TestFittedNames::aWrittenBundleIsCheckedAgainstTheProfile()
{
    DocumentRecord big = pdf("big/Drawings.pdf", "04_Technical", 3 * 1000 * 1000);
    DocumentRecord undecided = pdf("big/Offer.pdf", "03_Pricing");
    undecided.decision = NeedsReview;
    undecided.finalCategory.clear();
    const ExportResult result =
        buildExportBundle({big, undecided}, options(m_dir.filePath("out-big")));
    QVERIFY2(result.ok, qPrintable(result.error));

    SubmissionProfile profile;
    profile.maxFileBytes = 1000 * 1000;
    profile.requireDecided = true;
    profile.requiredCategories = {QStringLiteral("03_Pricing"), QStringLiteral("06_Insurance")};
    profile.zipVolumeBytes = 2 * 1000 * 1000;
    profile.maxFiles = 2;
    const BundleReadiness readiness = checkBundleReadiness(result.zip, profile);
    QVERIFY2(readiness.ok, qPrintable(readiness.error));
    QCOMPARE(readiness.report.failureLines(),
             (QStringList{
                 "Each file at most 1 MB: " + big.sourcePath + " (3 MB)",
                 "Every document accepted or changed: " + undecided.sourcePath + " (needs review)",
                 "At least one document in 03_Pricing, 06_Insurance: no document in 06_Insurance",
                 "No ZIP larger than 2 MB: " + big.sourcePath + " (3 MB, too large for one ZIP)",
             }));

    // A ZIP over the limit though no original is.
    profile = SubmissionProfile();
    profile.zipVolumeBytes = 3 * 1000 * 1000;
    const BundleReadiness whole = checkBundleReadiness(result.directory, profile);
    QVERIFY(whole.ok);
    QCOMPARE(whole.report.failureLines().size(), 1);
    QVERIFY2(whole.report.failureLines().first().startsWith(
                 "No ZIP larger than 3 MB: " + QFileInfo(result.zip).fileName() + " is 3"),
             qPrintable(whole.report.failureLines().first()));

    const BundleReadiness missing = checkBundleReadiness(m_dir.filePath("nothing"), profile);
    QVERIFY(!missing.ok);
    QVERIFY(!missing.error.isEmpty());
}

QTEST_MAIN(TestFittedNames)
#include "tst_fittednames.moc"
