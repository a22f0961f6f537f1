#include "app/Unattended.h"

#include "app/CommandLine.h"
#include "app/HeldFolder.h"
#include "core/FolderWalk.h"
#include "core/RawPath.h"
#include "logging/LogPath.h"
#include "ui/AppController.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QUrl>

#include <memory>

namespace Tessavo::App {

void applyUnattendedOptions(const QStringList& arguments, Ui::AppController& controller,
                            const QList<QByteArray>& rawArguments)
{
    const bool raw = rawArguments.size() == arguments.size();
    if (hasOption(arguments, QStringLiteral("--ocr")))
        controller.recogniseDuringImportThisRun();
    if (const auto importPath = optionValue(arguments, QStringLiteral("--import")))
        controller.addLocalPaths(
            {raw ? *optionBytes(rawArguments, "--import") : QFile::encodeName(*importPath)});

    const auto exportPath = optionValue(arguments, QStringLiteral("--export"));
    if (!exportPath)
        return;
    // Taken against the current folder now, so the export lands where the command line meant it.
    QUrl target =
        QUrl::fromLocalFile(exportPath->isEmpty() ? *exportPath : QDir(*exportPath).absolutePath());
    // A folder a QString cannot name is held open and written through its descriptor, for the
    // controller's life.
    const QByteArray exportBytes = raw ? *optionBytes(rawArguments, "--export") : QByteArray();
    if (!exportBytes.isEmpty() && !roundTrips(exportBytes)) {
        auto* held = new HeldFolder;
        QObject::connect(&controller, &QObject::destroyed, [held] { delete held; });
        if (!held->open(absolutePathBytes(exportBytes))) {
            // Never into a look-alike folder: without that very folder there is no export.
            qWarning().noquote() << QStringLiteral("Cannot create the export folder %1: %2")
                                        .arg(Logging::pathForLog(*exportPath), held->errorString());
            return;
        }
        target = QUrl::fromLocalFile(held->path());
    }
    // Connected after the import was requested, so the import's own start does not trigger it.
    // The export starts at most once for these options; the flag lives as long as the connection.
    auto started = std::make_shared<bool>(false);
    auto exportWhenReady = [&controller, target, started] {
        if (*started || controller.importing() || controller.recognising() ||
            controller.exporting() || controller.documents()->rowCount() == 0)
            return;
        *started = true;
        qInfo().noquote() << QStringLiteral("Unattended export of %1 document(s) to %2 starts")
                                 .arg(QString::number(controller.documents()->rowCount()),
                                      Logging::pathForLog(target.toLocalFile()));
        controller.exportTo(target);
    };
    QObject::connect(&controller, &Ui::AppController::busyChanged, &controller, exportWhenReady);
    // Documents restored from the last session with nothing left to import (every file already
    // listed) start no import, so nothing else would trigger the export.
    exportWhenReady();
    if (!*started)
        qInfo().noquote() << QStringLiteral("Unattended export to %1 waits for documents")
                                 .arg(Logging::pathForLog(target.toLocalFile()));
}

} // namespace Tessavo::App
