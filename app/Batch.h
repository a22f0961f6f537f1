#pragma once

#include "core/DocumentRecord.h"
#include "core/Rule.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace Tessavo::Ui {
class AppController;
}

namespace Tessavo::App {

class HeldFolder;

// What "--batch" was asked to do.
struct BatchOptions {
    QString importPath;
    QString exportFolder; // absolute, so the printed paths are too
    // The same two paths as the command line's own bytes, so that a name that is not valid
    // UTF-8 names that very file or folder; the export folder absolute.
    QByteArray importPathBytes;
    QByteArray exportFolderBytes;
    std::optional<QList<Rule>> rules; // from "--rules"; otherwise the stored rules
    bool acceptClear = false;
    bool recognise = false; // "--ocr": recognise the text of scans before classifying them
    QString usageError;     // when set, the run cannot start and nothing else holds
};

// Reads the batch options and the "--rules" file. A missing "--import" or "--export", an empty
// value, or a rules file that cannot be read or holds no valid rule is a usage error. The paths'
// bytes come from rawArguments when given (rawArgumentsOf), else from encoding the arguments.
BatchOptions parseBatchOptions(const QStringList& arguments,
                               const QList<QByteArray>& rawArguments = {});

// How many files the import of path will inspect (for the progress count).
int countImportCandidates(const QByteArray& path);

// One line of the terminal progress bar, at most width characters.
QString progressBarLine(int done, int total, const QString& name, int width);

// The closing summary: documents by state, by category and by decision.
QStringList batchSummary(const QList<DocumentRecord>& records);

// The exit code of a finished run: 0 when every document found is in the bundle and the walk
// lost nothing of the package (FolderWalkResult::lostSomething), else 3.
int exitCodeForExport(int documentsFound, int exported, int warnings, bool walkLostSomething);

// Drives the controller through one batch run: import, optional acceptance, export; reports on
// standard error and ends the event loop with the run's exit code.
class BatchRun : public QObject {
public:
    BatchRun(Ui::AppController& controller, BatchOptions options, bool terminal);
    ~BatchRun() override;

    // Starts the import; call once the event loop runs.
    void start();
    // SIGINT or SIGTERM: a running export is cancelled (it removes what it wrote), then the run
    // ends with 128 + the signal's number.
    void stop(int signalNumber);

private:
    enum class Phase { Idle, Importing, Accepting, Exporting, Done };

    void onDocumentsInserted(int first, int last);
    void onBusyChanged();
    void exportDocuments();
    void report();
    void finish(int code);
    void endProgressLine();
    void printSkipped() const;
    void printSkippedCount() const;
    QString displayPath(const QByteArray& path) const;
    QString displayName(const DocumentRecord& record) const;

    Ui::AppController& m_controller;
    BatchOptions m_options;
    bool m_terminal = false;
    Phase m_phase = Phase::Idle;
    QString m_importRoot;                           // the imported folder; empty for a single file
    std::unique_ptr<HeldFolder> m_heldExportFolder; // when its name is not valid UTF-8
    int m_expected = 0;
    int m_done = 0;
    bool m_progressLineOpen = false;
    bool m_exportSucceeded = false;
    int m_stopSignal = 0; // the signal that stopped the run; 0 while none did
};

// "--batch": runs without a window and returns 0, 1, 2 or 3.
int runBatch(int argc, char** argv, const QStringList& arguments);

} // namespace Tessavo::App
