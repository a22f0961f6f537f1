#include "inspection/WorkerProcess.h"

#include "inspection/ParentWatch.h"

#include <QCoreApplication>
#include <QDebug>
#include <QProcessEnvironment>

#include <sys/resource.h>

namespace Tessavo::Inspection {

namespace {

// The most memory a worker may map. A file that makes the engine allocate without bound ends
// the worker instead of exhausting the machine.
constexpr quint64 workerMemoryLimitBytes = quint64(3) << 30;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool addressSanitizer = true;
#else
constexpr bool addressSanitizer = false;
#endif

// A line of the worker's standard error longer than this is logged in pieces.
constexpr qsizetype maxMessageLine = 16 * 1024;

} // namespace

void logWorkerMessage(int level, const QString& text)
{
    QMessageLogger logger;
    const QString line = QStringLiteral("inspection worker: %1").arg(text);
    switch (level) {
    case QtDebugMsg:
        logger.debug().noquote() << line;
        break;
    case QtInfoMsg:
        logger.info().noquote() << line;
        break;
    case QtCriticalMsg:
    case QtFatalMsg: // the worker ends; this process does not
        logger.critical().noquote() << line;
        break;
    default:
        logger.warning().noquote() << line;
        break;
    }
}

void prepareWorkerProcess(QProcess& process, const QString& program)
{
    process.setProgram(program);
    process.setArguments({QString::fromLatin1(workerOption)});
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Recognition runs one page per worker on one thread: the workers already share the cores.
    environment.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    // The worker ends by itself when this process is gone, even in the middle of a page.
    environment.insert(QString::fromLatin1(parentPidVariable),
                       QString::number(QCoreApplication::applicationPid()));
    if constexpr (addressSanitizer) {
        // The sanitizer reserves far more address space than any cap allows; let it police the
        // worker's resident memory instead.
        const QString options = environment.value(QStringLiteral("ASAN_OPTIONS"));
        environment.insert(
            QStringLiteral("ASAN_OPTIONS"),
            options + QStringLiteral(":hard_rss_limit_mb=%1").arg(workerMemoryLimitBytes >> 20));
    } else {
        process.setChildProcessModifier([] {
            const rlimit limit{workerMemoryLimitBytes, workerMemoryLimitBytes};
            ::setrlimit(RLIMIT_AS, &limit);
        });
    }
    process.setProcessEnvironment(environment);
}

WorkerProcess::WorkerProcess(const QString& program, QObject* parent)
    : QObject(parent)
{
    prepareWorkerProcess(m_process, program);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &WorkerProcess::readAnswers);
    connect(&m_process, &QProcess::readyReadStandardError, this, &WorkerProcess::readMessages);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        reportFailure(error == QProcess::FailedToStart ? Failure::NotStarted : Failure::Stopped);
    });
    connect(&m_process, &QProcess::finished, this, [this] {
        readAnswers();
        reportFailure(Failure::Stopped);
    });
}

WorkerProcess::WorkerProcess(QObject* parent)
    : QObject(parent)
    , m_scripted(true)
{}

WorkerProcess* WorkerProcess::scripted(QObject* parent)
{
    return new WorkerProcess(parent);
}

WorkerProcess::~WorkerProcess()
{
    kill();
    if (!m_scripted)
        m_process.waitForFinished(1000);
}

void WorkerProcess::start()
{
    if (!m_scripted)
        m_process.start(QIODevice::ReadWrite);
}

void WorkerProcess::send(const QByteArray& frame)
{
    if (m_scripted)
        emit requestSent(frame);
    else
        m_process.write(frame);
}

void WorkerProcess::kill()
{
    m_failed = true; // nothing more is reported
    if (!m_scripted && m_process.state() != QProcess::NotRunning)
        m_process.kill();
}

void WorkerProcess::receive(const QByteArray& bytes)
{
    if (m_scripted)
        takeAnswers(bytes);
}

void WorkerProcess::end()
{
    if (m_scripted)
        reportFailure(Failure::Stopped);
}

void WorkerProcess::readAnswers()
{
    takeAnswers(m_process.readAllStandardOutput());
}

void WorkerProcess::takeAnswers(const QByteArray& bytes)
{
    if (m_failed)
        return;
    m_reader.append(bytes);
    while (!m_failed) {
        std::optional<Frame> frame = m_reader.next();
        if (!frame)
            break;
        emit frameReceived(*frame);
    }
    if (m_reader.broken() && !m_failed) {
        reportFailure(Failure::Broken);
        if (!m_scripted)
            m_process.kill();
    }
}

void WorkerProcess::readMessages()
{
    m_messageLine += m_process.readAllStandardError();
    for (;;) {
        qsizetype end = m_messageLine.indexOf('\n');
        if (end < 0 && m_messageLine.size() < maxMessageLine)
            return;
        if (end < 0)
            end = maxMessageLine;
        const QString line = QString::fromLocal8Bit(m_messageLine.left(end)).trimmed();
        m_messageLine.remove(0, std::min(end + 1, m_messageLine.size()));
        if (!line.isEmpty())
            logWorkerMessage(QtWarningMsg, line);
    }
}

void WorkerProcess::reportFailure(Failure failure)
{
    if (m_failed)
        return;
    m_failed = true;
    QMetaObject::invokeMethod(
        this, [this, failure] { emit failed(failure); }, Qt::QueuedConnection);
}

} // namespace Tessavo::Inspection
