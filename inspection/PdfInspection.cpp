#include "inspection/PdfInspection.h"

#include "inspection/FailureTexts.h"

#include <QFile>
#include <QFileInfo>
#include <QPdfDocument>
#include <QPdfSelection>

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>

#define POINTERHOLDER_TRANSITION 4 // qpdf: use std::shared_ptr, no transition warnings
#include <qpdf/QPDF.hh>

#include <algorithm>
#include <array>
#include <set>
#include <string_view>
#include <vector>

namespace Tessavo {

namespace {

void markUnreadable(DocumentRecord& record, const QString& why)
{
    record.state = Unreadable;
    record.errorText = why;
}

void markEncrypted(DocumentRecord& record)
{
    record.state = Encrypted;
    record.errorText = QStringLiteral("PDF is password protected");
}

void applyPdfError(QPdfDocument::Error error, DocumentRecord& record)
{
    switch (error) {
    case QPdfDocument::Error::None:
        markUnreadable(record, QStringLiteral("PDF could not be loaded"));
        break;
    case QPdfDocument::Error::DataNotYetAvailable:
        markUnreadable(record, QStringLiteral("document data is not available"));
        break;
    case QPdfDocument::Error::FileNotFound:
        markUnreadable(record, QStringLiteral("file not found"));
        break;
    case QPdfDocument::Error::InvalidFileFormat:
        markUnreadable(record, QStringLiteral("not a valid PDF"));
        break;
    case QPdfDocument::Error::IncorrectPassword:
    case QPdfDocument::Error::UnsupportedSecurityScheme:
        markEncrypted(record);
        break;
    case QPdfDocument::Error::Unknown:
    default:
        markUnreadable(record, QStringLiteral("unknown PDF error"));
        break;
    }
}

// Whether a page tree contains itself (or lists a node twice), which can make the PDF engine walk
// it for ever, though the engine repairs many such trees. libqpdf finds that in milliseconds for
// an ordinary document, without reading any page's content. Each node costs qpdf a parse and a few
// system calls (some 50 µs), which for a volume of a quarter of a million pages would take longer
// than the engine needs to open it; so the walk stops after checkedNodes nodes and leaves the rest
// to the engine, which the opening limit bounds anyway. Anything else qpdf dislikes is left to the
// engine, which repairs more than qpdf accepts.
bool pageTreeLoops(const QString& path)
{
    constexpr size_t checkedNodes = 20000;
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.setAttemptRecovery(true);
        pdf.processFile(QFile::encodeName(path).constData());
        std::set<QPDFObjGen> seen;
        std::vector<QPDFObjectHandle> pending{pdf.getRoot().getKey("/Pages")};
        for (size_t visited = 0; !pending.empty() && visited < checkedNodes; ++visited) {
            QPDFObjectHandle node = pending.back();
            pending.pop_back();
            if (node.isIndirect() && !seen.insert(node.getObjGen()).second)
                return true;
            if (!node.isDictionary())
                continue;
            QPDFObjectHandle kids = node.getKey("/Kids");
            if (!kids.isArray())
                continue;
            for (int i = kids.getArrayNItems() - 1; i >= 0; --i)
                pending.push_back(kids.getArrayItem(i));
        }
    } catch (const std::exception&) {
        // Damaged, encrypted or unusual: the engine decides.
    }
    return false;
}

} // namespace

// Two engines read each file. The one behind Qt PDF decides whether and how the file opens, and
// draws and searches its pages. The text of a page comes from poppler when it opened the file
// too: the Qt PDF engine loads each page's resources afresh for every page it is asked for, which
// made it spend five times what poppler does on pages of a few words. A file or page poppler
// cannot read, or where it finds no text, is read by the first engine, which also keeps the white
// space of a page that holds nothing else.
struct OpenedPdf::Engine {
    QPdfDocument document;
    std::unique_ptr<poppler::document> text;
};

namespace {

// poppler gives a ligature glyph as its one character (U+FB01 for "fi"), which no term typed by a
// user matches; Qt PDF's engine spells them out, and so does this.
QString withLigaturesSpelledOut(const char16_t* text, qsizetype size)
{
    static constexpr std::array<std::u16string_view, 7> spelled = {u"ff",  u"fi", u"fl", u"ffi",
                                                                   u"ffl", u"st", u"st"};
    const auto isLigature = [](char16_t c) {
        return c >= 0xFB00 && c <= 0xFB06;
    };
    if (std::none_of(text, text + size, isLigature))
        return QString(reinterpret_cast<const QChar*>(text), size);
    QString out;
    out.reserve(size + 16);
    for (qsizetype i = 0; i < size; ++i) {
        if (isLigature(text[i])) {
            const std::u16string_view letters = spelled[text[i] - 0xFB00];
            out.append(reinterpret_cast<const QChar*>(letters.data()), qsizetype(letters.size()));
        } else {
            out.append(QChar(text[i]));
        }
    }
    return out;
}

// poppler reports damage it repairs on the standard error stream; the engine's verdict on the
// file is what counts here.
void quietPoppler(const std::string&, void*) {}

std::unique_ptr<poppler::document> openForText(const QString& path, int pages)
{
    static const bool quiet = [] {
        poppler::set_debug_error_function(quietPoppler, nullptr);
        return true;
    }();
    Q_UNUSED(quiet);
    std::unique_ptr<poppler::document> document(
        poppler::document::load_from_file(QFile::encodeName(path).toStdString()));
    if (!document || document->is_locked() || document->pages() != pages)
        return nullptr;
    return document;
}

bool onOneLine(const QRectF& a, const QRectF& b)
{
    return std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top()) >
           std::min(a.height(), b.height()) / 2;
}

// The engines may give a rectangle per character: those on one line become one.
void addToLines(QList<QRectF>& lines, const QRectF& rect)
{
    if (!rect.isValid())
        return;
    if (!lines.isEmpty() && onOneLine(rect, lines.last()))
        lines.last() = lines.last().united(rect);
    else
        lines.append(rect);
}

void appendWithin(QList<QRectF>& found, const QList<QRectF>& lines, int limit)
{
    for (const QRectF& line : lines) {
        if (found.size() >= limit)
            return;
        found.append(line);
    }
}

QRectF rectfAsQt(const poppler::rectf& r)
{
    return QRectF(r.x(), r.y(), r.width(), r.height());
}

// A page's words as one text, each character tied to the box of the glyph it came from, so that
// an occurrence found in the text names what to mark. Words are read once per page, however many
// terms and occurrences there are.
struct PageGlyphs {
    QString text;              // the words, one space between two unless they touch on a line
    std::vector<QRectF> boxes; // per character of text; an empty box for a space
};

PageGlyphs glyphsOf(poppler::page& page)
{
    PageGlyphs glyphs;
    const std::vector<poppler::text_box> words = page.text_list();
    for (size_t w = 0; w < words.size(); ++w) {
        const poppler::text_box& word = words[w];
        const poppler::ustring letters = word.text();
        const QRectF wordBox = rectfAsQt(word.bbox());
        for (size_t i = 0; i < letters.size(); ++i) {
            QRectF box = rectfAsQt(word.char_bbox(i));
            if (!box.isValid())
                box = wordBox;
            const QString spelled =
                withLigaturesSpelledOut(reinterpret_cast<const char16_t*>(&letters[i]), 1);
            for (const QChar c : spelled) {
                glyphs.text.append(c);
                glyphs.boxes.push_back(box);
            }
        }
        const bool touchesNext = !word.has_space_after() && w + 1 < words.size() &&
                                 onOneLine(wordBox, rectfAsQt(words[w + 1].bbox()));
        if (!touchesNext) {
            glyphs.text.append(QLatin1Char(' '));
            glyphs.boxes.emplace_back();
        }
    }
    return glyphs;
}

void markOccurrences(const PageGlyphs& glyphs, const QString& term, int limit, QList<QRectF>& found)
{
    if (term.isEmpty())
        return;
    for (qsizetype at = glyphs.text.indexOf(term, 0, Qt::CaseInsensitive);
         at >= 0 && found.size() < limit;
         at = glyphs.text.indexOf(term, at + term.size(), Qt::CaseInsensitive)) {
        QList<QRectF> lines;
        for (qsizetype i = at; i < at + term.size(); ++i)
            addToLines(lines, glyphs.boxes[size_t(i)]);
        appendWithin(found, lines, limit);
    }
}

} // namespace

OpenedPdf::OpenedPdf()
    : m_engine(std::make_unique<Engine>())
{}

OpenedPdf::~OpenedPdf() = default;

bool OpenedPdf::open(const QString& path, DocumentRecord& record,
                     const std::function<void()>& onLoop)
{
    QPdfDocument& document = m_engine->document;
    document.close();
    m_engine->text.reset();
    const bool loops = pageTreeLoops(path);
    if (loops && !onLoop) {
        markUnreadable(record, QStringLiteral("PDF page tree refers to itself"));
        return false;
    }
    if (loops)
        onLoop();
    if (!openWithEngine(path, record)) {
        if (loops)
            markUnreadable(record, QStringLiteral("PDF page tree refers to itself"));
        return false;
    }
    return true;
}

bool OpenedPdf::openWithEngine(const QString& path, DocumentRecord& record)
{
    QPdfDocument& document = m_engine->document;
    bool passwordRequested = false;
    QObject guard;
    QObject::connect(&document, &QPdfDocument::passwordRequired, &guard,
                     [&passwordRequested] { passwordRequested = true; });
    const QPdfDocument::Error loadError = document.load(path);
    if (loadError != QPdfDocument::Error::None) {
        applyPdfError(loadError, record);
        return false;
    }
    if (passwordRequested) {
        markEncrypted(record);
        return false;
    }
    switch (document.status()) {
    case QPdfDocument::Status::Ready:
        break;
    case QPdfDocument::Status::Error:
        applyPdfError(document.error(), record);
        return false;
    default: // a local file settles inside load(); anything else did not open
        applyPdfError(QPdfDocument::Error::None, record);
        return false;
    }
    record.pages = std::max(0, document.pageCount());
    if (record.pages == 0) {
        markUnreadable(record, Inspection::FailureText::noPages());
        return false;
    }
    record.title = document.metaData(QPdfDocument::MetaDataField::Title).toString();
    record.state = Ready;
    record.errorText.clear();
    m_engine->text = openForText(path, record.pages);
    return true;
}

QString OpenedPdf::pageText(int index) const
{
    if (m_engine->text) {
        const std::unique_ptr<poppler::page> page(m_engine->text->create_page(index));
        if (page) {
            const poppler::ustring text =
                page->text(poppler::rectf(), poppler::page::non_raw_non_physical_layout);
            // poppler ends every page with a form feed, after the last line's line end: neither
            // is the page's text.
            qsizetype size = qsizetype(text.size());
            if (size > 0 && text[size - 1] == u'\f')
                --size;
            if (size > 0 && text[size - 1] == u'\n')
                --size;
            if (size > 0)
                return withLigaturesSpelledOut(reinterpret_cast<const char16_t*>(text.data()),
                                               size);
        }
    }
    return m_engine->document.getAllText(index).text();
}

QSizeF OpenedPdf::pageSize(int index) const
{
    return m_engine->document.pagePointSize(index);
}

QImage OpenedPdf::renderPage(int index, QSize pixels) const
{
    return m_engine->document.render(index, pixels);
}

QList<QRectF> OpenedPdf::termBounds(int index, const QStringList& terms, int limit) const
{
    QList<QRectF> found;
    if (m_engine->text) {
        const std::unique_ptr<poppler::page> page(m_engine->text->create_page(index));
        if (page) {
            const PageGlyphs glyphs = glyphsOf(*page);
            for (const QString& term : terms)
                markOccurrences(glyphs, term.simplified(), limit, found);
            return found;
        }
    }
    // Without poppler, the engine is asked for each occurrence's place: a page's text once per
    // term, the selection once per occurrence.
    QPdfDocument& document = m_engine->document;
    for (const QString& term : terms) {
        const QString wanted = term.simplified();
        if (wanted.isEmpty())
            continue;
        // The page's text counts its characters as the engine does, line breaks included, so an
        // offset into it names the same characters to the engine.
        const QString text = document.getAllText(index).text();
        for (qsizetype at = text.indexOf(wanted, 0, Qt::CaseInsensitive);
             at >= 0 && found.size() < limit;
             at = text.indexOf(wanted, at + wanted.size(), Qt::CaseInsensitive)) {
            const QPdfSelection selection =
                document.getSelectionAtIndex(index, int(at), int(wanted.size()));
            QList<QRectF> lines;
            for (const QPolygonF& polygon : selection.bounds())
                addToLines(lines, polygon.boundingRect());
            appendWithin(found, lines, limit);
        }
    }
    return found;
}

DocumentRecord inspectPdf(const QString& path)
{
    DocumentRecord record;
    record.sourcePath = path;
    const QFileInfo info(path);
    record.fileName = info.fileName();
    if (!info.exists() || !info.isFile()) {
        markUnreadable(record, QStringLiteral("file not found"));
        return record;
    }
    record.sizeBytes = info.size();

    FileDigest digest = sha256OfFile(path);
    if (!digest.ok) {
        markUnreadable(record, digest.error);
        return record;
    }
    record.sha256 = std::move(digest.sha256);

    OpenedPdf pdf;
    if (!pdf.open(path, record))
        return record;
    record.pageTexts.reserve(record.pages);
    for (int i = 0; i < record.pages; ++i) {
        const QString text = pdf.pageText(i);
        record.pageTexts.append({i, int(text.size()), text});
    }
    settleTextState(record);
    return record;
}

} // namespace Tessavo
