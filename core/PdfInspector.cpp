#include "core/PdfInspector.h"

#include "core/InspectionWorker.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QThread>
#include <QtEndian>

#include <sys/resource.h>

namespace Tessavo {

namespace {

// The most memory a worker may map. A file that makes the engine allocate without bound ends
// the worker instead of exhausting the machine.
constexpr quint64 workerMemoryLimitBytes = quint64(3) << 30;

// Answers larger than this are treated as a broken worker.
constexpr quint64 maxAnswerBytes = quint64(1536) << 20;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool addressSanitizer = true;
#else
constexpr bool addressSanitizer = false;
#endif

const QString engineStopped = QStringLiteral("PDF engine stopped while reading this file");

} // namespace

struct PdfInspector::Worker {
    std::unique_ptr<QProcess> process;
    QString path;         // the file being inspected; empty while idle
    bool claimed = false; // an inspect() call is waiting for this answer
    QDeadlineTimer deadline;
    QByteArray answer;
    quint64 expected = 0; // length of the whole answer once its header has arrived

    bool idle() const { return path.isEmpty(); }
    bool running() const { return process->state() == QProcess::Running; }

    // Collects what has arrived; true once the whole answer is here or it is malformed.
    bool collect()
    {
        answer += process->readAllStandardOutput();
        if (expected == 0 && answer.size() >= qsizetype(sizeof(quint64)))
            expected = qFromBigEndian<quint64>(answer.constData()) + sizeof(quint64);
        return expected > maxAnswerBytes || (expected > 0 && quint64(answer.size()) >= expected);
    }

    void reset()
    {
        path.clear();
        claimed = false;
        answer.clear();
        expected = 0;
    }

    void stop()
    {
        process->closeWriteChannel(); // a worker ends when its input closes
        if (!process->waitForFinished(1000)) {
            process->kill();
            process->waitForFinished(1000);
        }
    }

    void kill()
    {
        process->kill();
        process->waitForFinished(1000);
    }
};

PdfInspector::PdfInspector(QString program, int timeoutMs)
    : m_program(program.isEmpty() ? QCoreApplication::applicationFilePath() : std::move(program))
    , m_timeoutMs(timeoutMs)
    , m_spareLimit(std::max(2, QThread::idealThreadCount()))
{}

PdfInspector::~PdfInspector()
{
    for (const std::unique_ptr<Worker>& worker : m_workers) {
        if (worker->idle())
            worker->stop();
        else
            worker->kill();
    }
}

std::unique_ptr<PdfInspector::Worker> PdfInspector::startWorker()
{
    auto worker = std::make_unique<Worker>();
    worker->process = std::make_unique<QProcess>();
    QProcess& process = *worker->process;
    process.setProgram(m_program);
    process.setArguments({QString::fromLatin1(inspectionWorkerOption)});
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if constexpr (addressSanitizer) {
        // The sanitizer reserves far more address space than any cap allows; let it police the
        // worker's resident memory instead.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        const QString options = environment.value(QStringLiteral("ASAN_OPTIONS"));
        environment.insert(
            QStringLiteral("ASAN_OPTIONS"),
            options + QStringLiteral(":hard_rss_limit_mb=%1").arg(workerMemoryLimitBytes >> 20));
        process.setProcessEnvironment(environment);
    } else {
        process.setChildProcessModifier([] {
            const rlimit limit{workerMemoryLimitBytes, workerMemoryLimitBytes};
            ::setrlimit(RLIMIT_AS, &limit);
        });
    }
    process.start(QIODevice::ReadWrite);
    if (!process.waitForStarted(10000)) {
        qWarning().noquote() << QStringLiteral(
                                    "PDF inspection worker could not be started (%1); PDFs are "
                                    "inspected in the application process")
                                    .arg(process.errorString());
        return nullptr;
    }
    return worker;
}

void PdfInspector::discard(Worker* worker)
{
    std::erase_if(m_workers,
                  [worker](const std::unique_ptr<Worker>& w) { return w.get() == worker; });
}

// Drops idle workers that have died, and frees workers whose prefetched answer nobody has asked
// for yet once they have died or hung. A finished answer is kept until its worker is needed for
// something else.
void PdfInspector::reapUnclaimed()
{
    std::vector<Worker*> gone;
    for (const std::unique_ptr<Worker>& worker : m_workers) {
        if (worker->claimed)
            continue;
        if (worker->idle()) {
            if (!worker->running())
                gone.push_back(worker.get());
            continue;
        }
        worker->collect();
        if (!worker->running() && worker->process->bytesAvailable() == 0) {
            gone.push_back(worker.get());
        } else if (worker->deadline.hasExpired() && !worker->collect()) {
            worker->kill();
            gone.push_back(worker.get());
        }
    }
    for (Worker* worker : gone)
        discard(worker);
}

PdfInspector::Worker* PdfInspector::freeWorker(bool mayExceedLimit)
{
    reapUnclaimed();
    for (const std::unique_ptr<Worker>& worker : m_workers) {
        if (worker->idle() && worker->running())
            return worker.get();
    }
    if (!m_workersUnavailable && (mayExceedLimit || int(m_workers.size()) < m_spareLimit)) {
        std::unique_ptr<Worker> worker = startWorker();
        m_workersUnavailable = !worker;
        if (worker) {
            m_workers.push_back(std::move(worker));
            return m_workers.back().get();
        }
    }
    if (!mayExceedLimit)
        return nullptr;
    // Recycle a worker whose prefetched answer is complete but unclaimed.
    for (const std::unique_ptr<Worker>& worker : m_workers) {
        if (!worker->idle() && !worker->claimed && worker->collect() && worker->running()) {
            worker->reset();
            return worker.get();
        }
    }
    return nullptr;
}

void PdfInspector::send(Worker& worker, const QString& path)
{
    const QByteArray encodedPath = QFile::encodeName(path);
    const quint32 length = qToBigEndian(quint32(encodedPath.size()));
    worker.process->write(reinterpret_cast<const char*>(&length), sizeof length);
    worker.process->write(encodedPath);
    worker.path = path;
    worker.deadline = QDeadlineTimer(m_timeoutMs);
}

void PdfInspector::prefetch(const QString& path)
{
    for (const std::unique_ptr<Worker>& worker : m_workers) {
        if (worker->path == path && !worker->claimed)
            return; // already under way
    }
    if (Worker* worker = freeWorker(false))
        send(*worker, path);
}

qint64 PdfInspector::idleWorkerProcessId() const
{
    for (const std::unique_ptr<Worker>& worker : m_workers) {
        if (worker->idle())
            return worker->process->processId();
    }
    return 0;
}

DocumentRecord PdfInspector::failedRecord(const QString& path, const QString& why) const
{
    DocumentRecord record;
    record.sourcePath = path;
    const QFileInfo info(path);
    record.fileName = info.fileName();
    if (info.isFile()) {
        record.sizeBytes = info.size();
        hashFile(path, &record.sha256, nullptr);
    }
    record.state = Unreadable;
    record.errorText = why;
    return record;
}

DocumentRecord PdfInspector::inspect(const QString& path)
{
    Worker* worker = nullptr;
    for (const std::unique_ptr<Worker>& w : m_workers) {
        if (w->path == path && !w->claimed) {
            worker = w.get();
            break;
        }
    }
    if (!worker) {
        worker = freeWorker(true);
        if (!worker)
            return inspectPdf(path);
        send(*worker, path);
    }
    worker->claimed = true;

    const auto restoreBusy = qScopeGuard([this, outer = m_busyPid] { m_busyPid = outer; });
    m_busyPid = worker->process->processId();
    // Workers started or discarded by calls nested in the wait below never move this one: the
    // list holds pointers.
    while (!worker->collect()) {
        if (!worker->running() && worker->process->bytesAvailable() == 0) {
            discard(worker);
            return failedRecord(path, engineStopped);
        }
        if (worker->deadline.hasExpired()) {
            worker->kill();
            discard(worker);
            return failedRecord(path, QStringLiteral("timed out while opening the PDF"));
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (worker->process->bytesAvailable() == 0)
            worker->process->waitForReadyRead(
                int(std::clamp<qint64>(worker->deadline.remainingTime(), 0, 20)));
    }

    DocumentRecord record;
    const bool wellFormed =
        worker->expected <= maxAnswerBytes && quint64(worker->answer.size()) == worker->expected &&
        decodeInspection(worker->answer.mid(sizeof(quint64)), &record) && record.sourcePath == path;
    if (!wellFormed) {
        worker->kill();
        discard(worker);
        return failedRecord(path, engineStopped);
    }
    worker->reset();
    return record;
}

} // namespace Tessavo
