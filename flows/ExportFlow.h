#pragma once

#include "bundle/ExportBundle.h"
#include "core/DocumentRecord.h"

#include <QElapsedTimer>
#include <QObject>

#include <memory>

class QTimer;

namespace Tessavo::Flows {

// How one export ended, as the export flow reports it.
struct ExportOutcome {
    enum class Kind { Written, Failed, Cancelled };
    Kind kind = Kind::Failed;
    ExportResult result; // the bundle, when written
    QString error;       // why it failed; empty otherwise
    qint64 elapsedMs = 0;
};

// Builds export bundles in the background, one at a time, on the shared background runner. An
// export that stops reporting progress for five minutes is cut off; one that keeps moving never is.
class ExportFlow : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool running READ running NOTIFY runningChanged)
    Q_PROPERTY(int progress READ progress NOTIFY progressChanged)

public:
    explicit ExportFlow(QObject* parent = nullptr);
    // Cancels a running export and waits up to two seconds for it.
    ~ExportFlow() override;

    bool running() const { return m_running; }
    // Percentage of the running export done; 0 when none runs.
    int progress() const { return m_progress; }

    // Starts building the bundle of these records; the builder picks the exportable ones. False
    // when the export could not start; errorString() says why.
    [[nodiscard]] bool start(const QList<DocumentRecord>& records, const ExportOptions& options);
    QString errorString() const { return m_error; }
    // Asks the running export to stop; it removes what it wrote and ends Cancelled.
    void cancel();
    // How long an export may go without reporting progress; five minutes unless a test says.
    void setIdleLimit(int milliseconds);

signals:
    void runningChanged();
    void progressChanged();
    void finished(const Tessavo::Flows::ExportOutcome& outcome);

private:
    void onFinished();

    struct Task; // the background runner and the watcher of the running export
    std::unique_ptr<Task> m_task;
    QTimer* m_idle = nullptr; // cuts off an export that stopped reporting progress
    bool m_running = false;
    int m_progress = 0;
    bool m_cancelled = false; // cancel() was asked for the running export
    bool m_timedOut = false;
    QElapsedTimer m_clock;
    QString m_error;
};

} // namespace Tessavo::Flows
