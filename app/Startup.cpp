#include "app/Startup.h"

#include "app/CommandLine.h"
#include "app/Headless.h"
#include "app/MainWindow.h"
#include "app/UnattendedRun.h"
#include "app/WindowMemory.h"
#include "core/PrivateFile.h"
#include "inspection/InspectionWorker.h"
#include "logging/LogFile.h"
#include "logging/LogPath.h"
#include "qml/OfflineNetwork.h"
#include "qml/QmlTypes.h"
#include "qml/Translations.h"
#include "ui/AppController.h"

#include <QFile>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QStandardPaths>

namespace Tessavo::App {

namespace {

void logUnattendedOptions(const CommandLine& commandLine)
{
    if (commandLine.importPath)
        qInfo().noquote() << QStringLiteral("Unattended import of %1")
                                 .arg(Logging::pathForLog(
                                     QFile::decodeName(*commandLine.importPath)));
    if (commandLine.exportFolder)
        qInfo().noquote() << QStringLiteral("Unattended export to %1 once documents are imported")
                                 .arg(Logging::pathForLog(
                                     QFile::decodeName(*commandLine.exportFolder)));
}

// The window stays open whatever the unattended export did; the log says how it ended.
void logUnattendedOutcome(const UnattendedRun& run, UnattendedRun::Outcome outcome)
{
    const QString folder = Logging::pathForLog(run.exportFolder());
    switch (outcome) {
    case UnattendedRun::Outcome::FolderUnusable:
        qWarning().noquote() << QStringLiteral("Cannot create the export folder %1: %2")
                                    .arg(folder, run.errorString());
        return;
    case UnattendedRun::Outcome::Exported:
        qInfo().noquote() << QStringLiteral("Unattended export to %1 done").arg(folder);
        return;
    case UnattendedRun::Outcome::NothingFound:
    case UnattendedRun::Outcome::NothingExportable:
    case UnattendedRun::Outcome::ExportFailed:
    case UnattendedRun::Outcome::Cancelled:
        qInfo().noquote()
            << QStringLiteral("Unattended export to %1 did not write a bundle").arg(folder);
        return;
    }
}

} // namespace

int run(int argc, char** argv)
{
    // A worker hands its messages to the application, which logs them. It is started with its
    // option first, and before anything else of the application is set up.
    if (Inspection::isWorkerInvocation(argc, argv))
        return Inspection::runWorker(argc, argv);

    // Before the application object, whose creation may already warn: such messages are held
    // until the log folder is known, and are redacted like every other.
    Logging::installMessageHandler();

    const CommandLineParse parsed = parseCommandLine(rawArgumentsOf(argc, argv));
    if (!parsed.ok) {
        printError(QStringLiteral("tessavo: %1").arg(parsed.error));
        return ExitUsage;
    }
    const CommandLine& commandLine = parsed.commandLine;
    setApplicationIdentity();

    // --help, --version, --batch and --verify run without a window and exit.
    if (const std::optional<int> exitCode = runHeadlessMode(argc, argv, commandLine))
        return *exitCode;

    QGuiApplication application(argc, argv);

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

    QQuickStyle::setStyle(QStringLiteral("Basic"));
    if (!Ui::installTranslations(application))
        qWarning("The interface's English catalogue could not be loaded");

    // Where the window was, how it looked, the export folder and the last bundle written.
    WindowMemory memory(dataDir.isEmpty() ? QString() : dataDir + QStringLiteral("/window.json"));
    // The document list and its decisions survive closing and crashes; --batch keeps nothing.
    Ui::AppController controller(Ui::ControllerSetup::inFolder(dataDir));
    logUnattendedOptions(commandLine);
    UnattendedRun unattended(controller, windowPlan(commandLine));
    QObject::connect(&unattended, &UnattendedRun::finished, &unattended,
                     [&unattended](UnattendedRun::Outcome outcome) {
                         logUnattendedOutcome(unattended, outcome);
                     });
    unattended.start();

    QObject::connect(&controller, &Ui::AppController::exportFinished, &controller,
                     [&memory, &controller] { memory.rememberExport(controller.lastExport()); });

    Ui::OfflineNetworkAccessManagerFactory offlineNetwork; // outlives the engine
    QQmlApplicationEngine engine;
    engine.setNetworkAccessManagerFactory(&offlineNetwork);
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    Ui::ControllerSingleton::provide(engine, controller);
    return runMainWindow(engine, mainWindowUrl, commandLine.smokeTest, &memory);
}

} // namespace Tessavo::App
