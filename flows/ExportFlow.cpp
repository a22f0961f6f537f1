#include "flows/ExportFlow.h"

#include "bundle/ExportWarning.h"
#include "flows/DocumentList.h"
#include "flows/SessionFlow.h"
#include "logging/LogPath.h"
#include "tasks/BackgroundRunner.h"

#include <QCoreApplication>
#include <QFutureWatcher>
#include <QTimer>

#include <algorithm>

namespace Tessavo::Flows {

struct ExportFlow::Task {
    Tasks::BackgroundRunner runner;
    QFutureWatcher<Tasks::TaskResult<ExportResult>> watcher;
};

namespace {

// The time an export may go without reporting progress before it is cut off.
constexpr int defaultIdleLimitMs = 5 * 60 * 1000;

} // namespace

ExportFlow::ExportFlow(QObject* parent)
    : QObject(parent)
    , m_task(std::make_unique<Task>())
    , m_idle(new QTimer(this))
{
    m_idle->setSingleShot(true);
    m_idle->setInterval(defaultIdleLimitMs);
    connect(m_idle, &QTimer::timeout, this, [this] {
        if (!running() || m_cancelled)
            return;
        m_timedOut = true;
        m_task->watcher.cancel();
    });
    connect(&m_task->watcher, &QFutureWatcherBase::progressValueChanged, this, [this](int percent) {
        if (!running())
            return;
        m_idle->start(); // every report counts as movement, even an unchanged percentage
        if (percent == m_progress)
            return;
        m_progress = percent;
        emit progressChanged();
    });
    connect(&m_task->watcher, &QFutureWatcherBase::finished, this, &ExportFlow::onFinished);
    connect(this, &ExportFlow::runningChanged, this, &ExportFlow::announceExporting);
}

ExportFlow::ExportFlow(const DocumentList& list, const SessionFlow& session, ExportSetup setup,
                       QObject* parent)
    : ExportFlow(parent)
{
    m_list = &list;
    m_session = &session;
    m_setup = std::move(setup);
    connect(&session, &SessionFlow::checkingRestoredChanged, this,
            &ExportFlow::onRestoredFilesChecked);
}

ExportFlow::~ExportFlow()
{
    // Quitting: the export is asked to stop and given two seconds to remove what it wrote.
    disconnect(&m_task->watcher, nullptr, this, nullptr);
    if (running()) {
        m_task->watcher.cancel();
        m_task->runner.waitForDone(2000);
    }
}

void ExportFlow::setIdleLimit(int milliseconds)
{
    m_idle->setInterval(milliseconds);
}

bool ExportFlow::start(const QList<DocumentRecord>& records, const ExportOptions& options)
{
    m_error.clear();
    if (running()) {
        m_error = QStringLiteral("an export is already running");
        return false;
    }
    // The builder reports after every chunk it copies or packs and stops within a chunk once
    // cancelled.
    m_running = true;
    emit runningChanged();
    m_cancelled = false;
    m_timedOut = false;
    m_progress = 0;
    m_clock.start();
    m_idle->start();
    m_task->watcher.setFuture(
        m_task->runner.run([records, options](const Tasks::TaskControl& control) {
            const ExportMonitor monitor{[&control] { return control.isCancelled(); },
                                        [&control](int percent) {
                                            control.setProgress(percent);
                                        }};
            return buildExportBundle(records, options, monitor);
        }));
    return true;
}

void ExportFlow::cancel()
{
    if (running() && !m_cancelled && !m_timedOut) {
        m_cancelled = true;
        m_task->watcher.cancel();
    }
}

void ExportFlow::exportTo(const QUrl& directoryUrl)
{
    if (exporting())
        return;
    const QString folder = directoryUrl.toLocalFile();
    if (folder.isEmpty()) {
        emit status(QStringLiteral("Choose an export folder first."));
        return;
    }
    if (m_session && m_session->checkingRestored()) {
        // A restored file may turn out to have changed: the export starts once that is known.
        m_waiting = directoryUrl;
        announceExporting();
        emit status(QStringLiteral("Checking the restored files before the export..."));
        qInfo().noquote() << QStringLiteral("Export to %1 waits for the check of the restored "
                                            "files")
                                 .arg(Logging::pathForLog(folder));
        return;
    }
    const QList<DocumentRecord> records = m_list ? m_list->records() : QList<DocumentRecord>();
    const auto count = std::count_if(records.begin(), records.end(), exportable);
    if (count == 0) {
        emit status(QStringLiteral("Nothing to export yet."));
        qInfo().noquote() << QStringLiteral("Export to %1 not started: nothing to export yet, "
                                            "none of %2 document(s) is exportable")
                                 .arg(Logging::pathForLog(folder), QString::number(records.size()));
        return;
    }
    ExportOptions options{folder, QStringLiteral("Tessavo export"), m_setup.regularFontPath,
                          m_setup.boldFontPath, true};
    if (m_setup.clock)
        options.now = m_setup.clock;
    options.fitNames = m_fitNames;
    options.zipVolumeBytes = m_zipVolumeBytes;
    if (!start(records, options)) {
        const QString text = QStringLiteral("Export could not start: %1").arg(errorString());
        emit status(text);
        qWarning().noquote() << text;
        return;
    }
    emit status(QStringLiteral("Exporting %1 document(s)...").arg(count));
}

void ExportFlow::setSubmissionLimits(const NameLimits& fitNames, qint64 zipVolumeBytes)
{
    m_fitNames = fitNames;
    m_zipVolumeBytes = std::max<qint64>(zipVolumeBytes, 0);
}

void ExportFlow::cancelExport()
{
    if (m_waiting) {
        m_waiting.reset();
        announceExporting();
        emit status(QStringLiteral("Export cancelled."));
        qInfo().noquote() << QStringLiteral("Export cancelled before it started");
        return;
    }
    cancel();
}

void ExportFlow::onRestoredFilesChecked()
{
    if (m_session->checkingRestored() || !m_waiting)
        return;
    const QUrl target = *m_waiting;
    m_waiting.reset();
    exportTo(target);
    announceExporting(); // the wait may have ended without an export
}

void ExportFlow::announceExporting()
{
    if (m_announcedExporting == exporting())
        return;
    m_announcedExporting = exporting();
    emit exportingChanged();
}

// The status line and the log say how the export ended.
void ExportFlow::report(const ExportOutcome& outcome)
{
    const QString took = QString::number(outcome.elapsedMs);
    switch (outcome.kind) {
    case ExportOutcome::Kind::Cancelled:
        emit status(QStringLiteral("Export cancelled."));
        qInfo().noquote() << QStringLiteral("Export cancelled after %1 ms").arg(took);
        return;
    case ExportOutcome::Kind::Failed: {
        const QString text = QStringLiteral("Export failed: %1").arg(outcome.error);
        emit status(text);
        qWarning().noquote() << QStringLiteral("%1 (after %2 ms)").arg(text, took);
        return;
    }
    case ExportOutcome::Kind::Written:
        break;
    }
    const ExportResult& result = outcome.result;
    // Counted through the interface's catalogue, which has the form for one document.
    const QString exported = QString::number(result.exported);
    const QString done = QCoreApplication::translate("ExportFlow", "Exported %1 documents to %2",
                                                     nullptr, result.exported)
                             .arg(exported, result.directory);
    const qsizetype leftOut = originalsLeftOut(result.warnings);
    emit status(leftOut == 0 ? done
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
    if (!result.volumes.isEmpty())
        qInfo().noquote() << QStringLiteral("The ZIP is in %1 volumes, the first %2")
                                 .arg(QString::number(result.volumes.size()),
                                      Logging::pathForLog(result.volumes.first()));
    for (const ExportWarning& warning : result.warnings)
        qWarning().noquote() << QStringLiteral("Export warning: %1").arg(warning.text);
}

void ExportFlow::onFinished()
{
    if (!running())
        return;
    m_running = false;
    emit runningChanged();
    m_idle->stop();
    if (m_progress != 0) {
        m_progress = 0;
        emit progressChanged();
    }
    ExportOutcome ended;
    ended.elapsedMs = m_clock.elapsed();
    const QFuture<Tasks::TaskResult<ExportResult>> future = m_task->watcher.future();
    if (m_timedOut) {
        ended.error = QStringLiteral("the export stopped making progress");
    } else if (m_cancelled) {
        ended.kind = ExportOutcome::Kind::Cancelled;
    } else if (future.resultCount() == 0) {
        ended.error = QStringLiteral("the export ended without a result");
    } else if (const Tasks::TaskResult<ExportResult> task = future.result(); !task.ok) {
        ended.error = task.error;
    } else {
        ended.result = task.value;
        ended.kind = ended.result.ok ? ExportOutcome::Kind::Written : ExportOutcome::Kind::Failed;
        ended.error = ended.result.error;
    }
    report(ended);
    emit finished(ended);
}

} // namespace Tessavo::Flows
