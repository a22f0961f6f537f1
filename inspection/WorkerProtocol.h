#pragma once

// The conversation between the application and its inspection workers, included by both sides.
//
// Every message is one frame: a 4-byte big-endian length of what follows, one byte naming the
// message, then its fields: big-endian integers, and byte strings and UTF-8 texts each behind a
// 4-byte big-endian length. The application sends Read requests; for each one the worker answers
// Loading (only when it opens the file anew), LoopFound (only when that file's page tree contains
// itself and the engine is given it all the same), Loaded, one Page per page read, then Done.
// Recognise requests are answered the same way, with one
// Recognised frame per page instead of Page, and Render requests with one Rendered frame for their
// one page. Log frames may come at any time.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace Tessavo::Inspection {

// The option that turns the executable into an inspection worker; recognised only as the first
// argument.
inline constexpr char workerOption[] = "--inspection-worker";

// The longest frame either side accepts. Anything larger means the other side is broken.
inline constexpr quint32 maxFrameBytes = 64u << 20;

// Text longer than this is cut by the worker before it is sent: a document title, one page.
inline constexpr int maxTitleChars = 1024;
inline constexpr int maxPageChars = 8 << 20;

// A rendered page crosses as raw 32-bit pixels: never wider or higher than these, never more
// pixels in all (48 MiB, well under the frame limit). The worker scales a page down to fit.
inline constexpr int maxRenderWidth = 4096;
inline constexpr int maxRenderHeight = 8192;
inline constexpr qint64 maxRenderPixels = qint64(12) << 20;
// At most this many terms are looked for on a rendered page, and this many places marked.
inline constexpr int maxRenderTerms = 64;
inline constexpr int maxRenderTermChars = 256;
inline constexpr int maxHighlights = 1024;

enum class MessageType : quint8 {
    Read = 1,        // application → worker
    Recognise = 2,   // application → worker: recognise the text of rendered pages
    Render = 3,      // application → worker: draw one page as an image for the preview
    Loading = 10,    // worker → application: the engine starts opening the file
    Loaded = 11,     // the outcome of opening it
    Page = 12,       // the text of one page
    Done = 13,       // the request is complete
    Log = 14,        // a message of the worker's own
    Recognised = 15, // the recognised text of one page, or why there is none
    LoopFound = 16,  // worker → application: the page tree contains itself; the engine opens it
                     // anyway, and the application gives it a short limit of its own
    Rendered = 17,   // worker → application: the image of one page and where the terms are on it
};

// Pages [firstPage, firstPage + pageCount) of a file, read from its text layer, or, when a
// language is given, rendered and recognised with that language's data (for example "eng" or
// "eng+deu"). The worker keeps the last file it opened and opens it again only for another fileId.
// On the wire a request is a Read frame, or a Recognise frame that also carries the language.
struct PageRequest {
    quint64 jobId = 0;
    quint64 fileId = 0;
    QByteArray path; // the file name's bytes exactly as the file system has them
    qint32 firstPage = 0;
    qint32 pageCount = 0;
    QString language; // empty: read the text layer

    bool recognise() const { return !language.isEmpty(); }
};

// One page drawn for the preview: page.firstPage of the file (page.pageCount is 1) at a width in
// pixels, with the places where the terms appear (matched regardless of case). On the wire a
// Render frame; the width is cut to maxRenderWidth and the terms to their limits when sent.
struct RenderRequest {
    PageRequest page;
    qint32 width = 0;
    QStringList terms;
};

// One rendered page: an opaque RGB32 image (null when it could not be drawn; errorText says why)
// and the rectangles, in the image's pixels, where the terms were found.
struct RenderedMessage {
    quint64 jobId = 0;
    qint32 pageIndex = 0;
    QImage image;
    QList<QRect> highlights;
    QString errorText;
};

// The outcome of recognising one page: errorText is empty when text holds what was recognised.
struct RecognisedMessage {
    quint64 jobId = 0;
    qint32 pageIndex = 0;
    QString text;
    QString errorText;
};

// How opening went. state is a DocumentState; errorText is empty when the file opened.
struct LoadedMessage {
    quint64 jobId = 0;
    qint32 state = 0;
    QString errorText;
    qint32 pages = 0;
    QString title;
};

struct PageMessage {
    quint64 jobId = 0;
    qint32 pageIndex = 0;
    QString text;
};

struct LogMessage {
    qint32 level = 0; // QtMsgType
    QString text;
};

// A frame as received: its type and the bytes of its fields.
struct Frame {
    MessageType type{};
    QByteArray body;
};

QByteArray encode(const PageRequest& request);
QByteArray encode(const RenderRequest& request);
QByteArray encodeLoading(quint64 jobId);
QByteArray encode(const LoadedMessage& message);
QByteArray encode(const PageMessage& message);
QByteArray encodeLoopFound(quint64 jobId);
QByteArray encodeDone(quint64 jobId);
QByteArray encode(const LogMessage& message);
QByteArray encode(const RecognisedMessage& message);
QByteArray encode(const RenderedMessage& message);

// Each decoder accepts exactly the fields of its message and nothing after them, and checks
// every count against the bytes that follow before it allocates.
// A Read or Recognise frame; a Recognise frame must name a language.
std::optional<PageRequest> decodePageRequest(MessageType type, const QByteArray& body);
// A Render frame: one page, at a width from 1 to maxRenderWidth.
std::optional<RenderRequest> decodeRenderRequest(const QByteArray& body);
std::optional<quint64> decodeJobId(const QByteArray& body); // Loading, LoopFound and Done
std::optional<LoadedMessage> decodeLoaded(const QByteArray& body);
std::optional<PageMessage> decodePage(const QByteArray& body);
std::optional<LogMessage> decodeLog(const QByteArray& body);
std::optional<RecognisedMessage> decodeRecognised(const QByteArray& body);
// Refuses an image outside the bounds above or whose pixels do not fill it exactly, and a
// rectangle that does not lie within the image.
std::optional<RenderedMessage> decodeRendered(const QByteArray& body);

// Cuts a byte stream into frames. A frame longer than maxFrameBytes, or of no known type, makes
// the reader broken for good: the other side cannot be trusted any more.
class FrameReader {
public:
    void append(const QByteArray& bytes);

    // The next complete frame, if one has arrived.
    std::optional<Frame> next();

    bool broken() const { return m_broken; }

private:
    QByteArray m_buffer;
    qsizetype m_offset = 0;
    bool m_broken = false;
};

} // namespace Tessavo::Inspection
