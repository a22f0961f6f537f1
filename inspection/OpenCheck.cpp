#include "inspection/OpenCheck.h"

#include "inspection/FailureTexts.h"
#include "inspection/WorkerPool.h"

#include <QEventLoop>
#include <QFile>
#include <QPointer>

namespace Tessavo::Inspection {

class OpenCheck::Client : public WorkerClient {
public:
    Client(OpenCheck* check, WorkerPool* pool)
        : m_check(check)
        , m_pool(pool)
    {
        m_pool->attach(this);
    }
    ~Client() override
    {
        if (m_pool)
            m_pool->detach(this);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    void start(const QString& path)
    {
        m_path = QFile::encodeName(path);
        m_done = false;
        tryStart();
    }

    void jobLoaded(quint64 jobId, const LoadedMessage& loaded) override
    {
        if (jobId != m_job)
            return;
        m_pool->cancel(jobId); // the answer is in: the worker has done its part
        if (!loaded.errorText.isEmpty())
            finish(Status::failure(loaded.errorText));
        else if (loaded.pages < 1)
            finish(Status::failure(FailureText::noPages()));
        else
            finish(Status::success());
    }
    void jobPage(quint64, const PageAnswer&) override {}
    void jobDone(quint64 jobId) override
    {
        if (jobId == m_job)
            finish(Status::failure(FailureText::engineStopped()));
    }
    void jobFailed(quint64 jobId, const JobFailure& failure) override
    {
        if (jobId == m_job)
            finish(Status::failure(FailureText::ofReading(failure)));
    }
    void workersAvailable() override
    {
        if (!m_done && m_job == 0)
            tryStart();
    }

private:
    void tryStart()
    {
        // No pages are read: the answer to the opening is all that counts.
        m_job = m_pool->submit(this, PageRequest{0, m_pool->newFileId(), m_path, 0, 0, {}},
                               pdfOpenTimeoutMs);
    }

    void finish(const Status& verdict)
    {
        if (std::exchange(m_done, true))
            return;
        m_job = 0;
        QMetaObject::invokeMethod(
            m_check, [check = m_check, verdict] { emit check->finished(verdict); },
            Qt::QueuedConnection);
    }

    OpenCheck* m_check;
    QPointer<WorkerPool> m_pool;
    QByteArray m_path;
    quint64 m_job = 0;
    bool m_done = true;
};

OpenCheck::OpenCheck(WorkerPool* pool, QObject* parent)
    : QObject(parent)
    , m_client(std::make_unique<Client>(this, pool))
{}

OpenCheck::~OpenCheck() = default;

void OpenCheck::start(const QString& path)
{
    m_client->start(path);
}

Status checkOpensInWorker(const QString& path, const QString& program)
{
    WorkerPool::Options options;
    options.program = program;
    options.capacity = 1;
    WorkerPool pool(options);
    OpenCheck check(&pool);
    Status verdict = Status::failure(FailureText::engineStopped());
    QEventLoop loop;
    QObject::connect(&check, &OpenCheck::finished, &loop, [&](const Status& answer) {
        verdict = answer;
        loop.quit();
    });
    check.start(path);
    loop.exec();
    return verdict;
}

} // namespace Tessavo::Inspection
