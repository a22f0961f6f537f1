#pragma once

#include "inspection/WorkerProtocol.h"

#include <QObject>
#include <QProcess>

namespace Tessavo::Inspection {

// One inspection worker process, seen from the application: frames go in and come out, the
// worker's messages reach the application's log, and every way the process can fail ends in
// one signal. The process may map at most a fixed amount of memory.
class WorkerProcess : public QObject {
    Q_OBJECT

public:
    // NotStarted: the program did not run; Stopped: it ended; Broken: it sent what no worker
    // sends, and was killed.
    enum class Failure { NotStarted, Stopped, Broken };
    Q_ENUM(Failure)

    // program is started with the worker option as its only argument.
    explicit WorkerProcess(const QString& program, QObject* parent = nullptr);
    ~WorkerProcess() override; // kills a running worker and reaps it

    void start();
    void send(const QByteArray& frame);
    qint64 processId() const { return m_process.processId(); }

    // Sends the process SIGKILL; no signal follows. Safe inside this object's own signals.
    void kill();

signals:
    void frameReceived(const Tessavo::Inspection::Frame& frame);
    // Delivered through the event loop, never from inside start(), send() or kill().
    void failed(Tessavo::Inspection::WorkerProcess::Failure failure);

private:
    void readAnswers();
    void readMessages();
    void reportFailure(Failure failure);

    QProcess m_process;
    FrameReader m_reader;
    QByteArray m_messageLine;
    bool m_failed = false;
};

// Sets up a process to run program as an inspection worker with the memory cap.
void prepareWorkerProcess(QProcess& process, const QString& program);

// Logs a message that a worker produced, with the worker's level, through this process's
// message handler.
void logWorkerMessage(int level, const QString& text);

} // namespace Tessavo::Inspection
