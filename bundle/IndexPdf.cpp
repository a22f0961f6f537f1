#include "bundle/IndexPdf.h"

#include "bundle/PendingFile.h"
#include "core/RawPath.h"
#include "core/Version.h"

#include <QAbstractTextDocumentLayout>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHash>
#include <QMap>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

namespace Tessavo {

namespace {

const QString applicationVersion = QString::fromLatin1(versionText);

// The family each font file registered as, so that a file is added to the font database once
// however many exports use it. The same path always gives the same answer.
QMutex familyMutex;
QHash<QString, QString> familyOfFile; // guarded by familyMutex

constexpr int indexDotsPerInch = 300;

// Rich text takes margins only in pixels, and the layout scales them from 96 pixels per inch to
// its device's resolution: a point is 4/3 of such a pixel.
int px(double points)
{
    return qRound(points * 96.0 / 72.0);
}

// A stretch of the laid-out document that must not be split across pages: a whole paragraph, or
// one line of a paragraph too tall for any page.
struct Slice {
    qreal top = 0;
    qreal bottom = 0;
    bool keepWithNext = false; // a heading stays with what follows it
    // For one line of a split paragraph: the paragraph's layout, the line and where it lies.
    const QTextLayout* layout = nullptr;
    int line = -1;
    QPointF origin;
    // The piece of the index (see IndexPieces) this begins, counted within its document; -1 when
    // it begins none (a later line of a split paragraph, or an untagged block).
    int pieceStart = -1;
};

QList<Slice> slicesOf(const QTextDocument& document, qreal pageHeight)
{
    QList<Slice> slices;
    const QAbstractTextDocumentLayout* layout = document.documentLayout();
    int previousState = -1;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QRectF rect = layout->blockBoundingRect(block);
        // Each piece's block carries its number as the block's user state.
        const int state = block.userState();
        const int pieceStart = state >= 0 && state != previousState ? state : -1;
        previousState = state;
        if (rect.height() <= pageHeight) {
            slices.append({rect.top(), rect.bottom(), block.blockFormat().headingLevel() > 0,
                           nullptr, -1, QPointF(), pieceStart});
            continue;
        }
        const QTextLayout* lines = block.layout();
        for (int i = 0; i < lines->lineCount(); ++i) {
            const QTextLine line = lines->lineAt(i);
            const qreal top = rect.top() + line.y();
            slices.append({top, top + line.height(), false, lines, i, rect.topLeft(),
                           i == 0 ? pieceStart : -1});
        }
    }
    return slices;
}

// Pages as ranges of slices (first, last): every slice lies on exactly one page.
QList<QPair<qsizetype, qsizetype>> paginate(const QList<Slice>& slices, qreal pageHeight)
{
    QList<QPair<qsizetype, qsizetype>> pages;
    qsizetype first = 0;
    for (qsizetype i = 1; i < slices.size(); ++i) {
        if (slices[i].bottom - slices[first].top <= pageHeight)
            continue;
        qsizetype breakAt = i;
        while (breakAt - 1 > first && slices[breakAt - 1].keepWithNext)
            --breakAt;
        pages.append({first, breakAt - 1});
        first = breakAt;
        i = breakAt;
    }
    if (!slices.isEmpty())
        pages.append({first, slices.size() - 1});
    return pages;
}

// Draws the slices of one page, the page's top edge at the painter's origin.
void drawPage(QPainter& painter, const QTextDocument& document, const QList<Slice>& slices,
              qsizetype first, qsizetype last, qreal width)
{
    painter.save();
    painter.translate(0, -slices[first].top);
    // Whole paragraphs through the document's own drawing, which leaves out every paragraph
    // outside the clip. It would also draw the line just above the clip of a split paragraph, so
    // such lines are drawn one by one.
    qreal top = 0;
    qreal bottom = -1;
    for (qsizetype i = first; i <= last; ++i) {
        if (slices[i].layout)
            continue;
        if (bottom < top)
            top = slices[i].top;
        bottom = slices[i].bottom;
    }
    if (bottom >= top) {
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = QRectF(0, top + 0.5, width, bottom - top - 1);
        document.documentLayout()->draw(&painter, context);
    }
    painter.setPen(QColor(0x17, 0x20, 0x33));
    for (qsizetype i = first; i <= last; ++i) {
        if (slices[i].layout)
            slices[i].layout->lineAt(slices[i].line).draw(&painter, slices[i].origin);
    }
    painter.restore();
}

// Passes the PDF writer's output on to the file. The writer stops at a short write without
// saying why; here the rest is tried again, so that a failure carries the system's reason.
class CompleteWrites : public QIODevice {
public:
    explicit CompleteWrites(QFile& file)
        : m_file(file)
    {
        QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

    // The system's reason for the first failed write; empty while every write succeeded.
    QString failure() const { return m_failure; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (!m_failure.isEmpty())
            return -1;
        if (writeAll(m_file, data, size))
            return size;
        m_failure = m_file.errorString();
        return -1;
    }

private:
    QFile& m_file;
    QString m_failure;
};

// True when the file ends with a cross-reference table that the trailer points at, as the PDF
// writer leaves it once everything reached the disk.
bool pdfLooksComplete(QFile& file)
{
    const qint64 size = file.size();
    if (size < 64 || !file.seek(size - 64))
        return false;
    const QByteArray tail = file.read(64);
    const qsizetype start = tail.lastIndexOf("startxref");
    const qsizetype end = tail.lastIndexOf("%%EOF");
    if (start < 0 || end < start)
        return false;
    bool ok = false;
    const qint64 offset = tail.mid(start + 9, end - start - 9).trimmed().toLongLong(&ok);
    if (!ok || offset <= 0 || offset >= size || !file.seek(offset))
        return false;
    const bool found = file.read(4) == "xref";
    return file.seek(size) && found;
}

} // namespace

QStringList indexFallbackFamilies()
{
    // Fonts that cover Chinese, Japanese and Korean names, best first.
    static const QStringList preferred = {
        QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("WenQuanYi Zen Hei"),
        QStringLiteral("Noto Sans CJK SC"),    QStringLiteral("Noto Sans CJK JP"),
        QStringLiteral("Noto Sans CJK KR"),    QStringLiteral("Droid Sans Fallback")};
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : preferred) {
        if (installed.contains(family))
            return {family};
    }
    for (const auto system : {QFontDatabase::SimplifiedChinese, QFontDatabase::Japanese,
                              QFontDatabase::Korean, QFontDatabase::TraditionalChinese}) {
        const QStringList families = QFontDatabase::families(system);
        if (!families.isEmpty())
            return {families.first()};
    }
    return {};
}

FontRegistration registerIndexFont(const QString& fontPath)
{
    if (fontPath.isEmpty())
        return {false, {}, QStringLiteral("no font file named")};
    if (!QFileInfo(fontPath).isFile())
        return {false, {}, QStringLiteral("no font file at %1").arg(fontPath)};
    QMutexLocker lock(&familyMutex);
    auto known = familyOfFile.constFind(fontPath);
    if (known == familyOfFile.cend()) {
        const int id = QFontDatabase::addApplicationFont(fontPath);
        const QStringList families =
            id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
        known = familyOfFile.insert(fontPath, families.isEmpty() ? QString() : families.first());
    }
    if (known->isEmpty())
        return {false, {}, QStringLiteral("%1 holds no font the index can use").arg(fontPath)};
    return {true, *known, {}};
}

FontRegistration registerIndexFonts(const QString& regularFontPath, const QString& boldFontPath)
{
    const FontRegistration regular = registerIndexFont(regularFontPath);
    const FontRegistration bold = registerIndexFont(boldFontPath);
    return regular.ok || !bold.ok ? regular : bold;
}

QString indexFontFamilyFor(const QString& regularFontPath, const QString& boldFontPath)
{
    // Without the files (a test's or a moved build's executable) the system's DejaVu Sans serves
    // by its family name; the fonts are the same.
    const FontRegistration font = registerIndexFonts(regularFontPath, boldFontPath);
    return font.ok ? font.family : QStringLiteral("DejaVu Sans");
}

IndexPieces indexPieces(const QList<DocumentRecord>& records, const QString& subtitle,
                        const QStringList& fontFamilies, const QDateTime& generatedAt)
{
    QMap<QString, QList<const DocumentRecord*>> groups;
    int pageTotal = 0;
    for (const DocumentRecord& r : records) {
        const QString category = displayCategory(r);
        groups[category.isEmpty() ? QStringLiteral("Unclassified") : category].append(&r);
        pageTotal += r.pages;
    }

    QStringList quotedFamilies;
    for (const QString& family : fontFamilies)
        quotedFamilies.append(u'\'' + family.toHtmlEscaped() + u'\'');
    // Margins in pixels: rich text ignores margins given in points.
    const auto margin = [](double top, double bottom) {
        return QStringLiteral("margin:%1px 0 %2px 0;").arg(px(top)).arg(px(bottom));
    };

    IndexPieces index;
    index.open =
        QStringLiteral("<html><body style=\"font-family:%1; font-size:9.5pt; color:#172033;\">")
            .arg(quotedFamilies.join(QStringLiteral(", ")));
    index.close = QStringLiteral("</body></html>");
    QStringList& pieces = index.pieces;
    pieces.reserve(records.size() + 16);
    pieces.append(QStringLiteral("<h1 style=\"font-size:20pt; %1\">").arg(margin(0, 4)) +
                  QStringLiteral("Tessavo — export index</h1>"));
    pieces.append(QStringLiteral("<p style=\"%1\"><b>%2</b></p>")
                      .arg(margin(0, 2), subtitle.toHtmlEscaped()));
    pieces.append(QStringLiteral("<p style=\"%1 color:#5a6474;\">Generated %2 · Tessavo %3</p>")
                      .arg(margin(0, 10),
                           generatedAt.toString(Qt::ISODate).left(19).toHtmlEscaped(),
                           applicationVersion.toHtmlEscaped()));
    pieces.append(QStringLiteral("<p style=\"%1\">%2 documents · %3 pages · %4 categories</p>")
                      .arg(margin(0, 12), QString::number(records.size()),
                           QString::number(pageTotal), QString::number(groups.size())));
    for (auto group = groups.cbegin(); group != groups.cend(); ++group) {
        pieces.append(
            QStringLiteral("<h2 style=\"font-size:13pt; %1 color:#28558e;\">%2 "
                           "<span style=\"color:#8992a3; font-size:10pt;\">(%3)</span></h2>")
                .arg(margin(14, 4), group.key().toHtmlEscaped(),
                     QString::number(group.value().size())));
        for (const DocumentRecord* r : group.value()) {
            QString html = QStringLiteral("<p style=\"%1\"><b>%2</b><br/>")
                               .arg(margin(0, 8), displayFileName(*r).toHtmlEscaped());
            html += QStringLiteral(
                        "<span style=\"color:#5a6474;\">%1 pages · %2 · %3 · sha256 %4</span>")
                        .arg(QString::number(r->pages), stateText(r->state),
                             decisionText(r->decision), QString::fromLatin1(r->sha256.left(12)));
            if (!r->suggestion.ruleName.isEmpty())
                html += QStringLiteral("<br/>Rule: %1 — %2")
                            .arg(r->suggestion.ruleName.toHtmlEscaped(),
                                 r->suggestion.evidence.toHtmlEscaped());
            if (r->suggestion.conflict)
                html += QStringLiteral("<br/><span style=\"color:#a15c00;\">%1</span>")
                            .arg(r->suggestion.conflictNote.toHtmlEscaped());
            if (!r->note.isEmpty())
                html += QStringLiteral("<br/>Note: %1").arg(r->note.toHtmlEscaped());
            html += QStringLiteral("</p>");
            pieces.append(html);
        }
    }
    pieces.append(
        QStringLiteral(
            "<p style=\"margin-top:%1px; color:#8992a3; font-size:8pt;\">Generated locally by "
            "Tessavo. Source files were read only. Unclassified and Needs review entries require "
            "a human decision.</p>")
            .arg(px(16)));
    return index;
}

QString indexHtml(const QList<DocumentRecord>& records, const QString& subtitle,
                  const QStringList& fontFamilies, const QDateTime& generatedAt)
{
    const IndexPieces index = indexPieces(records, subtitle, fontFamilies, generatedAt);
    return index.open + index.pieces.join(QString()) + index.close;
}

Status writeIndexPdf(const QString& pdfPath, const QList<DocumentRecord>& records,
                     const QString& subtitle, const QString& regularFontPath,
                     const QString& boldFontPath, const QDateTime& generatedAt)
{
    return writeIndexPdf(pdfPath, records, subtitle, regularFontPath, boldFontPath, generatedAt,
                         IndexProgress());
}

Status writeIndexPdf(const QString& pdfPath, const QList<DocumentRecord>& records,
                     const QString& subtitle, const QString& regularFontPath,
                     const QString& boldFontPath, const QDateTime& generatedAt,
                     const IndexProgress& progress)
{
    if (records.isEmpty())
        return Status::failure(QStringLiteral("no documents to index"));

    const QString family = indexFontFamilyFor(regularFontPath, boldFontPath);

    // Written under a temporary name and checked before it takes its own.
    PendingFile file(pdfPath);
    if (!file.open(QIODevice::ReadWrite))
        return Status::failure(
            QStringLiteral("cannot create %1: %2").arg(pdfPath, file.errorString()));

    CompleteWrites output(file.device());
    QPdfWriter writer(&output);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    writer.setResolution(indexDotsPerInch);
    writer.setTitle(QStringLiteral("Tessavo export index"));
    writer.setCreator(QStringLiteral("Tessavo %1").arg(applicationVersion));

    const double resolution = writer.resolution();
    const double margin = resolution * 18.0 / 25.4;
    const double contentWidth = writer.width() - 2 * margin;
    const double contentHeight = writer.height() - 2 * margin;

    const IndexPieces index =
        indexPieces(records, subtitle, QStringList{family} + indexFallbackFamilies(), generatedAt);
    const QStringList& pieces = index.pieces;

    QPainter painter(&writer);
    if (!painter.isActive())
        return Status::failure(QStringLiteral("cannot start PDF painting"));
    painter.setRenderHint(QPainter::Antialiasing);

    // The pieces are laid out a run at a time, each run as one document cut into pages between
    // paragraphs. Every page of a run but its last is drawn; the last page, which more pieces
    // might still fill, begins the next run. So the pages come out as from one layout of the
    // whole index, in time and memory that grow only with its length.
    bool firstPage = true;
    qsizetype next = 0;  // the first piece not drawn yet
    qsizetype run = 256; // pieces per run; grows when a run holds less than two pages
    while (next < pieces.size()) {
        const qsizetype end = std::min<qsizetype>(pieces.size(), next + run);
        const bool lastRun = end == pieces.size();
        QString html = index.open;
        for (qsizetype i = next; i < end; ++i) {
            // Each piece begins with a styled block; its number within the run becomes that
            // block's user state.
            QString piece = pieces.at(i);
            const qsizetype style = piece.indexOf(QLatin1String("style=\""));
            if (style >= 0)
                piece.insert(style + 7, QStringLiteral("-qt-user-state:%1; ").arg(i - next));
            html += piece;
        }
        html += index.close;

        QTextDocument document;
        // Point sizes must be converted at the writer's 300 dpi; laid out at screen resolution
        // the text would print at a third of its size.
        document.documentLayout()->setPaintDevice(&writer);
        document.setDocumentMargin(0);
        document.setTextWidth(contentWidth);
        document.setHtml(html);
        html.clear();
        // Ligatures would turn "fi" in a file name into one glyph that text extraction cannot
        // give back; scripts that need shaping keep it.
        QTextCursor everything(&document);
        everything.select(QTextCursor::Document);
        QTextCharFormat unshaped;
        unshaped.setFontStyleStrategy(QFont::PreferNoShaping);
        everything.mergeCharFormat(unshaped);

        const QList<Slice> slices = slicesOf(document, contentHeight);
        const auto pages = paginate(slices, contentHeight);
        qsizetype drawn = pages.size();
        qsizetype carried = end;
        if (!lastRun) {
            // The last page of the run that begins with a piece of its own starts the next run.
            drawn = 0;
            for (qsizetype p = pages.size() - 1; p > 0; --p) {
                if (slices.at(pages.at(p).first).pieceStart >= 0) {
                    drawn = p;
                    carried = next + slices.at(pages.at(p).first).pieceStart;
                    break;
                }
            }
            if (drawn == 0) {
                run *= 2;
                continue;
            }
        }
        for (qsizetype i = 0; i < drawn; ++i) {
            if (!firstPage)
                writer.newPage();
            firstPage = false;
            painter.save();
            painter.translate(margin, margin);
            drawPage(painter, document, slices, pages[i].first, pages[i].second, contentWidth);
            painter.restore();
        }
        next = carried;
        if (progress && !progress(next, pieces.size())) {
            painter.end();
            return Status::failure(QStringLiteral("the index was cancelled"));
        }
    }
    painter.end();

    if (!output.failure().isEmpty())
        return Status::failure(
            QStringLiteral("cannot write %1: %2").arg(pdfPath, output.failure()));
    if (!pdfLooksComplete(file.device()))
        return Status::failure(QStringLiteral("PDF file was not written"));
    if (!file.commit())
        return Status::failure(
            QStringLiteral("cannot write %1: %2").arg(pdfPath, file.errorString()));
    return Status::success();
}

} // namespace Tessavo
