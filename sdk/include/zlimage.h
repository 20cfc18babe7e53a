#pragma once

#include "zenlytesdk_global.h"

#include <QImage>
#include <QString>

#include <cstdint>

// Pixel layout of an image. colorModel: 1 grey, 2 RGBX, 3 RGB, 4 RGBA, 5 ARGB; 0 for none.
struct ZENLYTESDK_EXPORT ZLImageInfo
{
    unsigned short colorModel = 0;
    unsigned short bitsPerPixel = 0;
    float width = 0.0f;
    float height = 0.0f;

    bool operator==(const ZLImageInfo &other) const;
    bool operator!=(const ZLImageInfo &other) const { return !(*this == other); }
};

struct ZENLYTESDK_EXPORT ZLImagePixels
{
    void *data = nullptr;
    uint32_t byteCount = 0;
    int32_t bytesPerLine = 0;
};

// Integer accessors round to nearest, halves away from zero.
struct ZENLYTESDK_EXPORT ZLSize
{
    float width = 0.0f;
    float height = 0.0f;

    ZLSize() = default;
    ZLSize(float width, float height);

    int iwidth() const;
    int iheight() const;

    bool operator==(const ZLSize &other) const;
    bool operator!=(const ZLSize &other) const { return !(*this == other); }
};

struct ZENLYTESDK_EXPORT ZLPoint
{
    float x = 0.0f;
    float y = 0.0f;

    ZLPoint() = default;
    ZLPoint(float x, float y);

    int ix() const;
    int iy() const;

    bool operator==(const ZLPoint &other) const;
    bool operator!=(const ZLPoint &other) const { return !(*this == other); }
};

struct ZENLYTESDK_EXPORT ZLRect
{
    float xp = 0.0f;
    float yp = 0.0f;
    float w = 0.0f;
    float h = 0.0f;

    ZLRect() = default;
    ZLRect(float x, float y, float width, float height);

    float x() const { return xp; }
    float y() const { return yp; }
    float width() const { return w; }
    float height() const { return h; }

    int ix() const;
    int iy() const;
    int iwidth() const;
    int iheight() const;

    bool operator==(const ZLRect &other) const;
    bool operator!=(const ZLRect &other) const { return !(*this == other); }
};

// Reads, locks, changes and writes the pixels of one image; used by one thread at a time.
class ZENLYTESDK_EXPORT ZLImageIO
{
public:
    struct ImageIOPrivate;

    struct ThumbnailData
    {
        ZLImageInfo info;
        // malloc-ed by imageSynopsisFromFilePath(); the caller frees it.
        void *pixels = nullptr;
    };

    ZLImageIO();
    ~ZLImageIO();

    static void initialize();
    static void shutdown();
    // Describes the file without decoding it; with thumbnail given, its info.width/height are
    // the wanted bounds on entry and the thumbnail's own layout on return.
    static bool imageSynopsisFromFilePath(QString path, ZLImageInfo *info, ThumbnailData *thumbnail);

    bool loadFromFilePath(QString path);
    bool imageInformation(ZLImageInfo *info);
    // An empty rectangle (width or height rounding to 0) locks the whole image in place; any
    // other locks only its part inside the image, and fails when no such part exists.
    bool lockImagePixels(ZLImagePixels *pixels, const ZLRect &rect);
    // Writes data (rows of the locked width, tightly packed) back into the image and ends the lock.
    void unlockImagePixels(const void *data);
    bool writeImagePixelsToFilePath(QString path);
    const QImage imageHandle() const;
    bool setImageHandle(QImage newImage);
    QString filePath() const;
    void releaseResources();
    // With pixels.data set the image uses that memory without copying it: keep it valid and
    // unchanged while this object uses it.
    bool initFromRawPixelsData(const ZLImagePixels &pixels, const ZLImageInfo &info);
    bool initFromCompressedData(const unsigned char *data, unsigned int size);

private:
    Q_DISABLE_COPY(ZLImageIO)
    ImageIOPrivate *d;
};
