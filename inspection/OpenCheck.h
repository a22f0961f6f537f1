#pragma once

#include "core/Failure.h"

#include <QObject>
#include <QString>

namespace Tessavo::Inspection {

class WorkerPool;

// Opens one PDF in a worker of a pool and tells whether it opened with at least one page, and if
// not, why. The pool's limits apply as to any other request.
class OpenCheck : public QObject {
    Q_OBJECT

public:
    explicit OpenCheck(WorkerPool* pool, QObject* parent = nullptr);
    ~OpenCheck() override;

    // Starts the check; finished follows through the event loop, once.
    void start(const QString& path);

signals:
    void finished(const Tessavo::Status& verdict);

private:
    class Client;
    std::unique_ptr<Client> m_client;
};

// The same, blocking, in a worker of its own started from program (by default this executable):
// for a thread that runs no event loop of its own, such as the command line's or a background
// task's; never for the window's.
Status checkOpensInWorker(const QString& path, const QString& program = {});

} // namespace Tessavo::Inspection
