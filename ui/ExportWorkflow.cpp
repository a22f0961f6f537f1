// The controller's export workflow: one background task per bundle.
#include "ui/AppController.h"

#include "export/ExportBundle.h"
#include "logging/LogPath.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QHash>

namespace Tessavo::Ui {

namespace {

// When each controller's running export started, for the duration in the log (main thread only;
// a controller runs one export at a time).
QHash<const AppController*, QElapsedTimer>& exportClocks()
{
    static QHash<const AppController*, QElapsedTimer> clocks;
    return clocks;
}

qint64 takeExportMilliseconds(const AppController* controller)
{
    const QElapsedTimer clock = exportClocks().take(controller);
    return clock.isValid() ? clock.elapsed() : 0;
}

} // namespace

void AppController::exportTo(const QUrl& directoryUrl)
{
    if (m_exporting)
        return;
    const QString folder = directoryUrl.toLocalFile();
    if (folder.isEmpty()) {
        setStatus(QStringLiteral("Choose an export folder first."));
        return;
    }
    QList<DocumentRecord> selection;
    for (const DocumentRecord& record : m_documents.records()) {
        if (exportable(record))
            selection.append(record);
    }
    if (selection.isEmpty()) {
        setStatus(QStringLiteral("Nothing to export yet."));
        return;
    }

    const ExportOptions options{folder, QStringLiteral("Tessavo export"),
                                fontPath(QStringLiteral("DejaVuSans.ttf")),
                                fontPath(QStringLiteral("DejaVuSans-Bold.ttf")), true};
    m_exporting = true;
    emit busyChanged();
    setStatus(QStringLiteral("Exporting %1 document(s)...").arg(selection.size()));

    QString error;
    const quint64 id = m_taskService->submit(
        [selection, options](const Morvane::TaskContext&) {
            return QVariant(exportResultMap(buildExportBundle(selection, options)));
        },
        300000, &error);
    if (id == 0) {
        m_exporting = false;
        emit busyChanged();
        setStatus(QStringLiteral("Export could not start: %1").arg(error));
        qWarning().noquote() << QStringLiteral("Export could not start: %1").arg(error);
        return;
    }
    exportClocks()[this].start();
}

void AppController::openPath(const QString& path)
{
    if (!path.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void AppController::onExportFinished(qulonglong, Morvane::TaskService::Outcome outcome,
                                     const QVariant& result, const QString& error)
{
    m_exporting = false;
    emit busyChanged();
    const QString took = QString::number(takeExportMilliseconds(this));
    if (outcome != Morvane::TaskService::Outcome::Succeeded) {
        setStatus(QStringLiteral("Export failed: %1")
                      .arg(error.isEmpty() ? QStringLiteral("cancelled or timed out") : error));
        qWarning().noquote() << QStringLiteral("%1 (after %2 ms)").arg(status(), took);
        return;
    }
    const QVariantMap map = result.toMap();
    if (!map.value(QStringLiteral("ok")).toBool()) {
        setStatus(
            QStringLiteral("Export failed: %1").arg(map.value(QStringLiteral("error")).toString()));
        qWarning().noquote() << QStringLiteral("%1 (after %2 ms)").arg(status(), took);
        return;
    }
    m_lastExport = map;
    const QString exported = QString::number(map.value(QStringLiteral("exported")).toInt());
    const QString directory = map.value(QStringLiteral("directory")).toString();
    setStatus(QStringLiteral("Exported %1 documents to %2").arg(exported, directory));
    const QStringList warnings = map.value(QStringLiteral("warnings")).toStringList();
    qInfo().noquote() << QStringLiteral("Exported %1 documents to %2")
                             .arg(exported, Logging::pathForLog(directory));
    qInfo().noquote() << QStringLiteral("Export bundle %1, ZIP %2: %3 document(s), %4 skipped, "
                                        "%5 warning(s), %6 ms")
                             .arg(Logging::pathForLog(directory),
                                  Logging::pathForLog(map.value(QStringLiteral("zip")).toString()),
                                  exported,
                                  QString::number(map.value(QStringLiteral("skipped")).toInt()),
                                  QString::number(warnings.size()), took);
    for (const QString& warning : warnings)
        qWarning().noquote() << QStringLiteral("Export warning: %1").arg(warning);
    emit exportFinished();
    emit summaryChanged();
}

} // namespace Tessavo::Ui
