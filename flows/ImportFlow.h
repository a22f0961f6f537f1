#pragma once

#include "core/DocumentRecord.h"
#include "core/FolderWalk.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>

namespace Tessavo::Inspection {
class ImportSession;
}

namespace Tessavo::Flows {

class DocumentList;
class RuleBook;
class SessionFlow;

// How an import ended, for whoever runs one without the window.
struct ImportOutcome {
    int imported = 0;         // documents this import listed
    FolderWalkResult skipped; // what its folder walks left out
    qint64 elapsedMs = 0;
};

// Percentage of the running import done so far: 0 when idle, 100 with nothing left to inspect.
// partialFiles counts the part of the pending files already read (long documents move the
// percentage while they are read).
int importProgressPercent(bool importing, int importedCount, qsizetype pendingCount,
                          double partialFiles = 0);

// Files and folders in: the folders are walked, files already listed or queued are dropped,
// stored inspections that still hold are reused, and the rest is inspected by the import session
// in worker processes. Each record is classified with the rule book's rules as it arrives and
// placed in the document list, in the order queued.
class ImportFlow : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool running READ running NOTIFY runningChanged)
    Q_PROPERTY(int progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(int pendingFiles READ pendingFiles NOTIFY pendingFilesChanged)

public:
    ImportFlow(DocumentList& documents, const RuleBook& rules, SessionFlow& session,
               QObject* parent = nullptr);
    ~ImportFlow() override;

    bool running() const { return m_running; }
    // Percentage of the running import done; 0 when none runs.
    int progress() const;
    // Files an interrupted import (closed or killed) had not inspected yet, kept with the
    // session; 0 once they are queued again, imported or cleared.
    int pendingFiles() const { return int(m_interruptedPaths.size()); }
    // What the folder walks of the running or last import left out, and why.
    const FolderWalkResult& skipped() const { return m_skipped; }

    // Queues the PDFs among the given files and folders (folders recursively) and starts or
    // continues the import; records arrive in the background, in the order queued.
    Q_INVOKABLE void addUrls(const QList<QUrl>& urls);
    // The same for paths as the file system spells them (the command line's own bytes).
    void addLocalPaths(const QList<QByteArray>& paths);
    // The files an earlier run left uninspected, offered by continueImport().
    void setInterrupted(const QList<QByteArray>& rawPaths);
    // Queues those files again.
    Q_INVOKABLE void continueImport();
    // Drops whatever is queued or being inspected (nothing of it appears later) and the files
    // left by an earlier run; the list itself is not touched.
    void cancel();

signals:
    void runningChanged();
    void progressChanged();
    void pendingFilesChanged();
    // A text for the footer's status line.
    void status(const QString& text);
    // An inspected record took this row of the list.
    void placed(int row);
    // The files and folders of a selection, as given, before they are walked.
    void selectionAdded(const QList<QByteArray>& paths);
    // The typed end of every import, also of one with nothing to inspect.
    void finished(const Tessavo::Flows::ImportOutcome& outcome);

private:
    void onInspected(const DocumentRecord& record);
    void onFinished();
    void setRunning(bool running);
    void announceProgress();
    void logOutcome() const;
    QString skippedNote() const;      // " Skipped …." for the status line; empty when nothing was
    int place(DocumentRecord record); // the row it now has
    void keepPending(const QList<QByteArray>& rawPaths);
    void forgetPending();

    DocumentList& m_documents;
    const RuleBook& m_rules;
    SessionFlow& m_session;
    Inspection::ImportSession* m_import = nullptr;
    bool m_running = false;
    int m_announcedProgress = 0;
    int m_importedCount = 0;
    FolderWalkResult m_skipped; // what the running or last import's walks left out
    // Files of flagged records (changed or missing) the running import may put in their place.
    QSet<QByteArray> m_replaceable;
    QElapsedTimer m_clock;
    QList<QByteArray> m_pendingPaths; // queued and not inspected, in order, kept with the session
    QList<QByteArray> m_interruptedPaths; // those of them left by an earlier run
};

} // namespace Tessavo::Flows
