#include "inspection/ImportSession.h"

#include "core/RawPath.h"
#include "inspection/WorkerProcess.h"
#include "inspection/WorkerProtocol.h"
#include "inspection/WorkerSlots.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <atomic>

namespace Tessavo::Inspection {

namespace {

// The first request for a file reads this many pages; longer documents are then shared out.
constexpr int firstRangePages = 16;
constexpr int maxRangePages = 256;

// A document that claims more pages than this, or more pages than its file has bytes, is not
// believed: the page list is allocated from the count.
constexpr qint64 maxPages = 1'000'000;

constexpr int deadlineCheckMs = 100;

// A file that keeps changing while it is inspected is inspected at most this many times more.
constexpr int maxRestarts = 3;

const QString engineStopped = QStringLiteral("PDF engine stopped while reading this file");
const QString engineNotStarted = QStringLiteral("PDF engine could not be started");
const QString openTimedOut = QStringLiteral("timed out while opening the PDF");
const QString pageTreeLoops = QStringLiteral("PDF page tree refers to itself");

} // namespace

struct ImportSession::File {
    enum class Phase { Queued, Running, Settled };

    quint64 id = 0;
    QString path;       // for display; may have lost bytes of a name that is not valid UTF-8
    QByteArray rawPath; // for opening
    Phase phase = Phase::Queued;
    DocumentRecord record;
    qint64 size = -1; // when inspection began; -1 for a path that was not a file
    qint64 modifiedNs = 0;
    std::shared_ptr<std::atomic<bool>> cancelHash;
    bool hashed = false;
    QString hashError;
    bool opened = false;  // the engine opened it and its page count is known
    bool pdfDone = false; // every page is read, or the engine gave up
    int nextPage = 0;     // the first page not yet requested
    std::vector<bool> havePage;
    int pagesRead = 0;
    qint64 keptChars = 0; // page text kept so far
    int requests = 0;     // requests in flight
    int restarts = 0;
    int reportedPercent = -1;

    bool longDocument() const { return opened && record.pages > firstRangePages; }
};

struct ImportSession::Slot {
    enum class Stage { Idle, AwaitingAnswer, Opening, Reading };

    WorkerProcess* process = nullptr; // null once retired
    Stage stage = Stage::Idle;
    quint64 jobId = 0;
    File* file = nullptr; // the file of the request, while it still wants the answer
    quint64 openFileId = 0;
    int firstPage = 0;
    int endPage = 0;
    int lastPage = -1;
    bool loaded = false;
    bool answeredOnce = false;
    bool loopFound = false; // the file being opened has a page tree that contains itself
    qint64 openCpuMs = -1;  // the worker's processor time when the opening (or loop) began
    QElapsedTimer since;    // since the last sign of progress

    bool idle() const { return process && stage == Stage::Idle; }
};

ImportSession::ImportSession(QObject* parent)
    : ImportSession(Options{}, parent)
{}

ImportSession::ImportSession(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    if (m_options.program.isEmpty())
        m_options.program = QCoreApplication::applicationFilePath();
    if (m_options.workers <= 0)
        m_options.workers = std::max(2, QThread::idealThreadCount());
    m_hashPool.setMaxThreadCount(2);
    m_deadlineTimer.setInterval(deadlineCheckMs);
    connect(&m_deadlineTimer, &QTimer::timeout, this, &ImportSession::checkDeadlines);
}

ImportSession::~ImportSession()
{
    for (const auto& file : m_files) {
        if (file->cancelHash)
            file->cancelHash->store(true);
    }
    m_hashPool.clear();
    for (const auto& slot : m_slots) {
        if (slot->process)
            slot->process->kill();
    }
    m_hashPool.waitForDone();
    // The worker objects are children of this one and reap their processes as they go.
}

void ImportSession::enqueue(const QStringList& paths)
{
    QList<QByteArray> rawPaths;
    rawPaths.reserve(paths.size());
    for (const QString& path : paths)
        rawPaths.append(QFile::encodeName(path));
    enqueue(rawPaths);
}

void ImportSession::enqueue(const QList<QByteArray>& rawPaths)
{
    for (const QByteArray& rawPath : rawPaths) {
        auto file = std::make_unique<File>();
        file->id = m_nextFileId++;
        file->rawPath = rawPath;
        file->path = QFile::decodeName(rawPath);
        m_byId.insert(file->id, file.get());
        m_paths.insert(rawPath);
        m_files.push_back(std::move(file));
    }
    schedule();
}

bool ImportSession::contains(const QString& path) const
{
    return m_paths.contains(QFile::encodeName(path));
}

bool ImportSession::contains(const QByteArray& rawPath) const
{
    return m_paths.contains(rawPath);
}

void ImportSession::cancel()
{
    for (const auto& file : m_files) {
        if (file->cancelHash)
            file->cancelHash->store(true);
    }
    m_hashPool.clear();
    for (const auto& slot : m_slots) {
        if (slot->process && slot->stage != Slot::Stage::Idle)
            retire(*slot);
    }
    m_files.clear();
    m_byId.clear();
    m_paths.clear();
    m_deadlineTimer.stop();
    ++m_generation;
}

double ImportSession::partialFiles() const
{
    double done = 0;
    for (const auto& file : m_files) {
        if (file->longDocument())
            done += double(file->pagesRead) / double(file->record.pages);
    }
    return done;
}

QList<qint64> ImportSession::workerProcessIds() const
{
    return WorkerSlots::processIds(m_slots);
}

QList<qint64> ImportSession::busyWorkerProcessIds() const
{
    return WorkerSlots::processIds(m_slots, true);
}

void ImportSession::schedule()
{
    std::erase_if(m_slots, [](const std::unique_ptr<Slot>& slot) { return !slot->process; });
    for (;;) {
        File* file = nextFileWithWork();
        if (!file)
            break;
        Slot* slot = slotFor(*file);
        if (!slot)
            break;
        if (file->phase == File::Phase::Queued) {
            if (!begin(*file))
                continue;
            dispatch(*slot, *file, 0, firstRangePages);
            file->nextPage = firstRangePages;
            continue;
        }
        const int left = file->record.pages - file->nextPage;
        const int share = (left + 2 * m_options.workers - 1) / (2 * m_options.workers);
        const int count = std::min(left, std::clamp(share, firstRangePages, maxRangePages));
        dispatch(*slot, *file, file->nextPage, count);
        file->nextPage += count;
    }
}

// The first file, within a window at the head of the queue, that has work a worker could take:
// a range of pages of a document being read, or a file not yet started.
ImportSession::File* ImportSession::nextFileWithWork()
{
    const size_t window = size_t(2 * m_options.workers + 2);
    for (size_t i = 0; i < m_files.size() && i < window; ++i) {
        File& file = *m_files[i];
        if (file.phase == File::Phase::Queued)
            return &file;
        if (file.phase == File::Phase::Running && file.opened && !file.pdfDone &&
            file.nextPage < file.record.pages)
            return &file;
    }
    return nullptr;
}

// An idle worker, preferably one that has the file open already; a new one while there is room.
ImportSession::Slot* ImportSession::slotFor(const File& file)
{
    if (Slot* idle = WorkerSlots::idleSlot(
            m_slots, [&file](const Slot& slot) { return slot.openFileId == file.id; }))
        return idle;
    if (WorkerSlots::running(m_slots) >= m_options.workers)
        return nullptr;
    return WorkerSlots::startSlot(m_slots, m_options.program, m_options.startWorker, this,
                                  &ImportSession::onFrame, &ImportSession::onWorkerFailed);
}

// Starts a file: a path that is no regular file ends here; otherwise hashing begins on a thread
// of this process while the workers read the document.
bool ImportSession::begin(File& file)
{
    file.record = DocumentRecord{};
    file.record.sourcePath = file.path;
    const bool validName = roundTrips(file.rawPath);
    if (!validName)
        file.record.sourcePathBytes = file.rawPath;
    file.record.fileName = QFileInfo(file.path).fileName();
    const RawFileStatus status = rawFileStatus(file.rawPath);
    if (!status.ok || !status.regularFile) {
        file.record.state = Unreadable;
        // A name that lost bytes on its way here names nothing any more; say why.
        const bool lostBytes = validName && file.path.contains(QChar::ReplacementCharacter);
        file.record.errorText = lostBytes ? QStringLiteral("File name is not valid UTF-8")
                                          : QStringLiteral("file not found");
        if (lostBytes)
            qWarning().noquote() << QStringLiteral("Cannot open %1: the file name is not valid "
                                                   "UTF-8")
                                        .arg(file.record.fileName);
        file.size = -1;
        file.phase = File::Phase::Settled;
        postHandOut();
        return false;
    }
    if (!validName)
        qInfo().noquote() << QStringLiteral("The name of %1 is not valid UTF-8; it is read "
                                            "through its own bytes")
                                 .arg(file.record.fileName);
    file.size = status.size;
    file.modifiedNs = status.modifiedNs;
    file.record.sizeBytes = file.size;
    file.phase = File::Phase::Running;

    file.cancelHash = std::make_shared<std::atomic<bool>>(false);
    m_hashPool.start([this, id = file.id, path = file.rawPath, cancel = file.cancelHash] {
        FileDigest digest = sha256OfFile(path, cancel.get());
        if (digest.cancelled)
            return;
        QMetaObject::invokeMethod(
            this, [this, id, digest = std::move(digest)] { onHashed(id, digest); },
            Qt::QueuedConnection);
    });
    return true;
}

void ImportSession::dispatch(Slot& slot, File& file, int firstPage, int pageCount)
{
    slot.stage = Slot::Stage::AwaitingAnswer;
    slot.jobId = m_nextJobId++;
    slot.file = &file;
    slot.firstPage = firstPage;
    slot.endPage = firstPage + pageCount;
    slot.lastPage = firstPage - 1;
    slot.loaded = false;
    slot.since.start();
    ++file.requests;
    slot.process->send(
        encode(ReadRequest{slot.jobId, file.id, file.rawPath, firstPage, pageCount}));
    if (!m_deadlineTimer.isActive())
        m_deadlineTimer.start();
}

void ImportSession::onFrame(Slot& slot, const Frame& frame)
{
    if (frame.type == MessageType::Log) {
        if (const auto message = decodeLog(frame.body))
            logWorkerMessage(message->level, message->text);
        return;
    }
    const bool busy = slot.stage != Slot::Stage::Idle;
    switch (frame.type) {
    case MessageType::Loading:
        if (const auto job = decodeJobId(frame.body);
            busy && job == slot.jobId && slot.stage == Slot::Stage::AwaitingAnswer) {
            slot.stage = Slot::Stage::Opening;
            slot.answeredOnce = true;
            slot.openFileId = 0;
            slot.loopFound = false;
            slot.openCpuMs = m_options.cpuClock(slot.process->processId());
            slot.since.start();
            return;
        }
        break;
    case MessageType::LoopFound:
        if (const auto job = decodeJobId(frame.body);
            busy && job == slot.jobId && slot.stage == Slot::Stage::Opening && !slot.loopFound) {
            // The engine's own limit starts now.
            slot.loopFound = true;
            slot.openCpuMs = m_options.cpuClock(slot.process->processId());
            return;
        }
        break;
    case MessageType::Loaded:
        if (const auto loaded = decodeLoaded(frame.body);
            busy && loaded && loaded->jobId == slot.jobId && !slot.loaded) {
            slot.stage = Slot::Stage::Reading;
            slot.loaded = true;
            slot.answeredOnce = true;
            slot.since.start();
            if (slot.file) {
                slot.openFileId = slot.file->id;
                onLoaded(slot, *slot.file, loaded->state, loaded->errorText, loaded->pages,
                         loaded->title);
            }
            return;
        }
        break;
    case MessageType::Page:
        if (const auto page = decodePage(frame.body);
            busy && page && page->jobId == slot.jobId && slot.loaded &&
            page->pageIndex == slot.lastPage + 1 && page->pageIndex < slot.endPage) {
            slot.lastPage = page->pageIndex;
            slot.since.start();
            if (slot.file)
                onPage(slot, *slot.file, page->pageIndex, page->text);
            return;
        }
        break;
    case MessageType::Done:
        if (const auto job = decodeJobId(frame.body); busy && job == slot.jobId && slot.loaded) {
            onRequestDone(slot);
            return;
        }
        break;
    default:
        break;
    }
    // Anything out of turn means the worker cannot be trusted with this file.
    File* file = slot.file;
    retire(slot);
    if (file)
        failFile(*file, engineStopped);
    schedule();
}

void ImportSession::onLoaded(Slot& slot, File& file, int state, const QString& errorText, int pages,
                             const QString& title)
{
    if (file.opened || file.pdfDone)
        return; // a second worker opening the same file: it reported this already
    if (!errorText.isEmpty()) {
        // A document that did not open is encrypted or unreadable, whatever the worker says.
        file.record.state = state == Encrypted ? Encrypted : Unreadable;
        file.record.errorText = errorText;
        file.pdfDone = true;
        return;
    }
    if (pages <= 0) {
        // Opened, but nothing to read: whatever the worker calls it, there is no page.
        file.record.state = Unreadable;
        file.record.errorText = QStringLiteral("PDF contains no pages");
        file.pdfDone = true;
        return;
    }
    if (qint64(pages) > std::min(maxPages, std::max<qint64>(file.size, 1))) {
        retire(slot);
        failFile(file, QStringLiteral("PDF claims more pages than the file can hold"));
        return;
    }
    file.opened = true;
    file.record.pages = pages;
    file.record.title = title;
    file.record.pageTexts.resize(pages);
    for (int i = 0; i < pages; ++i)
        file.record.pageTexts[i].pageIndex = i;
    file.havePage.assign(size_t(pages), false);
    file.nextPage = std::min(file.nextPage, pages);
}

void ImportSession::onPage(Slot&, File& file, int pageIndex, const QString& text)
{
    if (!file.opened || pageIndex >= file.record.pages)
        return;
    PageText& page = file.record.pageTexts[pageIndex];
    page.charCount = int(text.size());
    keepBoundedText(file, page, text);
    if (!file.havePage[size_t(pageIndex)]) {
        file.havePage[size_t(pageIndex)] = true;
        ++file.pagesRead;
        reportProgress(file);
    }
}

// Keeps the page's text while the document stays within its share; the counts still tell the
// whole length.
void ImportSession::keepBoundedText(File& file, PageText& page, const QString& text)
{
    file.keptChars -= page.text.size();
    const qint64 room = std::max<qint64>(0, m_options.maxTextChars - file.keptChars);
    if (text.size() <= room) {
        page.text = text;
    } else {
        page.text = text.left(qsizetype(room));
        if (file.record.errorText.isEmpty()) {
            file.record.errorText =
                QStringLiteral("text beyond the first %1 characters was not kept")
                    .arg(m_options.maxTextChars);
            qWarning().noquote() << QStringLiteral("Only the first %1 characters of text of %2 "
                                                   "are kept; the rest is dropped")
                                        .arg(QString::number(m_options.maxTextChars),
                                             file.record.fileName);
        }
    }
    file.keptChars += page.text.size();
}

void ImportSession::onRequestDone(Slot& slot)
{
    File* file = slot.file;
    const int expectedEnd = file && file->opened ? std::min(slot.endPage, file->record.pages) : 0;
    if (file && file->opened && slot.lastPage + 1 < expectedEnd) {
        // The worker skipped pages it was asked for.
        retire(slot);
        failFile(*file, engineStopped);
        schedule();
        return;
    }
    slot.stage = Slot::Stage::Idle;
    slot.jobId = 0;
    slot.file = nullptr;
    if (file) {
        --file->requests;
        if (file->opened && file->pagesRead == file->record.pages)
            file->pdfDone = true;
        settleIfComplete(*file);
    }
    schedule();
}

void ImportSession::onWorkerFailed(Slot& slot, WorkerProcess::Failure failure)
{
    File* file = slot.stage == Slot::Stage::Idle ? nullptr : slot.file;
    // A worker that ends before it ever answered did not really start.
    const bool notStarted = failure == WorkerProcess::Failure::NotStarted ||
                            (failure == WorkerProcess::Failure::Stopped && !slot.answeredOnce);
    retire(slot);
    if (file)
        failFile(*file, notStarted ? engineNotStarted : engineStopped);
    schedule();
}

void ImportSession::onHashed(quint64 fileId, FileDigest digest)
{
    File* file = m_byId.value(fileId);
    if (!file || file->phase != File::Phase::Running)
        return;
    file->hashed = true;
    if (digest.ok) {
        file->record.sha256 = std::move(digest.sha256);
        settleIfComplete(*file);
        return;
    }
    // The file could not be read: the engine's answer no longer matters.
    file->hashError = digest.error;
    for (const auto& slot : m_slots) {
        if (slot->process && slot->file == file)
            retire(*slot);
    }
    file->requests = 0;
    file->pdfDone = true;
    settleIfComplete(*file);
    schedule();
}

void ImportSession::checkDeadlines()
{
    bool busy = false;
    for (const auto& slotPointer : m_slots) {
        Slot& slot = *slotPointer;
        if (!slot.process || slot.stage == Slot::Stage::Idle)
            continue;
        busy = true;
        QString why;
        switch (slot.stage) {
        case Slot::Stage::AwaitingAnswer:
            if (slot.since.hasExpired(m_options.startTimeoutMs))
                why = slot.answeredOnce ? engineStopped : engineNotStarted;
            break;
        case Slot::Stage::Opening:
            if (WorkerSlots::openingExpired(slot, m_options))
                why = slot.loopFound ? pageTreeLoops : openTimedOut;
            break;
        case Slot::Stage::Reading:
            if (slot.since.hasExpired(m_options.progressTimeoutMs))
                why = QStringLiteral("timed out while reading page %1").arg(slot.lastPage + 2);
            break;
        case Slot::Stage::Idle:
            break;
        }
        if (why.isEmpty())
            continue;
        File* file = slot.file;
        retire(slot);
        if (file)
            failFile(*file, why);
    }
    if (!busy)
        m_deadlineTimer.stop();
    schedule();
}

void ImportSession::failFile(File& file, const QString& why)
{
    if (file.phase != File::Phase::Running)
        return;
    qWarning().noquote()
        << QStringLiteral("Inspection of %1 failed: %2").arg(file.record.fileName, why);
    for (const auto& slot : m_slots) {
        if (slot->process && slot->file == &file)
            retire(*slot);
    }
    DocumentRecord& r = file.record;
    r.pages = 0;
    r.title.clear();
    r.pageTexts.clear();
    r.state = Unreadable;
    r.errorText = why;
    file.opened = false;
    file.pdfDone = true;
    file.requests = 0;
    settleIfComplete(file);
}

void ImportSession::settleIfComplete(File& file)
{
    if (file.phase != File::Phase::Running || !file.hashed || !file.pdfDone || file.requests > 0)
        return;
    DocumentRecord& r = file.record;
    if (!file.hashError.isEmpty()) {
        r.pages = 0;
        r.title.clear();
        r.pageTexts.clear();
        r.state = Unreadable;
        r.errorText = file.hashError;
    } else if (file.opened) {
        settleTextState(r);
    }
    file.havePage = {};
    file.phase = File::Phase::Settled;
    postHandOut();
}

void ImportSession::postHandOut()
{
    if (m_handOutPosted)
        return;
    m_handOutPosted = true;
    QMetaObject::invokeMethod(this, &ImportSession::handOut, Qt::QueuedConnection);
}

// Hands out the settled files at the head of the queue. A file that changed on disk since its
// inspection began is inspected again instead.
void ImportSession::handOut()
{
    m_handOutPosted = false;
    const quint64 generation = m_generation;
    bool handedOut = false;
    while (!m_files.empty() && m_files.front()->phase == File::Phase::Settled) {
        File& file = *m_files.front();
        if (file.size >= 0 && file.restarts < maxRestarts) {
            const RawFileStatus now = rawFileStatus(file.rawPath);
            if (!now.regularFile || now.size != file.size || now.modifiedNs != file.modifiedNs) {
                restart(file);
                break;
            }
        }
        const DocumentRecord record = std::move(file.record);
        m_byId.remove(file.id);
        m_paths.remove(file.rawPath);
        m_files.pop_front();
        handedOut = true;
        const QPointer<ImportSession> alive(this);
        emit inspected(record);
        // A receiver may have cancelled, or queued more files.
        if (!alive || generation != m_generation)
            return;
    }
    schedule();
    if (handedOut && m_files.empty())
        emit finished();
}

// Inspects a file again from the start, as a new file to the workers.
void ImportSession::restart(File& file)
{
    m_byId.remove(file.id);
    const QString path = file.path;
    const QByteArray rawPath = file.rawPath;
    const int restarts = file.restarts + 1;
    file = File{};
    file.id = m_nextFileId++;
    file.path = path;
    file.rawPath = rawPath;
    file.restarts = restarts;
    m_byId.insert(file.id, &file);
}

void ImportSession::retire(Slot& slot)
{
    if (!slot.process)
        return;
    WorkerSlots::stopWorker(slot, this);
    slot.stage = Slot::Stage::Idle;
    slot.file = nullptr;
}

void ImportSession::reportProgress(File& file)
{
    if (!file.longDocument())
        return;
    const int percent = int(qint64(file.pagesRead) * 100 / file.record.pages);
    if (percent == file.reportedPercent)
        return;
    file.reportedPercent = percent;
    emit progressed();
}

} // namespace Tessavo::Inspection
