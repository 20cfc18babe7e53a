#include "ptptestimage.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>

#include <algorithm>
#include <string>

namespace {

std::vector<std::uint8_t> jpeg(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

// One digit in seven segments within box: drawn with rectangles, as fonts need a GUI application.
void drawDigit(QPainter &painter, const QRect &box, int digit)
{
    // Segments a-g as bits 0-6.
    static const int segments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    const int w = box.width(), h = box.height(), t = std::max(1, w / 6);
    const QRect parts[7] = {
        {0, 0, w, t}, {w - t, 0, t, h / 2}, {w - t, h / 2, t, h - h / 2}, {0, h - t, w, t},
        {0, h / 2, t, h - h / 2}, {0, 0, t, h / 2}, {0, h / 2 - t / 2, w, t},
    };
    for (int i = 0; i < 7; ++i) {
        if (segments[digit] & (1 << i))
            painter.fillRect(parts[i].translated(box.topLeft()), Qt::black);
    }
}

} // namespace

std::vector<std::uint8_t> PtpTestImage::testCard(int width, int height, int n)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    static const QColor bars[] = {Qt::white, Qt::yellow, Qt::cyan, Qt::green, Qt::magenta, Qt::red, Qt::blue, Qt::black};
    for (int i = 0; i < 8; ++i)
        painter.fillRect(QRect(i * width / 8, 0, (i + 1) * width / 8 - i * width / 8, height), bars[i]);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(235, 235, 235));
    const int diameter = std::min(width, height) * 3 / 4;
    painter.drawEllipse(QRect((width - diameter) / 2, (height - diameter) / 2, diameter, diameter));
    const std::string digits = std::to_string(n % 10000);
    const int digitHeight = diameter / 3, digitWidth = digitHeight / 2, gap = digitWidth / 3;
    const int total = int(digits.size()) * (digitWidth + gap) - gap;
    for (std::size_t i = 0; i < digits.size(); ++i)
        drawDigit(painter, QRect((width - total) / 2 + int(i) * (digitWidth + gap), (height - digitHeight) / 2, digitWidth,
                                 digitHeight), digits[i] - '0');
    painter.end();
    return jpeg(image);
}

std::vector<std::uint8_t> PtpTestImage::liveViewFrame(int n)
{
    QImage image(160, 120, QImage::Format_RGB32);
    image.fill(QColor(40, 60, 90));
    QPainter painter(&image);
    painter.fillRect(QRect((n * 4) % 160, 0, 12, 120), QColor(240, 200, 40));
    painter.fillRect(QRect(60, 40, 40, 40), QColor(200, 60, 60));
    painter.end();
    return jpeg(image);
}
