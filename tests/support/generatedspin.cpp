#include "generatedspin.h"

#include <QBuffer>

#include "spinmanifest.h"

#include <QDir>
#include <QPainter>

#include <algorithm>
#include <cmath>

GeneratedSpin GeneratedSpin::evenlySpaced(int shots)
{
    GeneratedSpin spin;
    for (int i = 0; i < shots; ++i)
        spin.angles << 360.0 * i / shots;
    return spin;
}

QColor GeneratedSpin::colourAt(int position, int count)
{
    return QColor::fromHsv(int(360.0 * position / qMax(1, count)) % 360, 255, 230);
}

int positionOfColour(const QColor &colour, int count)
{
    const int hue = colour.hsvHue();
    return int(std::lround(hue * count / 360.0)) % count;
}

QImage GeneratedSpin::picture(int shot) const
{
    QVector<double> sorted = angles;
    std::sort(sorted.begin(), sorted.end());
    QImage image(size, QImage::Format_RGB32);
    // A shot beyond the spin (a stray picture on a card) is grey.
    if (shot >= 1 && shot <= angles.size())
        image.fill(colourAt(int(sorted.indexOf(angles.at(shot - 1))), angles.size()));
    else
        image.fill(Qt::gray);
    QPainter painter(&image);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPixelSize(size.height() / 4);
    painter.setFont(font);
    // The number stays off the centre, where the tests read the colour.
    painter.drawText(QRect(0, 0, size.width(), size.height() / 3), Qt::AlignCenter, QString::number(shot));
    return image;
}

QDateTime GeneratedSpin::shotTime(int shot) const
{
    return start.addMSecs(qint64(shot) * intervalMs);
}

QString GeneratedSpin::write(const QString &root, const QString &name) const
{
    const QDir folder(QDir(root).filePath(name));
    if (!folder.mkpath(QLatin1String(SpinManifest::imagesFolder)))
        return QString();
    SpinManifest::Spin spin;
    spin.program = QStringLiteral("Spinwright test");
    spin.created = start;
    spin.state = QStringLiteral("finished");
    spin.ended = shotTime(angles.size() + 1);
    spin.cameraKind = cameraKind;
    spin.row = row;
    spin.plannedAngles = angles;
    for (int shot = 1; shot <= angles.size(); ++shot) {
        SpinManifest::Shot entry;
        entry.shot = shot;
        entry.angle = angles.at(shot - 1);
        entry.time = shotTime(shot);
        entry.outcome = cameraKind == QLatin1String("cable") ? QStringLiteral("triggered") : QStringLiteral("captured");
        if (cameraKind != QLatin1String("cable") && !withoutPicture.contains(shot)) {
            const QString file = QLatin1String(SpinManifest::imagesFolder) + QLatin1Char('/')
                    + SpinManifest::pictureStem(shot, entry.angle, angles.size()) + QStringLiteral(".jpg");
            if (!picture(shot).save(folder.filePath(file), "jpeg", 92))
                return QString();
            entry.files << file;
        }
        spin.shots << entry;
    }
    QString error;
    if (!SpinManifest::write(folder.path(), spin, &error))
        return QString();
    return folder.path();
}

namespace {

// PNG's chunk checksum.
quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

} // namespace

QByteArray hugePngHeader()
{
    QImage small(8, 8, QImage::Format_RGB32);
    small.fill(Qt::red);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    small.save(&buffer, "png");
    QByteArray png = buffer.data();
    const QByteArray side("\x00\x00\x9C\x40", 4);
    png.replace(16, 4, side);
    png.replace(20, 4, side);
    const quint32 crc = crc32(png.mid(12, 17));
    const char sum[4] = {char(crc >> 24), char(crc >> 16), char(crc >> 8), char(crc)};
    png.replace(29, 4, QByteArray(sum, 4));
    return png;
}
