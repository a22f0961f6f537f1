#pragma once

#include "flows/PreviewFlow.h"

#include <QPointer>
#include <QQuickPaintedItem>
#include <QtQml/qqml.h>

namespace Tessavo::Ui {

// The page the preview drew, scaled to the item's width, with its terms marked. The item is as
// high as the page at that width (implicitHeight), so a view can scroll a long page.
class PageImage : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(
        Tessavo::Flows::PreviewFlow* preview READ preview WRITE setPreview NOTIFY previewChanged)
    // Height over width of the page shown; 0 without one.
    Q_PROPERTY(qreal aspect READ aspect NOTIFY aspectChanged)

public:
    explicit PageImage(QQuickItem* parent = nullptr);

    Flows::PreviewFlow* preview() const { return m_preview; }
    void setPreview(Flows::PreviewFlow* preview);
    qreal aspect() const { return m_aspect; }

    void paint(QPainter* painter) override;

signals:
    void previewChanged();
    void aspectChanged();

private:
    void onImageChanged();

    QPointer<Flows::PreviewFlow> m_preview;
    qreal m_aspect = 0;
};

} // namespace Tessavo::Ui
