#include "spinframeview.h"

#include "spinviewer.h"

#include <QPainter>
#include <QQuickWindow>
#include <QtMath>

SpinFrameView::SpinFrameView(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setOpaquePainting(true);
    setFillColor(QColor(40, 40, 40));
}

SpinViewer *SpinFrameView::viewer() const
{
    return spinViewer;
}

void SpinFrameView::setViewer(SpinViewer *viewer)
{
    if (viewer == spinViewer)
        return;
    if (spinViewer)
        disconnect(spinViewer, nullptr, this, nullptr);
    spinViewer = viewer;
    if (viewer) {
        connect(viewer, &SpinViewer::imageChanged, this, [this] { update(); });
        connect(viewer, &SpinViewer::zoomChanged, this, [this] { update(); });
        connect(viewer, &SpinViewer::currentChanged, this, [this] {
            if (zoomFactor > 1.0 && spinViewer)
                spinViewer->requestZoom();
        });
    }
    reportViewSize();
    emit viewerChanged();
    update();
}

qreal SpinFrameView::zoom() const
{
    return zoomFactor;
}

void SpinFrameView::setZoom(qreal zoom)
{
    zoom = qBound(1.0, zoom, maxZoom);
    if (qFuzzyCompare(zoom, zoomFactor))
        return;
    zoomFactor = zoom;
    if (zoom > 1.0 && spinViewer)
        spinViewer->requestZoom();
    if (qFuzzyCompare(zoom, 1.0))
        setCentre(QPointF(0.5, 0.5));
    emit zoomChanged();
    update();
}

QPointF SpinFrameView::centre() const
{
    return centrePoint;
}

void SpinFrameView::setCentre(const QPointF &centre)
{
    const QPointF bounded(qBound(0.0, centre.x(), 1.0), qBound(0.0, centre.y(), 1.0));
    if (bounded == centrePoint)
        return;
    centrePoint = bounded;
    emit centreChanged();
    update();
}

void SpinFrameView::zoomAt(qreal factor, const QPointF &itemPoint)
{
    const QSizeF picture = shownPictureSize();
    if (picture.isEmpty() || factor <= 0.0)
        return;
    const QRectF before = pictureRect(picture);
    const QPointF under((itemPoint.x() - before.x()) / before.width(), (itemPoint.y() - before.y()) / before.height());
    setZoom(zoomFactor * factor);
    if (zoomFactor <= 1.0)
        return;
    const QSizeF fitted = picture.scaled(size(), Qt::KeepAspectRatio) * zoomFactor;
    setCentre(QPointF(under.x() - (itemPoint.x() - width() / 2) / fitted.width(),
                      under.y() - (itemPoint.y() - height() / 2) / fitted.height()));
}

void SpinFrameView::panBy(const QPointF &itemDelta)
{
    const QSizeF picture = shownPictureSize();
    if (picture.isEmpty() || zoomFactor <= 1.0)
        return;
    const QRectF shown = pictureRect(picture);
    setCentre(centrePoint - QPointF(itemDelta.x() / shown.width(), itemDelta.y() / shown.height()));
}

QSizeF SpinFrameView::shownPictureSize() const
{
    if (!spinViewer)
        return QSizeF();
    const QImage zoomed = spinViewer->currentZoomImage();
    const QSize shown = zoomed.isNull() ? spinViewer->currentImage().size() : zoomed.size();
    // A frame still being read zooms as if it filled the item.
    return shown.isEmpty() ? size() : QSizeF(shown);
}

QRectF SpinFrameView::pictureRect(const QSizeF &pictureSize) const
{
    const QSizeF fitted = pictureSize.scaled(size(), Qt::KeepAspectRatio) * zoomFactor;
    const QPointF topLeft(width() / 2 - centrePoint.x() * fitted.width(), height() / 2 - centrePoint.y() * fitted.height());
    QRectF rect(topLeft, fitted);
    // Zoomed out, or smaller than the item in one direction, the picture stays centred there.
    if (fitted.width() <= width())
        rect.moveLeft((width() - fitted.width()) / 2);
    if (fitted.height() <= height())
        rect.moveTop((height() - fitted.height()) / 2);
    return rect;
}

void SpinFrameView::paint(QPainter *painter)
{
    if (!spinViewer)
        return;
    const QString gap = spinViewer->gapText();
    if (!gap.isEmpty()) {
        const QRectF area = boundingRect().adjusted(8, 8, -8, -8);
        painter->fillRect(area, QBrush(QColor(90, 90, 90), Qt::BDiagPattern));
        painter->setPen(QPen(QColor(200, 120, 60), 2));
        painter->drawRect(area);
        QFont font = painter->font();
        font.setPixelSize(qBound(12, int(height() / 24), 28));
        painter->setFont(font);
        painter->setPen(Qt::white);
        painter->drawText(area.adjusted(16, 16, -16, -16), Qt::AlignCenter | Qt::TextWordWrap, gap);
        return;
    }
    QImage image = zoomFactor > 1.0 ? spinViewer->currentZoomImage() : QImage();
    if (image.isNull())
        image = spinViewer->currentImage();
    if (image.isNull())
        return;
    const QRectF shown = pictureRect(QSizeF(image.size()));
    const QRectF visible = shown.intersected(boundingRect());
    if (visible.isEmpty())
        return;
    // Only the visible part of a zoomed picture is scaled, not all of it.
    const qreal sx = image.width() / shown.width();
    const qreal sy = image.height() / shown.height();
    const QRectF source((visible.x() - shown.x()) * sx, (visible.y() - shown.y()) * sy, visible.width() * sx,
                        visible.height() * sy);
    painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter->drawImage(visible, image, source);
}

void SpinFrameView::geometryChanged(const QRectF &newGeometry, const QRectF &oldGeometry)
{
    QQuickPaintedItem::geometryChanged(newGeometry, oldGeometry);
    reportViewSize();
}

void SpinFrameView::reportViewSize()
{
    if (!spinViewer || width() <= 0 || height() <= 0)
        return;
    const qreal ratio = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    spinViewer->setViewSize(QSize(qCeil(width() * ratio), qCeil(height() * ratio)));
}
