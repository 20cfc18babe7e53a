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
    // image lives in memory the caller lent us read-only: never write into it.
    bool borrowedPixels = false;

    static void imageInfoFromQtImageReader(ZLImageInfo *info, const QImageReader &reader, const QImage &image);
    static void imagePixelsFromQtImage(ZLImagePixels *pixels, const QImage &image);
    static QImage::Format qtImageFormatFromSdkImageInfo(const ZLImageInfo &info);
};
