#include "scaledpicturereader.h"

#include <QDir>
#include <QImageReader>
#include <QPainter>

namespace {
bool swapsSides(QImageIOHandler::Transformations transformation)
{
    return transformation & QImageIOHandler::TransformationRotate90;
}
}

QSize ScaledPictureReader::uprightSize(const QString &path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid())
        return QSize();
    return swapsSides(reader.transformation()) ? size.transposed() : size;
}

QImage ScaledPictureReader::read(const QString &path, const QSize &bound, QString *error)
{
    const QString shown = QDir::toNativeSeparators(path);
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (!stored.isValid()) {
        *error = tr("\"%1\" is not a picture that can be read.").arg(shown);
        return QImage();
    }
    const qint64 pixels = qint64(stored.width()) * stored.height();
    const bool scalesWhileDecoding = reader.supportsOption(QImageIOHandler::ScaledSize);
    if (pixels > pixelLimit || (!scalesWhileDecoding && pixels > fullDecodeLimit)) {
        *error = tr("\"%1\" is too large to read (%2 megapixels).").arg(shown).arg(pixels / 1000000);
        return QImage();
    }
    // The bound applies to the upright picture; the reader scales the stored one.
    const bool swap = swapsSides(reader.transformation());
    const QSize upright = swap ? stored.transposed() : stored;
    QSize wanted = upright;
    if (upright.width() > bound.width() || upright.height() > bound.height())
        wanted = upright.scaled(bound, Qt::KeepAspectRatio);
    wanted = wanted.expandedTo(QSize(1, 1));
    if (wanted != upright)
        reader.setScaledSize(swap ? wanted.transposed() : wanted);
    QImage image = reader.read();
    if (image.isNull()) {
        *error = tr("\"%1\" cannot be read: %2").arg(shown, reader.errorString());
        return QImage();
    }
    // Formats that ignore the scaled size still come out at the size asked for.
    if (image.size() != wanted)
        image = image.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

QImage ScaledPictureReader::readExactly(const QString &path, const QSize &size, QString *error)
{
    QImage image = read(path, size, error);
    if (image.isNull() || image.size() == size)
        return image.convertToFormat(QImage::Format_RGB32);
    QImage framed(size, QImage::Format_RGB32);
    framed.fill(Qt::black);
    QPainter painter(&framed);
    painter.drawImage((size.width() - image.width()) / 2, (size.height() - image.height()) / 2, image);
    return framed;
}

QSize ScaledPictureReader::sizeForWidth(const QSize &source, int width)
{
    if (!source.isValid() || source.width() <= 0)
        return QSize(width, width);
    const int height = qMax(1, int(qRound64(double(width) * source.height() / source.width())));
    return QSize(width, height);
}
