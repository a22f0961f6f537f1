// Learning from past bundles written by the real exporter, as a folder and as its ZIP, with the
// originals read by inspection workers (this executable serves as one).
#include "bundle/ExportBundle.h"
#include "flows/BundleLearning.h"
#include "flows/DocumentList.h"
#include "flows/ReviewFlow.h"
#include "flows/RuleBook.h"
#include "flows/SessionFlow.h"

#include "support/CorpusTexts.h"
#include "support/ExternalTool.h"
#include "support/PdfFixtures.h"
#include "support/TestFiles.h"
#include "support/WorkerTestMain.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace Tessavo;
using namespace Tessavo::Flows;

class TestBundleLearning : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void learnsFromAFolderAndItsZip();
    void damagedBundlesReportProblemsAndTeachTheRest();
    void cancellingLeavesNothingBehind();
    void theReviewKeepsWhatABundleTaught();

private:
    QList<BundleLesson> learn(const QStringList& paths);

    QTemporaryDir m_dir;
    ExportResult m_bundle;
    QHash<QString, QString> m_categoryByFile; // what was filed, by the name in the manifest
};

// The training half of the published tender texts as PDFs, filed by a clerk and exported: all
// accepted or changed but two, one ignored and one left for review.
void TestBundleLearning::initTestCase()
{
    QList<DocumentRecord> records;
    const QList<CorpusTexts::Document> training = CorpusTexts::half(true);
    for (qsizetype i = 0; i < training.size(); ++i) {
        const CorpusTexts::Document& d = training.at(i);
        const QString path = m_dir.filePath(QStringLiteral("sources/%1/%2").arg(d.id, d.fileName));
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QVERIFY(PdfFixtures::writeTextPdf(path, d.text.split(u'\f')));
        DocumentRecord r;
        r.sourcePath = path;
        r.fileName = d.fileName;
        r.sizeBytes = QFileInfo(path).size();
        r.sha256 = QCryptographicHash::hash(TestFiles::readBytes(path), QCryptographicHash::Sha256)
                       .toHex();
        r.state = Ready;
        r.pages = r.textPages = int(d.record.pageTexts.size());
        r.suggestion.category = QStringLiteral("08_Other");
        r.decision = i == 0 ? Ignored : i == 1 ? NeedsReview : i % 2 ? Accepted : Changed;
        r.finalCategory = d.category;
        if (i > 1)
            m_categoryByFile.insert(d.fileName, d.category);
        records.append(r);
    }
    m_bundle = buildExportBundle(
        records, {m_dir.filePath(QStringLiteral("out")), QStringLiteral("Past"), {}, {}, true});
    QVERIFY2(m_bundle.ok, qPrintable(m_bundle.error));
    QCOMPARE(m_bundle.exported, int(training.size()) - 1);
}

QList<BundleLesson> TestBundleLearning::learn(const QStringList& paths)
{
    BundleLearning::Options options;
    options.scratchFolder = m_dir.filePath(QStringLiteral("scratch"));
    QDir().mkpath(options.scratchFolder);
    BundleLearning learning(options);
    QSignalSpy finished(&learning, &BundleLearning::finished);
    QList<int> progress;
    connect(&learning, &BundleLearning::progressChanged, this,
            [&] { progress << learning.progress(); });
    if (!learning.start(paths))
        return {};
    [&] {
        QVERIFY(learning.running());
        QVERIFY(!learning.start(paths));
        QVERIFY(finished.wait(120000));
        QVERIFY(!learning.running());
        QVERIFY(std::is_sorted(progress.cbegin(), progress.cend() - 1));
        QVERIFY(progress.contains(100) || progress.size() > 2);
        // The extracted originals are gone with their private folder.
        QVERIFY(QDir(options.scratchFolder).isEmpty());
    }();
    return finished.isEmpty() ? QList<BundleLesson>()
                              : finished.constFirst().constFirst().value<QList<BundleLesson>>();
}

void TestBundleLearning::learnsFromAFolderAndItsZip()
{
    const QList<BundleLesson> lessons = learn({m_bundle.directory, m_bundle.zip});
    QCOMPARE(lessons.size(), 2);
    for (const BundleLesson& lesson : lessons) {
        QVERIFY2(lesson.problems.isEmpty(), qPrintable(lesson.problems.join(u'\n')));
        QCOMPARE(lesson.examples.size(), m_categoryByFile.size());
        for (const LearnedExample& e : lesson.examples) {
            QCOMPARE(e.category, m_categoryByFile.value(e.fileName));
            QCOMPARE(e.key.size(), 64);
            QVERIFY(e.terms.size() > 10);
        }
    }
    QCOMPARE(lessons.at(1).examples, lessons.at(0).examples);

    // What was learned fills the gaps the rules leave in the held-out half.
    LearnedModel model;
    for (const LearnedExample& e : lessons.at(0).examples)
        model.add(e);
    int right = 0;
    const QList<CorpusTexts::Document> heldOut = CorpusTexts::half(false);
    for (const CorpusTexts::Document& d : heldOut)
        right += model.suggest(d.record).category == d.category;
    QVERIFY2(right * 10 >= heldOut.size() * 6, qPrintable(QString::number(right)));
}

// A folder with one original gone, one replaced by a link and a manifest row that lies about a
// digest; a ZIP with one original damaged. Each is named; the rest is learned.
void TestBundleLearning::damagedBundlesReportProblemsAndTeachTheRest()
{
    const QString folder = m_dir.filePath(QStringLiteral("damaged"));
    QVERIFY(runTool(QStringLiteral("cp"), {QStringLiteral("-r"), m_bundle.directory, folder}).ok());
    const QString originals = folder + QStringLiteral("/originals/");
    QStringList stored;
    for (QDirIterator it(originals, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        stored << QDir(originals).relativeFilePath(it.next());
    stored.sort();
    QVERIFY(stored.size() > 5);
    QVERIFY(QFile::remove(originals + stored.at(2)));
    QVERIFY(QFile::remove(originals + stored.at(3)));
    QVERIFY(QFile::link(m_bundle.directory + QStringLiteral("/originals/") + stored.at(3),
                        originals + stored.at(3)));
    QByteArray manifest = TestFiles::readBytes(folder + QStringLiteral("/manifest.csv"));
    QList<QByteArray> lines = manifest.split('\n');
    QByteArray& liar = lines[lines.size() - 2]; // the last row
    const qsizetype sha = QRegularExpression(QStringLiteral(",([0-9a-f]{64}),"))
                              .match(QString::fromLatin1(liar))
                              .capturedStart(1);
    QVERIFY(sha > 0);
    liar.replace(sha, 64, QByteArray(64, '0'));
    lines.insert(2, "not,a,row");
    QVERIFY(TestFiles::writeBytes(folder + QStringLiteral("/manifest.csv"), lines.join('\n')));

    QByteArray zip = TestFiles::readBytes(m_bundle.zip);
    // The stored agreement, one of the filed documents.
    const qsizetype pdf = zip.indexOf("%PDF", zip.indexOf("originals/g06/"));
    QVERIFY(pdf > 0);
    zip[pdf + 200] = char(zip[pdf + 200] ^ 0x55);
    const QString damagedZip = m_dir.filePath(QStringLiteral("damaged.zip"));
    QVERIFY(TestFiles::writeBytes(damagedZip, zip));

    const QList<BundleLesson> lessons = learn({folder, damagedZip});
    QCOMPARE(lessons.size(), 2);
    const QString folderProblems = lessons.at(0).problems.join(u'\n');
    QVERIFY2(folderProblems.contains(QStringLiteral("damaged/originals/") + stored.at(2) +
                                     QStringLiteral(": missing, though manifest.csv line")),
             qPrintable(folderProblems));
    QVERIFY2(folderProblems.contains(QStringLiteral("damaged/originals/") + stored.at(3) +
                                     QStringLiteral(": not a regular file")),
             qPrintable(folderProblems));
    QVERIFY2(folderProblems.contains(QStringLiteral("damaged/manifest.csv: line 3: 3 values")),
             qPrintable(folderProblems));
    QVERIFY2(folderProblems.contains(QStringLiteral(") differs from its manifest row")),
             qPrintable(folderProblems));
    QVERIFY(lessons.at(0).examples.size() >= m_categoryByFile.size() - 3);
    QVERIFY(lessons.at(0).examples.size() < m_categoryByFile.size());

    const QString zipProblems = lessons.at(1).problems.join(u'\n');
    QVERIFY2(zipProblems.contains(QStringLiteral("damaged.zip/originals/")) &&
                 zipProblems.contains(QStringLiteral("CRC-32")),
             qPrintable(zipProblems));
    QCOMPARE(lessons.at(1).examples.size(), m_categoryByFile.size() - 1);
    for (const BundleLesson& lesson : lessons) {
        for (const LearnedExample& e : lesson.examples)
            QCOMPARE(e.category, m_categoryByFile.value(e.fileName));
    }
}

void TestBundleLearning::cancellingLeavesNothingBehind()
{
    BundleLearning::Options options;
    options.scratchFolder = m_dir.filePath(QStringLiteral("cancelled"));
    QDir().mkpath(options.scratchFolder);
    BundleLearning learning(options);
    QSignalSpy finished(&learning, &BundleLearning::finished);
    for (int wait : {0, 1}) {
        QVERIFY(learning.start({m_bundle.zip}));
        // While the ZIP is read, and while the workers read (unless it ended already).
        QTRY_VERIFY_WITH_TIMEOUT(wait == 0 || learning.progress() > 10 || !learning.running(),
                                 60000);
        const qsizetype before = finished.size();
        learning.cancel();
        QVERIFY(!learning.running());
        QCOMPARE(learning.progress(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(QDir(options.scratchFolder).isEmpty(), 30000);
        QTest::qWait(50);
        QCOMPARE(finished.size(), before); // nothing more of a cancelled run
    }
    const qsizetype before = finished.size();
    QVERIFY(learning.start({m_bundle.zip}));
    QVERIFY(finished.wait(120000));
    QCOMPARE(finished.size(), before + 1);
}

// The window's way: one bundle (its ZIP), learned in the background, kept with the session.
void TestBundleLearning::theReviewKeepsWhatABundleTaught()
{
    const QString stored = m_dir.filePath(QStringLiteral("review-session.sqlite"));
    struct Review {
        DocumentList list;
        RuleBook rules{defaultRules()};
        SessionFlow session{list};
        ReviewFlow review{list, rules, session};
        QStringList statuses;
        explicit Review(const QString& path)
        {
            session.restore(path, rules);
            QObject::connect(&review, &ReviewFlow::status, &review,
                             [this](const QString& text) { statuses << text; });
        }
    };
    {
        Review f(stored);
        QSignalSpy running(&f.review, &ReviewFlow::learningFromBundleChanged);
        f.review.learnFromBundle(QUrl::fromLocalFile(m_bundle.zip));
        QVERIFY(f.review.learningFromBundle());
        QCOMPARE(f.statuses.constLast(),
                 QStringLiteral("Learning from “%1”…").arg(QFileInfo(m_bundle.zip).fileName()));
        QTRY_VERIFY_WITH_TIMEOUT(!f.review.learningFromBundle(), 120000);
        QCOMPARE(running.size(), 2);
        QCOMPARE(f.review.bundleProgress(), 0);
        QCOMPARE(
            f.statuses.constLast(),
            QStringLiteral("Learned from %1 filed document(s) of “%2”.")
                .arg(QString::number(m_categoryByFile.size()), QFileInfo(m_bundle.zip).fileName()));
        QCOMPARE(f.review.learnedCount(), m_categoryByFile.size());
    }
    Review again(stored);
    QCOMPARE(again.review.learnedCount(), m_categoryByFile.size());
    again.review.learnFromBundle(QUrl());
    QCOMPARE(again.statuses.constLast(),
             QStringLiteral("Choose a bundle folder or its ZIP to learn from."));
}

TESSAVO_TEST_MAIN_WITH_WORKER(TestBundleLearning)
#include "tst_bundlelearning.moc"
