#pragma once

#include "inspection/WorkerProtocol.h"

#include <QObject>
#include <QProcess>

#include <functional>

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

    // A worker without a process, played by a test: what is sent to it comes out as requestSent,
    // and its answers go in through receive() and end().
    static WorkerProcess* scripted(QObject* parent);

    void start();
    void send(const QByteArray& frame);
    qint64 processId() const { return m_scripted ? 0 : m_process.processId(); }

    // Sends the process SIGKILL; no signal follows. Safe inside this object's own signals.
    void kill();

    // For a scripted worker: bytes as the worker would write them on its standard output, and
    // the worker's end.
    void receive(const QByteArray& bytes);
    void end();

signals:
    void frameReceived(const Tessavo::Inspection::Frame& frame);
    // Delivered through the event loop, never from inside start(), send() or kill().
    void failed(Tessavo::Inspection::WorkerProcess::Failure failure);
    // A scripted worker was sent a frame.
    void requestSent(const QByteArray& frame);

private:
    explicit WorkerProcess(QObject* parent);
    void readAnswers();
    void takeAnswers(const QByteArray& bytes);
    void readMessages();
    void reportFailure(Failure failure);

    QProcess m_process;
    FrameReader m_reader;
    QByteArray m_messageLine;
    bool m_failed = false;
    bool m_scripted = false;
};

// Makes a worker owned by owner.
using WorkerFactory = std::function<WorkerProcess*(QObject* owner)>;

// Sets up a process to run program as an inspection worker with the memory cap.
void prepareWorkerProcess(QProcess& process, const QString& program);

// Logs a message that a worker produced, with the worker's level, through this process's
// message handler.
void logWorkerMessage(int level, const QString& text);

} // namespace Tessavo::Inspection
