#include "spinpicturereader.h"

#include "zlimage.h"

#include <QFile>
#include <QImageReader>
#include <QTransform>

#include <cstdlib>

namespace {

QImage::Format formatOf(const ZLImageInfo &info)
{
    switch (info.colorModel * 100 + info.bitsPerPixel) {
    case 108: return QImage::Format_Grayscale8;
    case 232: return QImage::Format_RGBX8888;
    case 324: return QImage::Format_RGB888;
    case 332: return QImage::Format_RGB32;
    case 364: return QImage::Format_RGBX64;
    case 432: return QImage::Format_RGBA8888;
    case 532: return QImage::Format_ARGB32;
    case 564: return QImage::Format_RGBA64;
    default: return QImage::Format_Invalid;
    }
}

// Qt's JPEG reader decodes at 1/2, 1/4 or 1/8 of the size when asked for less; other readers
// decode the whole picture first.
bool isJpeg(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(3) == QByteArray("\xff\xd8\xff", 3);
}

// How the camera said the picture is to be turned upright (its EXIF orientation), read from the
// header alone; the decoded pixels are as stored.
QImageIOHandler::Transformations orientationOf(const QString &path)
{
    QImageReader header(path);
    return header.transformation();
}

QImage upright(const QImage &image, QImageIOHandler::Transformations turn)
{
    if (turn == QImageIOHandler::TransformationNone || image.isNull())
        return image;
    QImage turned = image.mirrored(turn & QImageIOHandler::TransformationMirror, turn & QImageIOHandler::TransformationFlip);
    if (turn & QImageIOHandler::TransformationRotate90)
        turned = turned.transformed(QTransform().rotate(90));
    return turned;
}

} // namespace

QImage SpinPictureReader::readFitted(const QString &path, const QSize &bound, QSize *fullSize, bool *tooLarge)
{
    ZLImageInfo info;
    if (!ZLImageIO::imageSynopsisFromFilePath(path, &info, nullptr))
        return QImage();
    const QSize full(int(info.width), int(info.height));
    if (fullSize)
        *fullSize = full;
    if (full.isEmpty() || bound.isEmpty())
        return QImage();
    const qint64 pixels = qint64(full.width()) * full.height();
    if (pixels > maxPicturePixels || (pixels > maxWholeDecodePixels && !isJpeg(path))) {
        if (tooLarge)
            *tooLarge = true;
        return QImage();
    }
    const QImageIOHandler::Transformations turn = orientationOf(path);
    const bool turnsSideways = turn & QImageIOHandler::TransformationRotate90;
    const QSize shown = turnsSideways ? full.transposed() : full;
    QSize fitted = shown.scaled(bound, Qt::KeepAspectRatio);
    if (fitted.width() > shown.width() || fitted.height() > shown.height())
        fitted = shown;
    fitted = fitted.expandedTo(QSize(1, 1));
    const QSize decoded = turnsSideways ? fitted.transposed() : fitted;

    ZLImageIO::ThumbnailData thumbnail;
    thumbnail.info.width = float(decoded.width());
    thumbnail.info.height = float(decoded.height());
    if (!ZLImageIO::imageSynopsisFromFilePath(path, nullptr, &thumbnail))
        return QImage();
    const QImage::Format format = formatOf(thumbnail.info);
    const int width = int(thumbnail.info.width);
    const int height = int(thumbnail.info.height);
    if (format == QImage::Format_Invalid || width <= 0 || height <= 0) {
        std::free(thumbnail.pixels);
        return QImage();
    }
    // The thumbnail is a copy of a QImage's rows, so they keep QImage's 32-bit alignment.
    const int bytesPerLine = ((width * thumbnail.info.bitsPerPixel + 31) / 32) * 4;
    QImage image(static_cast<uchar *>(thumbnail.pixels), width, height, bytesPerLine, format,
                 [](void *pixels) { std::free(pixels); }, thumbnail.pixels);
    if (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32)
        return upright(image, turn);
    return upright(image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32), turn);
}

QSize SpinPictureReader::halvedToFit(const QSize &full, qint64 maxPixels)
{
    QSize size = full;
    while (qint64(size.width()) * size.height() > maxPixels && size.width() > 1 && size.height() > 1)
        size = QSize(size.width() / 2, size.height() / 2);
    return size;
}

QImage SpinPictureReader::readForZoom(const QString &path, qint64 maxPixels)
{
    QSize full;
    readFitted(path, QSize(), &full);
    if (full.isEmpty())
        return QImage();
    const QSize fitted = halvedToFit(full, maxPixels);
    if (fitted == full) {
        // Whole: the decoded picture itself, without the thumbnail's copy of it.
        ZLImageIO io;
        return io.loadFromFilePath(path) ? upright(io.imageHandle(), orientationOf(path)) : QImage();
    }
    // A square of the longer side: the upright picture fits it at the halved size either way.
    const int side = qMax(fitted.width(), fitted.height());
    return readFitted(path, QSize(side, side));
}
