// The C++ helpers of the interface: file names from dialogs, typed folder paths, the engine's
// network guard and the English catalogue.
#include "qml/FolderChoice.h"
#include "qml/LocalFiles.h"
#include "qml/OfflineNetwork.h"
#include "qml/Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using Tessavo::Ui::LocalFiles;

class TestQmlSupport : public QObject {
    Q_OBJECT

private slots:
    void fileUrlTakesWhatADialogReturns_data();
    void fileUrlTakesWhatADialogReturns();
    void existsAndFileName();
    void typedFolderPathsNameThatFolder();
    void networkRequestsAreRefused();
    void catalogueHasTheSingularForms_data();
    void catalogueHasTheSingularForms();
};

void TestQmlSupport::fileUrlTakesWhatADialogReturns_data()
{
    QTest::addColumn<QUrl>("chosen");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("expected"); // a local path, or empty for no file

    QTest::newRow("typed, no scheme, no suffix")
        << QUrl(QStringLiteral("/tmp/out/rules")) << QStringLiteral("json")
        << QStringLiteral("/tmp/out/rules.json");
    QTest::newRow("clicked file URL with suffix")
        << QUrl::fromLocalFile(QStringLiteral("/tmp/out/rules.json")) << QStringLiteral("json")
        << QStringLiteral("/tmp/out/rules.json");
    QTest::newRow("another suffix is kept")
        << QUrl::fromLocalFile(QStringLiteral("/tmp/out/rules.txt")) << QStringLiteral("json")
        << QStringLiteral("/tmp/out/rules.txt");
    QTest::newRow("spaces and percent signs")
        << QUrl::fromLocalFile(QStringLiteral("/tmp/my rules 100%")) << QStringLiteral("json")
        << QStringLiteral("/tmp/my rules 100%.json");
    QTest::newRow("typed with a space")
        << QUrl(QStringLiteral("/tmp/Bid package/my rules")) << QStringLiteral("json")
        << QStringLiteral("/tmp/Bid package/my rules.json");
    QTest::newRow("hash in a typed name")
        << QUrl::fromLocalFile(QStringLiteral("/tmp/a#b")) << QStringLiteral("json")
        << QStringLiteral("/tmp/a#b.json");
    QTest::newRow("no default suffix")
        << QUrl(QStringLiteral("/tmp/out/rules")) << QString() << QStringLiteral("/tmp/out/rules");
    QTest::newRow("remote URL") << QUrl(QStringLiteral("http://127.0.0.1/rules.json"))
                                << QStringLiteral("json") << QString();
    QTest::newRow("empty") << QUrl() << QStringLiteral("json") << QString();
    QTest::newRow("a folder") << QUrl(QStringLiteral("/tmp/")) << QStringLiteral("json")
                              << QString();
}

void TestQmlSupport::fileUrlTakesWhatADialogReturns()
{
    QFETCH(QUrl, chosen);
    QFETCH(QString, suffix);
    QFETCH(QString, expected);
    const QUrl result = LocalFiles::fileUrl(chosen, suffix);
    if (expected.isEmpty()) {
        QVERIFY2(result.isEmpty(), qPrintable(result.toString()));
        return;
    }
    QVERIFY(result.isLocalFile());
    QCOMPARE(result.toLocalFile(), expected);
}

void TestQmlSupport::existsAndFileName()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("rules #1.json"));
    const QUrl url = QUrl::fromLocalFile(path);
    QVERIFY(!LocalFiles::exists(url));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(LocalFiles::exists(url));
    QVERIFY(!LocalFiles::exists(QUrl(QStringLiteral("http://127.0.0.1/") + path)));
    QCOMPARE(LocalFiles::fileName(url), QStringLiteral("rules #1.json"));
}

void TestQmlSupport::networkRequestsAreRefused()
{
    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost));
    Tessavo::Ui::OfflineNetworkAccessManagerFactory factory;
    QObject owner;
    QNetworkAccessManager* manager = factory.create(&owner);
    QVERIFY(manager);
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/x.png").arg(listener.serverPort()));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Refused a network.*")));
    std::unique_ptr<QNetworkReply> reply(manager->get(QNetworkRequest(url)));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    QVERIFY(finished.wait(5000));
    QCOMPARE(reply->error(), QNetworkReply::ContentAccessDenied);
    QVERIFY(reply->readAll().isEmpty());
    QVERIFY(!listener.waitForNewConnection(300));
}

void TestQmlSupport::typedFolderPathsNameThatFolder()
{
    using Tessavo::Ui::FolderChoice;
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Bid package/forms")));
    const QUrl shown = QUrl::fromLocalFile(dir.path());
    const QUrl package = QUrl::fromLocalFile(dir.filePath(QStringLiteral("Bid package")));

    QCOMPARE(FolderChoice::folderAt(dir.filePath(QStringLiteral("Bid package")), shown), package);
    QCOMPARE(FolderChoice::folderAt(QStringLiteral("  Bid package/ "), shown), package);
    QCOMPARE(FolderChoice::folderAt(QStringLiteral("Bid package/forms/.."), shown), package);
    QCOMPARE(FolderChoice::folderAt(package.toString(), QUrl()), package);
    QCOMPARE(FolderChoice::folderAt(QStringLiteral("~"), shown),
             QUrl::fromLocalFile(QDir::homePath()));
    // Nothing for a path that names no folder: a missing one, a file, a relative path with no
    // folder shown, or nothing at all.
    QVERIFY(FolderChoice::folderAt(QStringLiteral("Bid package/none"), shown).isEmpty());
    QVERIFY(FolderChoice::folderAt(QStringLiteral("Bid package"), QUrl()).isEmpty());
    QVERIFY(FolderChoice::folderAt(QStringLiteral("  "), shown).isEmpty());
    QFile file(dir.filePath(QStringLiteral("note.pdf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(FolderChoice::folderAt(QStringLiteral("note.pdf"), shown).isEmpty());

    QCOMPARE(FolderChoice::pathOf(package), dir.filePath(QStringLiteral("Bid package")));
    QCOMPARE(FolderChoice::parentOf(package), shown);
    QCOMPARE(FolderChoice::parentOf(QUrl::fromLocalFile(QStringLiteral("/"))),
             QUrl::fromLocalFile(QStringLiteral("/")));
    // Without a desktop (here: the offscreen platform) the window draws its own dialog.
    QVERIFY(!FolderChoice::desktopDialog());
}

void TestQmlSupport::catalogueHasTheSingularForms_data()
{
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("one");
    QTest::addColumn<QString>("two");

    QTest::newRow("review pages") << QByteArray("ReviewRow") << QStringLiteral("%1 pages")
                                  << QStringLiteral("%1 page") << QStringLiteral("%1 pages");
    QTest::newRow("import details")
        << QByteArray("DocumentRow") << QStringLiteral("%1 pages · %2 · sha256 %3")
        << QStringLiteral("%1 page · %2 · sha256 %3")
        << QStringLiteral("%1 pages · %2 · sha256 %3");
    QTest::newRow("conflicts")
        << QByteArray("ReviewPage")
        << QStringLiteral("%1 to review · %2 accepted · %3 changed · %4 ignored · %5 conflict(s)")
        << QStringLiteral("%1 to review · %2 accepted · %3 changed · %4 ignored · %5 conflict")
        << QStringLiteral("%1 to review · %2 accepted · %3 changed · %4 ignored · %5 conflicts");
    QTest::newRow("clear") << QByteArray("ImportPage")
                           << QStringLiteral("Remove %n document(s) and their decisions?")
                           << QStringLiteral("Remove 1 document and its decision?")
                           << QStringLiteral("Remove 2 documents and their decisions?");
    QTest::newRow("export status")
        << QByteArray("ExportFlow") << QStringLiteral("Exported %1 documents to %2")
        << QStringLiteral("Exported %1 document to %2")
        << QStringLiteral("Exported %1 documents to %2");
    QTest::newRow("undecided export")
        << QByteArray("ExportPage") << QStringLiteral("%n document(s) still need review")
        << QStringLiteral("1 document still needs review")
        << QStringLiteral("2 documents still need review");
    QTest::newRow("conflicting export")
        << QByteArray("ExportPage") << QStringLiteral("%n document(s) have conflicting suggestions")
        << QStringLiteral("1 document has conflicting suggestions")
        << QStringLiteral("2 documents have conflicting suggestions");
    QTest::newRow("rules import")
        << QByteArray("RulesPage")
        << QStringLiteral("Add the rules of “%1” to the %n current rule(s), or replace them? "
                          "Adding skips rules that are already in the list.")
        << QStringLiteral("Add the rules of “%1” to the 1 current rule, or replace it? Adding "
                          "skips rules that are already in the list.")
        << QStringLiteral("Add the rules of “%1” to the 2 current rules, or replace them? "
                          "Adding skips rules that are already in the list.");
}

void TestQmlSupport::catalogueHasTheSingularForms()
{
    QFETCH(QByteArray, context);
    QFETCH(QString, source);
    QFETCH(QString, one);
    QFETCH(QString, two);
    const QByteArray text = source.toUtf8();
    QCOMPARE(QCoreApplication::translate(context, text, nullptr, 1), one);
    QCOMPARE(QCoreApplication::translate(context, text, nullptr, 2), two);
}

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    if (!Tessavo::Ui::installTranslations(application)) {
        qCritical("The English catalogue could not be loaded");
        return 1;
    }
    TestQmlSupport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_qmlsupport.moc"
