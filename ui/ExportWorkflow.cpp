// The controller's export workflow: the export service builds the bundle; the controller says
// what happened in the status line and the log.
#include "ui/AppController.h"

#include "logging/LogPath.h"
#include "ui/ExportService.h"

#include <QCoreApplication>
#include <QDesktopServices>

#include <algorithm>

namespace Tessavo::Ui {

void AppController::exportTo(const QUrl& directoryUrl)
{
    if (m_export->running())
        return;
    const QString folder = directoryUrl.toLocalFile();
    if (folder.isEmpty()) {
        setStatus(QStringLiteral("Choose an export folder first."));
        return;
    }
    const QList<DocumentRecord>& records = m_documents.records();
    const auto count = std::count_if(records.begin(), records.end(), exportable);
    if (count == 0) {
        setStatus(QStringLiteral("Nothing to export yet."));
        return;
    }
    ExportOptions options{folder, QStringLiteral("Tessavo export"),
                          fontPath(QStringLiteral("DejaVuSans.ttf")),
                          fontPath(QStringLiteral("DejaVuSans-Bold.ttf")), true};
    if (m_clock)
        options.now = m_clock;
    if (!m_export->start(records, options)) {
        const QString text =
            QStringLiteral("Export could not start: %1").arg(m_export->errorString());
        setStatus(text);
        qWarning().noquote() << text;
        return;
    }
    emit busyChanged();
    setStatus(QStringLiteral("Exporting %1 document(s)...").arg(count));
}

void AppController::cancelExport()
{
    m_export->cancel();
}

bool AppController::exporting() const
{
    return m_export->running();
}

int AppController::exportProgress() const
{
    return m_export->progress();
}

QVariantMap AppController::lastExport() const
{
    return m_lastExport ? exportResultMap(*m_lastExport) : QVariantMap();
}

void AppController::openPath(const QString& path)
{
    if (!path.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void AppController::onExportFinished(const ExportOutcome& outcome)
{
    emit busyChanged();
    const QString took = QString::number(outcome.elapsedMs);
    switch (outcome.kind) {
    case ExportOutcome::Kind::Cancelled:
        setStatus(QStringLiteral("Export cancelled."));
        qInfo().noquote() << QStringLiteral("Export cancelled after %1 ms").arg(took);
        return;
    case ExportOutcome::Kind::Failed:
        setStatus(QStringLiteral("Export failed: %1").arg(outcome.error));
        qWarning().noquote() << QStringLiteral("%1 (after %2 ms)").arg(status(), took);
        return;
    case ExportOutcome::Kind::Written:
        break;
    }
    const ExportResult& result = outcome.result;
    m_lastExport = result;
    // Counted through the interface's catalogue, which has the form for one document.
    const QString exported = QString::number(result.exported);
    setStatus(QCoreApplication::translate("AppController", "Exported %1 documents to %2", nullptr,
                                          result.exported)
                  .arg(exported, result.directory));
    qInfo().noquote() << QStringLiteral("Exported %1 documents to %2")
                             .arg(exported, Logging::pathForLog(result.directory));
    qInfo().noquote() << QStringLiteral("Export bundle %1, ZIP %2: %3 document(s), %4 skipped, "
                                        "%5 warning(s), %6 ms")
                             .arg(Logging::pathForLog(result.directory),
                                  Logging::pathForLog(result.zip), exported,
                                  QString::number(result.skipped),
                                  QString::number(result.warnings.size()), took);
    for (const QString& warning : result.warnings)
        qWarning().noquote() << QStringLiteral("Export warning: %1").arg(warning);
    emit exportFinished();
    emit summaryChanged();
}

} // namespace Tessavo::Ui
