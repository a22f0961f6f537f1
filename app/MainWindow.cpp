#include "app/MainWindow.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlError>
#include <QQuickWindow>
#include <QTimer>

#include <memory>

namespace Tessavo::App {

namespace {

int smokeCheck(const QQuickWindow* window, int warningCount)
{
    const bool fit = window->isVisible() && window->width() >= 900 && window->height() >= 560;
    if (!fit)
        return ExitSmokeWindowUnfit;
    return warningCount > 0 ? ExitSmokeWarnings : ExitNormal;
}

} // namespace

int runMainWindow(QQmlApplicationEngine& engine, const QUrl& url, bool smokeTest)
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
    return QGuiApplication::exec();
}

} // namespace Tessavo::App
