#include "inspection/RecognitionSession.h"

#include "inspection/WorkerProtocol.h"
#include "inspection/WorkerSlots.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QThread>

#include <algorithm>

namespace Tessavo::Inspection {

namespace {

constexpr int deadlineCheckMs = 100;

const QString notStarted = QStringLiteral("text recognition could not be started");

} // namespace

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

struct RecognitionSession::Slot {
    enum class Stage { Idle, AwaitingAnswer, Opening, Working };

    WorkerProcess* process = nullptr; // null once retired
    Stage stage = Stage::Idle;
    quint64 jobId = 0;
    Document* document = nullptr;
    quint64 openDocumentId = 0;
    int page = 0;
    bool loaded = false;
    bool answered = false; // this request's page has its answer
    bool answeredOnce = false;
    bool loopFound = false; // the file being opened has a page tree that contains itself
    qint64 openCpuMs = -1;  // the worker's processor time when the opening (or loop) began
    QElapsedTimer since;

    bool idle() const { return process && stage == Stage::Idle; }
};

RecognitionSession::RecognitionSession(QObject* parent)
    : RecognitionSession(Options{}, parent)
{}

RecognitionSession::RecognitionSession(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    qRegisterMetaType<RecognitionResult>();
    if (m_options.program.isEmpty())
        m_options.program = QCoreApplication::applicationFilePath();
    if (m_options.workers <= 0)
        m_options.workers = std::max(1, QThread::idealThreadCount());
    if (m_options.language.isEmpty())
        m_options.language = defaultRecognitionLanguage;
    m_deadlineTimer.setInterval(deadlineCheckMs);
    connect(&m_deadlineTimer, &QTimer::timeout, this, &RecognitionSession::checkDeadlines);
}

RecognitionSession::~RecognitionSession()
{
    for (const auto& slot : m_slots) {
        if (slot->process)
            slot->process->kill();
    }
}

void RecognitionSession::enqueue(const QString& path, int pages)
{
    if (m_documents.empty()) {
        m_runPages = 0;
        m_runPagesDone = 0;
        m_reportedPercent = -1;
    }
    auto document = std::make_unique<Document>();
    document->id = m_nextDocumentId++;
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
    for (const auto& slot : m_slots) {
        if (slot->process && slot->stage != Slot::Stage::Idle)
            retire(*slot);
    }
    m_documents.clear();
    m_deadlineTimer.stop();
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
    return WorkerSlots::processIds(m_slots);
}

void RecognitionSession::schedule()
{
    std::erase_if(m_slots, [](const std::unique_ptr<Slot>& slot) { return !slot->process; });
    for (const auto& documentPointer : m_documents) {
        Document& document = *documentPointer;
        while (document.nextPage < document.pages) {
            Slot* slot = slotFor(document);
            if (!slot)
                return;
            dispatch(*slot, document, document.nextPage++);
        }
    }
}

// An idle worker, preferably one that has the document open already; a new one while there is
// room.
RecognitionSession::Slot* RecognitionSession::slotFor(const Document& document)
{
    if (Slot* idle = WorkerSlots::idleSlot(
            m_slots, [&document](const Slot& slot) { return slot.openDocumentId == document.id; }))
        return idle;
    if (WorkerSlots::running(m_slots) >= m_options.workers)
        return nullptr;
    return WorkerSlots::startSlot(m_slots, m_options.program, {}, this,
                                  &RecognitionSession::onFrame,
                                  &RecognitionSession::onWorkerFailed);
}

void RecognitionSession::dispatch(Slot& slot, Document& document, int page)
{
    slot.stage = Slot::Stage::AwaitingAnswer;
    slot.jobId = m_nextJobId++;
    slot.document = &document;
    slot.page = page;
    slot.loaded = false;
    slot.answered = false;
    slot.since.start();
    ++document.requests;
    slot.process->send(encode(RecogniseRequest{
        slot.jobId, document.id, QFile::encodeName(document.path), page, 1, document.language}));
    if (!m_deadlineTimer.isActive())
        m_deadlineTimer.start();
}

void RecognitionSession::onFrame(Slot& slot, const Frame& frame)
{
    if (frame.type == MessageType::Log) {
        if (const auto message = decodeLog(frame.body))
            logWorkerMessage(message->level, message->text);
        return;
    }
    const bool busy = slot.stage != Slot::Stage::Idle;
    Document* document = slot.document;
    switch (frame.type) {
    case MessageType::Loading:
        if (const auto job = decodeJobId(frame.body);
            busy && job == slot.jobId && slot.stage == Slot::Stage::AwaitingAnswer) {
            slot.stage = Slot::Stage::Opening;
            slot.answeredOnce = true;
            slot.openDocumentId = 0;
            slot.loopFound = false;
            slot.openCpuMs = m_options.cpuClock(slot.process->processId());
            slot.since.start();
            return;
        }
        break;
    case MessageType::LoopFound:
        if (const auto job = decodeJobId(frame.body);
            busy && job == slot.jobId && slot.stage == Slot::Stage::Opening && !slot.loopFound) {
            slot.loopFound = true;
            slot.openCpuMs = m_options.cpuClock(slot.process->processId());
            return;
        }
        break;
    case MessageType::Loaded:
        if (const auto loaded = decodeLoaded(frame.body);
            busy && loaded && loaded->jobId == slot.jobId && !slot.loaded) {
            slot.stage = Slot::Stage::Working;
            slot.loaded = true;
            slot.answeredOnce = true;
            slot.since.start();
            if (!document)
                return;
            slot.openDocumentId = document->id;
            if (!loaded->errorText.isEmpty())
                failRest(*document, loaded->errorText);
            else if (loaded->pages != document->pages)
                failRest(*document, QStringLiteral("the file changed since it was imported"));
            return;
        }
        break;
    case MessageType::Recognised:
        if (const auto page = decodeRecognised(frame.body);
            busy && page && page->jobId == slot.jobId && slot.loaded && !slot.answered &&
            page->pageIndex == slot.page) {
            slot.answered = true;
            slot.since.start();
            if (!document || document->haveAnswer[size_t(slot.page)])
                return;
            if (!page->errorText.isEmpty()) {
                failPage(*document, slot.page, page->errorText);
                return;
            }
            PageText& text = document->texts[slot.page];
            text.text = page->text;
            text.charCount = int(page->text.size());
            text.recognised = true;
            document->haveAnswer[size_t(slot.page)] = true;
            ++document->answered;
            ++m_runPagesDone;
            if (progressPercent() != m_reportedPercent) {
                m_reportedPercent = progressPercent();
                emit progressed();
            }
            return;
        }
        break;
    case MessageType::Done:
        if (const auto job = decodeJobId(frame.body); busy && job == slot.jobId && slot.loaded) {
            if (document && !slot.answered && slot.page < document->pages)
                failPage(*document, slot.page,
                         QStringLiteral("page %1 was not recognised").arg(slot.page + 1));
            release(slot);
            schedule();
            return;
        }
        break;
    default:
        break;
    }
    // Anything out of turn means the worker cannot be trusted with this page.
    retire(slot);
    if (document)
        failPage(*document, slot.page,
                 QStringLiteral("text recognition stopped on page %1").arg(slot.page + 1));
    schedule();
}

void RecognitionSession::onWorkerFailed(Slot& slot, WorkerProcess::Failure failure)
{
    Document* document = slot.stage == Slot::Stage::Idle ? nullptr : slot.document;
    const int page = slot.page;
    const bool started = failure != WorkerProcess::Failure::NotStarted && slot.answeredOnce;
    const bool opening = slot.stage != Slot::Stage::Working;
    retire(slot);
    if (document) {
        if (!started)
            failRest(*document, notStarted);
        else if (opening)
            failRest(*document, QStringLiteral("PDF engine stopped while reading this file"));
        else
            failPage(*document, page,
                     QStringLiteral("text recognition stopped on page %1").arg(page + 1));
    }
    schedule();
}

void RecognitionSession::checkDeadlines()
{
    bool busy = false;
    for (const auto& slotPointer : m_slots) {
        Slot& slot = *slotPointer;
        if (!slot.process || slot.stage == Slot::Stage::Idle)
            continue;
        busy = true;
        Document* document = slot.document;
        const int page = slot.page;
        switch (slot.stage) {
        case Slot::Stage::AwaitingAnswer:
            if (!slot.since.hasExpired(m_options.startTimeoutMs))
                continue;
            retire(slot);
            if (document)
                failRest(*document,
                         slot.answeredOnce
                             ? QStringLiteral("PDF engine stopped while reading this file")
                             : notStarted);
            break;
        case Slot::Stage::Opening: {
            if (!WorkerSlots::openingExpired(slot, m_options))
                continue;
            const bool loopFound = slot.loopFound;
            retire(slot);
            if (document)
                failRest(*document, loopFound ? QStringLiteral("PDF page tree refers to itself")
                                              : QStringLiteral("timed out while opening the PDF"));
            break;
        }
        case Slot::Stage::Working:
            if (!slot.since.hasExpired(m_options.pageTimeoutMs))
                continue;
            retire(slot);
            if (document)
                failPage(*document, page,
                         QStringLiteral("timed out while recognising page %1").arg(page + 1));
            break;
        case Slot::Stage::Idle:
            break;
        }
    }
    if (!busy)
        m_deadlineTimer.stop();
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
    for (const auto& slot : m_slots) {
        if (slot->process && slot->stage != Slot::Stage::Idle && slot->document == &document)
            retire(*slot);
    }
    document.requests = 0;
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

// The slot's request is over: the worker is free for the next one.
void RecognitionSession::release(Slot& slot)
{
    if (slot.document) {
        --slot.document->requests;
        if (slot.document->complete())
            postHandOut();
    }
    slot.stage = Slot::Stage::Idle;
    slot.jobId = 0;
    slot.document = nullptr;
}

void RecognitionSession::retire(Slot& slot)
{
    if (!slot.process)
        return;
    if (slot.stage != Slot::Stage::Idle && slot.document) {
        slot.document->requests = std::max(0, slot.document->requests - 1);
        if (slot.document->complete())
            postHandOut();
    }
    WorkerSlots::stopWorker(slot, this);
    slot.stage = Slot::Stage::Idle;
    slot.document = nullptr;
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
