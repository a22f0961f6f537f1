#include "app/MainWindow.h"

#include "app/WindowMemory.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlError>
#include <QQuickWindow>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace Tessavo::App {

namespace {

// The window is shown and usable: at least 900 by 560, or as much of its screen as there is.
int smokeCheck(const QQuickWindow* window, int warningCount)
{
    const QScreen* screen = window->screen();
    const QSize room = screen ? screen->availableSize() : QSize(900, 560);
    const bool fit = window->isVisible() && window->width() >= std::min(900, room.width()) &&
                     window->height() >= std::min(560, room.height());
    if (!fit)
        return ExitSmokeWindowUnfit;
    return warningCount > 0 ? ExitSmokeWarnings : ExitNormal;
}

} // namespace

int runMainWindow(QQmlApplicationEngine& engine, const QUrl& url, bool smokeTest,
                  WindowMemory* memory)
{
    // Shared with the handler, which may outlive this call together with the engine.
    auto warningCount = std::make_shared<int>(0);
    QObject::connect(&engine, &QQmlEngine::warnings, qApp,
                     [warningCount](const QList<QQmlError>& errors) {
                         for (const QQmlError& error : errors) {
                             qWarning().noquote() << error.toString();
                             ++*warningCount;
                         }
                     });

    engine.load(url);
    const QList<QObject*> roots = engine.rootObjects();
    if (roots.isEmpty())
        return ExitNoRootObject;
    auto* window = qobject_cast<QQuickWindow*>(roots.constFirst());
    if (!window)
        return ExitRootNotAWindow;

    if (smokeTest) {
        QTimer::singleShot(400, qApp, [window, warningCount] {
            QCoreApplication::exit(smokeCheck(window, *warningCount));
        });
    }
    if (memory) {
        memory->apply(window, currentScreens());
        memory->follow(window);
    }
    const int exitCode = QGuiApplication::exec();
    if (memory)
        memory->remember(*window);
    return exitCode;
}

} // namespace Tessavo::App
