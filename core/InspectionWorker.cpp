#include "core/InspectionWorker.h"

#include "core/PdfInspection.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QFile>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace Tessavo {

namespace {

constexpr quint32 maxRequestBytes = 1 << 20;

bool readExactly(int fd, char* data, size_t size)
{
    while (size > 0) {
        const ssize_t got = ::read(fd, data, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= size_t(got);
    }
    return true;
}

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

} // namespace

QByteArray encodeInspection(const DocumentRecord& r)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << r.sourcePath << r.fileName << r.sizeBytes << r.sha256 << qint32(r.pages)
        << qint32(r.textPages) << r.textChars << r.title << qint32(r.state) << r.errorText
        << qint32(r.pageTexts.size());
    for (const PageText& page : r.pageTexts)
        out << qint32(page.pageIndex) << qint32(page.charCount) << page.text;
    return bytes;
}

bool decodeInspection(const QByteArray& bytes, DocumentRecord* record)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    DocumentRecord r;
    qint32 pages = 0, textPages = 0, state = 0, pageCount = 0;
    in >> r.sourcePath >> r.fileName >> r.sizeBytes >> r.sha256 >> pages >> textPages >>
        r.textChars >> r.title >> state >> r.errorText >> pageCount;
    if (in.status() != QDataStream::Ok || pages < 0 || textPages < 0 || textPages > pages ||
        pageCount < 0 || pageCount > pages || r.sizeBytes < 0 || r.textChars < 0)
        return false;
    r.pages = pages;
    r.textPages = textPages;
    r.state = state;
    r.pageTexts.reserve(pageCount);
    for (qint32 i = 0; i < pageCount; ++i) {
        qint32 index = 0, chars = 0;
        QString text;
        in >> index >> chars >> text;
        if (in.status() != QDataStream::Ok)
            return false;
        r.pageTexts.append({index, chars, text});
    }
    if (!in.atEnd())
        return false;
    *record = std::move(r);
    return true;
}

bool isInspectionWorkerInvocation(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], inspectionWorkerOption) == 0)
            return true;
    }
    return false;
}

int runInspectionWorker(int argc, char** argv)
{
    // Answers go to a private copy of standard output; anything else written there by libraries
    // lands on standard error instead of corrupting the stream.
    const int answers = ::dup(STDOUT_FILENO);
    if (answers < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return 2;

    QCoreApplication application(argc, argv);
    for (;;) {
        quint32 length = 0;
        if (!readExactly(STDIN_FILENO, reinterpret_cast<char*>(&length), sizeof length))
            return 0; // the application closed the channel
        length = qFromBigEndian(length);
        if (length > maxRequestBytes)
            return 2;
        QByteArray path(qsizetype(length), Qt::Uninitialized);
        if (!readExactly(STDIN_FILENO, path.data(), size_t(path.size())))
            return 0;

        const QByteArray answer = encodeInspection(inspectPdf(QFile::decodeName(path)));
        const quint64 answerLength = qToBigEndian(quint64(answer.size()));
        if (!writeAll(answers, reinterpret_cast<const char*>(&answerLength), sizeof answerLength) ||
            !writeAll(answers, answer.constData(), size_t(answer.size())))
            return 0;
    }
}

} // namespace Tessavo
