#pragma once

#include "core/LearnedModel.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace Tessavo::Inspection {
class WorkerPool;
}

namespace Tessavo::Flows {

// What one past bundle taught: an example for every filed document (Accepted or Changed in its
// manifest) whose stored original was read, and what stood in the way of the others.
struct BundleLesson {
    QString path; // the bundle folder or ZIP as given
    QList<LearnedExample> examples;
    QStringList problems; // each names the bundle and the file or manifest line concerned
};

// The examples of these lessons, in order; what each taught and what stood in its way is logged.
QList<LearnedExample> examplesOf(const QList<BundleLesson>& lessons);

// Learns from past bundles, given as their folders or ZIPs: reads each manifest and finds the
// originals in the background (a ZIP's are extracted into a private temporary folder, removed
// at the end), then has the inspection workers read their text, as an import does. An original
// whose SHA-256 differs from its manifest row, or that has no text, is reported and left out.
//
// Use: connect finished, call start(paths); add the examples of each lesson to the
// LearnedModel (and keep them with SessionStore::saveLearned when they should outlive the run).
class BundleLearning : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool running READ running NOTIFY runningChanged)
    Q_PROPERTY(int progress READ progress NOTIFY progressChanged)

public:
    struct Options {
        Inspection::WorkerPool* pool = nullptr; // by default the pool of this process
        QString scratchFolder; // where ZIPs are extracted; by default the system's temporary one
    };

    explicit BundleLearning(QObject* parent = nullptr);
    explicit BundleLearning(Options options, QObject* parent = nullptr);
    ~BundleLearning() override; // stops what runs

    bool running() const { return m_running; }
    // Percentage done of the running lesson; 0 when none runs.
    int progress() const { return m_progress; }

    // Starts learning from the bundles, in order. False when it cannot start (errorString()).
    [[nodiscard]] bool start(const QStringList& bundlePaths);
    QString errorString() const { return m_error; }
    // Stops; finished is not emitted for this run.
    void cancel();

signals:
    void runningChanged();
    void progressChanged();
    // One lesson per bundle given, in the order given.
    void finished(const QList<Tessavo::Flows::BundleLesson>& lessons);

private:
    struct Run;
    void onRead();
    void onInspected(const DocumentRecord& record);
    void finishLater();
    void finish();
    void setProgress(int percent);

    Options m_options;
    std::unique_ptr<Run> m_run;
    bool m_running = false;
    quint64 m_generation = 0; // counts runs, so that the end of one never ends another
    int m_progress = 0;
    QString m_error;
};

} // namespace Tessavo::Flows
