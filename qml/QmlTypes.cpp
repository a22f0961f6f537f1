#include "QmlTypes.h"

#include <QHash>
#include <QPointer>
#include <QQmlEngine>

namespace Tessavo::Ui {

namespace {

// Each engine's controller; an engine leaves the table when it is destroyed.
QHash<const QQmlEngine*, QPointer<AppController>>& controllers()
{
    static QHash<const QQmlEngine*, QPointer<AppController>> table;
    return table;
}

} // namespace

void ControllerSingleton::provide(QQmlEngine& engine, AppController& controller)
{
    if (!controllers().contains(&engine)) {
        QObject::connect(&engine, &QObject::destroyed, &engine,
                         [key = &engine] { controllers().remove(key); });
    }
    controllers().insert(&engine, &controller);
}

AppController* ControllerSingleton::create(QQmlEngine* engine, QJSEngine* /*scriptEngine*/)
{
    AppController* controller = controllers().value(engine);
    if (!controller) {
        qWarning("The interface was loaded without a controller");
        return nullptr;
    }
    // The engine would otherwise delete its singleton together with itself.
    QJSEngine::setObjectOwnership(controller, QJSEngine::CppOwnership);
    return controller;
}

} // namespace Tessavo::Ui
