#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

namespace Tessavo::Inspection {
class RecognitionSession;
struct RecognitionResult;
} // namespace Tessavo::Inspection

namespace Tessavo::Flows {

class DocumentList;
class RuleBook;
class SessionFlow;

// How a text recognition run ended.
struct RecognitionOutcome {
    int recognised = 0; // documents that gained text
    int failed = 0;     // and those that did not
    QString missing;    // what to install, when the language data was missing
};

// Text recognition of scans ("Needs OCR" documents) in the background, on request or as an import
// lists them. The recognised text becomes the document's page texts and the document is
// classified again; its state stays "Needs OCR". The settings are kept in a settings file.
class RecognitionFlow : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool running READ running NOTIFY runningChanged)
    Q_PROPERTY(int progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(bool duringImport READ duringImport WRITE setDuringImport NOTIFY duringImportChanged)
    Q_PROPERTY(QString language READ language WRITE setLanguage NOTIFY languageChanged)
    Q_PROPERTY(QStringList languages READ languages CONSTANT)

public:
    // Reads its settings from settingsPath and saves their changes there; an empty path keeps
    // the defaults and saves nothing.
    RecognitionFlow(DocumentList& documents, const RuleBook& rules, SessionFlow& session,
                    const QString& settingsPath, QObject* parent = nullptr);
    ~RecognitionFlow() override;

    bool running() const;
    // Percentage of the running recognition done; 0 when none runs.
    int progress() const;
    // Scans are recognised as soon as an import lists them; saved.
    bool duringImport() const { return m_duringImport; }
    void setDuringImport(bool on);
    // The same for this flow's life only, nothing saved (command-line runs).
    void duringImportThisRun();
    // The language data recognition uses, for example "eng"; saved.
    QString language() const { return m_language; }
    void setLanguage(const QString& language);
    // The languages installed on this computer.
    QStringList languages() const;

    // Every scan not recognised yet.
    Q_INVOKABLE void recogniseScans();
    // One document, when it is a scan.
    Q_INVOKABLE void recogniseDocument(int row);
    // The rows an import just placed: those that are scans, when recognising during imports.
    void recogniseImported(int row);
    Q_INVOKABLE void cancel();

signals:
    void runningChanged();
    void progressChanged();
    void duringImportChanged();
    void languageChanged();
    // A text for the footer's status line.
    void status(const QString& text);
    // The typed end of every recognition run.
    void finished(const Tessavo::Flows::RecognitionOutcome& outcome);

private:
    void recogniseRows(const QList<int>& rows);
    void onRecognised(const Inspection::RecognitionResult& result);
    void onFinished();
    void announce();
    void saveSettings();

    DocumentList& m_documents;
    const RuleBook& m_rules;
    SessionFlow& m_session;
    QString m_settingsPath;
    Inspection::RecognitionSession* m_recognition = nullptr;
    bool m_duringImport = false;
    QString m_language;
    int m_recognisedCount = 0; // documents of the running recognition with text
    int m_failedCount = 0;     // and without
    QString m_missing;         // what to install, when the language data was missing
    bool m_announcedRunning = false;
    int m_announcedProgress = 0;
};

} // namespace Tessavo::Flows
