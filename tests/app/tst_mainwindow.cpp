#include "qml/Translations.h"
#include "support/PdfFixtures.h"
#include "support/RealWindow.h"
#include "support/WorkerTestMain.h"

#include <QAccessible>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QQmlComponent>
#include <QQuickStyle>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryDir>

#include <QtQml/qqmlextensionplugin.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(TessavoPlugin)

using namespace Tessavo;
using namespace RealWindow;

namespace {

QString statusLine(QObject* root)
{
    return findItem(root, "statusText")->property("text").toString();
}

// The button of a dialog, found inside its own content (every confirmation has the same names).
QQuickItem* dialogButton(QObject* root, const char* dialog, const char* button)
{
    QObject* popup = root->findChild<QObject*>(QString::fromLatin1(dialog));
    auto* content = popup ? popup->property("contentItem").value<QQuickItem*>() : nullptr;
    return content ? findInItems(content, QString::fromLatin1(button)) : nullptr;
}

bool dialogOpen(QObject* root, const char* dialog)
{
    QObject* popup = root->findChild<QObject*>(QString::fromLatin1(dialog));
    return popup && popup->property("opened").toBool();
}

// Counts the connections made to a port of its own on the local host, closing each at once.
struct ConnectionCounter {
    QTcpServer server;
    int connections = 0;

    [[nodiscard]] bool listen()
    {
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                ++connections;
                socket->close();
                socket->deleteLater();
            }
        });
        return server.listen(QHostAddress::LocalHost);
    }

    // A label's image at that port.
    QString imageTag() const
    {
        return QStringLiteral("<img src=\"http://127.0.0.1:%1/x.png\">").arg(server.serverPort());
    }
};

// Counts the requests the engine's network guard refused, from the line it logs for each.
int refusedRequests = 0;
QtMessageHandler passOn = nullptr;

void countRefusals(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("Refused a network request for ")))
        ++refusedRequests;
    passOn(type, context, message);
}

// Pixels inside an item's rectangle that differ from the given colour.
int pixelsOtherThan(const QImage& image, const QQuickItem* item, QColor background)
{
    const QRectF area = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
    const qreal scale = image.devicePixelRatio();
    int count = 0;
    for (int y = int(area.top() * scale); y < int(area.bottom() * scale); ++y) {
        for (int x = int(area.left() * scale); x < int(area.right() * scale); ++x) {
            if (image.pixelColor(x, y) != background)
                ++count;
        }
    }
    return count;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void smokeTestOfTheRealWindowPasses();
    void exitCodesOfBrokenWindows_data();
    void exitCodesOfBrokenWindows();
    void sidebarCountersFollowTheSummary();
    void clickingTheSidebarOpensEachPage();
    void footerIndicatorsAreIndependent();
    void shortcutsAndTheSidebarWorkFromTheKeyboard();
    void statusLineShowsTheImportInsteadOfAStaleHint();
    void exportStartsFromTheKeyboardAndShowsItsIndicator();
    void everyControlHasAnAccessibleName();
    void hostileNamesNeverReachTheNetwork();
    void closingDuringAnImportAsksAndKeepsTheQueue();

private:
    QTemporaryDir m_dir;
};

void TestMainWindow::initTestCase()
{
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    QAccessible::setActive(true);
    QVERIFY(Ui::installTranslations(*QCoreApplication::instance()));
    QVERIFY(m_dir.isValid());
}

void TestMainWindow::smokeTestOfTheRealWindowPasses()
{
    Ui::AppController controller;
    auto engine = makeEngine(controller);
    QCOMPARE(App::runMainWindow(*engine, App::mainWindowUrl, true), int(App::ExitNormal));

    auto* window = qobject_cast<QQuickWindow*>(engine->rootObjects().value(0));
    QVERIFY(window);
    QCOMPARE(window->objectName(), QStringLiteral("mainWindow"));
    QCOMPARE(window->title(), QStringLiteral("Tessavo"));
    // Its designed size and minimum, as far as the screen has room for them.
    const QSize room = window->screen()->availableSize();
    QCOMPARE(window->size(), QSize(1180, 800).boundedTo(room));
    QCOMPARE(window->minimumSize(), QSize(980, 660).boundedTo(room));
}

void TestMainWindow::exitCodesOfBrokenWindows_data()
{
    QTest::addColumn<QByteArray>("qml");
    QTest::addColumn<bool>("smokeTest");
    QTest::addColumn<int>("expected");
    QTest::newRow("syntax error") << QByteArray("import QtQuick\nItem { this is not qml") << false
                                  << int(App::ExitNoRootObject);
    QTest::newRow("root is not a window")
        << QByteArray("import QtQuick\nItem {}") << false << int(App::ExitRootNotAWindow);
    QTest::newRow("warning while loading")
        << QByteArray("import QtQuick\nWindow { visible: true; width: 1000; height: 700;"
                      " title: missingName }")
        << true << int(App::ExitSmokeWarnings);
    QTest::newRow("window too small")
        << QByteArray("import QtQuick\nWindow { visible: true; width: 600; height: 500 }") << true
        << int(App::ExitSmokeWindowUnfit);
    QTest::newRow("window hidden")
        << QByteArray("import QtQuick\nWindow { visible: false; width: 1000; height: 700 }") << true
        << int(App::ExitSmokeWindowUnfit);
}

void TestMainWindow::exitCodesOfBrokenWindows()
{
    QFETCH(QByteArray, qml);
    QFETCH(bool, smokeTest);
    QFETCH(int, expected);

    const QString path =
        m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_') + ".qml");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(qml);
    file.close();

    Ui::AppController controller;
    auto engine = makeEngine(controller);
    if (expected == App::ExitSmokeWarnings)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".*missingName.*")));
    QCOMPARE(App::runMainWindow(*engine, QUrl::fromLocalFile(path), smokeTest), expected);
}

void TestMainWindow::sidebarCountersFollowTheSummary()
{
    Ui::AppController controller;
    auto engine = makeEngine(controller);
    engine->load(App::mainWindowUrl);
    QObject* root = engine->rootObjects().value(0);
    QVERIFY(root);
    QQuickItem* importCounter = findItem(root, "navCounter0");
    QQuickItem* reviewCounter = findItem(root, "navCounter2");
    QVERIFY(importCounter && reviewCounter);
    QVERIFY(!importCounter->isVisible());
    QVERIFY(!reviewCounter->isVisible());

    DocumentRecord undecided;
    undecided.state = Ready;
    controller.documentList()->appendRecord(undecided);
    emit controller.summaryChanged();
    QVERIFY(importCounter->isVisible());
    QVERIFY(reviewCounter->isVisible());
    QCOMPARE(importCounter->property("text").toString(), QStringLiteral("1"));

    controller.documentList()->update(0, [](DocumentRecord& r) {
        r.decision = Accepted;
        return true;
    });
    emit controller.summaryChanged();
    QVERIFY(importCounter->isVisible());
    QVERIFY(!reviewCounter->isVisible());
}

void TestMainWindow::clickingTheSidebarOpensEachPage()
{
    Ui::AppController controller;
    auto engine = makeEngine(controller);
    QQuickWindow* window = loadShown(*engine);
    QVERIFY(window);
    QCOMPARE(currentPage(window), 0);

    // Each page by its entry, in an order that never repeats the page before.
    for (const int page : {3, 1, 2, 0, 2}) {
        QQuickItem* entry = findItem(window, qPrintable(QStringLiteral("nav%1").arg(page)));
        QVERIFY(entry);
        click(window, entry);
        QTRY_COMPARE(currentPage(window), page);
        QVERIFY(entry->property("current").toBool());
        // The page shown is the one the stack says.
        const QList<QQuickItem*> stacked = findItem(window, "pages")->childItems();
        for (int i = 0; i < stacked.size(); ++i)
            QCOMPARE(stacked.at(i)->isVisible(), i == page);
    }
}

void TestMainWindow::footerIndicatorsAreIndependent()
{
    Ui::AppController controller;
    auto engine = makeEngine(controller);
    QQuickWindow* window = loadShown(*engine);
    QVERIFY(window);
    const auto shown = [window](const char* name) {
        return findItem(window, name)->isVisible();
    };
    QVERIFY(!shown("importProgressText"));
    QVERIFY(!shown("importProgressBar"));
    QVERIFY(!shown("exportBusy"));
    QVERIFY(!shown("exportingText"));
    QCOMPARE(statusLine(window), controller.status());

    // An import the test worker holds at its gate: the import's indicator alone.
    const QString held = m_dir.filePath(QStringLiteral("gate-footer.pdf"));
    QVERIFY(PdfFixtures::writeTextPdf(held, {QStringLiteral("bid bond")}));
    controller.importer()->addUrls({QUrl::fromLocalFile(held)});
    QVERIFY(controller.importer()->running());
    QTRY_VERIFY(shown("importProgressBar"));
    QVERIFY(!shown("exportBusy"));
    QVERIFY(!shown("exportingText"));
    QVERIFY(PdfFixtures::writeBytes(WorkerTestHooks::gateOf(held), QByteArray()));
    QTRY_VERIFY_WITH_TIMEOUT(!controller.importer()->running(), 20000);
    QTRY_VERIFY(!shown("importProgressBar"));
    QVERIFY(!shown("importProgressText"));

    // An export that lasts until it is cancelled: its one document is a sparse file of 2 GiB.
    controller.clearDocuments();
    QVERIFY(appendLargeDocument(controller, m_dir.filePath(QStringLiteral("footer-large.pdf"))));
    const QString out = m_dir.filePath(QStringLiteral("footer-out"));
    QVERIFY(QDir().mkpath(out));
    controller.exporter()->exportTo(QUrl::fromLocalFile(out));
    QVERIFY(controller.exporter()->exporting());
    QTRY_VERIFY(shown("exportBusy"));
    QVERIFY(shown("exportingText"));
    QVERIFY(!shown("importProgressBar"));
    QVERIFY(!shown("importProgressText"));
    controller.exporter()->cancelExport();
    QTRY_VERIFY_WITH_TIMEOUT(!controller.exporter()->exporting(), 20000);
    QTRY_VERIFY(!shown("exportBusy"));
    QVERIFY(!shown("exportingText"));
    QCOMPARE(statusLine(window), QStringLiteral("Export cancelled."));

    const int width = window->width();
    controller.setStatus(QString(600, u'x'));
    QCOMPARE(window->width(), width); // a long status never widens the window
}

void TestMainWindow::shortcutsAndTheSidebarWorkFromTheKeyboard()
{
    Ui::AppController controller;
    auto engine = makeEngine(controller);
    QQuickWindow* window = loadShown(*engine);
    QVERIFY(window);

    QTest::keyClick(window, Qt::Key_3, Qt::ControlModifier);
    QCOMPARE(currentPage(window), 2);
    QTest::keyClick(window, Qt::Key_4, Qt::ControlModifier);
    QCOMPARE(currentPage(window), 3);
    QTest::keyClick(window, Qt::Key_2, Qt::ControlModifier);
    QCOMPARE(currentPage(window), 1);
    QTest::keyClick(window, Qt::Key_1, Qt::ControlModifier);
    QCOMPARE(currentPage(window), 0);

    // The sidebar is in the Tab chain; Space opens the page of the focused entry.
    QQuickItem* review = findItem(window, "nav2");
    for (int i = 0; i < 30 && window->activeFocusItem() != review; ++i)
        QTest::keyClick(window, Qt::Key_Tab);
    QCOMPARE(window->activeFocusItem(), review);
    QTest::keyClick(window, Qt::Key_Space);
    QCOMPARE(currentPage(window), 2);

    // Ctrl+O shows the Import page and its file dialog.
    QObject* fileDialog = window->findChild<QObject*>(QStringLiteral("fileDialog"));
    QVERIFY(fileDialog);
    QVERIFY(!fileDialog->property("visible").toBool());
    QTest::keyClick(window, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(currentPage(window), 0);
    QTRY_VERIFY(fileDialog->property("visible").toBool());
    QMetaObject::invokeMethod(fileDialog, "close");
    QTRY_VERIFY(!fileDialog->property("visible").toBool());

    // The About dialog takes the focus, and Enter closes it.
    click(window, findItem(window, "aboutButton"));
    QObject* aboutDialog = window->findChild<QObject*>(QStringLiteral("aboutDialog"));
    QTRY_VERIFY(aboutDialog->property("opened").toBool());
    QTRY_COMPARE(window->activeFocusItem(), findItem(window, "aboutCloseButton"));
    QTest::keyClick(window, Qt::Key_Return);
    QTRY_VERIFY(!aboutDialog->property("visible").toBool());
}

void TestMainWindow::statusLineShowsTheImportInsteadOfAStaleHint()
{
    Ui::AppController controller;
    auto engine = makeEngine(controller);
    QQuickWindow* window = loadShown(*engine);
    QVERIFY(window);
    const QString idle = controller.status();
    QCOMPARE(statusLine(window), idle);

    QStringList urls;
    QList<QUrl> files;
    for (int i = 0; i < 3; ++i) {
        const QString path = m_dir.filePath(QStringLiteral("status-%1.pdf").arg(i));
        QVERIFY(PdfFixtures::writeTextPdf(path, {QStringLiteral("bid bond")}));
        files.append(QUrl::fromLocalFile(path));
    }
    controller.importer()->addUrls(files);
    QVERIFY(controller.importer()->running());
    QCOMPARE(statusLine(window), QStringLiteral("Importing 0%"));
    QVERIFY(!findItem(window, "importProgressText")->isVisible()); // said once, in the status line
    QVERIFY(findItem(window, "importProgressBar")->isVisible());

    // A newer message wins; the import keeps its own indicator beside it.
    controller.setStatus(QStringLiteral("Rule \"Tender\" added."));
    QCOMPARE(statusLine(window), QStringLiteral("Rule \"Tender\" added."));
    QVERIFY(findItem(window, "importProgressText")->isVisible());

    QTRY_VERIFY_WITH_TIMEOUT(!controller.importer()->running(), 20000);
    QCOMPARE(statusLine(window),
             QStringLiteral("Imported 3 document(s). Review the suggestions next."));
}

void TestMainWindow::exportStartsFromTheKeyboardAndShowsItsIndicator()
{
    Ui::AppController controller;
    auto engine = makeEngine(controller);
    QQuickWindow* window = loadShown(*engine);
    QVERIFY(window);

    // Big enough that copying and zipping them lasts while the indicator fades in: each file
    // carries an unused stream of padding.
    const QString exportFolder = m_dir.filePath(QStringLiteral("to-export"));
    QVERIFY(QDir().mkpath(exportFolder));
    const QByteArray content = "BT /F1 24 Tf 72 700 Td (bid bond) Tj ET";
    const QByteArray padding(48 * 1024 * 1024, 'x');
    const QByteArray pdf = PdfFixtures::assemblePdf(
        {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [5 0 R] /Count 1 >>",
         "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
         "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content +
             "\nendstream",
         "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
         "/Resources << /Font << /F1 3 0 R >> >> >>",
         "<< /Length " + QByteArray::number(padding.size()) + " >>\nstream\n" + padding +
             "\nendstream"});
    for (int i = 0; i < 3; ++i)
        QVERIFY(PdfFixtures::writeBytes(exportFolder + QStringLiteral("/part-%1.pdf").arg(i), pdf));
    controller.importer()->addUrls({QUrl::fromLocalFile(exportFolder)});
    QTRY_VERIFY_WITH_TIMEOUT(!controller.importer()->running(), 60000);

    // Not possible yet: no folder chosen on the Export page.
    const QString before = controller.status();
    QTest::keyClick(window, Qt::Key_E, Qt::ControlModifier);
    QVERIFY(!controller.exporter()->exporting());
    QCOMPARE(controller.status(), before);

    const QString out = m_dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    QVERIFY(chooseExportFolder(window, out));

    // Nobody has decided on the three yet: the window asks first, and Escape exports nothing.
    QObject* question = window->findChild<QObject*>(QStringLiteral("undecidedDialog"));
    QVERIFY(question);
    QTest::keyClick(window, Qt::Key_E, Qt::ControlModifier);
    QTRY_VERIFY(question->property("opened").toBool());
    QVERIFY(!controller.exporter()->exporting());
    QCOMPARE(currentPage(window), 3);
    QCOMPARE(question->property("message").toString(),
             QStringLiteral("3 documents still need review\n0 documents have conflicting "
                            "suggestions\n\nThey are exported without a category. Export "
                            "anyway?"));
    QTest::keyClick(window, Qt::Key_Escape);
    QTRY_VERIFY(!question->property("visible").toBool());
    QVERIFY(!controller.exporter()->exporting());
    QCOMPARE(controller.status(), before);

    // Enter answers yes.
    QTest::keyClick(window, Qt::Key_E, Qt::ControlModifier);
    QTRY_VERIFY(question->property("opened").toBool());
    QTest::keyClick(window, Qt::Key_Return);
    QVERIFY(controller.exporter()->exporting());
    QVERIFY(!question->property("visible").toBool() || !question->property("opened").toBool());
    // The busy indicator draws something while the export runs.
    QQuickItem* busy = findItem(window, "exportBusy");
    QVERIFY(busy->isVisible());
    int drawn = 0;
    QElapsedTimer clock;
    clock.start();
    while (controller.exporter()->exporting() && drawn <= 20) {
        drawn = pixelsOtherThan(window->grabWindow(), busy, QColor(QStringLiteral("#ffffff")));
        QTest::qWait(20);
    }
    qInfo("busy indicator: %d pixels drawn after %lld ms", drawn, clock.elapsed());
    QVERIFY(drawn > 20);
    QTRY_VERIFY_WITH_TIMEOUT(!controller.exporter()->exporting(), 60000);
    QVERIFY2(controller.status().startsWith(QStringLiteral("Exported 3 documents to ")),
             qPrintable(controller.status()));
}

void TestMainWindow::everyControlHasAnAccessibleName()
{
    Ui::AppController controller;
    auto engine = makeEngine(controller);
    QQuickWindow* window = loadShown(*engine);
    QVERIFY(window);
    DocumentRecord record;
    record.fileName = QStringLiteral("offer.pdf");
    record.state = Ready;
    record.pages = 1;
    controller.documentList()->appendRecord(record);
    emit controller.summaryChanged();

    const QSet<QAccessible::Role> controls = {
        QAccessible::Button,   QAccessible::CheckBox,     QAccessible::PageTab,
        QAccessible::ComboBox, QAccessible::EditableText, QAccessible::SpinBox,
        QAccessible::List,     QAccessible::ProgressBar,
    };
    for (int page = 0; page < 4; ++page) {
        QTest::keyClick(window, Qt::Key(Qt::Key_1 + page), Qt::ControlModifier);
        QCOMPARE(currentPage(window), page);
        int seen = 0;
        QStringList unnamed;
        std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
            if (!node || node->state().invisible)
                return;
            if (controls.contains(node->role())) {
                ++seen;
                if (node->text(QAccessible::Name).trimmed().isEmpty())
                    unnamed << QString::number(node->role(), 16);
            }
            for (int i = 0; i < node->childCount(); ++i)
                walk(node->child(i));
        };
        walk(QAccessible::queryAccessibleInterface(window));
        QVERIFY2(seen >= 5, qPrintable(QString::number(seen)));
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u',')));
    }
}

void TestMainWindow::hostileNamesNeverReachTheNetwork()
{
    // The listener does notice a label that fetches its image, when nothing guards the engine.
    {
        ConnectionCounter unguarded;
        QVERIFY(unguarded.listen());
        QQmlEngine bare;
        QQmlComponent probe(&bare);
        probe.setData(
            QStringLiteral("import QtQuick\nText { textFormat: Text.RichText; text: '%1' }")
                .arg(unguarded.imageTag())
                .toUtf8(),
            QUrl());
        std::unique_ptr<QObject> text(probe.create());
        QVERIFY(text);
        QTRY_VERIFY_WITH_TIMEOUT(unguarded.connections > 0, 10000);
    }

    // A listener of its own, so that nothing left over from the probe above counts here.
    ConnectionCounter listener;
    QVERIFY(listener.listen());
    const QString tag = listener.imageTag();
    int& connections = listener.connections;
    Ui::AppController controller;
    controller.review()->addRule(tag + QStringLiteral("Bid bond"), QStringLiteral("02_Forms"),
                                 QString(), QStringLiteral("bid bond"), 0, 0, 10);
    DocumentRecord record;
    record.fileName = tag + QStringLiteral("offer.pdf");
    record.state = Unreadable;
    record.errorText = tag;
    record.suggestion.category = QStringLiteral("02_Forms");
    record.suggestion.ruleName = tag;
    record.suggestion.evidence = tag;
    record.suggestion.conflict = true;
    record.suggestion.conflictNote = tag;
    controller.documentList()->appendRecord(record);
    emit controller.summaryChanged();
    auto engine = makeEngine(controller);
    QQuickWindow* window = loadShown(*engine);
    QVERIFY(window);
    for (int page = 0; page < 4; ++page) {
        QTest::keyClick(window, Qt::Key(Qt::Key_1 + page), Qt::ControlModifier);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        (void)window->grabWindow(); // every page drawn once
    }
    // Even a label that asks for rich text gets no network from this engine.
    QQmlComponent probe(engine.get());
    probe.setData(QStringLiteral("import QtQuick\nText { textFormat: Text.RichText; text: '%1' }")
                      .arg(tag)
                      .toUtf8(),
                  QUrl());
    refusedRequests = 0;
    passOn = qInstallMessageHandler(countRefusals);
    const auto restore = qScopeGuard([] { qInstallMessageHandler(passOn); });
    std::unique_ptr<QObject> text(probe.create());
    QVERIFY(text);
    // The label did ask for its image, and the guard refused it.
    QTRY_VERIFY_WITH_TIMEOUT(refusedRequests > 0, 10000);
    QCOMPARE(connections, 0);
}

// Closing while an import runs asks first; "Cancel" keeps the window and the import, "Quit"
// closes. The files not inspected are kept with the session, and the next window offers to
// continue with them.
void TestMainWindow::closingDuringAnImportAsksAndKeepsTheQueue()
{
    const QString data = m_dir.filePath(QStringLiteral("closing"));
    const QString folder = data + QStringLiteral("/package");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(PdfFixtures::writeTextPdf(folder + "/a-rfp.pdf", {QStringLiteral("bid bond")}));
    const QStringList gated = {QStringLiteral("gate-1.pdf"), QStringLiteral("gate-2.pdf")};
    for (const QString& name : gated)
        QVERIFY(PdfFixtures::writeTextPdf(folder + '/' + name, {QStringLiteral("bid bond")}));
    Ui::ControllerSetup setup;
    setup.sessionPath = data + QStringLiteral("/session.sqlite");
    {
        Ui::AppController controller(setup);
        auto engine = makeEngine(controller);
        QQuickWindow* window = loadShown(*engine);
        QVERIFY(window);
        controller.importer()->addUrls({QUrl::fromLocalFile(folder)});
        QTRY_VERIFY_WITH_TIMEOUT(controller.documents()->rowCount() == 1, 20000);
        QVERIFY(controller.importer()->running());

        window->close();
        QTRY_VERIFY(dialogOpen(window, "closeDialog"));
        QVERIFY(window->isVisible());
        QQuickItem* cancel = dialogButton(window, "closeDialog", "confirmCancelButton");
        QVERIFY(cancel);
        click(window, cancel);
        QTRY_VERIFY(!dialogOpen(window, "closeDialog"));
        QVERIFY(window->isVisible());
        QVERIFY(controller.importer()->running());

        window->close();
        QTRY_VERIFY(dialogOpen(window, "closeDialog"));
        QQuickItem* quit = dialogButton(window, "closeDialog", "confirmButton");
        QVERIFY(quit);
        click(window, quit);
        QTRY_VERIFY(!window->isVisible());
    }
    for (const QString& name : gated)
        QVERIFY(PdfFixtures::writeBytes(WorkerTestHooks::gateOf(folder + '/' + name), ""));

    Ui::AppController controller(setup);
    QCOMPARE(controller.importer()->pendingFiles(), 2);
    auto engine = makeEngine(controller);
    QQuickWindow* window = loadShown(*engine);
    QVERIFY(window);
    QTRY_VERIFY(dialogOpen(window, "continueDialog"));
    QQuickItem* carryOn = dialogButton(window, "continueDialog", "confirmButton");
    QVERIFY(carryOn);
    QCOMPARE(carryOn->property("text").toString(), QStringLiteral("Continue import"));
    QCOMPARE(window->findChild<QObject*>("continueDialog")->property("message").toString(),
             QStringLiteral("2 files of the last import were not inspected. Inspect them now?"));
    click(window, carryOn);
    QTRY_VERIFY_WITH_TIMEOUT(
        controller.documents()->rowCount() == 3 && !controller.importer()->running(), 20000);
    QCOMPARE(controller.importer()->pendingFiles(), 0);
}

TESSAVO_TEST_MAIN_WITH_WORKER(TestMainWindow)
#include "tst_mainwindow.moc"
