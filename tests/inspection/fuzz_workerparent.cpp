// libFuzzer harness for the application's side of the worker protocol (built only with clang;
// see tests/CMakeLists.txt). An import session inspects one real file while its only worker is
// played by the input: after the first request the input arrives in pieces of varying size, then
// the worker ends. Whatever the worker says, the session hands out exactly one record, and that
// record describes the file as this process saw it: its own size and SHA-256, a known state, and
// pages that the file could hold, each text where its index says.
#include "inspection/ImportSession.h"
#include "inspection/WorkerPool.h"
#include "inspection/WorkerProcess.h"
#include "support/FuzzPromise.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>

using Tessavo::Fuzz::require;

using namespace Tessavo;
using namespace Tessavo::Inspection;

namespace {

QCoreApplication* application = nullptr;
QTemporaryDir* folder = nullptr;
QString document;
QByteArray documentSha256;
qint64 documentSize = 0;

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// Plays a worker that answers its first request with the script, then ends.
WorkerProcess* scriptedWorker(QObject* owner, const QByteArray& script, qsizetype piece,
                              bool answers)
{
    WorkerProcess* worker = WorkerProcess::scripted(owner);
    auto played = std::make_shared<bool>(false);
    QObject::connect(worker, &WorkerProcess::requestSent, worker, [=] {
        if (std::exchange(*played, true))
            return;
        // The answers arrive after the request, through the event loop, as a process's would.
        QMetaObject::invokeMethod(
            worker,
            [=] {
                for (qsizetype offset = 0; answers && offset < script.size(); offset += piece)
                    worker->receive(script.mid(offset, piece));
                worker->end();
            },
            Qt::QueuedConnection);
    });
    return worker;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    application = new QCoreApplication(*argc, *argv);
    qInstallMessageHandler(quiet);
    folder = new QTemporaryDir;
    document = folder->filePath(QStringLiteral("doc.pdf"));
    QByteArray bytes = "%PDF-1.4\n";
    bytes += QByteArray(4096 - bytes.size(), 'x');
    QFile file(document);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::abort();
    file.close();
    documentSize = bytes.size();
    documentSha256 = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses the size of the pieces the answers arrive in.
    const qsizetype piece = qsizetype(data[0] % 64) + 1;
    const QByteArray script(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));

    WorkerPool::Options poolOptions;
    poolOptions.capacity = 1;
    poolOptions.program = QStringLiteral("/nonexistent/worker");
    int started = 0;
    // Only the first worker plays the script; any later one ends without a word.
    poolOptions.startWorker = [&](QObject* owner) {
        return scriptedWorker(owner, script, piece, started++ == 0);
    };
    ImportSession::Options options;
    options.workers = 1;
    QList<DocumentRecord> records;
    int finished = 0;
    {
        WorkerPool pool(poolOptions);
        options.pool = &pool;
        ImportSession session(options);
        QEventLoop loop;
        QObject::connect(&session, &ImportSession::inspected, &loop,
                         [&](const DocumentRecord& record) { records << record; });
        QObject::connect(&session, &ImportSession::finished, &loop, [&] {
            ++finished;
            loop.quit();
        });
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        session.enqueue(QStringList{document});
        loop.exec();
        require(finished == 1, "the session finishes");
    }

    require(records.size() == 1, "one record per file");
    const DocumentRecord& r = records.constFirst();
    require(r.fileName == QLatin1String("doc.pdf"), "the file's own name");
    require(r.sizeBytes == documentSize, "the size seen here");
    require(r.sha256 == documentSha256, "the SHA-256 computed here");
    if (r.state == Ready || r.state == NeedsOcr) {
        require(r.pages >= 1 && r.pages <= documentSize, "pages the file can hold");
        require(r.pageTexts.size() == r.pages, "one text per page");
        for (qsizetype i = 0; i < r.pageTexts.size(); ++i)
            require(r.pageTexts.at(i).pageIndex == i, "each text where its index says");
    } else {
        require(r.state == Unreadable || r.state == Encrypted, "a known state");
        require(!r.errorText.isEmpty(), "a document that did not open says why");
        require(r.pages == 0 && r.pageTexts.isEmpty(), "no pages of a document that did not open");
    }
    return 0;
}
