#pragma once

#include "bundle/ExportBundle.h"
#include "core/FolderWalk.h"
#include "core/Rule.h"
#include "flows/ExportFlow.h"
#include "ui/DocumentListModel.h"
#include "ui/LastExport.h"
#include "ui/RuleListModel.h"
#include "ui/Summary.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace Tessavo::Tasks {
class BackgroundRunner;
}

namespace Tessavo::Inspection {
class ImportSession;
class RecognitionSession;
struct RecognitionResult;
} // namespace Tessavo::Inspection

namespace Tessavo::Store {
class SessionStore;
} // namespace Tessavo::Store

namespace Tessavo::Ui {

class RuleBook;

// What a controller keeps between runs, and where. Every path is given to it, so a test names its
// own files; an empty path keeps nothing of that kind.
struct ControllerSetup {
    QString rulesPath;    // rules.json; without it the built-in rules, and changes are not saved
    QString settingsPath; // settings.json, the text recognition settings
    QString sessionPath;  // session.sqlite, the document list and the decisions
    // Classify with these rules for this run only: rules.json is neither read nor written.
    std::optional<QList<Rule>> fixedRules;
    // The clock export bundles are named and dated by; the system clock when empty.
    std::function<QDateTime()> clock;
    // Opens a file or folder for the user; the desktop's default application when empty.
    std::function<bool(const QUrl&)> openUrl;

    // rules.json, settings.json and session.sqlite in this folder; none for an empty folder.
    static ControllerSetup inFolder(const QString& folder);
    // The same in the application's data folder, when the platform names one.
    static ControllerSetup standard();
};

// How an import ended, for whoever runs one without the window.
struct ImportOutcome {
    int imported = 0;         // documents this import listed
    FolderWalkResult skipped; // what its folder walks left out
    qint64 elapsedMs = 0;
};

// How a text recognition run ended.
struct RecognitionOutcome {
    int recognised = 0; // documents that gained text
    int failed = 0;     // and those that did not
    QString missing;    // what to install, when the language data was missing
};

// The one object through which the interface reaches the system, known to QML as the singleton
// App.
class AppController : public QObject {
    Q_OBJECT
    Q_PROPERTY(Tessavo::Ui::DocumentListModel* documents READ documents CONSTANT)
    Q_PROPERTY(Tessavo::Ui::RuleListModel* rules READ rules CONSTANT)
    Q_PROPERTY(Tessavo::Flows::ExportFlow* exporter READ exporter CONSTANT)
    Q_PROPERTY(bool importing READ importing NOTIFY importingChanged)
    Q_PROPERTY(int importProgress READ importProgress NOTIFY importProgressChanged)
    Q_PROPERTY(bool exporting READ exporting NOTIFY exportingChanged)
    Q_PROPERTY(int exportProgress READ exportProgress NOTIFY exportProgressChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool statusShowsImport READ statusShowsImport NOTIFY statusShowsImportChanged)
    Q_PROPERTY(Tessavo::Ui::DocumentSummary summary READ summary NOTIFY summaryChanged)
    Q_PROPERTY(Tessavo::Ui::LastExport lastExport READ lastExport NOTIFY exportFinished)
    Q_PROPERTY(QStringList categories READ categories CONSTANT)
    Q_PROPERTY(QString appVersion READ appVersion CONSTANT)
    Q_PROPERTY(bool recognising READ recognising NOTIFY recognisingChanged)
    Q_PROPERTY(int recognitionProgress READ recognitionProgress NOTIFY recognitionProgressChanged)
    Q_PROPERTY(bool recogniseDuringImport READ recogniseDuringImport WRITE setRecogniseDuringImport
                   NOTIFY recogniseDuringImportChanged)
    Q_PROPERTY(QString recognitionLanguage READ recognitionLanguage WRITE setRecognitionLanguage
                   NOTIFY recognitionLanguageChanged)
    Q_PROPERTY(QStringList recognitionLanguages READ recognitionLanguages CONSTANT)
    Q_PROPERTY(int pendingFiles READ pendingFiles NOTIFY pendingFilesChanged)

public:
    // Keeps nothing between runs: the built-in rules, default settings, an empty list.
    explicit AppController(QObject* parent = nullptr);
    // Loads what the setup's files hold (a stored list is restored) and saves every change there.
    explicit AppController(const ControllerSetup& setup, QObject* parent = nullptr);
    ~AppController() override;

    DocumentListModel* documents() { return &m_documents; }
    RuleListModel* rules();
    bool importing() const { return m_importing; }
    int importProgress() const;
    bool exporting() const;
    // Percentage of the running export done; 0 when none runs.
    int exportProgress() const;
    QString status() const { return m_status; }
    // True while an import runs and nothing was said since it started: the status line then
    // shows the import's progress instead of that older message.
    bool statusShowsImport() const { return m_importing && m_status == m_statusAtImportStart; }
    DocumentSummary summary() const;
    // The last bundle written; not ok before the first.
    LastExport lastExport() const { return m_lastExport; }
    QStringList categories() const;
    QString appVersion() const;

    // Queues the PDFs among the given files and folders (folders recursively) and starts or
    // continues the import; records arrive in the background, in the order queued.
    Q_INVOKABLE void addUrls(const QList<QUrl>& urls);
    // The same for paths as the file system spells them (the command line's own bytes).
    void addLocalPaths(const QList<QByteArray>& paths);
    // What the folder walks of the running or last import left out, and why.
    const FolderWalkResult& importSkipped() const { return m_importSkipped; }
    Q_INVOKABLE void clearDocuments();
    // Files an interrupted import (closed or killed) had not inspected yet, kept with the
    // session; 0 once they are queued again, imported or cleared.
    int pendingFiles() const { return int(m_interruptedPaths.size()); }
    // Queues those files again.
    Q_INVOKABLE void continueImport();

    // Review decisions; a row outside the list is ignored.
    Q_INVOKABLE void acceptDocument(int row);
    Q_INVOKABLE void changeDocumentCategory(int row, const QString& category);
    Q_INVOKABLE void ignoreDocument(int row);
    Q_INVOKABLE void resetDecision(int row);
    Q_INVOKABLE void acceptAllSuggested();

    // Rule commands; every change re-classifies all documents and is saved to rules.json.
    Q_INVOKABLE void addRule(const QString& name, const QString& category,
                             const QString& fileContains, const QString& textContains, int minPages,
                             int maxPages, int priority);
    Q_INVOKABLE void removeRule(int row);
    Q_INVOKABLE void setRuleEnabled(int row, bool enabled);
    Q_INVOKABLE void saveRules(const QUrl& fileUrl);
    // Replaces the rules by those of the file.
    Q_INVOKABLE void loadRules(const QUrl& fileUrl);
    // Adds the rules of the file after the current ones; rules already in the list are skipped.
    Q_INVOKABLE void addRulesFrom(const QUrl& fileUrl);

    // Builds the export bundle of every exportable document in the background.
    Q_INVOKABLE void exportTo(const QUrl& directoryUrl);
    // Stops the running export; it removes its unfinished ZIP and reports "Export cancelled.".
    Q_INVOKABLE void cancelExport();
    // Opens a file or folder with the desktop's default application.
    Q_INVOKABLE void openPath(const QString& path);

    // Text recognition of scans ("Needs OCR" documents), in the background; results arrive per
    // document and the documents keep their state.
    bool recognising() const;
    int recognitionProgress() const;
    bool recogniseDuringImport() const { return m_recogniseDuringImport; }
    // Saved beside the rules: scans are recognised as soon as an import lists them.
    void setRecogniseDuringImport(bool on);
    // The language data recognition uses, for example "eng"; saved beside the rules too.
    QString recognitionLanguage() const { return m_recognitionLanguage; }
    void setRecognitionLanguage(const QString& language);
    // The languages installed on this computer.
    QStringList recognitionLanguages() const;
    // The same for this controller's life only, nothing saved (command-line runs).
    void recogniseDuringImportThisRun();
    Q_INVOKABLE void recogniseScans();
    Q_INVOKABLE void recogniseDocument(int row);
    Q_INVOKABLE void cancelRecognition();

    static QString fontPath(const QString& fileName);

    // The flow that builds the bundles; the controller reports what it says. Its finished signal
    // is the typed end of every export.
    Flows::ExportFlow* exporter() { return m_export; }

    // Replaces the footer's status line; emits statusChanged only for a different text.
    void setStatus(const QString& text);

signals:
    // Background work started, moved or ended: any of importing, importProgress, exporting,
    // recognising and recognitionProgress may have changed (each also has its own signal).
    void busyChanged();
    void importingChanged();
    void importProgressChanged();
    void exportingChanged();
    void recognisingChanged();
    void recognitionProgressChanged();
    void statusShowsImportChanged();
    // Typed ends of the background work, for runs without the window: an import (also one with
    // nothing to inspect), a recognition run, and the moment neither runs any more (recognition
    // started by an import included). The export's end is ExportFlow::finished.
    void importFinished(const Tessavo::Ui::ImportOutcome& outcome);
    void recognitionFinished(const Tessavo::Ui::RecognitionOutcome& outcome);
    void settled();
    void statusChanged();
    void summaryChanged();
    void exportFinished();
    void exportProgressChanged();
    void recogniseDuringImportChanged();
    void recognitionLanguageChanged();
    void pendingFilesChanged();

private:
    // Emits the signal of each busy property that changed since the last call, then busyChanged.
    void announceBusy();

    // Stored session (SessionWorkflow.cpp)
    void restoreSession(const QString& path);
    void verifyRestoredFiles();
    void onFilesVerified(quint64 generation, const QList<QPair<int, QByteArray>>& changed);
    void storeRecords(const QList<int>& rows);
    void storeReviews(const QList<int>& rows);
    void reportStoreFailure();
    void writeUnsaved();
    void clearStoredList();
    void keepPending(const QList<QByteArray>& rawPaths);
    void forgetPending();
    std::optional<DocumentRecord> reusableInspection(const FileIdentity& file, qint64& hashBudget);
    int placeImported(DocumentRecord record); // the row it now has

    void onInspected(const DocumentRecord& record);
    void onImportFinished();
    void logImportOutcome() const;
    QString skippedNote() const; // " Skipped …." for the status line; empty when nothing was
    void reclassifyAll();
    void setUpRecognition();
    void recogniseRows(const QList<int>& rows);
    void onRecognised(const Inspection::RecognitionResult& result);
    void onRecognitionFinished();
    void saveRecognitionSettings();
    void decide(int row, const std::function<bool(DocumentRecord&)>& change);
    void onExportFinished(const Flows::ExportOutcome& outcome);
    // Starts the export that waited for the check of the restored files (ExportWorkflow.cpp).
    void onRestoredFilesChecked();

    DocumentListModel m_documents{this};
    RuleBook* m_ruleBook = nullptr;
    Flows::ExportFlow* m_export = nullptr;
    LastExport m_lastExport;
    QString m_settingsPath;
    std::function<QDateTime()> m_clock;
    std::function<bool(const QUrl&)> m_openUrl;
    Inspection::ImportSession* m_import = nullptr;
    Inspection::RecognitionSession* m_recognition = nullptr;
    bool m_recogniseDuringImport = false;
    QString m_recognitionLanguage;
    int m_recognisedCount = 0;    // documents of the running recognition with text
    int m_recognitionFailed = 0;  // and without
    QString m_recognitionMissing; // what to install, when the language data was missing
    int m_importedCount = 0;
    FolderWalkResult m_importSkipped; // what the running or last import's walks left out
    QElapsedTimer m_importClock;
    bool m_importing = false;
    QString m_status;
    QString m_statusAtImportStart;
    // The busy properties as last announced.
    struct BusyState {
        bool importing = false;
        int importProgress = 0;
        bool exporting = false;
        bool recognising = false;
        int recognitionProgress = 0;
        bool statusShowsImport = false;
    } m_announced;

    std::unique_ptr<Store::SessionStore> m_store;        // null when nothing is kept between runs
    QHash<QByteArray, qint64> m_queuedModified;          // modification time (ns) of each queued file
    std::unique_ptr<Tasks::BackgroundRunner> m_verifier; // hashes restored files in the background
    std::shared_ptr<std::atomic<bool>> m_stopVerify;
    quint64 m_listGeneration = 0; // counts clears, so late verification results are dropped
    // Rows whose last write failed (a full disk): written again with the next change or by the
    // retry timer, until the store takes them.
    QSet<int> m_unsavedRecords;
    QSet<int> m_unsavedReviews;
    QTimer* m_storeRetry = nullptr;
    bool m_clearUnsaved = false; // the list was cleared but the store still holds it
    bool m_storeFailing = false;
    bool m_storeRetrying = false;     // a retry by the timer: a failure is not reported again
    QList<QByteArray> m_pendingPaths; // queued and not inspected, in order, kept with the session
    QList<QByteArray> m_interruptedPaths; // those of them left by an earlier run

    // Restored files are being hashed; an export asked for meanwhile waits for the end.
    bool m_checkingRestored = false;
    std::optional<QUrl> m_exportAfterCheck;
};

} // namespace Tessavo::Ui
