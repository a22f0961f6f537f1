#include "inspection/InspectionWorker.h"

#include "inspection/PagePreview.h"
#include "inspection/PageRecognition.h"
#include "inspection/ParentWatch.h"
#include "inspection/PdfInspection.h"
#include "inspection/WorkerProtocol.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace Tessavo::Inspection {

namespace {

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= size_t(put);
    }
    return true;
}

// Where answers go: a private copy of the original standard output.
int answerChannel = -1;
std::mutex answerMutex;

bool send(const QByteArray& frame)
{
    const std::lock_guard lock(answerMutex);
    return writeAll(answerChannel, frame.constData(), size_t(frame.size()));
}

void forwardMessage(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    send(encode(LogMessage{qint32(type), text.left(16 * 1024)}));
}

// The requests arrive on standard input; the worker has nothing else to do while it waits.
class RequestChannel {
public:
    // The next frame; none once the application has closed the channel or sent what no
    // application sends.
    std::optional<Frame> next()
    {
        for (;;) {
            if (std::optional<Frame> frame = m_reader.next())
                return frame;
            if (m_reader.broken())
                return std::nullopt;
            char buffer[64 * 1024];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return std::nullopt;
            m_reader.append(QByteArray(buffer, qsizetype(got)));
        }
    }

private:
    FrameReader m_reader;
};

// A descriptor of the file, held open while the engine reads it through /proc/self/fd: a name
// that is not valid UTF-8 has no QString that opens it.
struct RawHandle {
    int fd = -1;
    ~RawHandle()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// The file a worker has open, kept for the next range of its pages.
struct OpenFile {
    quint64 fileId = 0;
    RawHandle handle; // declared before the engine, so that it is closed after it
    QString path;
    OpenedPdf pdf;
    LoadedMessage outcome;
};

} // namespace

bool isWorkerInvocation(int argc, char** argv)
{
    return argc >= 2 && std::strcmp(argv[1], workerOption) == 0;
}

int runWorker(int argc, char** argv, const WorkerHooks& hooks)
{
    endWithParent();
    // Anything that libraries write to standard output lands on standard error instead of
    // corrupting the answers.
    answerChannel = ::dup(STDOUT_FILENO);
    if (answerChannel < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return 2;
    qInstallMessageHandler(forwardMessage);
    QCoreApplication application(argc, argv);

    std::unique_ptr<OpenFile> open;
    std::unique_ptr<PageRecogniser> recogniser; // made for the first Recognise request
    RequestChannel requests;
    for (;;) {
        const std::optional<Frame> frame = requests.next();
        if (!frame)
            return 0; // the application closed the channel, or is not speaking our protocol
        std::optional<PageRequest> request;
        std::optional<RenderRequest> render;
        if (frame->type == MessageType::Render) {
            render = decodeRenderRequest(frame->body);
            if (render)
                request = render->page;
        } else {
            request = decodePageRequest(frame->type, frame->body);
        }
        if (!request)
            return 2;
        const bool recognise = request->recognise();

        if (!open || open->fileId != request->fileId) {
            open.reset();
            if (!send(encodeLoading(request->jobId)))
                return 0;
            const QString path = QFile::decodeName(request->path);
            if (hooks.beforeOpen)
                hooks.beforeOpen(path);
            open = std::make_unique<OpenFile>();
            open->fileId = request->fileId;
            open->path = path;
            QString enginePath = path;
            if (QFile::encodeName(path) != request->path && !request->path.contains('\0')) {
                open->handle.fd = ::open(request->path.constData(), O_RDONLY | O_CLOEXEC);
                if (open->handle.fd >= 0)
                    enginePath = QStringLiteral("/proc/self/fd/%1").arg(open->handle.fd);
            }
            DocumentRecord record;
            // On the wire an empty error text means the document opened: a failure always says why.
            // A page tree that contains itself: the application gives the engine a short limit.
            bool told = true;
            const auto onLoop = [&told, jobId = request->jobId] {
                told = send(encodeLoopFound(jobId));
            };
            if (!open->pdf.open(enginePath, record, onLoop) && record.errorText.isEmpty())
                record.errorText = QStringLiteral("the PDF engine could not open it");
            if (!told)
                return 0;
            open->outcome = {0, record.state, record.errorText.left(1024), record.pages,
                             record.title.left(maxTitleChars)};
        }
        LoadedMessage loaded = open->outcome;
        loaded.jobId = request->jobId;
        if (!send(encode(loaded)))
            return 0;
        if (loaded.errorText.isEmpty()) {
            const qint64 end =
                std::min<qint64>(qint64(request->firstPage) + request->pageCount, loaded.pages);
            for (qint64 page = request->firstPage; page < end; ++page) {
                QByteArray answer;
                if (render) {
                    if (hooks.beforeRender)
                        hooks.beforeRender(open->path, int(page));
                    RenderedMessage rendered =
                        renderPreview(open->pdf, int(page), render->width, render->terms);
                    rendered.jobId = request->jobId;
                    answer = encode(rendered);
                } else if (recognise) {
                    if (hooks.beforeRecognise)
                        hooks.beforeRecognise(open->path, int(page));
                    if (!recogniser)
                        recogniser = std::make_unique<PageRecogniser>();
                    const PageRecogniser::Result result =
                        recogniser->recognise(open->pdf, int(page), request->language);
                    answer = encode(RecognisedMessage{request->jobId, qint32(page), result.text,
                                                      result.error.left(1024)});
                } else {
                    const QString text = open->pdf.pageText(int(page));
                    answer =
                        encode(PageMessage{request->jobId, qint32(page), text.left(maxPageChars)});
                }
                if (!send(answer))
                    return 0;
            }
        }
        if (!send(encodeDone(request->jobId)))
            return 0;
    }
}

} // namespace Tessavo::Inspection
