#pragma once

#include "core/Rule.h"
#include "flows/DocumentList.h"
#include "flows/ExportFlow.h"
#include "flows/ImportFlow.h"
#include "flows/PreviewFlow.h"
#include "flows/ReadinessFlow.h"
#include "flows/RecognitionFlow.h"
#include "flows/ReviewFlow.h"
#include "flows/RuleBook.h"
#include "flows/SessionFlow.h"
#include "ui/DocumentListModel.h"
#include "ui/LastExport.h"
#include "ui/RuleListModel.h"
#include "ui/Summary.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

namespace Tessavo::Inspection {
class WorkerPool;
}

namespace Tessavo::Ui {

// What a controller keeps between runs, and where. Every path is given to it, so a test names its
// own files; an empty path keeps nothing of that kind.
struct ControllerSetup {
    QString rulesPath;      // rules.json; without it the built-in rules, and changes are not saved
    QString settingsPath;   // settings.json, the text recognition settings
    QString sessionPath;    // session.sqlite, the document list and the decisions
    QString profilesFolder; // profiles/, the submission profiles the user added
    // Classify with these rules for this run only: rules.json is neither read nor written.
    std::optional<QList<Rule>> fixedRules;
    // The clock export bundles are named and dated by; the system clock when empty.
    std::function<QDateTime()> clock;
    // Opens a file or folder for the user; the desktop's default application when empty.
    std::function<bool(const QUrl&)> openUrl;
    // The workers that draw the preview's pages; the application's shared pool when null.
    Inspection::WorkerPool* previewPool = nullptr;

    // rules.json, settings.json and session.sqlite in this folder; none for an empty folder.
    static ControllerSetup inFolder(const QString& folder);
    // The same in the application's data folder, when the platform names one.
    static ControllerSetup standard();
};

// The one object through which the interface reaches the system, known to QML as the singleton
// App. It creates the flows, which share one document list, wires them together and shows each
// of them; its own are the list models, the summary, the status line and the last export.
class AppController : public QObject {
    Q_OBJECT
    Q_PROPERTY(Tessavo::Ui::DocumentListModel* documents READ documents CONSTANT)
    Q_PROPERTY(Tessavo::Ui::RuleListModel* rules READ rules CONSTANT)
    Q_PROPERTY(Tessavo::Flows::ImportFlow* importer READ importer CONSTANT)
    Q_PROPERTY(Tessavo::Flows::ReviewFlow* review READ review CONSTANT)
    Q_PROPERTY(Tessavo::Flows::RecognitionFlow* recognition READ recognition CONSTANT)
    Q_PROPERTY(Tessavo::Flows::SessionFlow* session READ session CONSTANT)
    Q_PROPERTY(Tessavo::Flows::ExportFlow* exporter READ exporter CONSTANT)
    Q_PROPERTY(Tessavo::Flows::PreviewFlow* preview READ preview CONSTANT)
    Q_PROPERTY(Tessavo::Flows::ReadinessFlow* readiness READ readiness CONSTANT)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool statusShowsImport READ statusShowsImport NOTIFY statusShowsImportChanged)
    Q_PROPERTY(Tessavo::Ui::DocumentSummary summary READ summary NOTIFY summaryChanged)
    Q_PROPERTY(Tessavo::Ui::LastExport lastExport READ lastExport NOTIFY exportFinished)
    Q_PROPERTY(QStringList categories READ categories CONSTANT)
    Q_PROPERTY(QString appVersion READ appVersion CONSTANT)

public:
    // Keeps nothing between runs: the built-in rules, default settings, an empty list.
    explicit AppController(QObject* parent = nullptr);
    // Loads what the setup's files hold (a stored list is restored) and saves every change there.
    explicit AppController(const ControllerSetup& setup, QObject* parent = nullptr);
    ~AppController() override;

    DocumentListModel* documents() { return &m_documentModel; }
    // The list the flows share, for C++ callers that put records in it directly.
    Flows::DocumentList* documentList() { return &m_documentList; }
    // The rules the flows classify with.
    Flows::RuleBook* ruleBook() { return m_ruleBook; }
    RuleListModel* rules() { return m_ruleModel; }
    Flows::ImportFlow* importer() { return m_importer; }
    Flows::ReviewFlow* review() { return m_review; }
    Flows::RecognitionFlow* recognition() { return m_recognition; }
    Flows::SessionFlow* session() { return m_session; }
    // The flow that builds the bundles. Its finished signal is the typed end of every export.
    Flows::ExportFlow* exporter() { return m_export; }
    // The page preview beside the review list.
    Flows::PreviewFlow* preview() { return m_preview; }
    // The check of the package against a portal's upload rules; the export keeps to its limits.
    Flows::ReadinessFlow* readiness() { return m_readiness; }

    QString status() const { return m_status; }
    // True while an import runs and nothing was said since it started: the status line then
    // shows the import's progress instead of that older message.
    bool statusShowsImport() const;
    DocumentSummary summary() const;
    // The last bundle written; not ok before the first.
    LastExport lastExport() const { return m_lastExport; }
    QStringList categories() const;
    QString appVersion() const;

    // Empties the list: the running import and recognition stop, the stored list is cleared.
    Q_INVOKABLE void clearDocuments();
    // Opens a file or folder with the desktop's default application.
    Q_INVOKABLE void openPath(const QString& path);
    // Ignores every document with the same content as an earlier one: the first of each group
    // stays.
    Q_INVOKABLE void ignoreDuplicates();

    static QString fontPath(const QString& fileName);

    // Replaces the footer's status line; emits statusChanged only for a different text.
    void setStatus(const QString& text);

signals:
    void statusChanged();
    void statusShowsImportChanged();
    void summaryChanged();
    // The last export wrote its bundle (lastExport).
    void exportFinished();

private:
    void onImportRunningChanged();
    void announceStatusShowsImport();
    // Emits summaryChanged when the counters differ from those last announced.
    void announceSummary();
    void onExportFinished(const Flows::ExportOutcome& outcome);

    Flows::DocumentList m_documentList{this};
    DocumentListModel m_documentModel{&m_documentList, this};
    Flows::RuleBook* m_ruleBook = nullptr;
    RuleListModel* m_ruleModel = nullptr;
    Flows::SessionFlow* m_session = nullptr;
    Flows::ImportFlow* m_importer = nullptr;
    Flows::ReviewFlow* m_review = nullptr;
    Flows::RecognitionFlow* m_recognition = nullptr;
    Flows::ExportFlow* m_export = nullptr;
    Flows::PreviewFlow* m_preview = nullptr;
    Flows::ReadinessFlow* m_readiness = nullptr;
    LastExport m_lastExport;
    std::function<bool(const QUrl&)> m_openUrl;
    QString m_status;
    QString m_statusAtImportStart;
    bool m_announcedShowsImport = false;
    SummaryTally m_tally; // the counters of the list
    DocumentSummary m_announcedSummary;
};

} // namespace Tessavo::Ui
