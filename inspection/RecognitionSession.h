#pragma once

#include "core/DocumentRecord.h"
#include "inspection/PageRecognition.h"
#include "inspection/WorkerPool.h"

#include <QHash>
#include <QObject>
#include <QPointer>

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

// Recognises the text of queued scanned documents in inspection workers. The pages of a document
// are shared out one at a time, so every worker helps with a long scan; each document is handed
// out as soon as all its pages have an answer. Nothing here waits: everything moves on signals.
//
// The pool enforces the limits on opening a file and on starting a worker; recognising one page
// may take pageTimeoutMs. A worker that breaks a limit, crashes (for example at its memory cap) or
// sends something malformed is killed; its page fails and the other pages go on.
class RecognitionSession : public QObject, private WorkerClient {
    Q_OBJECT

public:
    struct Options {
        WorkerPool* pool = nullptr; // by default the pool of this process
        int workers = 0;            // at most this many requests at once; by default the pool's
        int pageTimeoutMs = 180000;
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

    // Process ids of the workers that serve this session: busy for it, or idle and used by it last.
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
    struct Job {
        Document* document = nullptr;
        int page = 0;
    };

    void jobLoaded(quint64 jobId, const LoadedMessage& loaded) override;
    void jobPage(quint64 jobId, const PageAnswer& page) override;
    void jobDone(quint64 jobId) override;
    void jobFailed(quint64 jobId, const JobFailure& failure) override;
    void workersAvailable() override;

    int workers() const;
    void schedule();
    bool dispatch(Document& document, int page);
    void answer(Document& document, int page);
    void failPage(Document& document, int page, const QString& why);
    void failRest(Document& document, const QString& why);
    void stopJobs(const Document* document);
    void postHandOut();
    void handOut();

    Options m_options;
    QPointer<WorkerPool> m_pool; // the shared pool goes with the application object
    std::deque<std::unique_ptr<Document>> m_documents; // queue order
    QHash<quint64, Job> m_jobs;                        // requests in flight, by job id
    quint64 m_generation = 0;                          // counts cancellations
    qint64 m_runPages = 0;     // pages queued since the session was last idle
    qint64 m_runPagesDone = 0; // and how many of them have an answer
    int m_reportedPercent = -1;
    bool m_handOutPosted = false;
};

} // namespace Tessavo::Inspection

Q_DECLARE_METATYPE(Tessavo::Inspection::RecognitionResult)
