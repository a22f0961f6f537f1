#include "inspection/RecognitionSession.h"

#include "inspection/FailureTexts.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <algorithm>

namespace Tessavo::Inspection {

struct RecognitionSession::Document {
    quint64 id = 0;
    QString path;
    QString language;
    int pages = 0;
    int nextPage = 0; // the first page not yet requested
    int answered = 0; // pages with a text or a failure
    std::vector<bool> haveAnswer;
    QList<PageText> texts;       // one per page; recognised marks those with text
    std::vector<QString> errors; // one per page
    int requests = 0;            // in flight

    bool complete() const { return answered == pages && requests == 0; }
};

RecognitionSession::RecognitionSession(QObject* parent)
    : RecognitionSession(Options{}, parent)
{}

RecognitionSession::RecognitionSession(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    qRegisterMetaType<RecognitionResult>();
    if (m_options.language.isEmpty())
        m_options.language = defaultRecognitionLanguage;
    m_pool = m_options.pool ? m_options.pool : WorkerPool::shared();
    m_pool->attach(this);
}

RecognitionSession::~RecognitionSession()
{
    if (m_pool)
        m_pool->detach(this);
}

void RecognitionSession::enqueue(const QString& path, int pages)
{
    if (m_documents.empty()) {
        m_runPages = 0;
        m_runPagesDone = 0;
        m_reportedPercent = -1;
    }
    auto document = std::make_unique<Document>();
    document->id = m_pool->newFileId();
    document->path = path;
    document->language = m_options.language;
    document->pages = std::max(0, pages);
    document->haveAnswer.assign(size_t(document->pages), false);
    document->errors.resize(size_t(document->pages));
    document->texts.resize(document->pages);
    for (int i = 0; i < document->pages; ++i)
        document->texts[i].pageIndex = i;
    m_runPages += document->pages;
    m_documents.push_back(std::move(document));
    if (m_documents.back()->pages == 0)
        postHandOut();
    schedule();
}

bool RecognitionSession::contains(const QString& path) const
{
    return std::any_of(m_documents.begin(), m_documents.end(),
                       [&path](const auto& document) { return document->path == path; });
}

void RecognitionSession::setLanguage(const QString& language)
{
    m_options.language = language.isEmpty() ? defaultRecognitionLanguage : language;
}

void RecognitionSession::cancel()
{
    stopJobs(nullptr);
    m_documents.clear();
    ++m_generation;
}

int RecognitionSession::progressPercent() const
{
    if (m_documents.empty() || m_runPages <= 0)
        return 0;
    return int(std::clamp<qint64>(m_runPagesDone * 100 / m_runPages, 0, 100));
}

QList<qint64> RecognitionSession::workerProcessIds() const
{
    return m_pool->processIds(this);
}

int RecognitionSession::workers() const
{
    return m_options.workers > 0 ? std::min(m_options.workers, m_pool->capacity())
                                 : m_pool->capacity();
}

void RecognitionSession::schedule()
{
    for (const auto& documentPointer : m_documents) {
        Document& document = *documentPointer;
        while (document.nextPage < document.pages) {
            if (m_jobs.size() >= workers() || !dispatch(document, document.nextPage))
                return;
            ++document.nextPage;
        }
    }
}

bool RecognitionSession::dispatch(Document& document, int page)
{
    const quint64 job = m_pool->submit(
        this,
        PageRequest{0, document.id, QFile::encodeName(document.path), page, 1, document.language},
        m_options.pageTimeoutMs);
    if (job == 0)
        return false;
    m_jobs.insert(job, Job{&document, page});
    ++document.requests;
    return true;
}

void RecognitionSession::jobLoaded(quint64 jobId, const LoadedMessage& loaded)
{
    const auto job = m_jobs.constFind(jobId);
    if (job == m_jobs.cend())
        return;
    if (!loaded.errorText.isEmpty())
        failRest(*job->document, loaded.errorText);
    else if (loaded.pages != job->document->pages)
        failRest(*job->document, FailureText::changedSinceImport());
}

void RecognitionSession::jobPage(quint64 jobId, const PageAnswer& page)
{
    const auto job = m_jobs.constFind(jobId);
    if (job == m_jobs.cend() || page.pageIndex != job->page)
        return;
    Document& document = *job->document;
    if (document.haveAnswer[size_t(job->page)])
        return;
    if (!page.errorText.isEmpty()) {
        failPage(document, job->page, page.errorText);
        return;
    }
    PageText& text = document.texts[job->page];
    text.text = page.text;
    text.charCount = int(page.text.size());
    text.recognised = true;
    document.haveAnswer[size_t(job->page)] = true;
    ++document.answered;
    ++m_runPagesDone;
    if (progressPercent() != m_reportedPercent) {
        m_reportedPercent = progressPercent();
        emit progressed();
    }
}

// The request is over: the worker is free for the next one.
void RecognitionSession::jobDone(quint64 jobId)
{
    const auto job = m_jobs.constFind(jobId);
    if (job == m_jobs.cend())
        return;
    const Job done = *job;
    m_jobs.erase(job);
    --done.document->requests;
    if (!done.document->haveAnswer[size_t(done.page)])
        failPage(*done.document, done.page, FailureText::recognitionStopped(done.page + 1));
    if (done.document->complete())
        postHandOut();
    schedule();
}

void RecognitionSession::jobFailed(quint64 jobId, const JobFailure& failure)
{
    const auto job = m_jobs.constFind(jobId);
    if (job == m_jobs.cend())
        return;
    const Job failed = *job;
    m_jobs.erase(job);
    Document& document = *failed.document;
    --document.requests;
    switch (failure.kind) {
    case JobFailure::Kind::NotStarted:
        failRest(document, FailureText::recognitionNotStarted());
        break;
    case JobFailure::Kind::OpenTimedOut:
        failRest(document, FailureText::openTimedOut());
        break;
    case JobFailure::Kind::LoopTimedOut:
        failRest(document, FailureText::pageTreeLoops());
        break;
    case JobFailure::Kind::PageTimedOut:
        failPage(document, failed.page, FailureText::recognitionTimedOut(failed.page + 1));
        break;
    case JobFailure::Kind::Stopped:
        if (failure.opening)
            failRest(document, FailureText::engineStopped());
        else
            failPage(document, failed.page, FailureText::recognitionStopped(failed.page + 1));
        break;
    }
    if (document.complete())
        postHandOut();
    schedule();
}

void RecognitionSession::workersAvailable()
{
    schedule();
}

void RecognitionSession::failPage(Document& document, int page, const QString& why)
{
    if (page < 0 || page >= document.pages || document.haveAnswer[size_t(page)])
        return;
    qWarning().noquote() << QStringLiteral("Text recognition of %1 failed: %2")
                                .arg(QFileInfo(document.path).fileName(), why);
    document.haveAnswer[size_t(page)] = true;
    document.errors[size_t(page)] = why;
    ++document.answered;
    ++m_runPagesDone;
    if (document.complete())
        postHandOut();
}

// Every page without an answer fails for the same reason; requests for them are stopped.
void RecognitionSession::failRest(Document& document, const QString& why)
{
    stopJobs(&document);
    document.nextPage = document.pages;
    for (int page = 0; page < document.pages; ++page) {
        if (!document.haveAnswer[size_t(page)]) {
            document.haveAnswer[size_t(page)] = true;
            document.errors[size_t(page)] = why;
            ++document.answered;
            ++m_runPagesDone;
        }
    }
    qWarning().noquote() << QStringLiteral("Text recognition of %1 failed: %2")
                                .arg(QFileInfo(document.path).fileName(), why);
    postHandOut();
}

// Stops the requests in flight for the document, or for every document.
void RecognitionSession::stopJobs(const Document* document)
{
    for (auto job = m_jobs.begin(); job != m_jobs.end();) {
        if (document && job->document != document) {
            ++job;
            continue;
        }
        --job->document->requests;
        m_pool->cancel(job.key());
        job = m_jobs.erase(job);
    }
}

void RecognitionSession::postHandOut()
{
    if (m_handOutPosted)
        return;
    m_handOutPosted = true;
    QMetaObject::invokeMethod(this, &RecognitionSession::handOut, Qt::QueuedConnection);
}

void RecognitionSession::handOut()
{
    m_handOutPosted = false;
    const quint64 generation = m_generation;
    bool handedOut = false;
    for (auto it = m_documents.begin(); it != m_documents.end();) {
        if (!(*it)->complete()) {
            ++it;
            continue;
        }
        const std::unique_ptr<Document> document = std::move(*it);
        it = m_documents.erase(it);
        RecognitionResult result;
        result.path = document->path;
        result.pages = document->pages;
        for (int page = 0; page < document->pages; ++page) {
            if (document->texts[page].recognised)
                result.pageTexts.append(document->texts[page]);
            else if (result.errorText.isEmpty())
                result.errorText = document->errors[size_t(page)];
        }
        handedOut = true;
        const QPointer<RecognitionSession> alive(this);
        emit recognised(result);
        if (!alive || generation != m_generation)
            return;
        it = m_documents.begin(); // a receiver may have queued more
    }
    emit progressed();
    schedule();
    if (handedOut && m_documents.empty())
        emit finished();
}

} // namespace Tessavo::Inspection
