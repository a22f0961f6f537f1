#include "app/Startup.h"

#include "app/CommandLine.h"
#include "app/Headless.h"
#include "app/MainWindow.h"
#include "app/Unattended.h"
#include "core/PrivateFile.h"
#include "core/Version.h"
#include "inspection/InspectionWorker.h"
#include "logging/LogFile.h"
#include "logging/LogPath.h"
#include "qml/OfflineNetwork.h"
#include "qml/QmlTypes.h"
#include "qml/Translations.h"
#include "ui/AppController.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
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
    // A worker hands its messages to the application, which logs them.
    if (Inspection::isWorkerInvocation(argc, argv))
        return Inspection::runWorker(argc, argv);

    // Before the application object, whose creation may already warn: such messages are held
    // until the log folder is known, and are redacted like every other.
    Logging::installMessageHandler();

    // --help, --version, --batch and --verify run without a window and exit.
    if (const std::optional<int> exitCode = runHeadlessMode(argc, argv))
        return *exitCode;

    QGuiApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Tessavo"));
    QCoreApplication::setApplicationName(QStringLiteral("Tessavo"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(versionText));

    // Without a data folder there is no log file; the lines still go to standard error.
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    // What the program keeps there is confidential: the folder and its files are the user's alone.
    if (!dataDir.isEmpty()) {
        if (const Status secured = securePrivateFolder(dataDir); !secured.ok)
            qWarning().noquote()
                << QStringLiteral("The data folder cannot be made private: %1").arg(secured.error);
    }
    if (const Status logging =
            Logging::initLogging(dataDir.isEmpty() ? QString() : dataDir + QStringLiteral("/logs"));
        !logging.ok)
        qWarning().noquote() << logging.error;
    qInfo().noquote() << QStringLiteral("%1 %2 starting")
                             .arg(QCoreApplication::applicationName(),
                                  QCoreApplication::applicationVersion());

    const bool smokeTest = hasOption(QCoreApplication::arguments(), QStringLiteral("--smoke-test"));
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    if (!Ui::installTranslations(application))
        qWarning("The interface's English catalogue could not be loaded");

    // The document list and its decisions survive closing and crashes; --batch keeps nothing.
    Ui::AppController controller(Ui::ControllerSetup::inFolder(dataDir));
    logUnattendedOptions(QCoreApplication::arguments());
    // The application object has taken its own options out of argv, as out of arguments().
    applyUnattendedOptions(QCoreApplication::arguments(), controller, rawArgumentsOf(argc, argv));

    Ui::OfflineNetworkAccessManagerFactory offlineNetwork; // outlives the engine
    QQmlApplicationEngine engine;
    engine.setNetworkAccessManagerFactory(&offlineNetwork);
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    Ui::ControllerSingleton::provide(engine, controller);
    return runMainWindow(engine, mainWindowUrl, smokeTest);
}

} // namespace Tessavo::App
