#include "inspection/PdfInspection.h"
#include "support/PdfFixtures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

using namespace Tessavo;

namespace {

struct Expected {
    int state;
    QString errorText;
    int pages;
    int textPages;
};

} // namespace

class TestPdfInspection : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void inspectsEveryKindOfFile_data();
    void inspectsEveryKindOfFile();
    void keepsPageTextsUntrimmed();
    void hashesInOneStreamingPass();
    void hashingStopsWhenCancelled();
    void sourcesAreNeverChanged();

private:
    QString fixture(const QString& name) const { return m_dir.filePath(name); }
    QByteArray fingerprint() const;

    QTemporaryDir m_dir;
    QByteArray m_fingerprintBefore;
};

QByteArray TestPdfInspection::fingerprint() const
{
    QCryptographicHash all(QCryptographicHash::Sha256);
    const QFileInfoList files = QDir(m_dir.path()).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo& info : files) {
        all.addData(info.fileName().toUtf8());
        all.addData(PdfFixtures::readBytes(info.filePath()));
        all.addData(QByteArray::number(info.lastModified().toMSecsSinceEpoch()));
    }
    return all.result();
}

void TestPdfInspection::initTestCase()
{
    using namespace PdfFixtures;
    QVERIFY(m_dir.isValid());
    QVERIFY(writeEveryKind(m_dir.path()));
    m_fingerprintBefore = fingerprint();
}

void TestPdfInspection::inspectsEveryKindOfFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("textPages");
    QTest::newRow("text") << "text.pdf" << int(Ready) << "" << 3 << 3;
    QTest::newRow("scan") << "scan.pdf" << int(NeedsOcr) << "" << 2 << 0;
    QTest::newRow("blanks only") << "blank.pdf" << int(NeedsOcr) << "" << 2 << 0;
    QTest::newRow("user password")
        << "user-password.pdf" << int(Encrypted) << "PDF is password protected" << 0 << 0;
    QTest::newRow("owner password only") << "owner-only.pdf" << int(Ready) << "" << 3 << 3;
    QTest::newRow("truncated") << "truncated.pdf" << int(Unreadable) << "not a valid PDF" << 0 << 0;
    QTest::newRow("garbage in the middle") << "garbage.pdf" << int(Ready) << "" << 3 << 3;
    QTest::newRow("zero bytes") << "zero.pdf" << int(Unreadable) << "not a valid PDF" << 0 << 0;
    QTest::newRow("text file") << "notes.pdf" << int(Unreadable) << "not a valid PDF" << 0 << 0;
    QTest::newRow("empty page tree")
        << "empty-tree.pdf" << int(Unreadable) << "PDF could not be loaded" << 0 << 0;
    QTest::newRow("page tree that contains itself")
        << "self-reference.pdf" << int(Unreadable) << "PDF page tree refers to itself" << 0 << 0;
    QTest::newRow("directory") << "folder.pdf" << int(Unreadable) << "file not found" << 0 << 0;
    QTest::newRow("missing") << "missing.pdf" << int(Unreadable) << "file not found" << 0 << 0;
}

void TestPdfInspection::inspectsEveryKindOfFile()
{
    QFETCH(QString, name);
    QFETCH(int, state);
    QFETCH(QString, errorText);
    QFETCH(int, pages);
    QFETCH(int, textPages);

    const QString path = fixture(name);
    QElapsedTimer clock;
    clock.start();
    const DocumentRecord r = inspectPdf(path);
    QVERIFY2(clock.elapsed() < 5000, "a settled document must not wait for the deadline");

    QCOMPARE(r.sourcePath, path);
    QCOMPARE(r.fileName, name);
    QCOMPARE(r.state, state);
    QCOMPARE(r.errorText, errorText);
    QCOMPARE(r.pages, pages);
    QCOMPARE(r.textPages, textPages);
    QCOMPARE(r.pageTexts.size(), qsizetype(pages));
    const QFileInfo info(path);
    if (info.isFile()) {
        QCOMPARE(r.sizeBytes, info.size());
        const QByteArray expectedHash =
            QCryptographicHash::hash(PdfFixtures::readBytes(path), QCryptographicHash::Sha256)
                .toHex();
        QCOMPARE(r.sha256, expectedHash);
    } else {
        QCOMPARE(r.sizeBytes, 0);
        QVERIFY(r.sha256.isEmpty());
    }
    // Review and suggestion fields are not inspection's business.
    QCOMPARE(r.decision, int(NeedsReview));
    QVERIFY(r.suggestion.category.isEmpty());
    QCOMPARE(r.suggestion.evidencePage, -1);
}

void TestPdfInspection::keepsPageTextsUntrimmed()
{
    const DocumentRecord r = inspectPdf(fixture("text.pdf"));
    QCOMPARE(r.title, QStringLiteral("Tender RFP"));
    qint64 chars = 0;
    for (int i = 0; i < r.pageTexts.size(); ++i) {
        QCOMPARE(r.pageTexts[i].pageIndex, i);
        QCOMPARE(r.pageTexts[i].charCount, int(r.pageTexts[i].text.size()));
        chars += r.pageTexts[i].charCount;
    }
    QCOMPARE(r.textChars, chars);
    QVERIFY(r.pageTexts[0].text.contains(QStringLiteral("Request for Proposals")));
    QVERIFY(r.pageTexts[0].text.contains(QLatin1Char('\n'))); // line ends are kept
    QVERIFY(r.pageTexts[2].text.contains(QStringLiteral("bid bond")));

    const DocumentRecord blank = inspectPdf(fixture("blank.pdf"));
    qint64 blankChars = 0;
    for (const PageText& page : blank.pageTexts) {
        QVERIFY(page.text.trimmed().isEmpty());
        blankChars += page.charCount;
    }
    QCOMPARE(blank.state, int(NeedsOcr));
    QVERIFY(blankChars > 0);
    QCOMPARE(blank.textChars, blankChars); // white space is counted, even though no page has text
    const DocumentRecord scan = inspectPdf(fixture("scan.pdf"));
    for (const PageText& page : scan.pageTexts)
        QVERIFY(page.text.isEmpty());

    // Ligatures are spelled out, as a user types the words.
    QTemporaryDir own;
    const QString words = QStringLiteral("Financial offer of the fluent staff");
    QVERIFY(PdfFixtures::writeTextPdf(own.filePath("ligatures.pdf"), {words}));
    QCOMPARE(inspectPdf(own.filePath("ligatures.pdf")).pageTexts.value(0).text.simplified(), words);
}

void TestPdfInspection::hashesInOneStreamingPass()
{
    FileDigest digest = sha256OfFile(fixture("missing.pdf"));
    QVERIFY(!digest.ok);
    QVERIFY(digest.error.startsWith(QStringLiteral("cannot open file: ")));

    digest = sha256OfFile(fixture("zero.pdf"));
    QCOMPARE(digest.sha256,
             QByteArray("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
    QVERIFY(digest.ok);
    QVERIFY(digest.error.isEmpty());

    // A large file that is no whole number of blocks: the digest matches an independent one.
    const QString big = m_dir.filePath("big.bin");
    QByteArray bytes(20 * 1024 * 1024 + 3, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 131) >> 3);
    QVERIFY(PdfFixtures::writeBytes(big, bytes));
    QCOMPARE(sha256OfFile(big).sha256,
             QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());

    // A folder opens but cannot be read.
    digest = sha256OfFile(fixture("folder.pdf"));
    QVERIFY(!digest.ok);
    QVERIFY2(digest.error.startsWith(QStringLiteral("cannot")), qPrintable(digest.error));
    QFile::remove(big);
}

void TestPdfInspection::hashingStopsWhenCancelled()
{
    const std::atomic<bool> cancelled{true};
    const FileDigest digest = sha256OfFile(fixture("text.pdf"), &cancelled);
    QVERIFY(digest.cancelled);
    QVERIFY(!digest.ok);
}

void TestPdfInspection::sourcesAreNeverChanged()
{
    QCOMPARE(fingerprint(), m_fingerprintBefore);
}

QTEST_MAIN(TestPdfInspection)

#include "tst_pdfinspection.moc"
