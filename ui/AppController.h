#pragma once

#include "core/Rule.h"
#include "core/RulesFile.h"
#include "tasks/TaskService.h"
#include "ui/DocumentListModel.h"
#include "ui/RuleListModel.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <QVariantMap>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QThreadPool;

namespace Tessavo::Inspection {
class ImportSession;
class RecognitionSession;
struct RecognitionResult;
} // namespace Tessavo::Inspection

namespace Tessavo::Ui {

class SessionStore;

// Where a controller keeps its document list between runs.
struct StoredSession {
    QString path; // an SQLite file; defaultPath() beside rules.json for the application

    // The application's session file; empty when the platform names no data folder.
    static QString defaultPath();
};

// The one object through which the interface reaches the system, known to QML as the singleton
// App.
class AppController : public QObject {
    Q_OBJECT
    Q_PROPERTY(Tessavo::Ui::DocumentListModel* documents READ documents CONSTANT)
    Q_PROPERTY(Tessavo::Ui::RuleListModel* rules READ rules CONSTANT)
    Q_PROPERTY(bool importing READ importing NOTIFY busyChanged)
    Q_PROPERTY(int importProgress READ importProgress NOTIFY busyChanged)
    Q_PROPERTY(bool exporting READ exporting NOTIFY busyChanged)
    Q_PROPERTY(int exportProgress READ exportProgress NOTIFY exportProgressChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(QVariantMap summary READ summary NOTIFY summaryChanged)
    Q_PROPERTY(QVariantMap lastExport READ lastExport NOTIFY exportFinished)
    Q_PROPERTY(QStringList categories READ categories CONSTANT)
    Q_PROPERTY(QString appVersion READ appVersion CONSTANT)
    Q_PROPERTY(bool recognising READ recognising NOTIFY busyChanged)
    Q_PROPERTY(int recognitionProgress READ recognitionProgress NOTIFY busyChanged)
    Q_PROPERTY(bool recogniseDuringImport READ recogniseDuringImport WRITE setRecogniseDuringImport
                   NOTIFY recognitionSettingChanged)
    Q_PROPERTY(QString recognitionLanguage READ recognitionLanguage WRITE setRecognitionLanguage
                   NOTIFY recognitionSettingChanged)
    Q_PROPERTY(QStringList recognitionLanguages READ recognitionLanguages CONSTANT)

public:
    // Keeps nothing between runs: the list starts empty and is not stored.
    explicit AppController(QObject* parent = nullptr);
    // Restores the list kept in the session file and stores every change of it there.
    explicit AppController(const StoredSession& session, QObject* parent = nullptr);
    // Classifies with the given rules for this controller's life only: rules.json is neither read
    // nor written.
    explicit AppController(const QList<Rule>& sessionRules, QObject* parent = nullptr);
    ~AppController() override;

    DocumentListModel* documents() { return &m_documents; }
    RuleListModel* rules() { return &m_rules; }
    bool importing() const { return m_importing; }
    int importProgress() const;
    bool exporting() const { return m_exporting; }
    // Percentage of the running export done; 0 when none runs.
    int exportProgress() const { return m_exportProgress; }
    QString status() const { return m_status; }
    QVariantMap summary() const;
    QVariantMap lastExport() const { return m_lastExport; }
    QStringList categories() const;
    QString appVersion() const;

    // Queues the PDFs among the given files and folders (folders recursively) and starts or
    // continues the import; records arrive in the background, in the order queued.
    Q_INVOKABLE void addUrls(const QList<QUrl>& urls);
    Q_INVOKABLE void clearDocuments();

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
    Q_INVOKABLE void loadRules(const QUrl& fileUrl);

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

    // Replaces the footer's status line; emits statusChanged only for a different text.
    void setStatus(const QString& text);

signals:
    void busyChanged();
    void statusChanged();
    void summaryChanged();
    void exportFinished();
    void exportProgressChanged();
    void rulesChanged();
    void recognitionSettingChanged();

private:
    AppController(std::optional<QList<Rule>> sessionRules, const QString& sessionPath,
                  QObject* parent);
    void loadRulesAtStartup();
    static void logRefusedRules(const RulesReading& reading, const QString& fileName);
    [[nodiscard]] static bool copyInBlocks(const QString& from, const QString& to);
    // Stored session (SessionWorkflow.cpp)
    void restoreSession(const QString& path);
    void verifyRestoredFiles();
    void onFilesVerified(quint64 generation, const QList<QPair<int, QByteArray>>& changed);
    void storeRecords(const QList<int>& rows);
    void storeReviews(const QList<int>& rows);
    void reportStoreFailure();
    std::optional<DocumentRecord> reusableInspection(const QString& path, qint64& hashBudget);
    int placeImported(DocumentRecord record); // the row it now has

    void onInspected(const DocumentRecord& record);
    void onImportFinished();
    void logImportOutcome() const;
    void reclassifyAll();
    void persistRules();
    void setUpRecognition();
    void recogniseRows(const QList<int>& rows);
    void onRecognised(const Inspection::RecognitionResult& result);
    void onRecognitionFinished();
    void saveRecognitionSettings();
    bool keepUnusableRulesFile();
    void decide(int row, const std::function<void(DocumentRecord&)>& change);
    void onExportFinished(qulonglong id, Morvane::TaskService::Outcome outcome,
                          const QVariant& result, const QString& error);
    void onExportProgress(qulonglong id, int percent);

    DocumentListModel m_documents{this};
    RuleListModel m_rules{this};
    Morvane::TaskService* m_taskService = nullptr;
    QString m_rulesPath;
    bool m_rulesFileUnusable = false; // rules.json existed at start but gave no rules
    QString m_startupRulesStatus;     // why the saved rules could not be read, if they could not
    Inspection::ImportSession* m_import = nullptr;
    Inspection::RecognitionSession* m_recognition = nullptr;
    bool m_recogniseDuringImport = false;
    QString m_recognitionLanguage;
    int m_recognisedCount = 0;    // documents of the running recognition with text
    int m_recognitionFailed = 0;  // and without
    QString m_recognitionMissing; // what to install, when the language data was missing
    int m_importedCount = 0;
    QElapsedTimer m_importClock;
    QElapsedTimer m_exportClock;
    bool m_importing = false;
    bool m_exporting = false;
    quint64 m_exportTask = 0;
    int m_exportProgress = 0;
    bool m_exportCancelled = false; // the user asked the running export to stop
    QString m_status;
    QVariantMap m_lastExport;

    std::unique_ptr<SessionStore> m_store;   // null when nothing is kept between runs
    QHash<QString, qint64> m_queuedModified; // modification time of each queued file
    QThreadPool* m_verifyPool = nullptr;     // hashes restored files in the background
    std::shared_ptr<std::atomic<bool>> m_stopVerify;
    quint64 m_listGeneration = 0; // counts clears, so late verification results are dropped
};

} // namespace Tessavo::Ui
