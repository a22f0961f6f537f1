#include "app/Startup.h"

#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "app/Unattended.h"
#include "core/InspectionWorker.h"
#include "logging/LogFile.h"
#include "logging/LogPath.h"
#include "ui/AppController.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QStandardPaths>

namespace Tessavo::App {

namespace {

void logUnattendedOptions(const QStringList& arguments)
{
    if (const auto importPath = optionValue(arguments, QStringLiteral("--import")))
        qInfo().noquote()
            << QStringLiteral("Unattended import of %1").arg(Logging::pathForLog(*importPath));
    if (const auto exportPath = optionValue(arguments, QStringLiteral("--export")))
        qInfo().noquote() << QStringLiteral("Unattended export to %1 once documents are imported")
                                 .arg(Logging::pathForLog(*exportPath));
}

} // namespace

int run(int argc, char** argv)
{
    if (isInspectionWorkerInvocation(argc, argv))
        return runInspectionWorker(argc, argv);

    // Before the application object, whose creation may already warn: such messages are held
    // until the log folder is known below, and are redacted like every other.
    Logging::installMessageHandler();

    QGuiApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Tessavo"));
    QCoreApplication::setApplicationName(QStringLiteral("Tessavo"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.2.0"));

    // Without a data folder there is no log file; the lines still go to standard error.
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    Logging::initLogging(dataDir.isEmpty() ? QString() : dataDir + QStringLiteral("/logs"));
    qInfo().noquote() << QStringLiteral("%1 %2 starting")
                             .arg(QCoreApplication::applicationName(),
                                  QCoreApplication::applicationVersion());

    const bool smokeTest = hasOption(QCoreApplication::arguments(), QStringLiteral("--smoke-test"));
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    Ui::AppController controller;
    logUnattendedOptions(QCoreApplication::arguments());
    applyUnattendedOptions(QCoreApplication::arguments(), controller);

    QQmlApplicationEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    engine.rootContext()->setContextProperty(QStringLiteral("app"), &controller);
    return runMainWindow(engine, mainWindowUrl, smokeTest);
}

} // namespace Tessavo::App
