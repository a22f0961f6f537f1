#include "app/Startup.h"

#include "app/CommandLine.h"
#include "app/Headless.h"
#include "app/MainWindow.h"
#include "app/Unattended.h"
#include "inspection/InspectionWorker.h"
#include "logging/LogFile.h"
#include "ui/AppController.h"
#include "ui/qml/OfflineNetwork.h"
#include "ui/qml/Translations.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QStandardPaths>

namespace Tessavo::App {

int run(int argc, char** argv)
{
    if (Inspection::isWorkerInvocation(argc, argv))
        return Inspection::runWorker(argc, argv);
    // --help, --version, --batch and --verify run without a window and exit.
    if (const std::optional<int> exitCode = runHeadlessMode(argc, argv))
        return *exitCode;

    QGuiApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Tessavo"));
    QCoreApplication::setApplicationName(QStringLiteral("Tessavo"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.2.0"));

    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (!dataDir.isEmpty())
        Logging::initLogging(dataDir + QStringLiteral("/logs"));
    qInfo().noquote() << QStringLiteral("%1 %2 starting")
                             .arg(QCoreApplication::applicationName(),
                                  QCoreApplication::applicationVersion());

    const bool smokeTest = hasOption(QCoreApplication::arguments(), QStringLiteral("--smoke-test"));
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    if (!Ui::installTranslations(application))
        qWarning("The interface's English catalogue could not be loaded");

    Ui::AppController controller;
    applyUnattendedOptions(QCoreApplication::arguments(), controller);

    Ui::OfflineNetworkAccessManagerFactory offlineNetwork; // outlives the engine
    QQmlApplicationEngine engine;
    engine.setNetworkAccessManagerFactory(&offlineNetwork);
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    engine.rootContext()->setContextProperty(QStringLiteral("app"), &controller);
    return runMainWindow(engine, mainWindowUrl, smokeTest);
}

} // namespace Tessavo::App
