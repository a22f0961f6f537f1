#pragma once

#include "bundle/ExportBundle.h"
#include "core/DocumentRecord.h"

#include <QElapsedTimer>
#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace Tessavo::Flows {

class DocumentList;
class SessionFlow;

// How one export ended, as the export flow reports it.
struct ExportOutcome {
    enum class Kind { Written, Failed, Cancelled };
    Kind kind = Kind::Failed;
    ExportResult result; // the bundle, when written
    QString error;       // why it failed; empty otherwise
    qint64 elapsedMs = 0;
};

// What every export of the window shares: the index's fonts and the clock that names bundles.
struct ExportSetup {
    QString regularFontPath;
    QString boldFontPath;
    std::function<QDateTime()> clock; // the system clock when empty
};

// Builds export bundles in the background, one at a time, on the shared background runner. An
// export that stops reporting progress for five minutes is cut off; one that keeps moving never is.
//
// exportTo() exports the shared list: it says in the status what it does, and waits while the
// session still checks restored files (one of them may have changed), counting as exporting.
class ExportFlow : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool running READ running NOTIFY runningChanged)
    Q_PROPERTY(bool exporting READ exporting NOTIFY exportingChanged)
    Q_PROPERTY(int progress READ progress NOTIFY progressChanged)

public:
    // Only start() has something to export.
    explicit ExportFlow(QObject* parent = nullptr);
    // Exports the list; the session says when restored files are checked.
    ExportFlow(const DocumentList& list, const SessionFlow& session, ExportSetup setup,
               QObject* parent = nullptr);
    // Cancels a running export and waits up to two seconds for it.
    ~ExportFlow() override;

    // A bundle is being built.
    bool running() const { return m_running; }
    // A bundle is being built, or an export waits for the check of the restored files.
    bool exporting() const { return m_running || m_waiting.has_value(); }
    // Percentage of the running export done; 0 when none runs.
    int progress() const { return m_progress; }

    // Builds the bundle of every exportable document of the list in the background.
    Q_INVOKABLE void exportTo(const QUrl& directoryUrl);
    // Stops the running or waiting export; a running one removes its unfinished ZIP.
    Q_INVOKABLE void cancelExport();

    // Starts building the bundle of these records; the builder picks the exportable ones. False
    // when the export could not start; errorString() says why.
    [[nodiscard]] bool start(const QList<DocumentRecord>& records, const ExportOptions& options);
    QString errorString() const { return m_error; }
    // Asks the running export to stop; it removes what it wrote and ends Cancelled.
    void cancel();
    // How long an export may go without reporting progress; five minutes unless a test says.
    void setIdleLimit(int milliseconds);
    // What a submission profile asks of the exports exportTo() starts from now on: the copies'
    // names fitted to these limits (none: portable names below their folders, as always), and no
    // ZIP larger than zipVolumeBytes (0: one ZIP).
    void setSubmissionLimits(const NameLimits& fitNames, qint64 zipVolumeBytes);

signals:
    void runningChanged();
    void exportingChanged();
    void progressChanged();
    void finished(const Tessavo::Flows::ExportOutcome& outcome);
    // What happened, for the status line.
    void status(const QString& text);

private:
    void onFinished();
    void onRestoredFilesChecked();
    void announceExporting();
    void report(const ExportOutcome& outcome);

    struct Task; // the background runner and the watcher of the running export
    std::unique_ptr<Task> m_task;
    QTimer* m_idle = nullptr; // cuts off an export that stopped reporting progress
    bool m_running = false;
    int m_progress = 0;
    bool m_cancelled = false; // cancel() was asked for the running export
    bool m_timedOut = false;
    QElapsedTimer m_clock;
    QString m_error;

    const DocumentList* m_list = nullptr;
    const SessionFlow* m_session = nullptr;
    ExportSetup m_setup;
    NameLimits m_fitNames;
    qint64 m_zipVolumeBytes = 0;
    std::optional<QUrl> m_waiting; // the export asked for while restored files are checked
    bool m_announcedExporting = false;
};

} // namespace Tessavo::Flows
