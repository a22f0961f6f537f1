// The controller's export workflow: one background task per bundle.
#include "ui/AppController.h"

#include "export/ExportBundle.h"
#include "logging/LogPath.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QElapsedTimer>

namespace Tessavo::Ui {

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
    m_exportCancelled = false;
    emit busyChanged();
    setStatus(QStringLiteral("Exporting %1 document(s)...").arg(selection.size()));

    // The builder reports after every chunk it copies or packs and stops within a chunk once
    // cancelled; the five minutes count from its last report, so a large export that keeps
    // moving is never cut off.
    m_exportTask = m_taskService->submitWithIdleTimeout(
        [selection, options](const Morvane::TaskContext& context) {
            const ExportMonitor monitor{[&context] { return context.isCancellationRequested(); },
                                        [&context](int percent) {
                                            context.setProgress(percent);
                                        }};
            return QVariant(exportResultMap(buildExportBundle(selection, options, monitor)));
        },
        300000);
    if (m_exportTask == 0) {
        const QString error = m_taskService->errorString();
        m_exporting = false;
        emit busyChanged();
        setStatus(QStringLiteral("Export could not start: %1").arg(error));
        qWarning().noquote() << QStringLiteral("Export could not start: %1").arg(error);
        return;
    }
    m_exportClock.start();
}

void AppController::cancelExport()
{
    if (!m_exporting || m_exportCancelled)
        return;
    m_exportCancelled = m_taskService->cancel(m_exportTask);
}

void AppController::onExportProgress(qulonglong id, int percent)
{
    if (id != m_exportTask || percent == m_exportProgress)
        return;
    m_exportProgress = percent;
    emit exportProgressChanged();
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
    m_exportTask = 0;
    if (m_exportProgress != 0) {
        m_exportProgress = 0;
        emit exportProgressChanged();
    }
    emit busyChanged();
    const QString took = QString::number(m_exportClock.elapsed());
    if (outcome == Morvane::TaskService::Outcome::Cancelled && m_exportCancelled) {
        setStatus(QStringLiteral("Export cancelled."));
        qInfo().noquote() << QStringLiteral("Export cancelled after %1 ms").arg(took);
        return;
    }
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
    // Counted through the interface's catalogue, which has the form for one document.
    const int count = map.value(QStringLiteral("exported")).toInt();
    const QString exported = QString::number(count);
    const QString directory = map.value(QStringLiteral("directory")).toString();
    setStatus(
        QCoreApplication::translate("AppController", "Exported %1 documents to %2", nullptr, count)
            .arg(exported, directory));
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
