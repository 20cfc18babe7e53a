#include "zlimageviewevent.h"
#include "zlinterfacebasics_p.h"

using ViewEventPrivate = ZLImageViewEvent::ImageViewEventPrivate;

ZLPoint ViewEventPrivate::pressedEventPos;
ZLImageViewEvent::PressType ViewEventPrivate::pressedEventType = ZLImageViewEvent::NoPress;
QQuickItem *ViewEventPrivate::mainWindowUIFrameView = nullptr;
bool ViewEventPrivate::isHardwareStreaming = false;

std::function<bool(ZLPoint *)> ViewEventPrivate::mapToImage;
std::function<bool(ZLPoint *)> ViewEventPrivate::mapFromImage;
std::function<bool(ZLImageViewEvent::RenderingInfo *)> ViewEventPrivate::renderingInfo;
std::function<bool(ZLImageInfo *, void **)> ViewEventPrivate::streamedImagePixels;
std::function<void(const ZLRect &)> ViewEventPrivate::update;
std::function<int()> ViewEventPrivate::keysState;

ZL_DEFINE_INTERFACE_BASICS(ZLImageViewEvent, ImageViewEventPrivate, ImageViewEventPlugin)

void ZLImageViewEvent::pressEvent(const ZLPoint &pos)
{
    Q_UNUSED(pos)
}

void ZLImageViewEvent::releaseEvent(const ZLPoint &pos)
{
    Q_UNUSED(pos)
}

void ZLImageViewEvent::doublePressEvent(const ZLPoint &pos)
{
    Q_UNUSED(pos)
}

void ZLImageViewEvent::longPressEvent(const ZLPoint &pos, unsigned short modifiers)
{
    Q_UNUSED(pos)
    Q_UNUSED(modifiers)
}

void ZLImageViewEvent::hoverMoveEvent(const ZLPoint &pos, unsigned short modifiers)
{
    Q_UNUSED(pos)
    Q_UNUSED(modifiers)
}

void ZLImageViewEvent::keyEvent(int key)
{
    Q_UNUSED(key)
}

void ZLImageViewEvent::paintEvent(QPainter *painter, const ZLRect &rect)
{
    Q_UNUSED(painter)
    Q_UNUSED(rect)
}

void ZLImageViewEvent::renderingInfoChanged()
{
}

bool ZLImageViewEvent::mapToImage(ZLPoint *point)
{
    return ViewEventPrivate::mapToImage(point);
}

bool ZLImageViewEvent::mapFromImage(ZLPoint *point)
{
    return ViewEventPrivate::mapFromImage(point);
}

bool ZLImageViewEvent::renderingInfo(RenderingInfo *info)
{
    return ViewEventPrivate::renderingInfo(info);
}

bool ZLImageViewEvent::streamedImagePixels(ZLImageInfo *info, void **pixels)
{
    return ViewEventPrivate::streamedImagePixels(info, pixels);
}

void ZLImageViewEvent::update(const ZLRect &rect)
{
    ViewEventPrivate::update(rect);
}

int ZLImageViewEvent::keysState()
{
    return ViewEventPrivate::keysState();
}

ZLPoint ZLImageViewEvent::pressedEventPos()
{
    return ViewEventPrivate::pressedEventPos;
}

ZLImageViewEvent::PressType ZLImageViewEvent::pressedEventType()
{
    return ViewEventPrivate::pressedEventType;
}

QQuickItem *ZLImageViewEvent::mainWindowUIFrameView()
{
    return ViewEventPrivate::mainWindowUIFrameView;
}

bool ZLImageViewEvent::isHardwareStreaming()
{
    return ViewEventPrivate::isHardwareStreaming;
}
