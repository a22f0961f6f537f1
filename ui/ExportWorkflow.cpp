// The controller's export glue: the export flow builds the bundle of the shared list; the
// controller says what happened in the status line and the log.
#include "ui/AppController.h"

#include "flows/ExportFlow.h"
#include "logging/LogPath.h"

#include <QCoreApplication>

#include <algorithm>

namespace Tessavo::Ui {

void AppController::exportTo(const QUrl& directoryUrl)
{
    if (exporting())
        return;
    const QString folder = directoryUrl.toLocalFile();
    if (folder.isEmpty()) {
        setStatus(QStringLiteral("Choose an export folder first."));
        return;
    }
    if (m_session->checkingRestored()) {
        // A restored file may turn out to have changed: the export starts once that is known.
        m_exportAfterCheck = directoryUrl;
        announceExporting();
        setStatus(QStringLiteral("Checking the restored files before the export..."));
        qInfo().noquote() << QStringLiteral("Export to %1 waits for the check of the restored "
                                            "files")
                                 .arg(Logging::pathForLog(folder));
        return;
    }
    const QList<DocumentRecord>& records = m_documentList.records();
    const auto count = std::count_if(records.begin(), records.end(), exportable);
    if (count == 0) {
        setStatus(QStringLiteral("Nothing to export yet."));
        qInfo().noquote() << QStringLiteral("Export to %1 not started: nothing to export yet, "
                                            "none of %2 document(s) is exportable")
                                 .arg(Logging::pathForLog(folder), QString::number(records.size()));
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
    setStatus(QStringLiteral("Exporting %1 document(s)...").arg(count));
}

void AppController::cancelExport()
{
    if (m_exportAfterCheck) {
        m_exportAfterCheck.reset();
        announceExporting();
        setStatus(QStringLiteral("Export cancelled."));
        qInfo().noquote() << QStringLiteral("Export cancelled before it started");
        return;
    }
    m_export->cancel();
}

void AppController::onRestoredFilesChecked()
{
    if (m_session->checkingRestored() || !m_exportAfterCheck)
        return;
    const QUrl target = *m_exportAfterCheck;
    m_exportAfterCheck.reset();
    exportTo(target);
    announceExporting(); // the wait may have ended without an export
}

void AppController::announceExporting()
{
    if (m_announcedExporting == exporting())
        return;
    m_announcedExporting = exporting();
    emit exportingChanged();
}

bool AppController::exporting() const
{
    // An export waiting for the check of the restored files counts as running.
    return m_export->running() || m_exportAfterCheck.has_value();
}

void AppController::openPath(const QString& path)
{
    if (!path.isEmpty())
        m_openUrl(QUrl::fromLocalFile(path));
}

void AppController::onExportFinished(const Flows::ExportOutcome& outcome)
{
    announceExporting();
    const QString took = QString::number(outcome.elapsedMs);
    switch (outcome.kind) {
    case Flows::ExportOutcome::Kind::Cancelled:
        setStatus(QStringLiteral("Export cancelled."));
        qInfo().noquote() << QStringLiteral("Export cancelled after %1 ms").arg(took);
        return;
    case Flows::ExportOutcome::Kind::Failed:
        setStatus(QStringLiteral("Export failed: %1").arg(outcome.error));
        qWarning().noquote() << QStringLiteral("%1 (after %2 ms)").arg(status(), took);
        return;
    case Flows::ExportOutcome::Kind::Written:
        break;
    }
    const ExportResult& result = outcome.result;
    m_lastExport = LastExport::of(result);
    // Counted through the interface's catalogue, which has the form for one document.
    const QString exported = QString::number(result.exported);
    const QString done = QCoreApplication::translate("AppController", "Exported %1 documents to %2",
                                                     nullptr, result.exported)
                             .arg(exported, result.directory);
    const qsizetype leftOut = originalsLeftOut(result.warnings);
    setStatus(leftOut == 0 ? done
                           : QStringLiteral("%1; %2 original(s) left out, see the warnings")
                                 .arg(done, QString::number(leftOut)));
    qInfo().noquote() << QStringLiteral("Exported %1 documents to %2")
                             .arg(exported, Logging::pathForLog(result.directory));
    qInfo().noquote() << QStringLiteral("Export bundle %1, ZIP %2: %3 document(s), %4 skipped, "
                                        "%5 warning(s), %6 ms")
                             .arg(Logging::pathForLog(result.directory),
                                  Logging::pathForLog(result.zip), exported,
                                  QString::number(result.skipped),
                                  QString::number(result.warnings.size()), took);
    for (const ExportWarning& warning : result.warnings)
        qWarning().noquote() << QStringLiteral("Export warning: %1").arg(warning.text);
    emit exportFinished();
}

} // namespace Tessavo::Ui
