#pragma once

#include "zlimage.h"
#include "zlplugin.h"

#include <functional>

class QPainter;

// Image-view-event plug-ins: react to pointer and key events on the application's image view
// and paint over it.
class ZENLYTESDK_EXPORT ZLImageViewEvent : public virtual ZLAbstractPlugin
{
public:
    struct RenderingInfo
    {
        int32_t imageWidth = 0;
        int32_t imageHeight = 0;
        int32_t viewWidth = 0;
        int32_t viewHeight = 0;
        int32_t offsetX = 0;
        int32_t offsetY = 0;
        int32_t zoomPercent = 0;
    };

    enum PressType : int32_t {
        NoPress = 0,
        LeftPress = 1,
        RightPress = 2,
        MiddlePress = 3
    };

    struct ZENLYTESDK_EXPORT ImageViewEventPrivate
    {
        // Written by the application directly (GUI thread).
        static ZLPoint pressedEventPos;
        static PressType pressedEventType;
        static QQuickItem *mainWindowUIFrameView;
        static bool isHardwareStreaming;

        // Process-wide, installed by the application before it uses objects of this kind.
        static std::function<bool(ZLPoint *)> mapToImage;
        static std::function<bool(ZLPoint *)> mapFromImage;
        static std::function<bool(RenderingInfo *)> renderingInfo;
        static std::function<bool(ZLImageInfo *, void **)> streamedImagePixels;
        static std::function<void(const ZLRect &)> update;
        static std::function<int()> keysState;
    };

    ~ZLImageViewEvent() override;

    ZLRegisterPlugin::PluginType pluginType() const override;

    // Whether the plug-in wants events now.
    virtual bool isEventHandlingEnabled() const = 0;
    virtual void pressEvent(const ZLPoint &pos);
    virtual void releaseEvent(const ZLPoint &pos);
    virtual void doublePressEvent(const ZLPoint &pos);
    virtual void longPressEvent(const ZLPoint &pos, unsigned short modifiers);
    virtual void hoverMoveEvent(const ZLPoint &pos, unsigned short modifiers);
    virtual void keyEvent(int key);
    virtual void paintEvent(QPainter *painter, const ZLRect &rect);
    virtual void renderingInfoChanged();

    // Forwarders: an empty hook throws std::bad_function_call.
    static bool mapToImage(ZLPoint *point);
    static bool mapFromImage(ZLPoint *point);
    static bool renderingInfo(RenderingInfo *info);
    static bool streamedImagePixels(ZLImageInfo *info, void **pixels);
    static void update(const ZLRect &rect);
    static int keysState();

    static ZLPoint pressedEventPos();
    static PressType pressedEventType();
    static QQuickItem *mainWindowUIFrameView();
    static bool isHardwareStreaming();

protected:
    ZLImageViewEvent();

private:
    Q_DISABLE_COPY(ZLImageViewEvent)
    ImageViewEventPrivate *d;
};
