#include "flows/ExportFlow.h"

#include "tasks/BackgroundRunner.h"

#include <QFutureWatcher>
#include <QTimer>

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
    emit finished(ended);
}

} // namespace Tessavo::Flows
