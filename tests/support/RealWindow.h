#pragma once

#include "app/MainWindow.h"
#include "qml/OfflineNetwork.h"
#include "qml/QmlTypes.h"
#include "ui/AppController.h"

#include <QFile>
#include <QFileInfo>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <functional>
#include <memory>

// The application's window in a test: loaded into an engine prepared as start-up prepares it,
// its items found by name and clicked as a user would.
namespace RealWindow {

// Prepared as the application prepares its engine, network guard included.
inline std::unique_ptr<QQmlApplicationEngine> makeEngine(Tessavo::Ui::AppController& controller)
{
    static Tessavo::Ui::OfflineNetworkAccessManagerFactory offlineNetwork;
    auto engine = std::make_unique<QQmlApplicationEngine>();
    engine->setNetworkAccessManagerFactory(&offlineNetwork);
    engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
    Tessavo::Ui::ControllerSingleton::provide(*engine, controller);
    return engine;
}

// Loads the window, lets place put it where start-up would, and waits until it is shown and
// active; null when any of that fails.
inline QQuickWindow* loadShown(QQmlApplicationEngine& engine,
                               const std::function<void(QQuickWindow*)>& place = {})
{
    engine.load(Tessavo::App::mainWindowUrl);
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().value(0));
    if (!window)
        return nullptr;
    if (place)
        place(window);
    if (!QTest::qWaitForWindowExposed(window))
        return nullptr;
    window->requestActivate();
    return QTest::qWaitForWindowActive(window) ? window : nullptr;
}

inline QQuickItem* findInItems(QQuickItem* item, const QString& name)
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
inline QQuickItem* findItem(QObject* root, const char* name)
{
    const QString objectName = QString::fromLatin1(name);
    if (auto* item = root->findChild<QQuickItem*>(objectName))
        return item;
    auto* window = qobject_cast<QQuickWindow*>(root);
    return window ? findInItems(window->contentItem(), objectName) : nullptr;
}

inline void click(QQuickWindow* window, const QQuickItem* item)
{
    QTest::mouseClick(window, Qt::LeftButton, {},
                      item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint());
}

inline int currentPage(QObject* root)
{
    return findItem(root, "pages")->property("currentIndex").toInt();
}

// The folder dialog's answer, as the Export page takes it.
[[nodiscard]] inline bool chooseExportFolder(QQuickWindow* window, const QString& folder)
{
    QObject* page = window->findChild<QObject*>(QStringLiteral("exportPage"));
    return page && QMetaObject::invokeMethod(page, "chooseFolder",
                                             Q_ARG(QVariant, QUrl::fromLocalFile(folder)));
}

// Lists a filed document whose source is a sparse file of 2 GiB at path: exporting it lasts
// until it is cancelled.
[[nodiscard]] inline bool appendLargeDocument(Tessavo::Ui::AppController& controller,
                                              const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(2) << 30))
        return false;
    Tessavo::DocumentRecord record;
    record.fileName = QFileInfo(path).fileName();
    record.sourcePath = path;
    record.sizeBytes = file.size();
    record.state = Tessavo::Ready;
    record.pages = 1;
    record.decision = Tessavo::Changed;
    record.finalCategory = QStringLiteral("02_Forms");
    controller.documentList()->appendRecord(record);
    emit controller.summaryChanged();
    return true;
}

} // namespace RealWindow
