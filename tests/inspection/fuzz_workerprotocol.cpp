// libFuzzer harness for the decoding of worker answers (built only with clang; see
// tests/CMakeLists.txt). The input arrives in pieces of varying size, is cut into frames, and
// every frame body goes through every decoder; whatever decodes must encode to a frame that
// decodes to the same message. Allocations beyond the input's size show up as out-of-memory.
#include "inspection/WorkerProtocol.h"
#include "support/FuzzPromise.h"

#include <cstdint>

using Tessavo::Fuzz::require;

using namespace Tessavo::Inspection;

namespace {

// The body of a frame this side encoded, as the reader hands it on.
QByteArray bodyOf(const QByteArray& frame)
{
    FrameReader reader;
    reader.append(frame);
    const std::optional<Frame> decoded = reader.next();
    require(decoded.has_value() && !reader.broken(), "an encoded frame is read back");
    require(!reader.next().has_value(), "one frame is one frame");
    return decoded->body;
}

// Bytes that are not UTF-8 decode to U+FFFD, which takes three bytes when encoded again: such a
// text may no longer fit its field's limit.
bool grew(const QString& text)
{
    return text.contains(QChar::ReplacementCharacter);
}

void decodeEverything(const QByteArray& body)
{
    for (const MessageType type : {MessageType::Read, MessageType::Recognise}) {
        const auto request = decodePageRequest(type, body);
        if (!request)
            continue;
        const auto again = decodePageRequest(type, bodyOf(encode(*request)));
        require(again || grew(request->language), "page request decodes again");
        require(!again || (again->jobId == request->jobId && again->fileId == request->fileId &&
                           again->path == request->path && again->firstPage == request->firstPage &&
                           again->pageCount == request->pageCount &&
                           again->language == request->language),
                "page request round trip");
    }
    if (const auto render = decodeRenderRequest(body)) {
        const auto again = decodeRenderRequest(bodyOf(encode(*render)));
        bool termsGrew = false;
        for (const QString& term : render->terms)
            termsGrew = termsGrew || grew(term);
        require(again || termsGrew, "render request decodes again");
        require(!again || (again->page.jobId == render->page.jobId &&
                           again->page.path == render->page.path &&
                           again->page.firstPage == render->page.firstPage &&
                           again->width == render->width && again->terms == render->terms),
                "render request round trip");
    }
    if (const auto rendered = decodeRendered(body)) {
        require(rendered->image.isNull() ||
                    qint64(rendered->image.width()) * rendered->image.height() <= maxRenderPixels,
                "rendered image within its bounds");
        for (const QRect& rect : rendered->highlights)
            require(rendered->image.rect().contains(rect), "marks lie on the image");
        const auto again = decodeRendered(bodyOf(encode(*rendered)));
        require(again || grew(rendered->errorText), "rendered decodes again");
        require(!again ||
                    (again->image == rendered->image && again->highlights == rendered->highlights &&
                     again->errorText == rendered->errorText),
                "rendered round trip");
    }
    if (const auto job = decodeJobId(body))
        require(decodeJobId(bodyOf(encodeDone(*job))) == job, "job id round trip");
    if (const auto loaded = decodeLoaded(body)) {
        const auto again = decodeLoaded(bodyOf(encode(*loaded)));
        require(again || grew(loaded->errorText) || grew(loaded->title), "loaded decodes again");
        require(!again || (again->jobId == loaded->jobId && again->state == loaded->state &&
                           again->errorText == loaded->errorText && again->pages == loaded->pages &&
                           again->title == loaded->title),
                "loaded round trip");
    }
    if (const auto page = decodePage(body)) {
        const auto again = decodePage(bodyOf(encode(*page)));
        require(again || grew(page->text), "page decodes again");
        require(!again || (again->jobId == page->jobId && again->pageIndex == page->pageIndex &&
                           again->text == page->text),
                "page round trip");
    }
    if (const auto log = decodeLog(body)) {
        const auto again = decodeLog(bodyOf(encode(*log)));
        require(again || grew(log->text), "log decodes again");
        require(!again || (again->level == log->level && again->text == log->text),
                "log round trip");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const char* bytes = reinterpret_cast<const char*>(data);
    // The first byte chooses the size of the pieces the stream arrives in.
    const qsizetype piece = qsizetype(data[0] % 64) + 1;
    const QByteArray stream = QByteArray::fromRawData(bytes + 1, qsizetype(size - 1));

    decodeEverything(stream);

    FrameReader reader;
    for (qsizetype offset = 0; offset < stream.size(); offset += piece) {
        reader.append(stream.mid(offset, piece));
        while (const std::optional<Frame> frame = reader.next())
            decodeEverything(frame->body);
    }
    if (reader.broken())
        require(!reader.next().has_value(), "a broken reader stays broken");
    return 0;
}
