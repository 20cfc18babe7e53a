#include "liveviewitem.h"

#include <QPainter>

namespace {

// Wide enough to judge framing and focus, small enough to leave the spin editor its room.
constexpr qreal preferredWidth = 360;

} // namespace

LiveViewItem::LiveViewItem(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setImplicitSize(preferredWidth, preferredWidth * 2 / 3);
    setFillColor(Qt::black);
    setOpaquePainting(true);
}

void LiveViewItem::setFrame(const QImage &image)
{
    if (image.isNull())
        return;
    const bool newLayout = image.size() != frame.size();
    frame = image;
    ++frames;
    if (newLayout)
        setImplicitHeight(preferredWidth * frame.height() / frame.width());
    update();
    emit frameChanged();
}

void LiveViewItem::clear()
{
    frame = QImage();
    frames = 0;
    update();
    emit frameChanged();
}

void LiveViewItem::paint(QPainter *painter)
{
    if (frame.isNull())
        return;
    const QSizeF area = size();
    QSizeF shown = QSizeF(frame.size()).scaled(area, Qt::KeepAspectRatio);
    const QRectF target(QPointF((area.width() - shown.width()) / 2, (area.height() - shown.height()) / 2), shown);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(target, frame);
}
