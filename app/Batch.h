#pragma once

#include "app/UnattendedRun.h"
#include "core/DocumentRecord.h"
#include "core/Rule.h"
#include "core/SubmissionProfile.h"

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

struct CommandLine;

// What "--batch" was asked to do.
struct BatchOptions {
    // The two paths as the command line's own bytes, so that a name that is not valid UTF-8
    // names that very file or folder.
    QByteArray importPath;
    QByteArray exportFolder;
    std::optional<QList<Rule>> rules; // from "--rules"; otherwise the stored rules
    bool acceptClear = false;
    bool recognise = false;      // "--ocr": recognise the text of scans before classifying them
    QList<QByteArray> learnFrom; // "--learn-from": past bundles taught for this run only
    // "--profile": the package is checked against it and the names fitted to it
    std::optional<SubmissionProfile> profile;
};

struct [[nodiscard]] BatchOptionsRead {
    bool ok = false;
    QString error;        // a usage error: the run cannot start
    QStringList warnings; // what the run starts with all the same (keys of the profile ignored)
    BatchOptions options;
};

// The submission profile of "--profile FILE", read; an unreadable or unusable file is an error
// that names it. Shared by batch mode and verification.
SubmissionProfileRead profileOf(const QByteArray& file);

// The batch options of a command line in batch mode, with the rules of its "--rules" file; a
// rules file that cannot be read or holds no valid rule is a usage error.
BatchOptionsRead batchOptionsOf(const CommandLine& commandLine);

// How many files the import of path will inspect (for the progress count).
int countImportCandidates(const QByteArray& path);

// One line of the terminal progress bar, at most width characters.
QString progressBarLine(int done, int total, const QString& name, int width);

// The closing summary: documents by state, by category and by decision.
QStringList batchSummary(const QList<DocumentRecord>& records);

// How a batch run ended; each kind has its exit code (exitCodeOf).
struct BatchEnd {
    enum class Kind {
        Complete,   // 0: the bundle holds every PDF found
        Incomplete, // 3: bundle written, but not every PDF found is in it, or the walk lost some
        NotReady,   // 3: bundle written, but it breaks a rule of the submission profile
        Failed,     // 1: nothing exported, the export failed, or recognition is unavailable
        Usage,      // 2: a missing or unusable option
        Stopped,    // 128 + the signal's number: SIGINT or SIGTERM
    };
    Kind kind = Kind::Failed;
    int signalNumber = 0; // for Stopped
};

int exitCodeOf(const BatchEnd& end);

// Whether a written bundle is complete: every document found is in it, no original was left out
// and the walk lost nothing of the package (FolderWalkResult::lostSomething).
BatchEnd::Kind completeness(int documentsFound, int exported, int missingOriginals,
                            bool walkLostSomething);

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
    void onDocumentsInserted(int first, int last);
    void onExportStarting(int count);
    void onFinished(UnattendedRun::Outcome outcome);
    void report(bool written);
    bool reportReadiness() const; // false when the profile's rules are not all met
    void finish(const BatchEnd& end);
    void endProgressLine();
    void printSkipped() const;
    void printSkippedCount() const;
    void printSummary() const;
    QString displayPath(const QByteArray& path) const;
    QString displayName(const DocumentRecord& record) const;

    Ui::AppController& m_controller;
    BatchOptions m_options;
    UnattendedRun m_run;
    bool m_terminal = false;
    bool m_done = false;
    QString m_importRoot; // the imported folder; empty for a single file
    int m_expected = 0;
    int m_listed = 0;
    bool m_progressLineOpen = false;
    int m_stopSignal = 0; // the signal that stopped the run; 0 while none did
};

// "--batch": runs without a window and returns 0, 1, 2, 3, 130 or 143.
int runBatch(int argc, char** argv, const CommandLine& commandLine);

} // namespace Tessavo::App
