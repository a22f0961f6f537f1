#pragma once

#include <QObject>

class QSocketNotifier;

namespace Tessavo::App {

// Turns SIGINT and SIGTERM into a Qt signal on the thread that made the object: the handler only
// writes the signal's number to a pipe, which the event loop reads. While the object lives, the
// two signals no longer end the process by themselves; its destructor restores their default
// handling. One instance at a time.
class StopSignals : public QObject {
    Q_OBJECT

public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

    // False when the pipe or the handlers could not be set up; the signals then keep their default
    // handling.
    bool active() const { return m_notifier != nullptr; }

signals:
    // SIGINT or SIGTERM arrived; number is the signal's number.
    void stopRequested(int number);

private:
    void onReadable();

    QSocketNotifier* m_notifier = nullptr;
};

// The exit status a shell reports for a process that a signal ended: 128 + the signal's number.
int exitCodeForSignal(int number);

} // namespace Tessavo::App
