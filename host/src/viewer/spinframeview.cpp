#include "spinframeview.h"

#include "spinviewer.h"

#include <QPainter>
#include <QQuickWindow>
#include <QSGImageNode>
#include <QtMath>

#include <memory>

namespace {

// Owns the texture its image node shows; made, changed and deleted on the render thread.
struct FrameNode : QSGNode
{
    QSGImageNode *image = nullptr;
    std::unique_ptr<QSGTexture> texture;
    qint64 key = 0;
};

} // namespace

SpinFrameView::SpinFrameView(QQuickItem *parent)
    : QQuickItem(parent)
{
    setFlag(ItemHasContents, true);
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

QImage SpinFrameView::gapImage(const QString &text)
{
    const QSize size(qMax(1, qCeil(width())), qMax(1, qCeil(height())));
    if (text == gapShown && gap.size() == size)
        return gap;
    gap = QImage(size, QImage::Format_RGB32);
    gap.fill(QColor(40, 40, 40));
    QPainter painter(&gap);
    const QRectF area = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(8, 8, -8, -8);
    painter.fillRect(area, QBrush(QColor(90, 90, 90), Qt::BDiagPattern));
    painter.setPen(QPen(QColor(200, 120, 60), 2));
    painter.drawRect(area);
    QFont font = painter.font();
    font.setPixelSize(qBound(12, size.height() / 24, 28));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(area.adjusted(16, 16, -16, -16), Qt::AlignCenter | Qt::TextWordWrap, text);
    gapShown = text;
    return gap;
}

// Runs on the render thread while the GUI thread waits, so the viewer may be read here.
QSGNode *SpinFrameView::updatePaintNode(QSGNode *old, UpdatePaintNodeData *)
{
    auto *node = static_cast<FrameNode *>(old);
    QImage image;
    QRectF target;
    QRectF source;
    const QString gapText = spinViewer ? spinViewer->gapText() : QString();
    if (!gapText.isEmpty()) {
        image = gapImage(gapText);
        target = QRectF(QPointF(0, 0), QSizeF(image.size()));
        source = target;
    } else if (spinViewer) {
        const QImage zoomed = zoomFactor > 1.0 ? spinViewer->currentZoomImage() : QImage();
        image = zoomed.isNull() ? spinViewer->currentImage() : zoomed;
        const QRectF shown = pictureRect(QSizeF(image.size()));
        target = shown.intersected(boundingRect());
        const qreal sx = image.width() / shown.width();
        const qreal sy = image.height() / shown.height();
        source = QRectF((target.x() - shown.x()) * sx, (target.y() - shown.y()) * sy, target.width() * sx,
                        target.height() * sy);
        // Of a zoomed picture only the visible part is cut out and scaled: the whole of it may
        // be larger than the largest texture the graphics card takes.
        if (!zoomed.isNull() && !target.isEmpty()) {
            image = zoomed.copy(source.toAlignedRect())
                            .scaled(target.size().toSize().expandedTo(QSize(1, 1)), Qt::IgnoreAspectRatio,
                                    Qt::SmoothTransformation);
            source = QRectF(image.rect());
        }
    }
    if (image.isNull() || target.isEmpty()) {
        delete node;
        return nullptr;
    }
    if (!node) {
        node = new FrameNode;
        node->image = window()->createImageNode();
        node->image->setFiltering(QSGTexture::Linear);
        node->appendChildNode(node->image);
    }
    if (image.cacheKey() != node->key || !node->texture) {
        std::unique_ptr<QSGTexture> texture(window()->createTextureFromImage(image));
        node->image->setTexture(texture.get());
        node->texture = std::move(texture);
        node->key = image.cacheKey();
    }
    node->image->setRect(target);
    node->image->setSourceRect(source);
    return node;
}

void SpinFrameView::geometryChanged(const QRectF &newGeometry, const QRectF &oldGeometry)
{
    QQuickItem::geometryChanged(newGeometry, oldGeometry);
    reportViewSize();
    update();
}

void SpinFrameView::reportViewSize()
{
    if (!spinViewer || width() <= 0 || height() <= 0)
        return;
    const qreal ratio = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    spinViewer->setViewSize(QSize(qCeil(width() * ratio), qCeil(height() * ratio)));
}
