#include "inspection/ImportSession.h"

#include "core/RawPath.h"
#include "inspection/FailureTexts.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QPointer>

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

// A file that keeps changing while it is inspected is inspected at most this many times more.
constexpr int maxRestarts = 3;

} // namespace

struct ImportSession::File {
    enum class Phase { Queued, Running, Settled };

    quint64 id = 0;
    QString path;       // for display; may have lost bytes of a name that is not valid UTF-8
    QByteArray rawPath; // for opening
    Phase phase = Phase::Queued;
    DocumentRecord record;
    // What the walk that queued it saw (size and time -1 when nobody looked yet): inspection
    // begins from that look instead of taking another.
    FileIdentity queued;
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
    qint64 keptChars = 0;        // page text kept so far
    int requests = 0;            // requests in flight
    bool firstRequested = false; // its first pages are asked for
    int restarts = 0;
    int reportedPercent = -1;

    bool longDocument() const { return opened && record.pages > firstRangePages; }
};

// A request in flight: pages [firstPage, endPage) of a file.
struct ImportSession::Job {
    File* file = nullptr;
};

// Where a hashing thread leaves its digest: the session, while it lives.
struct ImportSession::HashMailbox {
    QMutex mutex;
    ImportSession* session = nullptr;
};

ImportSession::ImportSession(QObject* parent)
    : ImportSession(Options{}, parent)
{}

ImportSession::ImportSession(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_mailbox(std::make_shared<HashMailbox>())
{
    m_pool = m_options.pool ? m_options.pool : WorkerPool::shared();
    m_pool->attach(this);
    m_hashing = m_options.hashing;
    if (!m_hashing) {
        m_ownHashing = std::make_unique<Tasks::BackgroundRunner>();
        m_hashing = m_ownHashing.get();
    }
    m_mailbox->session = this;
}

ImportSession::~ImportSession()
{
    {
        const QMutexLocker lock(&m_mailbox->mutex);
        m_mailbox->session = nullptr;
    }
    for (const auto& file : m_files) {
        if (file->cancelHash)
            file->cancelHash->store(true);
    }
    if (m_pool)
        m_pool->detach(this);
    // Cancelled hashing ends on its own; what it finds reaches no one.
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
    QList<FileIdentity> files;
    files.reserve(rawPaths.size());
    for (const QByteArray& rawPath : rawPaths)
        files.append(FileIdentity{rawPath, -1, -1, {}});
    enqueue(files);
}

void ImportSession::enqueue(const QList<FileIdentity>& files)
{
    for (const FileIdentity& identity : files) {
        auto file = std::make_unique<File>();
        file->id = m_pool->newFileId();
        file->rawPath = identity.path;
        file->path = QFile::decodeName(identity.path);
        file->queued = identity;
        m_byId.insert(file->id, file.get());
        m_paths.insert(identity.path);
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
    stopJobs(nullptr);
    m_files.clear();
    m_byId.clear();
    m_paths.clear();
    ++m_generation;
}

double ImportSession::partialFiles() const
{
    // Only files in the window at the head of the queue are ever started.
    const size_t window = std::min(m_files.size(), startWindow());
    double done = 0;
    for (size_t i = 0; i < window; ++i) {
        const File& file = *m_files[i];
        if (file.longDocument())
            done += double(file.pagesRead) / double(file.record.pages);
    }
    return done;
}

QList<qint64> ImportSession::workerProcessIds() const
{
    return m_pool->processIds(this);
}

QList<qint64> ImportSession::busyWorkerProcessIds() const
{
    return m_pool->processIds(this, true);
}

int ImportSession::workers() const
{
    return m_options.workers > 0 ? std::min(m_options.workers, m_pool->capacity())
                                 : m_pool->capacity();
}

// How far from the head of the queue files are started: twice the workers, and two more.
size_t ImportSession::startWindow() const
{
    return size_t(2 * workers() + 2);
}

void ImportSession::schedule()
{
    while (m_jobs.size() < workers()) {
        File* file = nextFileWithWork();
        if (!file)
            break;
        if (file->phase == File::Phase::Queued && !begin(*file))
            continue;
        if (!file->firstRequested) {
            if (!dispatch(*file, 0, firstRangePages))
                break;
            file->firstRequested = true;
            file->nextPage = std::max(file->nextPage, firstRangePages);
            continue;
        }
        const int left = file->record.pages - file->nextPage;
        const int share = (left + 2 * workers() - 1) / (2 * workers());
        const int count = std::min(left, std::clamp(share, firstRangePages, maxRangePages));
        if (!dispatch(*file, file->nextPage, count))
            break;
        file->nextPage += count;
    }
}

// The first file, within a window at the head of the queue, that has work a worker could take:
// a range of pages of a document being read, or a file not yet asked for.
ImportSession::File* ImportSession::nextFileWithWork()
{
    const size_t window = startWindow();
    for (size_t i = 0; i < m_files.size() && i < window; ++i) {
        File& file = *m_files[i];
        if (file.phase == File::Phase::Queued)
            return &file;
        if (file.phase != File::Phase::Running || file.pdfDone)
            continue;
        if (!file.firstRequested || (file.opened && file.nextPage < file.record.pages))
            return &file;
    }
    return nullptr;
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
    // The walk found a regular file of this size and time; a file queued without that look is
    // looked at now. Whatever changes later shows when the file is handed out, and the reading
    // itself refuses anything that is no longer a regular file.
    RawFileStatus status;
    if (file.queued.size >= 0 && file.queued.modifiedNs >= 0)
        status = {true, true, false, file.queued.size, file.queued.modifiedNs};
    else
        status = rawFileStatus(file.rawPath);
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
    file.record.modifiedNs = file.modifiedNs;
    file.phase = File::Phase::Running;

    file.cancelHash = std::make_shared<std::atomic<bool>>(false);
    m_hashing->run([mailbox = m_mailbox, id = file.id, path = file.rawPath,
                    cancel = file.cancelHash](const Tasks::TaskControl&) {
        FileDigest digest = sha256OfFile(path, cancel.get());
        if (digest.cancelled)
            return false;
        const QMutexLocker lock(&mailbox->mutex);
        if (ImportSession* session = mailbox->session)
            QMetaObject::invokeMethod(
                session,
                [session, id, digest = std::move(digest)] { session->onHashed(id, digest); },
                Qt::QueuedConnection);
        return true;
    });
    return true;
}

bool ImportSession::dispatch(File& file, int firstPage, int pageCount)
{
    const quint64 job =
        m_pool->submit(this, PageRequest{0, file.id, file.rawPath, firstPage, pageCount, {}},
                       m_options.progressTimeoutMs);
    if (job == 0)
        return false;
    m_jobs.insert(job, Job{&file});
    ++file.requests;
    return true;
}

void ImportSession::jobLoaded(quint64 jobId, const LoadedMessage& loaded)
{
    if (const auto job = m_jobs.constFind(jobId); job != m_jobs.cend())
        onLoaded(jobId, *job->file, loaded);
}

void ImportSession::jobPage(quint64 jobId, const PageAnswer& page)
{
    if (const auto job = m_jobs.constFind(jobId); job != m_jobs.cend())
        onPage(*job->file, page.pageIndex, page.text);
}

void ImportSession::jobDone(quint64 jobId)
{
    const auto job = m_jobs.constFind(jobId);
    if (job == m_jobs.cend())
        return;
    File* file = job->file;
    m_jobs.erase(job);
    --file->requests;
    if (file->opened && file->pagesRead == file->record.pages)
        file->pdfDone = true;
    settleIfComplete(*file);
    schedule();
}

void ImportSession::jobFailed(quint64 jobId, const JobFailure& failure)
{
    const auto job = m_jobs.constFind(jobId);
    if (job == m_jobs.cend())
        return;
    File* file = job->file;
    m_jobs.erase(job);
    --file->requests;
    failFile(*file, FailureText::ofReading(failure));
    schedule();
}

void ImportSession::workersAvailable()
{
    schedule();
}

void ImportSession::onLoaded(quint64 jobId, File& file, const LoadedMessage& loaded)
{
    Q_UNUSED(jobId);
    if (file.opened || file.pdfDone)
        return; // a second worker opening the same file: it reported this already
    if (!loaded.errorText.isEmpty()) {
        // A document that did not open is encrypted or unreadable, whatever the worker says.
        file.record.state = loaded.state == Encrypted ? Encrypted : Unreadable;
        file.record.errorText = loaded.errorText;
        file.pdfDone = true;
        return;
    }
    if (loaded.pages <= 0) {
        // Opened, but nothing to read: whatever the worker calls it, there is no page.
        file.record.state = Unreadable;
        file.record.errorText = FailureText::noPages();
        file.pdfDone = true;
        return;
    }
    if (qint64(loaded.pages) > std::min(maxPages, std::max<qint64>(file.size, 1))) {
        failFile(file, FailureText::tooManyPages());
        return;
    }
    const int pages = loaded.pages;
    file.opened = true;
    file.record.pages = pages;
    file.record.title = loaded.title;
    file.record.pageTexts.resize(pages);
    for (int i = 0; i < pages; ++i)
        file.record.pageTexts[i].pageIndex = i;
    file.havePage.assign(size_t(pages), false);
    file.nextPage = std::min(file.nextPage, pages);
}

void ImportSession::onPage(File& file, int pageIndex, const QString& text)
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
    stopJobs(file);
    file->pdfDone = true;
    settleIfComplete(*file);
    schedule();
}

// Stops the requests in flight for the file, or for every file.
void ImportSession::stopJobs(const File* file)
{
    for (auto job = m_jobs.begin(); job != m_jobs.end();) {
        if (file && job->file != file) {
            ++job;
            continue;
        }
        --job->file->requests;
        m_pool->cancel(job.key());
        job = m_jobs.erase(job);
    }
}

void ImportSession::failFile(File& file, const QString& why)
{
    if (file.phase != File::Phase::Running)
        return;
    qWarning().noquote()
        << QStringLiteral("Inspection of %1 failed: %2").arg(file.record.fileName, why);
    stopJobs(&file);
    DocumentRecord& r = file.record;
    r.pages = 0;
    r.title.clear();
    r.pageTexts.clear();
    r.state = Unreadable;
    r.errorText = why;
    file.opened = false;
    file.pdfDone = true;
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
    file.id = m_pool->newFileId();
    file.path = path;
    file.rawPath = rawPath;
    file.restarts = restarts;
    m_byId.insert(file.id, &file);
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
