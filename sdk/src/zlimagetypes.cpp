#include "zlimage.h"
#include "zlrounding_p.h"

using ZLSdkPrivate::roundToInt;

bool ZLImageInfo::operator==(const ZLImageInfo &other) const
{
    return colorModel == other.colorModel && bitsPerPixel == other.bitsPerPixel
            && width == other.width && height == other.height;
}

ZLSize::ZLSize(float width, float height)
    : width(width), height(height)
{
}

int ZLSize::iwidth() const
{
    return roundToInt(width);
}

int ZLSize::iheight() const
{
    return roundToInt(height);
}

bool ZLSize::operator==(const ZLSize &other) const
{
    return width == other.width && height == other.height;
}

ZLPoint::ZLPoint(float x, float y)
    : x(x), y(y)
{
}

int ZLPoint::ix() const
{
    return roundToInt(x);
}

int ZLPoint::iy() const
{
    return roundToInt(y);
}

bool ZLPoint::operator==(const ZLPoint &other) const
{
    return x == other.x && y == other.y;
}

ZLRect::ZLRect(float x, float y, float width, float height)
    : xp(x), yp(y), w(width), h(height)
{
}

int ZLRect::ix() const
{
    return roundToInt(xp);
}

int ZLRect::iy() const
{
    return roundToInt(yp);
}

int ZLRect::iwidth() const
{
    return roundToInt(w);
}

int ZLRect::iheight() const
{
    return roundToInt(h);
}

bool ZLRect::operator==(const ZLRect &other) const
{
    return xp == other.xp && yp == other.yp && w == other.w && h == other.h;
}
