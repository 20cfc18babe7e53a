#include "zlimageio_p.h"
#include "zlrounding_p.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

using ZLSdkPrivate::roundToInt;

void ZLImageIO::ImageIOPrivate::imageInfoFromQtImageReader(ZLImageInfo *info, const QImageReader &reader,
                                                            const QImage &image)
{
    const QSize size = image.isNull() ? reader.size() : image.size();
    const QImage::Format format = image.isNull() ? reader.imageFormat() : image.format();
    info->width = float(size.width());
    info->height = float(size.height());
    switch (format) {
    case QImage::Format_Grayscale8:
        info->colorModel = 1;
        info->bitsPerPixel = 8;
        break;
    case QImage::Format_RGBX8888:
        info->colorModel = 2;
        info->bitsPerPixel = 32;
        break;
    case QImage::Format_RGB888:
        info->colorModel = 3;
        info->bitsPerPixel = 24;
        break;
    case QImage::Format_RGB32:
        info->colorModel = 3;
        info->bitsPerPixel = 32;
        break;
    case QImage::Format_RGBX64:
        info->colorModel = 3;
        info->bitsPerPixel = 64;
        break;
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
        info->colorModel = 4;
        info->bitsPerPixel = 32;
        break;
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        info->colorModel = 5;
        info->bitsPerPixel = 32;
        break;
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
        info->colorModel = 5;
        info->bitsPerPixel = 64;
        break;
    default:
        break;
    }
}

void ZLImageIO::ImageIOPrivate::imagePixelsFromQtImage(ZLImagePixels *pixels, const QImage &image)
{
    pixels->data = const_cast<uchar *>(image.constBits());
    pixels->bytesPerLine = image.bytesPerLine();
    pixels->byteCount = uint32_t(image.sizeInBytes());
}

QImage::Format ZLImageIO::ImageIOPrivate::qtImageFormatFromSdkImageInfo(const ZLImageInfo &info)
{
    switch (info.colorModel) {
    case 1:
        return info.bitsPerPixel == 8 ? QImage::Format_Grayscale8 : QImage::Format_Invalid;
    case 2:
        if (info.bitsPerPixel == 24)
            return QImage::Format_RGB888;
        return info.bitsPerPixel == 32 ? QImage::Format_RGBX8888 : QImage::Format_Invalid;
    case 3:
        switch (info.bitsPerPixel) {
        case 24:
            return QImage::Format_RGB888;
        case 32:
            return QImage::Format_RGB32;
        case 64:
            return QImage::Format_RGBX64;
        default:
            return QImage::Format_Invalid;
        }
    case 4:
        return QImage::Format_RGBA8888;
    case 5:
        if (info.bitsPerPixel == 32)
            return QImage::Format_ARGB32;
        return info.bitsPerPixel == 64 ? QImage::Format_RGBA64 : QImage::Format_Invalid;
    default:
        return QImage::Format_Invalid;
    }
}

uchar *ZLImageIO::ImageIOPrivate::ownedBits()
{
    if (borrowedPixels) {
        borrowedPixels = false;
        // Copies memory the image does not own (and, unavoidably, memory shared with the caller).
        return image.bits();
    }
    // Owned memory, written in place so that copies sharing it (imageHandle()) see the change.
    return const_cast<uchar *>(image.constBits());
}

ZLImageIO::ZLImageIO()
    : d(new ImageIOPrivate)
{
    d->reader.setDecideFormatFromContent(true);
}

ZLImageIO::~ZLImageIO()
{
    delete d;
}

void ZLImageIO::initialize()
{
}

void ZLImageIO::shutdown()
{
}

bool ZLImageIO::imageSynopsisFromFilePath(QString path, ZLImageInfo *info, ThumbnailData *thumbnail)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead())
        return false;

    ZLImageInfo synopsis;
    if (info)
        synopsis = *info;
    ImageIOPrivate::imageInfoFromQtImageReader(&synopsis, reader, QImage());
    if (info)
        *info = synopsis;
    if (!thumbnail)
        return true;

    const float w = synopsis.width;
    const float h = synopsis.height;
    const float boundW = thumbnail->info.width;
    const float boundH = thumbnail->info.height;
    // Without a known picture size or a positive bound there is nothing to scale to.
    if (!(w > 0.0f && h > 0.0f && boundW > 0.0f && boundH > 0.0f))
        return false;
    QSize scaled;
    if (h > w)
        scaled = QSize(roundToInt(w * boundH / h), roundToInt(boundH));
    else
        scaled = QSize(roundToInt(boundW), roundToInt(h * boundW / w));
    // A sliver of a picture still gives a thumbnail one pixel across.
    scaled = scaled.expandedTo(QSize(1, 1));
    reader.setScaledSize(scaled);
    const QImage decoded = reader.read();
    if (decoded.isNull())
        return false;

    const size_t byteCount = size_t(decoded.sizeInBytes());
    void *buffer = std::malloc(byteCount);
    if (!buffer)
        return false;
    std::memcpy(buffer, decoded.constBits(), byteCount);
    ImageIOPrivate::imageInfoFromQtImageReader(&thumbnail->info, reader, decoded);
    thumbnail->pixels = buffer;
    return true;
}

bool ZLImageIO::loadFromFilePath(QString path)
{
    releaseResources();
    d->reader.setFileName(path);
    if (!d->reader.canRead()) {
        releaseResources();
        return false;
    }
    d->image = d->reader.read();
    return true;
}

bool ZLImageIO::imageInformation(ZLImageInfo *info)
{
    if (d->image.isNull() || !info)
        return false;
    ImageIOPrivate::imageInfoFromQtImageReader(info, d->reader, d->image);
    return true;
}

bool ZLImageIO::lockImagePixels(ZLImagePixels *pixels, const ZLRect &rect)
{
    d->lockedRect = QRect();
    d->lockedImage = QImage();
    if (d->image.isNull())
        return false;

    const int width = rect.iwidth();
    const int height = rect.iheight();
    if (width == 0 || height == 0) {
        // The whole image, in place: the caller changes the image's own pixels.
        if (pixels) {
            d->ownedBits();
            ImageIOPrivate::imagePixelsFromQtImage(pixels, d->image);
        }
        return true;
    }

    // Clipped in 64 bits before QRect sees it: a far or huge rectangle neither overflows nor
    // allocates more than the image; a negative size or NaN leaves nothing.
    const qint64 left = qMax<qint64>(rect.ix(), 0);
    const qint64 top = qMax<qint64>(rect.iy(), 0);
    const qint64 right = qMin<qint64>(qint64(rect.ix()) + width, d->image.width()) - 1;
    const qint64 bottom = qMin<qint64>(qint64(rect.iy()) + height, d->image.height()) - 1;
    if (right < left || bottom < top)
        return false;
    d->lockedRect = QRect(QPoint(int(left), int(top)), QPoint(int(right), int(bottom)));
    if (!pixels)
        return true;
    d->lockedImage = d->image.copy(d->lockedRect);
    if (d->lockedImage.isNull())
        return false;
    ImageIOPrivate::imagePixelsFromQtImage(pixels, d->lockedImage);
    return true;
}

void ZLImageIO::unlockImagePixels(const void *data)
{
    const int bytesPerPixel = d->image.depth() / 8;
    const QRect target = d->lockedRect.intersected(d->image.rect());
    if (data && !d->image.isNull() && d->lockedRect.isValid() && !target.isEmpty() && bytesPerPixel > 0) {
        // The locked copy keeps Qt's row padding; a buffer of the caller's own is packed tightly.
        const qsizetype sourceStride = data == d->lockedImage.constBits()
                ? d->lockedImage.bytesPerLine()
                : qsizetype(d->lockedRect.width()) * bytesPerPixel;
        uchar *imageBits = d->ownedBits();
        const qsizetype imageStride = d->image.bytesPerLine();
        const qsizetype rowBytes = qsizetype(target.width()) * bytesPerPixel;
        const uchar *source = static_cast<const uchar *>(data);
        for (int row = target.top(); row <= target.bottom(); ++row) {
            const uchar *from = source + qsizetype(row - d->lockedRect.top()) * sourceStride
                    + qsizetype(target.left() - d->lockedRect.left()) * bytesPerPixel;
            uchar *to = imageBits + qsizetype(row) * imageStride + qsizetype(target.left()) * bytesPerPixel;
            std::memmove(to, from, size_t(rowBytes));
        }
    }
    d->lockedRect = QRect();
    d->lockedImage = QImage();
}

bool ZLImageIO::writeImagePixelsToFilePath(QString path)
{
    if (d->image.isNull())
        return false;
    // A failed write leaves an existing file as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&file, QFileInfo(path).suffix().toLower().toLatin1());
    if (!writer.write(d->image)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

const QImage ZLImageIO::imageHandle() const
{
    return d->image;
}

bool ZLImageIO::setImageHandle(QImage newImage)
{
    if (newImage.isNull())
        return false;
    releaseResources();
    d->image = std::move(newImage);
    // It may be built over const memory: held alone, bits() copies only such memory; shared
    // with the caller, that cannot be told, so the first write copies it.
    if (d->image.isDetached())
        d->image.bits();
    else
        d->borrowedPixels = true;
    return true;
}

QString ZLImageIO::filePath() const
{
    return d->reader.fileName();
}

void ZLImageIO::releaseResources()
{
    d->image = QImage();
    d->reader.setFileName(QString());
    d->lockedRect = QRect();
    d->lockedImage = QImage();
    d->borrowedPixels = false;
}

bool ZLImageIO::initFromRawPixelsData(const ZLImagePixels &pixels, const ZLImageInfo &info)
{
    releaseResources();
    const QImage::Format format = ImageIOPrivate::qtImageFormatFromSdkImageInfo(info);
    if (format == QImage::Format_Invalid)
        return false;
    const int width = roundToInt(info.width);
    const int height = roundToInt(info.height);
    if (pixels.data) {
        d->image = QImage(static_cast<const uchar *>(pixels.data), width, height, pixels.bytesPerLine, format);
        // A byte count that cannot hold every row would let the image read past the buffer.
        if (!d->image.isNull() && pixels.byteCount != 0 && qsizetype(pixels.byteCount) < d->image.sizeInBytes())
            d->image = QImage();
        d->borrowedPixels = !d->image.isNull();
    } else {
        if (pixels.bytesPerLine % 4 != 0)
            return false;
        d->image = QImage(width, height, format);
        // Zeroed, so that nothing of the heap's earlier contents can reach a written file.
        if (!d->image.isNull())
            d->image.fill(0);
    }
    return !d->image.isNull();
}

bool ZLImageIO::initFromCompressedData(const unsigned char *data, unsigned int size)
{
    if (!data || size == 0 || size > unsigned(INT_MAX))
        return false;
    const QImage decoded = QImage::fromData(data, int(size));
    if (decoded.isNull())
        return false;
    d->image = decoded;
    d->borrowedPixels = false;
    return true;
}
