// The window on the desktop: on screens of several sizes it opens inside the screen, every page's
// controls stay inside it, and what it was at the end (place, export folder, last bundle) comes
// back at the next start, on a screen that is still there. From the keyboard, the page shown takes
// the focus, Ctrl+E says what is missing and Escape stops an export.
#include "app/WindowMemory.h"
#include "inspection/InspectionWorker.h"
#include "qml/Translations.h"
#include "support/PdfFixtures.h"
#include "support/PrivateFolder.h"
#include "support/RealWindow.h"
#include "support/WorkerTestMain.h"
#include "ui/LastExport.h"

#include <QDir>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QQuickStyle>
#include <QScreen>
#include <QTemporaryDir>

#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(TessavoPlugin)

using namespace Tessavo;
using namespace RealWindow;

namespace {

// The primary screen; a wide one lies to its right (see main).
const QRect smallScreen(0, 0, 980, 660);

QString describe(const QRectF& rect)
{
    return QString::asprintf("%g,%g %gx%g", rect.x(), rect.y(), rect.width(), rect.height());
}

// A run of the window as start-up makes it: a controller, the memory kept at a path (none when
// empty) and the window placed by it, shown and active.
struct Run {
    explicit Run(const QString& memoryPath = {})
        : memory(memoryPath)
    {
        window = loadShown(*engine, [this](QQuickWindow* shown) {
            memory.apply(shown, App::currentScreens());
            memory.follow(shown);
        });
    }

    QQuickItem* item(const char* name) const { return findItem(window, name); }
    void showPage(int page) const
    {
        QTest::keyClick(window, Qt::Key(Qt::Key_1 + page), Qt::ControlModifier);
    }

    Ui::AppController controller;
    App::WindowMemory memory;
    std::unique_ptr<QQmlApplicationEngine> engine = makeEngine(controller);
    QQuickWindow* window = nullptr;
};

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
    const QRectF inside(QPointF(-0.5, -0.5), QSizeF(window->size()) + QSizeF(1, 1));
    QStringList outside;
    for (const QQuickItem* control : controls) {
        const QRectF rect = control->mapRectToScene(control->boundingRect());
        if (!inside.contains(rect))
            outside.append(QStringLiteral("%1 \"%2\" at %3")
                               .arg(control->objectName(), control->property("text").toString(),
                                    describe(rect)));
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

} // namespace

class TestDesktopWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void placesOnEveryScreenSize_data();
    void placesOnEveryScreenSize();
    void placeFolderAndBundleComeBackAfterARestart();
    void everyPageFitsAndTheKeyboardStopsAnExport();
    void draggingFilesOverTheWindowHighlightsIt();

private:
    PrivateFolder m_data{QStringLiteral("window.json")};
};

void TestDesktopWindow::initTestCase()
{
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    QVERIFY(Ui::installTranslations(*QCoreApplication::instance()));
    QVERIFY(m_data.isValid());
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
    const auto row = [](const char* name, QRect remembered, const char* screen, QRect available,
                        QRect expected, QSize minimum = {980, 660}) {
        QTest::newRow(name) << remembered << QString::fromLatin1(screen) << available << expected
                            << minimum;
    };
    const QRect large(0, 0, 1920, 1080);
    row("small screen", {}, "", {0, 0, 980, 660}, {0, 0, 980, 660});
    row("scaled screen", {}, "", {0, 0, 960, 600}, {0, 0, 960, 600}, {960, 600}); // 1920x1200, 2x
    row("large screen, centred", {}, "", large, {370, 140, 1180, 800});
    row("remembered, moved back inside", {1500, -40, 1000, 700}, "wide", large,
        {920, 0, 1000, 700});
    row("remembered, larger than the screen", {10, 10, 3000, 2000}, "wide", large, large);
    row("remembered below the minimum", {10, 10, 300, 200}, "wide", large, {10, 10, 980, 660});
    row("its screen is gone", {3000, 100, 1000, 700}, "gone", large, {370, 140, 1180, 800});
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
}

void TestDesktopWindow::placeFolderAndBundleComeBackAfterARestart()
{
    const QString& path = m_data.file();
    const QString exportFolder = m_data.outside(QStringLiteral("bundles"));
    const QString bundleFolder = exportFolder + QStringLiteral("/Tessavo-Export-1");
    QVERIFY(QDir().mkpath(bundleFolder));
    const QRect wherePut(1200, 150, 1100, 720);
    {
        Run run(path);
        QVERIFY(run.window);
        // Moved to the wide screen and made larger, as a window manager would.
        run.window->setGeometry(wherePut);
        QTRY_COMPARE(run.window->geometry(), wherePut);
        QVERIFY(chooseExportFolder(run.window, exportFolder));
        Ui::LastExport bundle;
        bundle.ok = true;
        bundle.directory = bundleFolder;
        bundle.zip = bundleFolder + QStringLiteral(".zip");
        bundle.exported = 7;
        bundle.warnings = {QStringLiteral("Missing source file, left out of the bundle: a.pdf")};
        run.memory.rememberExport(bundle);
        run.memory.remember(*run.window);
    }
    QVERIFY(m_data.isPrivate());
    const QJsonObject kept = QJsonDocument::fromJson(TestFiles::readBytes(path)).object();
    QCOMPARE(kept[QStringLiteral("exportFolder")].toString(), exportFolder);
    QJsonObject place = kept[QStringLiteral("window")].toObject();
    QCOMPARE(place[QStringLiteral("width")].toInt(), 1100);
    {
        Run run(path);
        QVERIFY(run.window);
        QCOMPARE(run.window->geometry(), wherePut);
        run.showPage(3);
        QTRY_VERIFY(run.item("lastExportPanel")->isVisible());
        QCOMPARE(run.item("destinationText")->property("text").toString(), exportFolder);
        QCOMPARE(run.item("exportCounts")->property("text").toString(),
                 QStringLiteral("7 exported · 0 skipped"));
        QCOMPARE(run.item("exportWarnings")->property("text").toString(),
                 QStringLiteral("Missing source file, left out of the bundle: a.pdf"));
    }

    // The screen it was on is gone, and so is the bundle: the window opens inside the screen
    // there is, and no bundle is offered.
    QJsonObject changed = kept;
    place.insert(QStringLiteral("screen"), QStringLiteral("a screen unplugged since"));
    changed.insert(QStringLiteral("window"), place);
    QVERIFY(m_data.overwrite(QJsonDocument(changed).toJson()));
    QVERIFY(QDir(bundleFolder).removeRecursively());
    Run run(path);
    QVERIFY(run.window);
    QVERIFY(smallScreen.contains(run.window->geometry()));
    run.showPage(3);
    QTRY_VERIFY(run.item("exportButton")->isVisible());
    QVERIFY(!run.item("lastExportPanel")->isVisible());
}

void TestDesktopWindow::everyPageFitsAndTheKeyboardStopsAnExport()
{
    Run run;
    QQuickWindow* window = run.window;
    QVERIFY(window);
    // On the small screen, the window and every page's controls lie inside it.
    QVERIFY2(smallScreen.contains(window->geometry()), qPrintable(describe(window->geometry())));
    QVERIFY(window->minimumWidth() <= smallScreen.width());
    QVERIFY(window->minimumHeight() <= smallScreen.height());
    for (int page = 0; page < 4; ++page) {
        run.showPage(page);
        QTRY_COMPARE(currentPage(window), page);
        QTRY_VERIFY2(controlsOutside(window).isEmpty(),
                     qPrintable(controlsOutside(window).join(QStringLiteral("; "))));
    }

    const QString lot = m_data.outside(QStringLiteral("Lot 7"));
    QVERIFY(QDir().mkpath(lot));
    for (int i = 0; i < 4; ++i) {
        QVERIFY(PdfFixtures::writeTextPdf(lot + QStringLiteral("/part-%1.pdf").arg(i),
                                          {QStringLiteral("bid bond")}));
    }
    run.controller.importer()->addUrls({QUrl::fromLocalFile(lot)});
    QTRY_VERIFY_WITH_TIMEOUT(!run.controller.importer()->running(), 60000);
    QCOMPARE(run.controller.documents()->rowCount(), 4);
    QTRY_COMPARE(window->title(), QStringLiteral("Tessavo — Lot 7")); // the title names the work

    // Each page shown from the keyboard has the focus inside it.
    QQuickItem* about = run.item("aboutButton");
    const struct {
        int page;
        const char* focused;
    } pages[] = {{1, "ruleList"}, {0, "documentList"}, {3, "chooseFolderButton"}};
    for (const auto& page : pages) {
        run.showPage(page.page);
        QTRY_VERIFY2(focusWithin(window, run.item(page.focused)), page.focused);
        QVERIFY(!about->hasActiveFocus());
    }
    run.showPage(2);
    QTRY_VERIFY(focusWithin(window, run.item("pages")->childItems().value(2)));

    // Ctrl+E without a destination shows the Export page saying what is missing, and offers the
    // way forward.
    run.showPage(0);
    QTest::keyClick(window, Qt::Key_E, Qt::ControlModifier);
    QTRY_COMPARE(currentPage(window), 3);
    QQuickItem* notice = run.item("exportNotice");
    QTRY_VERIFY(notice->isVisible());
    QCOMPARE(notice->property("text").toString(),
             QStringLiteral("Choose a destination folder first (“Choose folder…”)."));
    QTRY_VERIFY(run.item("chooseFolderButton")->hasActiveFocus());
    QVERIFY(!run.controller.exporter()->exporting());

    const QString out = m_data.outside(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    QVERIFY(chooseExportFolder(window, out));
    QTRY_VERIFY(!notice->isVisible());
    QVERIFY(appendLargeDocument(run.controller, m_data.outside(QStringLiteral("large.pdf"))));
    QObject* question = window->findChild<QObject*>(QStringLiteral("undecidedDialog"));
    QTest::keyClick(window, Qt::Key_E, Qt::ControlModifier);
    QTRY_VERIFY(question->property("opened").toBool());
    QTest::keyClick(window, Qt::Key_Return);
    QTRY_VERIFY(run.controller.exporter()->exporting());

    // Escape in a dialog closes the dialog only.
    click(window, about);
    QObject* aboutDialog = window->findChild<QObject*>(QStringLiteral("aboutDialog"));
    QTRY_VERIFY(aboutDialog->property("opened").toBool());
    QTest::keyClick(window, Qt::Key_Escape);
    QTRY_VERIFY(!aboutDialog->property("visible").toBool());
    QVERIFY(run.controller.exporter()->exporting());

    // Escape in the window stops the export, and nothing of it is left in the destination.
    QTest::keyClick(window, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!run.controller.exporter()->exporting(), 30000);
    QVERIFY(!run.controller.lastExport().ok);
    QTRY_COMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
}

void TestDesktopWindow::draggingFilesOverTheWindowHighlightsIt()
{
    Run run;
    QVERIFY(run.window);
    const QString dropped = m_data.outside(QStringLiteral("dropped.pdf"));
    QVERIFY(PdfFixtures::writeTextPdf(dropped, {QStringLiteral("bid bond")}));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dropped)});
    const QPoint at(run.window->width() / 2, run.window->height() / 2);
    // What a file manager sends while the files are dragged over the middle of the window.
    const auto dragOver = [&] {
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(run.window, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(run.window, &move);
    };

    // Over the Import page, and over another page: each time the window shows it takes them.
    const struct {
        int page;
        const char* highlight;
    } cases[] = {{0, "dropHighlight"}, {2, "windowDropHighlight"}};
    for (const auto& drag : cases) {
        run.showPage(drag.page);
        QTRY_COMPARE(currentPage(run.window), drag.page);
        QQuickItem* highlight = run.item(drag.highlight);
        QVERIFY(!highlight->isVisible());
        dragOver();
        QTRY_VERIFY(highlight->isVisible());
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(run.window, &leave);
        QTRY_VERIFY(!highlight->isVisible());
    }

    // Dropped on the Review page, the file is imported and the Import page shows it.
    dragOver();
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(run.window, &drop);
    QTRY_COMPARE(currentPage(run.window), 0);
    QTRY_COMPARE_WITH_TIMEOUT(run.controller.documents()->rowCount(), 1, 30000);
    QVERIFY(!run.item("windowDropHighlight")->isVisible());
}

// The screens are those of a configured offscreen platform, set before the application exists.
int main(int argc, char** argv)
{
    if (Inspection::isWorkerInvocation(argc, argv))
        return Inspection::runWorker(argc, argv, WorkerTestHooks::hooks());
    QTemporaryDir config;
    const QString screens = config.filePath(QStringLiteral("screens.json"));
    if (!config.isValid() || !TestFiles::writeBytes(screens, R"({"windowFrameMargins": false,
        "screens": [{"name": "small", "x": 0, "y": 0, "width": 980, "height": 660},
                    {"name": "wide", "x": 980, "y": 0, "width": 1920, "height": 1080}]})"))
        return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(screens));
    QGuiApplication application(argc, argv);
    TestDesktopWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktopwindow.moc"
