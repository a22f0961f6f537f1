#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace Tessavo::Ui {
class AppController;
}

namespace Tessavo::Flows {
class BundleLearning;
struct BundleLesson;
} // namespace Tessavo::Flows

namespace Tessavo::App {

class HeldFolder;
struct CommandLine;

// One import and one export without a click, for the window ("--import", "--export") and for
// batch mode alike: the path is imported as if it had been dropped on the Import page, and once
// the controller is idle with documents in its list the bundle is exported, once.
class UnattendedRun : public QObject {
    Q_OBJECT

public:
    struct Plan {
        std::optional<QByteArray> importPath; // as the command line spelt it
        std::optional<QByteArray>
            exportFolder;         // likewise; made absolute against the current folder
        bool recognise = false;   // recognise scans during the import; the export waits for it
        bool acceptClear = false; // accept every clear suggestion before the export
        // The window: when the import finds nothing, wait for the user's first import instead of
        // ending with NothingFound.
        bool waitForDocuments = false;
        // Past bundles (folders or ZIPs) to learn from before the import; what they teach is
        // kept with the session only when keepLearned is set.
        QList<QByteArray> learnFrom;
        bool keepLearned = false;
    };

    enum class Outcome {
        Exported,          // the bundle was written (controller.lastExport())
        NothingFound,      // the import found no PDF to inspect
        NothingExportable, // every document is unreadable, encrypted or ignored
        FolderUnusable,    // the export folder cannot be created or held (errorString())
        ExportFailed,      // the export did not start or failed (the controller's status)
        Cancelled,         // stopped by cancel()
    };
    Q_ENUM(Outcome)

    UnattendedRun(Ui::AppController& controller, Plan plan, QObject* parent = nullptr);
    ~UnattendedRun() override;

    // Requests the import and arms the export; call once.
    void start();
    // A running export is cancelled (it removes what it wrote) and the run then ends Cancelled;
    // before the export the run ends at once, without finished().
    void cancel();
    bool exportRunning() const { return m_started && m_phase == Phase::Exporting; }
    bool done() const { return m_phase == Phase::Done; }

    // The export folder, absolute, as text and as the bytes that name it.
    QString exportFolder() const { return m_exportText; }
    QByteArray exportFolderBytes() const { return m_exportBytes; }
    // A path the export reported, spelt with the export folder's own bytes.
    QByteArray originalBytes(const QString& path) const;
    // Why the export folder is unusable, after FolderUnusable.
    QString errorString() const { return m_error; }

signals:
    // The import was requested; what its walk left out is known now (importSkipped()).
    void importRequested();
    // The export of count documents is about to start.
    void exportStarting(int count);
    void finished(Tessavo::App::UnattendedRun::Outcome outcome);

private:
    enum class Phase { Idle, Learning, Waiting, Exporting, Concluding, Done };

    // The import and the export, once the past bundles taught what they could.
    void begin();
    void onLearned(const QList<Tessavo::Flows::BundleLesson>& lessons);
    // Moves on when the controller is ready for the next step.
    void step();
    bool ready() const;
    void exportNow();
    void conclude();
    void finish(Outcome outcome);

    Ui::AppController& m_controller;
    Plan m_plan;
    Phase m_phase = Phase::Idle;
    QString m_exportText;
    QByteArray m_exportBytes;
    std::unique_ptr<HeldFolder> m_heldFolder; // when a QString cannot name the export folder
    std::unique_ptr<Flows::BundleLearning> m_learning;
    bool m_started = false; // exportTo was called
    bool m_written = false;
    bool m_cancelled = false;
    QString m_error;
};

// What the window's "--import", "--export" and "--ocr" ask for: the export waits for documents.
UnattendedRun::Plan windowPlan(const CommandLine& commandLine);

} // namespace Tessavo::App
