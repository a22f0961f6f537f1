// The window on the desktop: on screens of several sizes it opens inside the screen, every page's
// controls stay inside it, and what it was at the end (place, export folder, last bundle) comes
// back at the next start, on a screen that is still there. From the keyboard, the page shown takes
// the focus, Ctrl+E says what is missing and Escape stops an export.
#include "app/WindowMemory.h"
#include "core/DocumentRecord.h"
#include "inspection/InspectionWorker.h"
#include "qml/OfflineNetwork.h"
#include "qml/QmlTypes.h"
#include "qml/Translations.h"
#include "support/PdfFixtures.h"
#include "support/WorkerTestMain.h"
#include "ui/AppController.h"
#include "ui/LastExport.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <QtQml/qqmlextensionplugin.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(TessavoPlugin)

using namespace Tessavo;

namespace {

// Two screens side by side: a small one first (the primary), a wide one to its right.
const QRect smallScreen(0, 0, 980, 660);
const QRect wideScreen(980, 0, 1920, 1080);

Ui::OfflineNetworkAccessManagerFactory offlineNetwork;

struct Window {
    std::unique_ptr<QQmlApplicationEngine> engine = std::make_unique<QQmlApplicationEngine>();
    QQuickWindow* window = nullptr;
};

// Loads the real window as start-up does, placed by this memory.
Window openWindow(Ui::AppController& controller, App::WindowMemory& memory)
{
    Window shown;
    shown.engine->setNetworkAccessManagerFactory(&offlineNetwork);
    shown.engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
    Ui::ControllerSingleton::provide(*shown.engine, controller);
    shown.engine->load(QUrl(QStringLiteral("qrc:/qt/qml/Tessavo/Main.qml")));
    shown.window = qobject_cast<QQuickWindow*>(shown.engine->rootObjects().value(0));
    if (!shown.window)
        return shown;
    memory.apply(shown.window, App::currentScreens());
    memory.follow(shown.window);
    if (!QTest::qWaitForWindowExposed(shown.window))
        shown.window = nullptr;
    return shown;
}

QQuickItem* findInItems(QQuickItem* item, const QString& name)
{
    if (item->objectName() == name)
        return item;
    const QList<QQuickItem*> children = item->childItems();
    for (QQuickItem* child : children) {
        if (QQuickItem* found = findInItems(child, name))
            return found;
    }
    return nullptr;
}

QQuickItem* findItem(QQuickWindow* window, const char* name)
{
    return findInItems(window->contentItem(), QString::fromLatin1(name));
}

bool shownOnScreen(const QQuickItem* item)
{
    for (const QQuickItem* p = item; p; p = p->parentItem()) {
        if (!p->isVisible() || p->opacity() <= 0)
            return false;
    }
    return true;
}

// The buttons, boxes and fields shown outside scrolled lists (those scroll into view).
void collectControls(QQuickItem* item, QList<QQuickItem*>& controls)
{
    if (!shownOnScreen(item) || item->inherits("QQuickFlickable"))
        return;
    if (item->inherits("QQuickAbstractButton") || item->inherits("QQuickComboBox"))
        controls.append(item);
    const QList<QQuickItem*> children = item->childItems();
    for (QQuickItem* child : children)
        collectControls(child, controls);
}

// Names the controls of the window not wholly inside it.
QStringList controlsOutside(QQuickWindow* window)
{
    QList<QQuickItem*> controls;
    collectControls(window->contentItem(), controls);
    const QRectF inside(QPointF(0, 0), QSizeF(window->size()));
    QStringList outside;
    for (const QQuickItem* control : controls) {
        const QRectF rect = control->mapRectToScene(control->boundingRect());
        if (!inside.adjusted(-0.5, -0.5, 0.5, 0.5).contains(rect))
            outside.append(QStringLiteral("%1 \"%2\" at %3,%4 %5x%6")
                               .arg(control->objectName(), control->property("text").toString())
                               .arg(rect.x())
                               .arg(rect.y())
                               .arg(rect.width())
                               .arg(rect.height()));
    }
    return outside;
}

// The keyboard focus is on the item or inside it.
bool focusWithin(QQuickWindow* window, const QQuickItem* item)
{
    for (const QQuickItem* p = window->activeFocusItem(); p && item; p = p->parentItem()) {
        if (p == item)
            return true;
    }
    return false;
}

QJsonObject fileObject(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                          : QJsonObject();
}

} // namespace

class TestDesktopWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void placesOnEveryScreenSize_data();
    void placesOnEveryScreenSize();
    void everyPageFitsTheSmallScreen();
    void placeFolderAndBundleComeBackAfterARestart();
    void keyboardReachesThePagesAndStopsAnExport();
    void draggingFilesOverTheWindowHighlightsIt();

private:
    QTemporaryDir m_dir;
};

void TestDesktopWindow::initTestCase()
{
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    QVERIFY(Ui::installTranslations(*QCoreApplication::instance()));
    QVERIFY(m_dir.isValid());
    QCOMPARE(QGuiApplication::screens().size(), 2);
    QCOMPARE(QGuiApplication::primaryScreen()->availableGeometry(), smallScreen);
}

void TestDesktopWindow::placesOnEveryScreenSize_data()
{
    QTest::addColumn<QRect>("remembered");
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("expected");
    QTest::addColumn<QSize>("minimum");
    const QRect none;
    QTest::newRow("small screen") << none << QString() << QRect(0, 0, 980, 660)
                                  << QRect(0, 0, 980, 660) << QSize(980, 660);
    // 1920 by 1200 at a scale factor of 2.
    QTest::newRow("scaled screen")
        << none << QString() << QRect(0, 0, 960, 600) << QRect(0, 0, 960, 600) << QSize(960, 600);
    QTest::newRow("large screen, centred") << none << QString() << QRect(0, 0, 1920, 1080)
                                           << QRect(370, 140, 1180, 800) << QSize(980, 660);
    QTest::newRow("remembered, moved back inside")
        << QRect(1500, -40, 1000, 700) << QStringLiteral("wide") << QRect(0, 0, 1920, 1080)
        << QRect(920, 0, 1000, 700) << QSize(980, 660);
    QTest::newRow("remembered, larger than the screen")
        << QRect(10, 10, 3000, 2000) << QStringLiteral("wide") << QRect(0, 0, 1920, 1080)
        << QRect(0, 0, 1920, 1080) << QSize(980, 660);
    QTest::newRow("remembered below the minimum")
        << QRect(10, 10, 300, 200) << QStringLiteral("wide") << QRect(0, 0, 1920, 1080)
        << QRect(10, 10, 980, 660) << QSize(980, 660);
    QTest::newRow("its screen is gone")
        << QRect(3000, 100, 1000, 700) << QStringLiteral("gone") << QRect(0, 0, 1920, 1080)
        << QRect(370, 140, 1180, 800) << QSize(980, 660);
}

void TestDesktopWindow::placesOnEveryScreenSize()
{
    QFETCH(QRect, remembered);
    QFETCH(QString, screen);
    QFETCH(QRect, available);
    QFETCH(QRect, expected);
    QFETCH(QSize, minimum);
    const Store::WindowPlacement placement{QStringLiteral("wide"), remembered, false};
    const App::WindowPlace place = App::placeWindow(
        screen.isEmpty() ? Store::WindowPlacement{} : placement,
        {{screen == QLatin1String("gone") ? QStringLiteral("other") : screen, available}});
    QCOMPARE(place.geometry, expected);
    QCOMPARE(place.minimum, minimum);
    QVERIFY(available.contains(place.geometry));
}

void TestDesktopWindow::everyPageFitsTheSmallScreen()
{
    Ui::AppController controller;
    App::WindowMemory memory{QString()};
    const Window shown = openWindow(controller, memory);
    QQuickWindow* window = shown.window;
    QVERIFY(window);
    QVERIFY2(smallScreen.contains(window->geometry()), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                      .arg(window->x())
                                                                      .arg(window->y())
                                                                      .arg(window->width())
                                                                      .arg(window->height())));
    QVERIFY(window->minimumWidth() <= smallScreen.width());
    QVERIFY(window->minimumHeight() <= smallScreen.height());

    window->requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QQuickItem* pages = findItem(window, "pages");
    for (int page = 0; page < 4; ++page) {
        QTest::keyClick(window, Qt::Key(Qt::Key_1 + page), Qt::ControlModifier);
        QTRY_COMPARE(pages->property("currentIndex").toInt(), page);
        QTRY_VERIFY2(controlsOutside(window).isEmpty(),
                     qPrintable(controlsOutside(window).join(QStringLiteral("; "))));
    }
}

void TestDesktopWindow::placeFolderAndBundleComeBackAfterARestart()
{
    const QString path = m_dir.filePath(QStringLiteral("data/window.json"));
    const QString exportFolder = m_dir.filePath(QStringLiteral("bundles"));
    const QString bundleFolder = exportFolder + QStringLiteral("/Tessavo-Export-1");
    QVERIFY(QDir().mkpath(bundleFolder));
    const QRect wherePut(1200, 150, 1100, 720);
    {
        Ui::AppController controller;
        App::WindowMemory memory(path);
        const Window shown = openWindow(controller, memory);
        QVERIFY(shown.window);
        // Moved to the wide screen and made larger, as a window manager would.
        shown.window->setGeometry(wherePut);
        QTRY_COMPARE(shown.window->geometry(), wherePut);
        QObject* exportPage = shown.window->findChild<QObject*>(QStringLiteral("exportPage"));
        QVERIFY(exportPage);
        QVERIFY(QMetaObject::invokeMethod(exportPage, "chooseFolder",
                                          Q_ARG(QVariant, QUrl::fromLocalFile(exportFolder))));
        Ui::LastExport bundle;
        bundle.ok = true;
        bundle.directory = bundleFolder;
        bundle.zip = bundleFolder + QStringLiteral(".zip");
        bundle.exported = 7;
        bundle.warnings = {QStringLiteral("Missing source file, left out of the bundle: a.pdf")};
        memory.rememberExport(bundle);
        memory.remember(*shown.window);
    }
    QCOMPARE(QFile::permissions(path) & 0x0077, QFileDevice::Permissions());
    QCOMPARE(QFileInfo(QFileInfo(path).absolutePath()).permissions() & 0x0077,
             QFileDevice::Permissions());
    const QJsonObject kept = fileObject(path);
    QCOMPARE(kept.value(QStringLiteral("exportFolder")).toString(), exportFolder);
    QCOMPARE(kept.value(QStringLiteral("window")).toObject().value(QStringLiteral("width")).toInt(),
             1100);

    {
        Ui::AppController controller;
        App::WindowMemory memory(path);
        const Window shown = openWindow(controller, memory);
        QVERIFY(shown.window);
        QCOMPARE(shown.window->geometry(), wherePut);
        shown.window->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(shown.window));
        QTest::keyClick(shown.window, Qt::Key_4, Qt::ControlModifier);
        QTRY_VERIFY(findItem(shown.window, "lastExportPanel")->isVisible());
        QCOMPARE(findItem(shown.window, "destinationText")->property("text").toString(),
                 exportFolder);
        QCOMPARE(findItem(shown.window, "exportCounts")->property("text").toString(),
                 QStringLiteral("7 exported · 0 skipped"));
        QCOMPARE(findItem(shown.window, "exportWarnings")->property("text").toString(),
                 QStringLiteral("Missing source file, left out of the bundle: a.pdf"));
    }

    // The screen it was on is gone, and so is the bundle: the window opens inside the screen
    // there is, and no bundle is offered.
    QJsonObject changed = kept;
    QJsonObject place = changed.value(QStringLiteral("window")).toObject();
    place.insert(QStringLiteral("screen"), QStringLiteral("a screen unplugged since"));
    changed.insert(QStringLiteral("window"), place);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument(changed).toJson());
    file.close();
    QVERIFY(QDir(bundleFolder).removeRecursively());
    {
        Ui::AppController controller;
        App::WindowMemory memory(path);
        const Window shown = openWindow(controller, memory);
        QVERIFY(shown.window);
        QVERIFY(smallScreen.contains(shown.window->geometry()));
        shown.window->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(shown.window));
        QTest::keyClick(shown.window, Qt::Key_4, Qt::ControlModifier);
        QTRY_VERIFY(findItem(shown.window, "exportButton")->isVisible());
        QVERIFY(!findItem(shown.window, "lastExportPanel")->isVisible());
    }
}

void TestDesktopWindow::keyboardReachesThePagesAndStopsAnExport()
{
    Ui::AppController controller;
    App::WindowMemory memory{QString()};
    const Window shown = openWindow(controller, memory);
    QQuickWindow* window = shown.window;
    QVERIFY(window);
    window->requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(window));

    // Large enough that the export lasts until Escape: each file carries a stream of padding.
    const QString lot = m_dir.filePath(QStringLiteral("Lot 7"));
    QVERIFY(QDir().mkpath(lot));
    const QByteArray content = "BT /F1 24 Tf 72 700 Td (bid bond) Tj ET";
    const QByteArray padding(64 * 1024 * 1024, 'x');
    const QByteArray pdf = PdfFixtures::assemblePdf(
        {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [5 0 R] /Count 1 >>",
         "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
         "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content +
             "\nendstream",
         "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
         "/Resources << /Font << /F1 3 0 R >> >> >>",
         "<< /Length " + QByteArray::number(padding.size()) + " >>\nstream\n" + padding +
             "\nendstream"});
    for (int i = 0; i < 4; ++i)
        QVERIFY(PdfFixtures::writeBytes(lot + QStringLiteral("/part-%1.pdf").arg(i), pdf));
    controller.importer()->addUrls({QUrl::fromLocalFile(lot)});
    QTRY_VERIFY_WITH_TIMEOUT(!controller.importer()->running(), 60000);
    QCOMPARE(controller.documents()->rowCount(), 4);
    // The title names the work.
    QTRY_COMPARE(window->title(), QStringLiteral("Tessavo — Lot 7"));

    // Each page shown from the keyboard has the focus inside it.
    QQuickItem* about = findItem(window, "aboutButton");
    const struct {
        int page;
        const char* focused;
    } pages[] = {{1, "ruleList"}, {0, "documentList"}, {3, "chooseFolderButton"}};
    for (const auto& page : pages) {
        QTest::keyClick(window, Qt::Key(Qt::Key_1 + page.page), Qt::ControlModifier);
        QTRY_VERIFY2(focusWithin(window, findItem(window, page.focused)), page.focused);
        QVERIFY(!about->hasActiveFocus());
    }
    QTest::keyClick(window, Qt::Key_3, Qt::ControlModifier);
    QQuickItem* reviewPage = findItem(window, "pages")->childItems().value(2);
    QVERIFY(reviewPage);
    QTRY_VERIFY(focusWithin(window, reviewPage));

    // Ctrl+E without a destination shows the Export page saying what is missing, and offers the
    // way forward.
    QTest::keyClick(window, Qt::Key_1, Qt::ControlModifier);
    QTest::keyClick(window, Qt::Key_E, Qt::ControlModifier);
    QTRY_COMPARE(findItem(window, "pages")->property("currentIndex").toInt(), 3);
    QQuickItem* notice = findItem(window, "exportNotice");
    QTRY_VERIFY(notice->isVisible());
    QCOMPARE(notice->property("text").toString(),
             QStringLiteral("Choose a destination folder first (“Choose folder…”)."));
    QTRY_VERIFY(findItem(window, "chooseFolderButton")->hasActiveFocus());
    QVERIFY(!controller.exporter()->exporting());

    const QString out = m_dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    QObject* exportPage = window->findChild<QObject*>(QStringLiteral("exportPage"));
    QVERIFY(QMetaObject::invokeMethod(exportPage, "chooseFolder",
                                      Q_ARG(QVariant, QUrl::fromLocalFile(out))));
    QTRY_VERIFY(!notice->isVisible());
    // A document whose copy lasts: a sparse file of 2 GiB.
    const QString large = m_dir.filePath(QStringLiteral("large.pdf"));
    {
        QFile file(large);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64(2) << 30));
    }
    DocumentRecord record;
    record.fileName = QStringLiteral("large.pdf");
    record.sourcePath = large;
    record.sizeBytes = qint64(2) << 30;
    record.state = Ready;
    record.pages = 1;
    record.decision = Changed;
    record.finalCategory = QStringLiteral("02_Forms");
    controller.documentList()->appendRecord(record);
    emit controller.summaryChanged();

    QObject* question = window->findChild<QObject*>(QStringLiteral("undecidedDialog"));
    QTest::keyClick(window, Qt::Key_E, Qt::ControlModifier);
    QTRY_VERIFY(question->property("opened").toBool());
    QTest::keyClick(window, Qt::Key_Return);
    QTRY_VERIFY(controller.exporter()->exporting());

    // Escape in a dialog closes the dialog only.
    QTest::mouseClick(
        window, Qt::LeftButton, {},
        about->mapToScene(QPointF(about->width() / 2, about->height() / 2)).toPoint());
    QObject* aboutDialog = window->findChild<QObject*>(QStringLiteral("aboutDialog"));
    QTRY_VERIFY(aboutDialog->property("opened").toBool());
    QTest::keyClick(window, Qt::Key_Escape);
    QTRY_VERIFY(!aboutDialog->property("visible").toBool());
    QVERIFY(controller.exporter()->exporting());

    // Escape in the window stops the export, and nothing of it is left in the destination.
    QTest::keyClick(window, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!controller.exporter()->exporting(), 30000);
    QVERIFY(!controller.lastExport().ok);
    QTRY_COMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
}

void TestDesktopWindow::draggingFilesOverTheWindowHighlightsIt()
{
    Ui::AppController controller;
    App::WindowMemory memory{QString()};
    const Window shown = openWindow(controller, memory);
    QQuickWindow* window = shown.window;
    QVERIFY(window);
    const QString dropped = m_dir.filePath(QStringLiteral("dropped.pdf"));
    const QByteArray content = "BT /F1 24 Tf 72 700 Td (bid bond) Tj ET";
    QVERIFY(PdfFixtures::writeBytes(
        dropped,
        PdfFixtures::assemblePdf(
            {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [5 0 R] /Count 1 >>",
             "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
             "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content +
                 "\nendstream",
             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
             "/Resources << /Font << /F1 3 0 R >> >> >>"})));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dropped)});
    const QPoint at(window->width() / 2, window->height() / 2);

    // Over the Import page, and over another page: each time the window shows it takes them.
    const struct {
        int page;
        const char* highlight;
    } cases[] = {{0, "dropHighlight"}, {2, "windowDropHighlight"}};
    for (const auto& drag : cases) {
        QTest::keyClick(window, Qt::Key(Qt::Key_1 + drag.page), Qt::ControlModifier);
        QTRY_COMPARE(findItem(window, "pages")->property("currentIndex").toInt(), drag.page);
        QQuickItem* highlight = findItem(window, drag.highlight);
        QVERIFY(!highlight->isVisible());
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &move);
        QTRY_VERIFY(highlight->isVisible());
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(window, &leave);
        QTRY_VERIFY(!highlight->isVisible());
    }

    // Dropped on the Review page, the file is imported and the Import page shows it.
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &move);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
    QTRY_COMPARE(findItem(window, "pages")->property("currentIndex").toInt(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(controller.documents()->rowCount(), 1, 30000);
    QVERIFY(!findItem(window, "windowDropHighlight")->isVisible());
}

// The screens are those of a configured offscreen platform, set before the application exists.
int main(int argc, char** argv)
{
    if (Tessavo::Inspection::isWorkerInvocation(argc, argv))
        return Tessavo::Inspection::runWorker(argc, argv, WorkerTestHooks::hooks());
    QTemporaryDir config;
    QFile screens(config.filePath(QStringLiteral("screens.json")));
    if (!config.isValid() || !screens.open(QIODevice::WriteOnly))
        return 2;
    screens.write(
        QJsonDocument(
            QJsonObject{{QStringLiteral("windowFrameMargins"), false},
                        {QStringLiteral("screens"),
                         QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("small")},
                                                {QStringLiteral("x"), 0},
                                                {QStringLiteral("y"), 0},
                                                {QStringLiteral("width"), 980},
                                                {QStringLiteral("height"), 660}},
                                    QJsonObject{{QStringLiteral("name"), QStringLiteral("wide")},
                                                {QStringLiteral("x"), 980},
                                                {QStringLiteral("y"), 0},
                                                {QStringLiteral("width"), 1920},
                                                {QStringLiteral("height"), 1080}}}}})
            .toJson());
    screens.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(screens.fileName()));
    QGuiApplication application(argc, argv);
    TestDesktopWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktopwindow.moc"
