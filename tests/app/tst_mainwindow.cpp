#include "app/MainWindow.h"
#include "ui/AppController.h"

#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>

#include <QtQml/qqmlextensionplugin.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(TessavoPlugin)

using namespace Tessavo;

namespace {

std::unique_ptr<QQmlApplicationEngine> makeEngine(Ui::AppController& controller)
{
    auto engine = std::make_unique<QQmlApplicationEngine>();
    engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
    engine->rootContext()->setContextProperty(QStringLiteral("app"), &controller);
    return engine;
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

// Searches the visual tree as well, since repeated delegates have no QObject parent.
QQuickItem* findItem(QObject* root, const char* name)
{
    const QString objectName = QString::fromLatin1(name);
    if (auto* item = root->findChild<QQuickItem*>(objectName))
        return item;
    auto* window = qobject_cast<QQuickWindow*>(root);
    return window ? findInItems(window->contentItem(), objectName) : nullptr;
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
    void footerIndicatorsAreIndependent();

private:
    QTemporaryDir m_dir;
};

void TestMainWindow::initTestCase()
{
    QQuickStyle::setStyle(QStringLiteral("Basic"));
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
    QCOMPARE(window->size(), QSize(1180, 800));
    QCOMPARE(window->minimumSize(), QSize(980, 660));
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
        << QByteArray("import QtQuick\nWindow { visible: true; width: 800; height: 700 }") << true
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
    controller.documents()->appendRecord(undecided);
    emit controller.summaryChanged();
    QVERIFY(importCounter->isVisible());
    QVERIFY(reviewCounter->isVisible());
    QCOMPARE(importCounter->property("text").toString(), QStringLiteral("1"));

    controller.documents()->recordAt(0)->decision = Accepted;
    emit controller.summaryChanged();
    QVERIFY(importCounter->isVisible());
    QVERIFY(!reviewCounter->isVisible());

    // Navigation switches the visible page.
    QQuickItem* pages = findItem(root, "pages");
    QVERIFY(pages);
    root->setProperty("currentPage", 3);
    QCOMPARE(pages->property("currentIndex").toInt(), 3);
}

void TestMainWindow::footerIndicatorsAreIndependent()
{
    Ui::AppController controller;
    auto engine = makeEngine(controller);
    engine->load(App::mainWindowUrl);
    QObject* root = engine->rootObjects().value(0);
    QVERIFY(root);
    QVERIFY(!findItem(root, "importProgressText")->isVisible());
    QVERIFY(!findItem(root, "importProgressBar")->isVisible());
    QVERIFY(!findItem(root, "exportBusy")->isVisible());
    QVERIFY(!findItem(root, "exportingText")->isVisible());
    QCOMPARE(findItem(root, "statusText")->property("text").toString(), controller.status());

    controller.setStatus(QString(600, u'x'));
    auto* window = qobject_cast<QQuickWindow*>(root);
    QCOMPARE(window->width(), 1180); // a long status never widens the window
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
