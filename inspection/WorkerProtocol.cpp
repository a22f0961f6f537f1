#include "inspection/WorkerProtocol.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace Tessavo::Inspection {

namespace {

class Writer {
public:
    explicit Writer(MessageType type)
    {
        m_bytes.resize(sizeof(quint32));
        m_bytes.append(char(type));
    }

    Writer& u64(quint64 value) { return raw(qToBigEndian(value)); }
    Writer& i32(qint32 value) { return raw(qToBigEndian(value)); }

    Writer& bytes(const QByteArray& value)
    {
        i32(qint32(value.size()));
        m_bytes.append(value);
        return *this;
    }

    Writer& text(const QString& value) { return bytes(value.toUtf8()); }

    QByteArray frame()
    {
        qToBigEndian(quint32(m_bytes.size() - qsizetype(sizeof(quint32))), m_bytes.data());
        return std::move(m_bytes);
    }

private:
    template <typename T> Writer& raw(T value)
    {
        m_bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
        return *this;
    }

    QByteArray m_bytes;
};

// Reads fields in order; the first field that does not fit marks the reader failed, and every
// later read fails too.
class Reader {
public:
    explicit Reader(const QByteArray& body)
        : m_body(body)
    {}

    bool u64(quint64& value) { return raw(value); }
    bool i32(qint32& value) { return raw(value); }

    bool bytes(QByteArray& value, qsizetype limit)
    {
        qint32 size = 0;
        if (!i32(size) || size < 0 || size > limit || size > remaining())
            return fail();
        value = m_body.mid(m_offset, size);
        m_offset += size;
        return true;
    }

    bool text(QString& value, qsizetype limitChars)
    {
        QByteArray utf8;
        // A UTF-8 text of n characters takes at most 3n bytes (4 for two UTF-16 code units).
        if (!bytes(utf8, limitChars * 3))
            return false;
        value = QString::fromUtf8(utf8);
        return true;
    }

    // True when every field was read and nothing follows them.
    bool complete() const { return m_ok && m_offset == m_body.size(); }

private:
    qsizetype remaining() const { return m_body.size() - m_offset; }

    bool fail()
    {
        m_ok = false;
        m_offset = m_body.size();
        return false;
    }

    template <typename T> bool raw(T& value)
    {
        if (!m_ok || remaining() < qsizetype(sizeof(T)))
            return fail();
        value = qFromBigEndian<T>(m_body.constData() + m_offset);
        m_offset += qsizetype(sizeof(T));
        return true;
    }

    const QByteArray& m_body;
    qsizetype m_offset = 0;
    bool m_ok = true;
};

constexpr qsizetype maxPathBytes = 64 * 1024;
constexpr qsizetype maxErrorChars = 4096;
constexpr qsizetype maxLogChars = 64 * 1024;
constexpr qsizetype maxLanguageChars = 256;

bool knownType(quint8 type)
{
    switch (MessageType(type)) {
    case MessageType::Read:
    case MessageType::Loading:
    case MessageType::Loaded:
    case MessageType::Page:
    case MessageType::Done:
    case MessageType::Log:
    case MessageType::Recognise:
    case MessageType::Recognised:
    case MessageType::LoopFound:
    case MessageType::Render:
    case MessageType::Rendered:
        return true;
    }
    return false;
}

} // namespace

QByteArray encode(const RenderRequest& r)
{
    Writer writer(MessageType::Render);
    writer.u64(r.page.jobId).u64(r.page.fileId).bytes(r.page.path).i32(r.page.firstPage);
    writer.i32(std::min(r.width, qint32(maxRenderWidth)));
    const qsizetype terms = std::min<qsizetype>(r.terms.size(), maxRenderTerms);
    writer.i32(qint32(terms));
    for (qsizetype i = 0; i < terms; ++i)
        writer.text(r.terms.at(i).left(maxRenderTermChars));
    return writer.frame();
}

QByteArray encode(const PageRequest& r)
{
    Writer writer(r.recognise() ? MessageType::Recognise : MessageType::Read);
    writer.u64(r.jobId).u64(r.fileId).bytes(r.path).i32(r.firstPage).i32(r.pageCount);
    if (r.recognise())
        writer.text(r.language);
    return writer.frame();
}

QByteArray encodeLoading(quint64 jobId)
{
    return Writer(MessageType::Loading).u64(jobId).frame();
}

QByteArray encode(const LoadedMessage& m)
{
    return Writer(MessageType::Loaded)
        .u64(m.jobId)
        .i32(m.state)
        .text(m.errorText)
        .i32(m.pages)
        .text(m.title)
        .frame();
}

QByteArray encode(const PageMessage& m)
{
    return Writer(MessageType::Page).u64(m.jobId).i32(m.pageIndex).text(m.text).frame();
}

QByteArray encodeLoopFound(quint64 jobId)
{
    return Writer(MessageType::LoopFound).u64(jobId).frame();
}

QByteArray encodeDone(quint64 jobId)
{
    return Writer(MessageType::Done).u64(jobId).frame();
}

QByteArray encode(const LogMessage& m)
{
    return Writer(MessageType::Log).i32(m.level).text(m.text).frame();
}

std::optional<RenderRequest> decodeRenderRequest(const QByteArray& body)
{
    RenderRequest r;
    Reader in(body);
    in.u64(r.page.jobId);
    in.u64(r.page.fileId);
    in.bytes(r.page.path, maxPathBytes);
    in.i32(r.page.firstPage);
    in.i32(r.width);
    qint32 terms = -1;
    in.i32(terms);
    if (terms < 0 || terms > maxRenderTerms)
        return std::nullopt;
    for (qint32 i = 0; i < terms; ++i) {
        QString term;
        if (!in.text(term, maxRenderTermChars) || term.size() > maxRenderTermChars)
            return std::nullopt;
        r.terms.append(term);
    }
    if (!in.complete() || r.page.firstPage < 0 || r.width <= 0 || r.width > maxRenderWidth)
        return std::nullopt;
    r.page.pageCount = 1;
    return r;
}

std::optional<PageRequest> decodePageRequest(MessageType type, const QByteArray& body)
{
    if (type != MessageType::Read && type != MessageType::Recognise)
        return std::nullopt;
    PageRequest r;
    Reader in(body);
    in.u64(r.jobId);
    in.u64(r.fileId);
    in.bytes(r.path, maxPathBytes);
    in.i32(r.firstPage);
    in.i32(r.pageCount);
    if (type == MessageType::Recognise) {
        in.text(r.language, maxLanguageChars);
        if (r.language.isEmpty() || r.language.size() > maxLanguageChars)
            return std::nullopt;
    }
    if (!in.complete() || r.firstPage < 0 || r.pageCount < 0)
        return std::nullopt;
    return r;
}

std::optional<quint64> decodeJobId(const QByteArray& body)
{
    quint64 jobId = 0;
    Reader in(body);
    in.u64(jobId);
    if (!in.complete())
        return std::nullopt;
    return jobId;
}

std::optional<LoadedMessage> decodeLoaded(const QByteArray& body)
{
    LoadedMessage m;
    Reader in(body);
    in.u64(m.jobId);
    in.i32(m.state);
    in.text(m.errorText, maxErrorChars);
    in.i32(m.pages);
    in.text(m.title, maxTitleChars);
    if (!in.complete() || m.pages < 0 || m.state < 0 || m.state > 3 ||
        m.title.size() > maxTitleChars)
        return std::nullopt;
    return m;
}

std::optional<PageMessage> decodePage(const QByteArray& body)
{
    PageMessage m;
    Reader in(body);
    in.u64(m.jobId);
    in.i32(m.pageIndex);
    in.text(m.text, maxPageChars);
    if (!in.complete() || m.pageIndex < 0 || m.text.size() > maxPageChars)
        return std::nullopt;
    return m;
}

std::optional<LogMessage> decodeLog(const QByteArray& body)
{
    LogMessage m;
    Reader in(body);
    in.i32(m.level);
    in.text(m.text, maxLogChars);
    if (!in.complete())
        return std::nullopt;
    return m;
}

QByteArray encode(const RecognisedMessage& m)
{
    return Writer(MessageType::Recognised)
        .u64(m.jobId)
        .i32(m.pageIndex)
        .text(m.text)
        .text(m.errorText)
        .frame();
}

std::optional<RecognisedMessage> decodeRecognised(const QByteArray& body)
{
    RecognisedMessage m;
    Reader in(body);
    in.u64(m.jobId);
    in.i32(m.pageIndex);
    in.text(m.text, maxPageChars);
    in.text(m.errorText, maxErrorChars);
    if (!in.complete() || m.pageIndex < 0 || m.text.size() > maxPageChars ||
        m.errorText.size() > maxErrorChars)
        return std::nullopt;
    return m;
}

QByteArray encode(const RenderedMessage& m)
{
    Writer writer(MessageType::Rendered);
    writer.u64(m.jobId).i32(m.pageIndex);
    const QImage image =
        m.image.isNull() ? QImage() : m.image.convertToFormat(QImage::Format_RGB32);
    const qint64 pixels = qint64(image.width()) * image.height();
    if (image.isNull() || image.width() > maxRenderWidth || image.height() > maxRenderHeight ||
        pixels > maxRenderPixels) {
        writer.i32(0).i32(0).bytes({});
    } else {
        // Rows packed without padding: exactly width × height × 4 bytes.
        QByteArray pixelBytes;
        const qsizetype rowBytes = qsizetype(image.width()) * 4;
        pixelBytes.reserve(rowBytes * image.height());
        for (int y = 0; y < image.height(); ++y)
            pixelBytes.append(reinterpret_cast<const char*>(image.constScanLine(y)), rowBytes);
        writer.i32(image.width()).i32(image.height()).bytes(pixelBytes);
    }
    const qsizetype count = std::min<qsizetype>(m.highlights.size(), maxHighlights);
    writer.i32(qint32(count));
    for (qsizetype i = 0; i < count; ++i) {
        const QRect& r = m.highlights.at(i);
        writer.i32(r.x()).i32(r.y()).i32(r.width()).i32(r.height());
    }
    return writer.text(m.errorText.left(maxErrorChars)).frame();
}

std::optional<RenderedMessage> decodeRendered(const QByteArray& body)
{
    RenderedMessage m;
    Reader in(body);
    in.u64(m.jobId);
    in.i32(m.pageIndex);
    qint32 width = -1;
    qint32 height = -1;
    in.i32(width);
    in.i32(height);
    if (width < 0 || height < 0 || width > maxRenderWidth || height > maxRenderHeight ||
        qint64(width) * height > maxRenderPixels || (width == 0) != (height == 0))
        return std::nullopt;
    const qsizetype expected = qsizetype(width) * height * 4;
    QByteArray pixels;
    if (!in.bytes(pixels, expected) || pixels.size() != expected)
        return std::nullopt;
    if (width > 0) {
        m.image = QImage(width, height, QImage::Format_RGB32);
        if (m.image.isNull())
            return std::nullopt;
        const qsizetype rowBytes = qsizetype(width) * 4;
        for (int y = 0; y < height; ++y)
            std::memcpy(m.image.scanLine(y), pixels.constData() + rowBytes * y, size_t(rowBytes));
    }
    qint32 count = -1;
    in.i32(count);
    if (count < 0 || count > maxHighlights)
        return std::nullopt;
    for (qint32 i = 0; i < count; ++i) {
        qint32 x = 0, y = 0, w = 0, h = 0;
        in.i32(x);
        in.i32(y);
        in.i32(w);
        in.i32(h);
        // Each side within the image, so no sum below can overflow.
        if (x < 0 || y < 0 || w <= 0 || h <= 0 || x > width || y > height || w > width - x ||
            h > height - y)
            return std::nullopt;
        m.highlights.append(QRect(x, y, w, h));
    }
    in.text(m.errorText, maxErrorChars);
    if (!in.complete() || m.pageIndex < 0 || m.errorText.size() > maxErrorChars)
        return std::nullopt;
    return m;
}

void FrameReader::append(const QByteArray& bytes)
{
    if (m_broken)
        return;
    if (m_offset > 0 && m_offset == m_buffer.size()) {
        m_buffer.clear();
        m_offset = 0;
    }
    m_buffer.append(bytes);
}

std::optional<Frame> FrameReader::next()
{
    if (m_broken)
        return std::nullopt;
    const qsizetype available = m_buffer.size() - m_offset;
    if (available <= qsizetype(sizeof(quint32))) // the length and the type byte come first
        return std::nullopt;
    const quint32 length = qFromBigEndian<quint32>(m_buffer.constData() + m_offset);
    if (length == 0 || length > maxFrameBytes ||
        !knownType(quint8(m_buffer.at(m_offset + qsizetype(sizeof(quint32)))))) {
        m_broken = true;
        m_buffer.clear();
        m_offset = 0;
        return std::nullopt;
    }
    if (available - qsizetype(sizeof(quint32)) < qsizetype(length))
        return std::nullopt;
    const qsizetype start = m_offset + qsizetype(sizeof(quint32));
    Frame frame{MessageType(quint8(m_buffer.at(start))),
                m_buffer.mid(start + 1, qsizetype(length) - 1)};
    m_offset = start + qsizetype(length);
    // Drop what has been consumed once it dominates the buffer, so a long stream stays small.
    if (m_offset > (1 << 20) && m_offset * 2 > m_buffer.size()) {
        m_buffer.remove(0, m_offset);
        m_offset = 0;
    }
    return frame;
}

} // namespace Tessavo::Inspection
