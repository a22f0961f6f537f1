#pragma once

#include "core/DocumentRecord.h"
#include "inspection/PageRecognition.h"
#include "inspection/PdfInspection.h"
#include "inspection/ProcessCpuTime.h"
#include "inspection/WorkerProcess.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>
#include <memory>

namespace Tessavo::Inspection {

// What recognising one document gave.
struct RecognitionResult {
    QString path;
    QList<PageText> pageTexts; // the pages recognised, in page order, each marked recognised
    QString errorText;         // why a page, or the whole document, could not be recognised
    int pages = 0;             // how many pages were to be recognised
};

// Recognises the text of queued scanned documents in worker processes. The pages of a document
// are shared out one at a time, so every worker helps with a long scan; each document is handed
// out as soon as all its pages have an answer. Nothing here waits: everything moves on signals.
//
// Limits: opening a file may take openTimeoutMs of processor time (loopOpenTimeoutMs for a page
// tree that contains itself; openWallTimeoutMs of real time at most); recognising one page may
// take pageTimeoutMs. A
// worker that breaks a limit, crashes (for example at its memory cap) or sends something
// malformed is killed; its page fails and the other pages go on.
class RecognitionSession : public QObject {
    Q_OBJECT

public:
    struct Options {
        QString program; // started with the worker option; by default this executable
        int workers = 0; // at most this many at once; by default one per core
        int openTimeoutMs = pdfOpenTimeoutMs; // processor time
        int loopOpenTimeoutMs = 3000;         // processor time, for a page tree that loops
        int openWallTimeoutMs = 120000;       // real time, whatever the processor time
        CpuClock cpuClock = processCpuTimeMs;
        int pageTimeoutMs = 180000;
        int startTimeoutMs = 30000;
        QString language = defaultRecognitionLanguage;
    };

    explicit RecognitionSession(QObject* parent = nullptr);
    explicit RecognitionSession(Options options, QObject* parent = nullptr);
    ~RecognitionSession() override; // stops every worker at once

    // Queues a document of the given number of pages behind those already queued.
    void enqueue(const QString& path, int pages);
    bool contains(const QString& path) const;

    // The language of documents queued from now on; an empty one means the default.
    void setLanguage(const QString& language);

    // Forgets everything queued and stops what is in flight: nothing of it is handed out later.
    void cancel();

    bool active() const { return !m_documents.empty(); }
    int remaining() const { return int(m_documents.size()); }
    // Percentage of the pages queued since the session was last idle that have an answer; 0 while
    // idle.
    int progressPercent() const;

    // Process ids of the running workers.
    QList<qint64> workerProcessIds() const;

signals:
    // One per queued document, when every page has an answer.
    void recognised(const Tessavo::Inspection::RecognitionResult& result);
    // progressPercent() moved.
    void progressed();
    // Nothing is queued or in flight any more. Not emitted after cancel().
    void finished();

private:
    struct Document;
    struct Slot;

    void schedule();
    Slot* slotFor(const Document& document);
    void dispatch(Slot& slot, Document& document, int page);
    void onFrame(Slot& slot, const Frame& frame);
    void onWorkerFailed(Slot& slot, WorkerProcess::Failure failure);
    void checkDeadlines();
    void failPage(Document& document, int page, const QString& why);
    void failRest(Document& document, const QString& why);
    void release(Slot& slot);
    void retire(Slot& slot);
    void postHandOut();
    void handOut();

    Options m_options;
    std::deque<std::unique_ptr<Document>> m_documents; // queue order
    std::vector<std::unique_ptr<Slot>> m_slots;
    QTimer m_deadlineTimer;
    quint64 m_nextDocumentId = 1;
    quint64 m_nextJobId = 1;
    quint64 m_generation = 0;  // counts cancellations
    qint64 m_runPages = 0;     // pages queued since the session was last idle
    qint64 m_runPagesDone = 0; // and how many of them have an answer
    int m_reportedPercent = -1;
    bool m_handOutPosted = false;
};

} // namespace Tessavo::Inspection

Q_DECLARE_METATYPE(Tessavo::Inspection::RecognitionResult)
