#include "inspection/PdfInspection.h"

#include "inspection/FailureTexts.h"

#include <QFile>
#include <QFileInfo>
#include <QPdfDocument>
#include <QPdfSelection>

#define POINTERHOLDER_TRANSITION 4 // qpdf: use std::shared_ptr, no transition warnings
#include <qpdf/QPDF.hh>

#include <algorithm>
#include <set>
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

struct OpenedPdf::Engine {
    QPdfDocument document;
};

OpenedPdf::OpenedPdf()
    : m_engine(std::make_unique<Engine>())
{}

OpenedPdf::~OpenedPdf() = default;

bool OpenedPdf::open(const QString& path, DocumentRecord& record,
                     const std::function<void()>& onLoop)
{
    QPdfDocument& document = m_engine->document;
    document.close();
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
    return true;
}

QString OpenedPdf::pageText(int index) const
{
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

QList<QRectF> OpenedPdf::termBounds(int index, const QString& term, int limit) const
{
    QList<QRectF> found;
    if (term.trimmed().isEmpty() || limit <= 0)
        return found;
    QPdfDocument& document = m_engine->document;
    // The page's text counts its characters as the engine does, line breaks included, so an
    // offset into it names the same characters to the engine.
    const QString text = document.getAllText(index).text();
    for (qsizetype at = text.indexOf(term, 0, Qt::CaseInsensitive); at >= 0 && found.size() < limit;
         at = text.indexOf(term, at + term.size(), Qt::CaseInsensitive)) {
        const QPdfSelection selection =
            document.getSelectionAtIndex(index, int(at), int(term.size()));
        // The engine may give a rectangle per character: those on one line become one.
        QList<QRectF> lines;
        for (const QPolygonF& polygon : selection.bounds()) {
            const QRectF rect = polygon.boundingRect();
            if (!rect.isValid())
                continue;
            const bool sameLine =
                !lines.isEmpty() && std::min(rect.bottom(), lines.last().bottom()) -
                                            std::max(rect.top(), lines.last().top()) >
                                        std::min(rect.height(), lines.last().height()) / 2;
            if (sameLine)
                lines.last() = lines.last().united(rect);
            else
                lines.append(rect);
        }
        for (const QRectF& line : std::as_const(lines)) {
            if (found.size() >= limit)
                break;
            found.append(line);
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
