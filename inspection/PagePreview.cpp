#include "inspection/PagePreview.h"

#include "inspection/PdfInspection.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace Tessavo::Inspection {

namespace {

// The image size for a page of the given points at the asked width, within the protocol's bounds.
QSize previewSize(QSizeF points, int width)
{
    if (!(points.width() > 0) || !(points.height() > 0) || !std::isfinite(points.width()) ||
        !std::isfinite(points.height()))
        return {};
    double w = std::clamp(width, 1, maxRenderWidth);
    double h = w * points.height() / points.width();
    // Too high, or too many pixels: the whole page scaled down until it fits.
    double scale = std::min(1.0, double(maxRenderHeight) / h);
    scale = std::min(scale, std::sqrt(double(maxRenderPixels) / (w * h)));
    w = std::floor(w * scale);
    h = std::floor(h * scale);
    if (w < 1 || h < 1)
        return {};
    return QSize(int(w), int(h));
}

} // namespace

RenderedMessage renderPreview(const OpenedPdf& pdf, int pageIndex, int width,
                              const QStringList& terms)
{
    RenderedMessage message;
    message.pageIndex = pageIndex;
    const QSizeF points = pdf.pageSize(pageIndex);
    const QSize size = previewSize(points, width);
    if (size.isEmpty()) {
        message.errorText = QStringLiteral("page %1 has no size to draw").arg(pageIndex + 1);
        return message;
    }
    const QImage drawn = pdf.renderPage(pageIndex, size);
    if (drawn.isNull()) {
        message.errorText = QStringLiteral("page %1 could not be drawn").arg(pageIndex + 1);
        return message;
    }
    // The engine draws on a transparent background; the preview shows the page on white paper.
    QImage paper(size, QImage::Format_RGB32);
    paper.fill(Qt::white);
    {
        QPainter painter(&paper);
        painter.drawImage(0, 0, drawn);
    }
    message.image = paper;

    const double scale = double(size.width()) / points.width();
    const QRect imageRect(QPoint(0, 0), size);
    for (const QRectF& rect : pdf.termBounds(pageIndex, terms, maxHighlights)) {
        const QRectF pixels(rect.x() * scale, rect.y() * scale, rect.width() * scale,
                            rect.height() * scale);
        if (!std::isfinite(pixels.x()) || !std::isfinite(pixels.y()) ||
            !std::isfinite(pixels.width()) || !std::isfinite(pixels.height()))
            continue;
        // Cut to the image before it becomes whole pixels, so no side leaves int's range.
        const QRect marked = pixels.intersected(QRectF(imageRect)).toAlignedRect();
        if (!marked.isEmpty())
            message.highlights.append(marked);
    }
    return message;
}

} // namespace Tessavo::Inspection
