#pragma once

#include "zlimage.h"

#include <QImageReader>
#include <QRect>

struct ZLImageIO::ImageIOPrivate
{
    QImageReader reader;
    QImage image;
    // Inclusive corners; QRect() (0, 0, -1, -1) while nothing is locked.
    QRect lockedRect;
    QImage lockedImage;
    // image may live in memory the caller lent us read-only: copy it before the first write.
    bool borrowedPixels = false;

    // The image's pixels, to be changed in place.
    uchar *ownedBits();

    static void imageInfoFromQtImageReader(ZLImageInfo *info, const QImageReader &reader, const QImage &image);
    static void imagePixelsFromQtImage(ZLImagePixels *pixels, const QImage &image);
    static QImage::Format qtImageFormatFromSdkImageInfo(const ZLImageInfo &info);
};
