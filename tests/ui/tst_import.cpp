#include "support/PdfFixtures.h"
#include "support/WorkerTestMain.h"
#include "ui/AppController.h"

#include <QDir>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace Tessavo;
using namespace Tessavo::Ui;

namespace {

constexpr int generous = 60000;

QUrl urlOf(const QString& path)
{
    return QUrl::fromLocalFile(path);
}

QStringList fileNames(AppController& controller)
{
    QStringList names;
    for (const DocumentRecord& r : controller.documents()->records())
        names << r.fileName;
    names.sort();
    return names;
}

const DocumentRecord* byName(AppController& controller, const QString& name)
{
    for (const DocumentRecord& r : controller.documents()->records()) {
        if (r.fileName == name)
            return &r;
    }
    return nullptr;
}

} // namespace

class TestImport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void walksFoldersForPdfsOnly();
    void acceptsSingleFilesByTheirSuffix();
    void dropsDuplicates();
    void reportsProgressAndSignalsInOrder();
    void filesAddedDuringAnImportContinueIt();
    void clearingEndsTheImport();
    void importWaitsForEveryFileInFlight();
    void importsEveryKindOfFile();
    void namesThatAreNotUtf8AreImported();
    void saysWhatTheWalkLeavesOut();
    void exportedBundlesAreNotImportedAgain();
    void aLinkTheUserSelectsIsRead();

private:
    QString makePdf(const QString& relativePath, const QString& text = QStringLiteral("bid bond"));
    QTemporaryDir m_dir;
    std::unique_ptr<AppController> m_controller;
};

QString TestImport::makePdf(const QString& relativePath, const QString& text)
{
    const QString path = m_dir.filePath(relativePath);
    QDir().mkpath(QFileInfo(path).path());
    if (!QFileInfo::exists(path))
        PdfFixtures::writeTextPdf(path, {text});
    return path;
}

void TestImport::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestImport::init()
{
    m_controller = std::make_unique<AppController>();
}

void TestImport::walksFoldersForPdfsOnly()
{
    makePdf("walk/a.pdf");
    makePdf("walk/b.PDF");
    QVERIFY(PdfFixtures::writeBytes(m_dir.filePath("walk/notes.txt"), "notes"));
    makePdf("walk/sub/c.pdf");
    makePdf("walk/.hidden.pdf");
    makePdf("walk/.git/d.pdf");
    makePdf("elsewhere/e.pdf");
    QVERIFY(QFile::link(m_dir.filePath("elsewhere"), m_dir.filePath("walk/link-to-folder")));
    QVERIFY(QFile::link(m_dir.filePath("walk"), m_dir.filePath("walk/sub/loop")));

    AppController& c = *m_controller;
    c.importer()->addUrls({urlOf(m_dir.filePath("walk"))});
    QVERIFY(c.importer()->running());
    QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
    QCOMPARE(fileNames(c), (QStringList{"a.pdf", "b.PDF", "c.pdf"}));
    QCOMPARE(c.status(), QStringLiteral("Imported 3 document(s). Review the suggestions next. "
                                        "Skipped 2 hidden, 1 link(s) to outside the imported "
                                        "folder."));
    for (const DocumentRecord& r : c.documents()->records()) {
        QVERIFY(QFileInfo(r.sourcePath).isAbsolute());
        QCOMPARE(r.state, int(Ready));
        QCOMPARE(r.suggestion.category, QStringLiteral("02_Forms")); // classified on the way in
    }
}

void TestImport::acceptsSingleFilesByTheirSuffix()
{
    AppController& c = *m_controller;
    QSignalSpy busy(c.importer(), &Flows::ImportFlow::runningChanged);
    QSignalSpy summary(&c, &AppController::summaryChanged);
    QVERIFY(PdfFixtures::writeBytes(m_dir.filePath("report.pdf.bak"), "backup"));
    c.importer()->addUrls({urlOf(m_dir.filePath("report.pdf.bak")),
                           urlOf(m_dir.filePath("missing.pdf")),
                           QUrl("https://example.org/remote.pdf")});
    QCOMPARE(c.status(), QStringLiteral("No PDF files were found in the selection."));
    QVERIFY(!c.importer()->running());
    QCOMPARE(busy.count(), 0);
    QCOMPARE(summary.count(), 0);

    c.importer()->addUrls({urlOf(makePdf("single/report.Pdf"))});
    QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
    QCOMPARE(fileNames(c), QStringList{"report.Pdf"});
}

void TestImport::dropsDuplicates()
{
    AppController& c = *m_controller;
    const QString pdf = makePdf("dup/once.pdf");
    const QString viaDots = m_dir.filePath("dup/../dup/once.pdf");
    c.importer()->addUrls({urlOf(pdf), urlOf(viaDots), urlOf(m_dir.filePath("dup"))});
    QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
    QCOMPARE(c.documents()->rowCount(), 1);
    QCOMPARE(c.status(), QStringLiteral("Imported 1 document(s). Review the suggestions next."));

    QSignalSpy busy(c.importer(), &Flows::ImportFlow::runningChanged);
    QSignalSpy summary(&c, &AppController::summaryChanged);
    c.importer()->addUrls({urlOf(pdf)});
    QCOMPARE(c.status(), QStringLiteral("Those files are already in the list."));
    QVERIFY(!c.importer()->running());
    QCOMPARE(c.documents()->rowCount(), 1);
    QCOMPARE(busy.count(), 0);
    QCOMPARE(summary.count(), 0);
}

void TestImport::reportsProgressAndSignalsInOrder()
{
    AppController& c = *m_controller;
    QStringList events;
    connect(c.importer(), &Flows::ImportFlow::runningChanged, this, [&] { events << "running"; });
    connect(&c, &AppController::summaryChanged, this, [&] { events << "summary"; });
    connect(&c, &AppController::statusChanged, this, [&] { events << "status"; });
    // Each busy property has a signal of its own, sent only when its value changed.
    QSignalSpy importing(c.importer(), &Flows::ImportFlow::runningChanged);
    QList<int> progressSeen;
    connect(c.importer(), &Flows::ImportFlow::progressChanged, this, [&] {
        events << "progress";
        progressSeen << c.importer()->progress();
    });
    QSignalSpy exporting(c.exporter(), &Flows::ExportFlow::exportingChanged);
    QSignalSpy recognising(c.recognition(), &Flows::RecognitionFlow::runningChanged);
    QList<bool> statusShowsImport;
    connect(&c, &AppController::statusShowsImportChanged, this,
            [&] { statusShowsImport << c.statusShowsImport(); });
    QSignalSpy finished(c.importer(), &Flows::ImportFlow::finished);

    c.importer()->addUrls({urlOf(makePdf("two/1.pdf")), urlOf(makePdf("two/2.pdf"))});
    QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
    QCOMPARE(events, (QStringList{"running", "summary", "progress", "summary", "progress",
                                  "running", "progress", "status"}));
    QCOMPARE(importing.count(), 2);
    QCOMPARE(progressSeen, (QList<int>{50, 100, 0}));
    QCOMPARE(exporting.count(), 0);
    QCOMPARE(recognising.count(), 0);
    // The line showed the import from its start until the closing message.
    QCOMPARE(statusShowsImport, (QList<bool>{true, false}));
    QCOMPARE(finished.count(), 1);
    const auto outcome = finished.constFirst().constFirst().value<Flows::ImportOutcome>();
    QCOMPARE(outcome.imported, 2);
    QCOMPARE(outcome.skipped.skippedCount(), 0);
    QVERIFY(outcome.elapsedMs >= 0);
    QCOMPARE(c.status(), QStringLiteral("Imported 2 document(s). Review the suggestions next."));
    QCOMPARE(c.summary().total, 2);
}

void TestImport::filesAddedDuringAnImportContinueIt()
{
    AppController& c = *m_controller;
    const QString third = makePdf("more/3.pdf");
    bool added = false;
    connect(c.importer(), &Flows::ImportFlow::progressChanged, this, [&] {
        if (!added && c.documents()->rowCount() == 1) {
            added = true;
            c.importer()->addUrls({urlOf(third)});
        }
    });
    c.importer()->addUrls({urlOf(makePdf("more/1.pdf")), urlOf(makePdf("more/2.pdf"))});
    QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
    QVERIFY(added);
    QCOMPARE(c.documents()->rowCount(), 3);
    QCOMPARE(c.status(), QStringLiteral("Imported 3 document(s). Review the suggestions next."));
}

void TestImport::clearingEndsTheImport()
{
    AppController& c = *m_controller;
    bool cleared = false;
    connect(c.importer(), &Flows::ImportFlow::progressChanged, this, [&] {
        if (!cleared && c.documents()->rowCount() == 1) {
            cleared = true;
            c.clearDocuments();
            QCOMPARE(c.status(), QStringLiteral("Document list cleared."));
            QCOMPARE(c.importer()->progress(), 0);
        }
    });
    c.importer()->addUrls({urlOf(makePdf("clear/1.pdf")), urlOf(makePdf("clear/2.pdf")),
                           urlOf(makePdf("clear/3.pdf"))});
    QTRY_VERIFY_WITH_TIMEOUT(cleared, generous);
    QVERIFY(!c.importer()->running());
    QCOMPARE(c.documents()->rowCount(), 0);

    // The files that were still queued or in flight never come back. Had they survived, they
    // would arrive before a file queued after the clear.
    QSignalSpy status(&c, &AppController::statusChanged);
    c.importer()->addUrls({urlOf(makePdf("clear/after.pdf"))});
    QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
    QCOMPARE(fileNames(c), QStringList{"after.pdf"});
    QCOMPARE(c.status(), QStringLiteral("Imported 1 document(s). Review the suggestions next."));
    QCOMPARE(status.count(), 1);
}

void TestImport::importWaitsForEveryFileInFlight()
{
    // A second addUrls while the first file is held: the import goes on until both are in, the
    // records arrive in the order queued, and the end is announced once.
    AppController& c = *m_controller;
    const QString held = makePdf("wait/gate-held.pdf");
    const QString quick = makePdf("wait/quick.pdf");
    QStringList statuses;
    connect(&c, &AppController::statusChanged, this, [&] { statuses << c.status(); });
    c.importer()->addUrls({urlOf(held)});
    c.importer()->addUrls({urlOf(quick)});
    QVERIFY(c.importer()->running());

    // The same file again, while it is only queued: not queued a second time.
    c.importer()->addUrls({urlOf(held), urlOf(quick)});
    QCOMPARE(c.status(), QStringLiteral("Those files are already in the list."));

    QCOMPARE(c.documents()->rowCount(), 0);
    QVERIFY(PdfFixtures::writeBytes(held + ".open", "open"));
    QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
    QStringList inOrder;
    for (const DocumentRecord& r : c.documents()->records())
        inOrder << r.fileName;
    QCOMPARE(inOrder, (QStringList{"gate-held.pdf", "quick.pdf"}));
    QCOMPARE(statuses.count(QStringLiteral("Imported 2 document(s). Review the suggestions next.")),
             1);
    QVERIFY(
        !statuses.contains(QStringLiteral("Imported 1 document(s). Review the suggestions next.")));
}

void TestImport::importsEveryKindOfFile()
{
    using namespace PdfFixtures;
    const QString folder = m_dir.filePath("every kind");
    QDir().mkpath(folder);
    const QString text = folder + "/Ångström, \"final\" offer — bid.pdf";
    QVERIFY(writeTextPdf(text, {"Cover", "The bid bond is attached."}));
    QVERIFY(writeImageOnlyPdf(folder + "/scan copy.pdf", 2));
    QVERIFY(writeBytes(folder + "/blank.pdf", whitespaceOnlyPdf(1)));
    QVERIFY(encryptWithQpdf(text, folder + "/locked.pdf", "secret", "owner"));
    QVERIFY(encryptWithQpdf(text, folder + "/owner only.pdf", "", "owner"));
    const QByteArray bytes = readBytes(text);
    QVERIFY(writeBytes(folder + "/truncated.pdf", bytes.left(bytes.size() / 3)));
    QVERIFY(writeBytes(folder + "/zero.pdf", QByteArray()));
    QVERIFY(writeBytes(folder + "/not really.pdf", "plain text"));
    QVERIFY(writeBytes(folder + "/empty tree.pdf", emptyPageTreePdf()));
    QVERIFY(writeBytes(folder + "/self reference.pdf", selfReferencingPageTreePdf()));
    QVERIFY(QFile::link(folder, folder + "/loop"));
    const QByteArray before = readBytes(text) + readBytes(folder + "/locked.pdf");

    AppController& c = *m_controller;
    c.importer()->addUrls({urlOf(folder)});
    QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
    QCOMPARE(c.documents()->rowCount(), 10);

    const QList<QPair<QString, int>> expected = {
        {"Ångström, \"final\" offer — bid.pdf", Ready},
        {"scan copy.pdf", NeedsOcr},
        {"blank.pdf", NeedsOcr},
        {"locked.pdf", Encrypted},
        {"owner only.pdf", Ready},
        {"truncated.pdf", Unreadable},
        {"zero.pdf", Unreadable},
        {"not really.pdf", Unreadable},
        {"empty tree.pdf", Unreadable},
        {"self reference.pdf", Unreadable},
    };
    for (const auto& [name, state] : expected) {
        const DocumentRecord* r = byName(c, name);
        QVERIFY2(r, qPrintable(name));
        QCOMPARE(r->state, state);
    }
    QCOMPARE(byName(c, "Ångström, \"final\" offer — bid.pdf")->suggestion.category,
             QStringLiteral("02_Forms"));
    const auto s = c.summary();
    QCOMPARE(s.total, 10);
    QCOMPARE(s.needsOcr, 2);
    QCOMPARE(s.unreadable, 6);
    QCOMPARE(s.exportable, 4);
    QCOMPARE(s.pending, 10);
    QCOMPARE(s.suggestions, 2);
    // A file that failed inspection is classified too, but the built-in rules find references in
    // the text, which this file has none of.
    QVERIFY(byName(c, "self reference.pdf")->suggestion.isEmpty());
    QCOMPARE(readBytes(text) + readBytes(folder + "/locked.pdf"), before); // sources untouched
}

void TestImport::namesThatAreNotUtf8AreImported()
{
    const QString scratch = makePdf("latin/scratch.pdf");
    const QByteArray raw = QFile::encodeName(m_dir.filePath("latin/")) + "caf\xe9.pdf";
    QCOMPARE(::rename(QFile::encodeName(scratch).constData(), raw.constData()), 0);

    AppController& c = *m_controller;
    c.importer()->addUrls({urlOf(m_dir.filePath("latin"))});
    QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
    QCOMPARE(c.documents()->rowCount(), 1);
    const DocumentRecord& r = c.documents()->records().constFirst();
    QCOMPARE(r.sourcePathBytes, raw);
    QCOMPARE(r.fileName, QStringLiteral("caf\uFFFD.pdf"));
    QCOMPARE(r.state, int(Ready));
    QCOMPARE(r.suggestion.category, QStringLiteral("02_Forms"));

    // Dropped on its own, as a file URL with its byte percent-encoded: the same file.
    c.importer()->addUrls(
        {QUrl(QStringLiteral("file://") + QString::fromLatin1(raw.toPercentEncoding("/")))});
    QCOMPARE(c.status(), QStringLiteral("Those files are already in the list."));
    QCOMPARE(::unlink(raw.constData()), 0); // QTemporaryDir cannot remove it by name
}

// Hidden entries, folders too deep, links out of the folder or to nothing, special files: left
// out, each named with its reason in the log, and counted in the status line.
void TestImport::saysWhatTheWalkLeavesOut()
{
    const QString root = m_dir.filePath("package");
    makePdf("package/offer.pdf");
    makePdf("package/.hidden.pdf");
    makePdf("package/.drafts/draft.pdf");
    QString deep = root;
    for (int level = 1; level <= 257; ++level)
        deep += QStringLiteral("/d");
    makePdf(QDir(m_dir.path()).relativeFilePath(deep + "/deep.pdf"));
    const QString shallowEnough = root + QString(QStringLiteral("/d")).repeated(256);
    makePdf(QDir(m_dir.path()).relativeFilePath(shallowEnough + "/level256.pdf"));
    const QString confidential = makePdf("elsewhere/confidential.pdf");
    QVERIFY(QFile::link(confidential, root + "/annex.pdf"));
    QVERIFY(QFile::link(root + "/offer.pdf", root + "/offer copy.pdf"));
    QVERIFY(QFile::link(root + "/gone.pdf", root + "/broken.pdf"));
    QCOMPARE(::mkfifo(QFile::encodeName(root + "/pipe.pdf").constData(), 0600), 0);

    AppController& c = *m_controller;
    for (const char* line : {"Import skips .drafts: hidden", "Import skips .hidden.pdf: hidden",
                             "Import skips annex.pdf: a link to outside the imported folder",
                             "Import skips broken.pdf: a link that leads nowhere",
                             "Import skips pipe.pdf: not a regular file",
                             "Import skips d: deeper than 256 folder levels"})
        QTest::ignoreMessage(QtInfoMsg, line);
    c.importer()->addUrls({urlOf(root)});
    QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
    QCOMPARE(fileNames(c), (QStringList{"level256.pdf", "offer copy.pdf", "offer.pdf"}));
    QCOMPARE(c.status(),
             QStringLiteral("Imported 3 document(s). Review the suggestions next. Skipped 2 "
                            "hidden, 1 folder(s) deeper than 256 levels, 1 link(s) to outside "
                            "the imported folder, 1 link(s) that lead nowhere, 1 special "
                            "file(s)."));
    const FolderWalkResult& skipped = c.importer()->skipped();
    QCOMPARE(skipped.skipped.size(), 6);
    QVERIFY(skipped.lostSomething());
    QCOMPARE(skipped.skipped.at(0).path, QFile::encodeName(root + "/.drafts"));
    QCOMPARE(skipped.skipped.at(2).path, QFile::encodeName(root + "/annex.pdf"));
    QCOMPARE(skipped.skipped.at(2).reason, SkipReason::LinkOutside);
    QCOMPARE(skipped.skipped.at(4).path, QFile::encodeName(deep));
    QCOMPARE(skipped.skipped.at(4).reason, SkipReason::TooDeep);
    for (const DocumentRecord& r : c.documents()->records())
        QVERIFY(!r.sourcePath.contains("confidential"));

    // A new import tells only its own.
    makePdf("plain/one.pdf");
    c.importer()->addUrls({urlOf(m_dir.filePath("plain"))});
    QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
    QCOMPARE(c.status(), QStringLiteral("Imported 1 document(s). Review the suggestions next."));
    QCOMPARE(c.importer()->skipped().skippedCount(), 0);

    // Nothing but what is left out: no PDF found, and why.
    QTest::ignoreMessage(QtInfoMsg, "Import skips .only.pdf: hidden");
    makePdf("only hidden/.only.pdf");
    c.importer()->addUrls({urlOf(m_dir.filePath("only hidden"))});
    QCOMPARE(c.status(), QStringLiteral("No PDF files were found in the selection. Skipped 1 "
                                        "hidden."));
    QVERIFY(!c.importer()->running());
}

// A bundle this program exported, complete or still being written, is not a package's document:
// an export folder inside the imported folder does not grow the next import.
void TestImport::exportedBundlesAreNotImportedAgain()
{
    const QString root = m_dir.filePath("with bundles");
    makePdf("with bundles/rfp.pdf");
    const QByteArray header = "\xEF\xBB\xBF"
                              "file,source_path,sha256,size_bytes,pages,text_pages,state,"
                              "suggested_category,matched_rule,evidence,decision,final_category,"
                              "note\n";
    const QString bundle = root + "/exports/renamed by the user";
    QVERIFY(PdfFixtures::writeBytes(bundle + "/manifest.csv", header + "rfp.pdf,...\n"));
    makePdf("with bundles/exports/renamed by the user/index.pdf");
    makePdf("with bundles/exports/renamed by the user/originals/rfp.pdf");
    makePdf("with bundles/exports/.Tessavo-Export-20260101-120000/originals/rfp.pdf");
    // Not ours: the same files without our header are a folder of the package.
    const QString lookalike = root + "/exports/Tessavo-Export-lookalike";
    QVERIFY(PdfFixtures::writeBytes(lookalike + "/manifest.csv", "file,source_path\n"));
    makePdf("with bundles/exports/Tessavo-Export-lookalike/index.pdf");
    makePdf("with bundles/exports/Tessavo-Export-lookalike/originals/kept.pdf");

    AppController& c = *m_controller;
    QTest::ignoreMessage(QtInfoMsg, "Import skips .Tessavo-Export-20260101-120000: a bundle "
                                    "exported by Tessavo");
    QTest::ignoreMessage(QtInfoMsg, "Import skips renamed by the user: a bundle exported by "
                                    "Tessavo");
    c.importer()->addUrls({urlOf(root)});
    QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
    QCOMPARE(fileNames(c), (QStringList{"index.pdf", "kept.pdf", "rfp.pdf"}));
    QCOMPARE(c.status(), QStringLiteral("Imported 3 document(s). Review the suggestions next. "
                                        "Skipped 2 exported bundle(s)."));
    QVERIFY(!c.importer()->skipped().lostSomething());
}

// What the user selects is their own choice: a link given itself is read wherever it leads.
void TestImport::aLinkTheUserSelectsIsRead()
{
    const QString target = makePdf("far away/selected.pdf");
    QVERIFY(QDir().mkpath(m_dir.filePath("near")));
    QVERIFY(QFile::link(target, m_dir.filePath("near/chosen.pdf")));
    QVERIFY(QFile::link(m_dir.filePath("far away"), m_dir.filePath("near/folder link")));
    AppController& c = *m_controller;
    c.importer()->addUrls(
        {urlOf(m_dir.filePath("near/chosen.pdf")), urlOf(m_dir.filePath("near/folder link"))});
    QTRY_VERIFY_WITH_TIMEOUT(!c.importer()->running(), generous);
    QCOMPARE(c.documents()->rowCount(), 2);
    QCOMPARE(c.importer()->skipped().skippedCount(), 0);
    QCOMPARE(c.documents()->records().at(0).sourcePath, m_dir.filePath("near/chosen.pdf"));
    QCOMPARE(c.documents()->records().at(1).sourcePath,
             m_dir.filePath("near/folder link/selected.pdf"));
}

TESSAVO_TEST_MAIN_WITH_WORKER(TestImport)

#include "tst_import.moc"
