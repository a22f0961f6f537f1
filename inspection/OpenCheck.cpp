#include "inspection/OpenCheck.h"

#include "inspection/PdfInspection.h"
#include "inspection/WorkerProcess.h"
#include "inspection/WorkerProtocol.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>

namespace Tessavo::Inspection {

namespace {

constexpr int startTimeoutMs = 30000;

} // namespace

Status checkOpensInWorker(const QString& path, const QString& program)
{
    QProcess process;
    prepareWorkerProcess(process,
                         program.isEmpty() ? QCoreApplication::applicationFilePath() : program);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QIODevice::ReadWrite);
    if (!process.waitForStarted(startTimeoutMs))
        return Status::failure(QStringLiteral("PDF engine could not be started"));
    process.write(encode(ReadRequest{1, 1, QFile::encodeName(path), 0, 0}));

    Status verdict = Status::failure(QStringLiteral("timed out while opening the PDF"));
    FrameReader reader;
    QDeadlineTimer deadline(startTimeoutMs + pdfOpenTimeoutMs);
    bool answered = false;
    while (!answered && !deadline.hasExpired()) {
        if (!process.waitForReadyRead(int(std::clamp<qint64>(deadline.remainingTime(), 1, 1000)))) {
            if (process.state() != QProcess::Running) {
                verdict.error = QStringLiteral("PDF engine stopped while reading this file");
                break;
            }
            continue;
        }
        reader.append(process.readAllStandardOutput());
        while (const std::optional<Frame> frame = reader.next()) {
            if (frame->type == MessageType::Log) {
                if (const auto message = decodeLog(frame->body))
                    logWorkerMessage(message->level, message->text);
            } else if (frame->type == MessageType::Loading) {
                deadline = QDeadlineTimer(pdfOpenTimeoutMs);
            } else if (frame->type == MessageType::Loaded) {
                const auto loaded = decodeLoaded(frame->body);
                if (!loaded)
                    verdict.error = QStringLiteral("PDF engine stopped while reading this file");
                else if (!loaded->errorText.isEmpty())
                    verdict.error = loaded->errorText;
                else if (loaded->pages < 1)
                    verdict.error = QStringLiteral("PDF contains no pages");
                else
                    verdict = Status::success();
                answered = true;
                break;
            }
        }
        if (reader.broken()) {
            verdict = Status::failure(QStringLiteral("PDF engine stopped while reading this file"));
            break;
        }
    }
    process.kill();
    process.waitForFinished(1000);
    return verdict;
}

} // namespace Tessavo::Inspection
