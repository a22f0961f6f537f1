#include "ui/ExportService.h"

#include "tasks/TaskService.h"

Q_DECLARE_METATYPE(Tessavo::ExportResult)

namespace Tessavo::Ui {

namespace {

// The time an export may go without reporting progress before it is cut off.
constexpr int idleLimitMs = 5 * 60 * 1000;

} // namespace

ExportService::ExportService(QObject* parent)
    : QObject(parent)
    , m_tasks(new Morvane::TaskService({.maxConcurrent = 1, .maxQueued = 4}, this))
{
    connect(m_tasks, &Morvane::TaskService::progress, this, [this](qulonglong id, int percent) {
        if (id != m_task || percent == m_progress)
            return;
        m_progress = percent;
        emit progressChanged();
    });
    connect(m_tasks, &Morvane::TaskService::finished, this,
            [this](qulonglong id, Morvane::TaskService::Outcome outcome, const QVariant& value,
                   const QString& error) {
                if (id != m_task)
                    return;
                m_task = 0;
                if (m_progress != 0) {
                    m_progress = 0;
                    emit progressChanged();
                }
                ExportOutcome ended;
                ended.elapsedMs = m_clock.elapsed();
                if (outcome == Morvane::TaskService::Outcome::Cancelled && m_cancelled) {
                    ended.kind = ExportOutcome::Kind::Cancelled;
                } else if (outcome != Morvane::TaskService::Outcome::Succeeded) {
                    ended.error =
                        error.isEmpty() ? QStringLiteral("cancelled or timed out") : error;
                } else {
                    ended.result = value.value<ExportResult>();
                    ended.kind = ended.result.ok ? ExportOutcome::Kind::Written
                                                 : ExportOutcome::Kind::Failed;
                    ended.error = ended.result.error;
                }
                emit finished(ended);
            });
}

ExportService::~ExportService()
{
    // The task service's own destructor then waits for whatever is still running.
    m_tasks->shutdown(2000);
}

bool ExportService::start(const QList<DocumentRecord>& records, const ExportOptions& options)
{
    m_error.clear();
    if (running()) {
        m_error = QStringLiteral("an export is already running");
        return false;
    }
    // The builder reports after every chunk it copies or packs and stops within a chunk once
    // cancelled.
    m_task = m_tasks->submitWithIdleTimeout(
        [records, options](const Morvane::TaskContext& context) {
            const ExportMonitor monitor{[&context] { return context.isCancellationRequested(); },
                                        [&context](int percent) {
                                            context.setProgress(percent);
                                        }};
            return QVariant::fromValue(buildExportBundle(records, options, monitor));
        },
        idleLimitMs);
    if (m_task == 0) {
        m_error = m_tasks->errorString();
        return false;
    }
    m_cancelled = false;
    m_progress = 0;
    m_clock.start();
    return true;
}

void ExportService::cancel()
{
    if (running() && !m_cancelled)
        m_cancelled = m_tasks->cancel(m_task);
}

} // namespace Tessavo::Ui
