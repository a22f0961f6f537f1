#include "qml/PageImage.h"

#include <QPainter>

namespace Tessavo::Ui {

PageImage::PageImage(QQuickItem* parent)
    : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void PageImage::setPreview(Flows::PreviewFlow* preview)
{
    if (preview == m_preview)
        return;
    if (m_preview)
        m_preview->disconnect(this);
    m_preview = preview;
    if (m_preview)
        connect(m_preview, &Flows::PreviewFlow::imageChanged, this, &PageImage::onImageChanged);
    emit previewChanged();
    onImageChanged();
}

void PageImage::onImageChanged()
{
    const QImage* image = m_preview ? &m_preview->image() : nullptr;
    const qreal aspect =
        image && !image->isNull() ? qreal(image->height()) / qreal(image->width()) : 0;
    if (!qFuzzyCompare(aspect + 1, m_aspect + 1)) {
        m_aspect = aspect;
        emit aspectChanged();
    }
    update();
}

void PageImage::paint(QPainter* painter)
{
    if (!m_preview || m_preview->image().isNull())
        return;
    const QImage& image = m_preview->image();
    // The whole page fits the item, centred; a page fit to the width fills it.
    const qreal scale = std::min(width() / image.width(), height() / image.height());
    if (!(scale > 0))
        return;
    const QSizeF size(image.width() * scale, image.height() * scale);
    const QRectF target(QPointF((width() - size.width()) / 2, 0), size);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(target, image);
    // Marks over the terms: a translucent yellow with an amber edge, as a highlighter pen.
    painter->setPen(QPen(QColor(0xa1, 0x5c, 0x00), 1));
    painter->setBrush(QColor(255, 214, 0, 96));
    for (const QRect& rect : m_preview->highlights())
        painter->drawRect(QRectF(target.x() + rect.x() * scale, target.y() + rect.y() * scale,
                                 rect.width() * scale, rect.height() * scale)
                              .adjusted(-1, -1, 1, 1));
}

} // namespace Tessavo::Ui
