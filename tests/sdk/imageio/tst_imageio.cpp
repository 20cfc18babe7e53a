#include "zlimage.h"
#include "zlimageprocessing.h"
#include "zltoolsaction.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstdlib>
#include <vector>

Q_DECLARE_METATYPE(QImage::Format)
Q_DECLARE_METATYPE(ZLRect)

namespace {
// Every pixel distinct, so that a misplaced byte shows.
QImage patterned(int width, int height, QImage::Format format)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba(x * 7 % 256, y * 11 % 256, (x + y) % 256, 255));
    return image.convertToFormat(format);
}

QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ZLImageInfo layout(unsigned short colorModel, unsigned short bitsPerPixel, float width, float height)
{
    ZLImageInfo info;
    info.colorModel = colorModel;
    info.bitsPerPixel = bitsPerPixel;
    info.width = width;
    info.height = height;
    return info;
}
}

class tst_ImageIO : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void valueTypesCompare();
    void readingTable_data();
    void readingTable();
    void writingTable_data();
    void writingTable();
    void roundTripThroughFiles_data();
    void roundTripThroughFiles();
    void failedWriteKeepsTheExistingFile();
    void lockAndUnlockARegion();
    void emptyRectangleLocksTheWholeImageInPlace();
    void unlockClipsToTheImage_data();
    void unlockClipsToTheImage();
    void unlockHonoursRowPadding();
    void invalidRectangleLocksNothing();
    void emptyImageTouchesNothing();
    void rawPixelsWithoutData();
    void rawPixelsBorrowCallerMemory_data();
    void rawPixelsBorrowCallerMemory();
    void compressedData();
    void thumbnailSizes_data();
    void thumbnailSizes();
    void synopsisOfUnreadableFile();
    void toolsImageAccess();
    void toolsReleaseRebuildsFromCallerPixels();

private:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
};

void tst_ImageIO::initTestCase()
{
    QVERIFY(dir.isValid());
}

void tst_ImageIO::valueTypesCompare()
{
    const ZLRect rect(0.5f, 1.5f, 2.5f, -2.5f);
    QCOMPARE(rect.ix(), 1);
    QCOMPARE(rect.iy(), 2);
    QCOMPARE(rect.iwidth(), 3);
    QCOMPARE(rect.iheight(), -3);
    QCOMPARE(ZLPoint(-0.5f, 2.5f).ix(), -1);
    QCOMPARE(ZLSize(1.49f, 0.5f).iheight(), 1);
    QVERIFY(ZLRect(1, 2, 3, 4) != ZLRect(1, 2, 3, 5));

    const ZLImageInfo info = layout(3, 24, 10, 20);
    QCOMPARE(info, layout(3, 24, 10, 20));
    QVERIFY(info != layout(3, 32, 10, 20));
    QVERIFY(info != layout(3, 24, 10, 21));
    const ZLImageInfo notANumber = layout(3, 24, NAN, 20);
    QVERIFY(!(notANumber == notANumber));
}

void tst_ImageIO::readingTable_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<int>("colorModel");
    QTest::addColumn<int>("bitsPerPixel");
    QTest::newRow("Grayscale8") << QImage::Format_Grayscale8 << 1 << 8;
    QTest::newRow("RGBX8888") << QImage::Format_RGBX8888 << 2 << 32;
    QTest::newRow("RGB888") << QImage::Format_RGB888 << 3 << 24;
    QTest::newRow("RGB32") << QImage::Format_RGB32 << 3 << 32;
    QTest::newRow("RGBX64") << QImage::Format_RGBX64 << 3 << 64;
    QTest::newRow("RGBA8888 premultiplied") << QImage::Format_RGBA8888_Premultiplied << 4 << 32;
    QTest::newRow("ARGB32") << QImage::Format_ARGB32 << 5 << 32;
    QTest::newRow("RGBA64") << QImage::Format_RGBA64 << 5 << 64;
    QTest::newRow("Indexed8") << QImage::Format_Indexed8 << 0 << 0;
}

void tst_ImageIO::readingTable()
{
    QFETCH(QImage::Format, format);
    QFETCH(int, colorModel);
    QFETCH(int, bitsPerPixel);
    QImage image(6, 4, format);
    if (format == QImage::Format_Indexed8)
        image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    image.fill(0);
    ZLImageIO io;
    QVERIFY(io.setImageHandle(image));
    ZLImageInfo info;
    QVERIFY(io.imageInformation(&info));
    QCOMPARE(info, layout(colorModel, bitsPerPixel, 6, 4));
}

void tst_ImageIO::writingTable_data()
{
    QTest::addColumn<int>("colorModel");
    QTest::addColumn<int>("bitsPerPixel");
    QTest::addColumn<QImage::Format>("format");
    QTest::newRow("1/8") << 1 << 8 << QImage::Format_Grayscale8;
    QTest::newRow("2/24") << 2 << 24 << QImage::Format_RGB888;
    QTest::newRow("2/32") << 2 << 32 << QImage::Format_RGBX8888;
    QTest::newRow("3/32") << 3 << 32 << QImage::Format_RGB32;
    QTest::newRow("3/64") << 3 << 64 << QImage::Format_RGBX64;
    QTest::newRow("4/8") << 4 << 8 << QImage::Format_RGBA8888;
    QTest::newRow("5/32") << 5 << 32 << QImage::Format_ARGB32;
    QTest::newRow("5/64") << 5 << 64 << QImage::Format_RGBA64;
    QTest::newRow("1/16") << 1 << 16 << QImage::Format_Invalid;
    QTest::newRow("5/24") << 5 << 24 << QImage::Format_Invalid;
    QTest::newRow("0/32") << 0 << 32 << QImage::Format_Invalid;
}

void tst_ImageIO::writingTable()
{
    QFETCH(int, colorModel);
    QFETCH(int, bitsPerPixel);
    QFETCH(QImage::Format, format);
    ZLImageIO io;
    ZLImagePixels pixels;
    pixels.bytesPerLine = 8;
    const bool built = io.initFromRawPixelsData(pixels, layout(colorModel, bitsPerPixel, 5, 3));
    QCOMPARE(built, format != QImage::Format_Invalid);
    QCOMPARE(io.imageHandle().format(), built ? format : QImage::Format_Invalid);
    if (built)
        QCOMPARE(io.imageHandle().size(), QSize(5, 3));
}

void tst_ImageIO::roundTripThroughFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<int>("colorModel");
    QTest::addColumn<int>("bitsPerPixel");
    QTest::addColumn<bool>("lossless");
    QTest::newRow("png argb") << "argb.png" << QImage::Format_ARGB32 << 5 << 32 << true;
    QTest::newRow("png grey") << "grey.png" << QImage::Format_Grayscale8 << 1 << 8 << true;
    QTest::newRow("jpeg") << "picture.jpg" << QImage::Format_RGB32 << 3 << 32 << false;
}

void tst_ImageIO::roundTripThroughFiles()
{
    QFETCH(QString, name);
    QFETCH(QImage::Format, format);
    QFETCH(int, colorModel);
    QFETCH(int, bitsPerPixel);
    QFETCH(bool, lossless);
    const QImage original = patterned(33, 17, format);
    const QString file = path(name);
    {
        ZLImageIO writer;
        QVERIFY(writer.setImageHandle(original));
        QVERIFY(writer.writeImagePixelsToFilePath(file));
    }
    QVERIFY(QFileInfo(file).size() > 0);

    ZLImageIO reader;
    QVERIFY(reader.loadFromFilePath(file));
    QCOMPARE(reader.filePath(), file);
    ZLImageInfo info;
    QVERIFY(reader.imageInformation(&info));
    QCOMPARE(info, layout(colorModel, bitsPerPixel, 33, 17));
    const QImage back = reader.imageHandle();
    if (lossless) {
        QCOMPARE(back.convertToFormat(format), original);
    } else {
        // JPEG: close, not equal.
        const QRgb expected = original.pixel(20, 10);
        const QRgb actual = back.pixel(20, 10);
        QVERIFY(qAbs(qRed(expected) - qRed(actual)) < 40);
        QVERIFY(qAbs(qGreen(expected) - qGreen(actual)) < 40);
    }

    // Content decides the format, not the suffix.
    const QString renamed = path(name + QStringLiteral(".bin"));
    QVERIFY(QFile::copy(file, renamed));
    ZLImageIO byContent;
    QVERIFY(byContent.loadFromFilePath(renamed));
    QCOMPARE(byContent.imageHandle().size(), QSize(33, 17));

    // A failed load leaves the object empty.
    QVERIFY(!byContent.loadFromFilePath(path("missing.png")));
    QVERIFY(byContent.imageHandle().isNull());
    QCOMPARE(byContent.filePath(), QString());
}

void tst_ImageIO::failedWriteKeepsTheExistingFile()
{
    const QString target = path("keep.xyz");
    QFile file(target);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("old contents");
    file.close();

    ZLImageIO io;
    QVERIFY(!io.writeImagePixelsToFilePath(path("nothing.png")));
    QVERIFY(!QFileInfo::exists(path("nothing.png")));
    QVERIFY(io.setImageHandle(patterned(4, 4, QImage::Format_RGB32)));
    // No writer knows ".xyz".
    QVERIFY(!io.writeImagePixelsToFilePath(target));
    QCOMPARE(fileContents(target), QByteArray("old contents"));
    QVERIFY(!io.writeImagePixelsToFilePath(path("no-such-folder/out.png")));
}

void tst_ImageIO::lockAndUnlockARegion()
{
    const QImage original = patterned(40, 30, QImage::Format_ARGB32);
    ZLImageIO io;
    QVERIFY(io.setImageHandle(original.copy()));
    ZLImagePixels pixels;
    QVERIFY(io.lockImagePixels(&pixels, ZLRect(10, 20, 4, 3)));
    QCOMPARE(pixels.bytesPerLine, 16);
    QCOMPARE(pixels.byteCount, 48u);
    const auto *locked = static_cast<const QRgb *>(pixels.data);
    QCOMPARE(locked[0], original.pixel(10, 20));
    QCOMPARE(locked[4 * 2 + 3], original.pixel(13, 22));

    std::vector<QRgb> replacement(4 * 3, qRgba(1, 2, 3, 4));
    io.unlockImagePixels(replacement.data());
    const QImage result = io.imageHandle();
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            const bool inside = x >= 10 && x <= 13 && y >= 20 && y <= 22;
            QCOMPARE(result.pixel(x, y), inside ? qRgba(1, 2, 3, 4) : original.pixel(x, y));
        }
    }
}

void tst_ImageIO::emptyRectangleLocksTheWholeImageInPlace()
{
    const QImage original = patterned(8, 6, QImage::Format_RGB32);
    ZLImageIO io;
    QVERIFY(io.setImageHandle(original.copy()));
    ZLImagePixels pixels;
    QVERIFY(io.lockImagePixels(&pixels, ZLRect(2, 2, 0.4f, 5)));
    const QImage handle = io.imageHandle();
    QCOMPARE(pixels.data, static_cast<const void *>(handle.constBits()));
    QCOMPARE(pixels.bytesPerLine, handle.bytesPerLine());
    QCOMPARE(qsizetype(pixels.byteCount), handle.sizeInBytes());

    std::vector<QRgb> junk(8 * 6, qRgb(9, 9, 9));
    io.unlockImagePixels(junk.data());
    QCOMPARE(io.imageHandle(), original);

    QVERIFY(io.lockImagePixels(&pixels, ZLRect(1, 1, 2, 2)));
    io.unlockImagePixels(nullptr);
    QCOMPARE(io.imageHandle(), original);
    // That ended the lock: nothing left to write back to.
    io.unlockImagePixels(junk.data());
    QCOMPARE(io.imageHandle(), original);
}

void tst_ImageIO::unlockClipsToTheImage_data()
{
    QTest::addColumn<ZLRect>("rect");
    QTest::addColumn<QRect>("area"); // the part locked; empty when the lock is refused
    const float nan = std::nanf("");
    QTest::newRow("over the top left") << ZLRect(-2, -1, 4, 3) << QRect(0, 0, 2, 2);
    QTest::newRow("over the bottom right") << ZLRect(6, 5, 4, 3) << QRect(6, 5, 2, 2);
    QTest::newRow("wider than the image") << ZLRect(-3, 2, 14, 2) << QRect(0, 2, 8, 2);
    QTest::newRow("far larger than the image") << ZLRect(-5e4f, -5e4f, 1e5f, 1e5f) << QRect(0, 0, 8, 7);
    QTest::newRow("entirely outside") << ZLRect(20, 20, 3, 3) << QRect();
    QTest::newRow("x near INT_MAX") << ZLRect(2147483000.0f, 0, 1000, 2) << QRect();
    QTest::newRow("x NaN") << ZLRect(nan, 0, 4, 4) << QRect();
    QTest::newRow("width NaN") << ZLRect(0, 0, nan, 4) << QRect();
}

void tst_ImageIO::unlockClipsToTheImage()
{
    QFETCH(ZLRect, rect);
    QFETCH(QRect, area);
    const QImage original = patterned(8, 7, QImage::Format_ARGB32);
    ZLImageIO io;
    QVERIFY(io.setImageHandle(original.copy()));
    ZLImagePixels pixels;
    QCOMPARE(io.lockImagePixels(&pixels, rect), !area.isEmpty());
    if (!area.isEmpty())
        QCOMPARE(pixels.byteCount, uint32_t(area.width() * area.height() * 4));

    // Rows of the locked part's width; more than enough for every row.
    std::vector<QRgb> source(8 * 7);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = qRgba(int(i), 200, 100, 255);
    io.unlockImagePixels(source.data());

    const QImage result = io.imageHandle();
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 8; ++x) {
            const QRgb expected = area.contains(x, y)
                    ? source[size_t((y - area.top()) * area.width() + (x - area.left()))]
                    : original.pixel(x, y);
            QCOMPARE(result.pixel(x, y), expected);
        }
    }
}

void tst_ImageIO::unlockHonoursRowPadding()
{
    // 5 pixels of 3 bytes: Qt pads each row of 15 bytes to 16.
    const QImage original = patterned(5, 4, QImage::Format_RGB888);
    QCOMPARE(original.bytesPerLine(), 16);
    ZLImageIO io;
    QVERIFY(io.setImageHandle(original.copy()));

    // A buffer of the caller's: rows packed tightly.
    const uchar packed[2 * 3 * 3] = {10, 11, 12, 20, 21, 22, 30, 31, 32,
                                     40, 41, 42, 50, 51, 52, 60, 61, 62};
    QVERIFY(io.lockImagePixels(nullptr, ZLRect(1, 1, 3, 2)));
    io.unlockImagePixels(packed);
    QImage result = io.imageHandle();
    QCOMPARE(result.pixel(1, 1), qRgb(10, 11, 12));
    QCOMPARE(result.pixel(3, 1), qRgb(30, 31, 32));
    QCOMPARE(result.pixel(1, 2), qRgb(40, 41, 42));
    QCOMPARE(result.pixel(3, 2), qRgb(60, 61, 62));
    QCOMPARE(result.pixel(4, 1), original.pixel(4, 1));
    QCOMPARE(result.pixel(0, 2), original.pixel(0, 2));
    QCOMPARE(result.pixel(1, 3), original.pixel(1, 3));

    // The locked copy itself, changed in place, keeps Qt's padded rows.
    const QImage before = result.copy();
    ZLImagePixels pixels;
    QVERIFY(io.lockImagePixels(&pixels, ZLRect(2, 2, 3, 2)));
    QCOMPARE(pixels.bytesPerLine, 12);
    auto *bytes = static_cast<uchar *>(pixels.data);
    bytes[pixels.bytesPerLine + 0] = 99;
    bytes[pixels.bytesPerLine + 1] = 98;
    bytes[pixels.bytesPerLine + 2] = 97;
    io.unlockImagePixels(pixels.data);
    result = io.imageHandle();
    QCOMPARE(result.pixel(2, 3), qRgb(99, 98, 97));
    QCOMPARE(result.pixel(3, 3), before.pixel(3, 3));
    QCOMPARE(result.pixel(4, 2), before.pixel(4, 2));
    QCOMPARE(result.pixel(2, 2), before.pixel(2, 2));
}

void tst_ImageIO::invalidRectangleLocksNothing()
{
    const QImage original = patterned(8, 8, QImage::Format_RGB32);
    ZLImageIO io;
    QVERIFY(io.setImageHandle(original.copy()));
    QVERIFY(!io.lockImagePixels(nullptr, ZLRect(4, 4, -2, 2)));
    ZLImagePixels pixels;
    QVERIFY(!io.lockImagePixels(&pixels, ZLRect(4, 4, 2, -2)));
    std::vector<QRgb> junk(16, qRgb(9, 9, 9));
    io.unlockImagePixels(junk.data());
    QCOMPARE(io.imageHandle(), original);
}

void tst_ImageIO::emptyImageTouchesNothing()
{
    ZLImageIO io;
    ZLImagePixels pixels;
    int sentinel = 0;
    pixels.data = &sentinel;
    pixels.byteCount = 77;
    pixels.bytesPerLine = 11;
    QVERIFY(!io.lockImagePixels(&pixels, ZLRect()));
    QVERIFY(!io.lockImagePixels(&pixels, ZLRect(0, 0, 4, 4)));
    QCOMPARE(pixels.data, static_cast<void *>(&sentinel));
    QCOMPARE(pixels.byteCount, 77u);
    QCOMPARE(pixels.bytesPerLine, 11);
    std::vector<QRgb> junk(16, qRgb(9, 9, 9));
    io.unlockImagePixels(junk.data());
    QVERIFY(io.imageHandle().isNull());
    ZLImageInfo info;
    QVERIFY(!io.imageInformation(&info));
    QVERIFY(!io.writeImagePixelsToFilePath(path("empty.png")));
    QVERIFY(!io.setImageHandle(QImage()));

    // Zero-size images cannot be built at all.
    ZLImagePixels none;
    QVERIFY(!io.initFromRawPixelsData(none, layout(3, 32, 0, 5)));
    QVERIFY(!io.initFromRawPixelsData(none, layout(3, 32, 5, 0.4f)));
    const QRgb buffer[4] = {};
    ZLImagePixels borrowed;
    borrowed.data = const_cast<QRgb *>(buffer);
    borrowed.bytesPerLine = 8;
    QVERIFY(!io.initFromRawPixelsData(borrowed, layout(3, 32, 0, 2)));
    QVERIFY(io.imageHandle().isNull());
}

void tst_ImageIO::rawPixelsWithoutData()
{
    ZLImageIO io;
    ZLImagePixels pixels;
    pixels.bytesPerLine = 6;
    QVERIFY(!io.initFromRawPixelsData(pixels, layout(3, 32, 7, 5)));
    pixels.bytesPerLine = 8;
    QVERIFY(!io.initFromRawPixelsData(pixels, layout(2, 16, 7, 5)));
    QVERIFY(io.initFromRawPixelsData(pixels, layout(3, 32, 6.6f, 4.5f)));
    const QImage image = io.imageHandle();
    QCOMPARE(image.size(), QSize(7, 5));
    QCOMPARE(image.format(), QImage::Format_RGB32);
    // Never heap leftovers: a new image starts out zeroed.
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            QCOMPARE(image.pixel(x, y), qRgb(0, 0, 0));
    // A failed build leaves the object empty.
    QVERIFY(!io.initFromRawPixelsData(pixels, layout(9, 32, 7, 5)));
    QVERIFY(io.imageHandle().isNull());
}

void tst_ImageIO::rawPixelsBorrowCallerMemory_data()
{
    QTest::addColumn<int>("lent"); // 0 raw pixels, 1 an image over them kept by the caller, 2 handed over
    QTest::newRow("raw pixels") << 0;
    QTest::newRow("image kept by the caller") << 1;
    QTest::newRow("image handed over") << 2;
}

void tst_ImageIO::rawPixelsBorrowCallerMemory()
{
    QFETCH(int, lent);
    std::vector<QRgb> buffer(4 * 3);
    for (size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = qRgb(int(i) * 10, 0, 0);
    const std::vector<QRgb> callerCopy = buffer;
    ZLImagePixels pixels;
    pixels.data = buffer.data();
    pixels.bytesPerLine = 16;
    pixels.byteCount = 48;
    ZLImageIO io;
    QImage overConst(reinterpret_cast<const uchar *>(buffer.data()), 4, 3, 16, QImage::Format_RGB32);
    if (lent == 0) {
        QVERIFY(io.initFromRawPixelsData(pixels, layout(3, 32, 4, 3)));
        QCOMPARE(static_cast<const void *>(io.imageHandle().constBits()), static_cast<const void *>(buffer.data()));
    } else {
        QVERIFY(io.setImageHandle(lent == 1 ? overConst : std::move(overConst)));
    }
    QCOMPARE(io.imageHandle().pixel(3, 2), qRgb(110, 0, 0));

    // Neither the whole-image lock nor a write-back goes into the caller's read-only memory.
    const QRgb white = qRgb(255, 255, 255);
    ZLImagePixels whole;
    QVERIFY(io.lockImagePixels(&whole, ZLRect()));
    static_cast<QRgb *>(whole.data)[2] = white;
    io.unlockImagePixels(nullptr);
    QVERIFY(io.lockImagePixels(nullptr, ZLRect(0, 0, 1, 1)));
    io.unlockImagePixels(&white);
    QCOMPARE(io.imageHandle().pixel(0, 0), white);
    QCOMPARE(io.imageHandle().pixel(1, 0), qRgb(10, 0, 0));
    QCOMPARE(io.imageHandle().pixel(2, 0), white);
    QVERIFY(buffer == callerCopy);

    // A byte count too small for its rows would let the image read past the buffer.
    pixels.byteCount = 40;
    QVERIFY(!io.initFromRawPixelsData(pixels, layout(3, 32, 4, 3)));
    QVERIFY(io.imageHandle().isNull());
}

void tst_ImageIO::compressedData()
{
    QByteArray png;
    QBuffer device(&png);
    QVERIFY(device.open(QIODevice::WriteOnly));
    QVERIFY(patterned(9, 4, QImage::Format_RGB32).save(&device, "PNG"));

    ZLImageIO io;
    QVERIFY(io.loadFromFilePath(path("argb.png")));
    QVERIFY(io.initFromCompressedData(reinterpret_cast<const uchar *>(png.constData()), uint(png.size())));
    QCOMPARE(io.imageHandle().size(), QSize(9, 4));
    // The reader binding stays.
    QCOMPARE(io.filePath(), path("argb.png"));

    const QByteArray garbage("definitely not an image");
    QVERIFY(!io.initFromCompressedData(reinterpret_cast<const uchar *>(garbage.constData()), uint(garbage.size())));
    QVERIFY(!io.initFromCompressedData(nullptr, 10));
    QCOMPARE(io.imageHandle().size(), QSize(9, 4));
}

void tst_ImageIO::thumbnailSizes_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QSize>("bounds");
    QTest::addColumn<QSize>("thumbnail");
    QTest::newRow("landscape jpeg") << QSize(4000, 3000) << "jpg" << QSize(200, 200) << QSize(200, 150);
    QTest::newRow("portrait jpeg") << QSize(3000, 4000) << "jpg" << QSize(200, 200) << QSize(150, 200);
    QTest::newRow("square png") << QSize(300, 300) << "png" << QSize(100, 50) << QSize(100, 100);
    QTest::newRow("sliver keeps one pixel") << QSize(2, 900) << "png" << QSize(100, 100) << QSize(1, 100);
}

void tst_ImageIO::thumbnailSizes()
{
    QFETCH(QSize, picture);
    QFETCH(QString, suffix);
    QFETCH(QSize, bounds);
    QFETCH(QSize, thumbnail);
    QImage image(picture, QImage::Format_RGB32);
    image.fill(qRgb(200, 40, 40));
    const QString file = path(QStringLiteral("thumb-%1x%2.%3").arg(picture.width()).arg(picture.height()).arg(suffix));
    QVERIFY(image.save(file));

    ZLImageInfo info;
    ZLImageIO::ThumbnailData data;
    data.info.width = float(bounds.width());
    data.info.height = float(bounds.height());
    QVERIFY(ZLImageIO::imageSynopsisFromFilePath(file, &info, &data));
    QCOMPARE(info, layout(3, 32, picture.width(), picture.height()));
    QCOMPARE(data.info.width, float(thumbnail.width()));
    QCOMPARE(data.info.height, float(thumbnail.height()));
    QCOMPARE(data.info.bitsPerPixel, (unsigned short)32);
    QVERIFY(data.pixels);
    const QRgb first = static_cast<const QRgb *>(data.pixels)[0];
    QVERIFY(qAbs(qRed(first) - 200) < 10);
    QVERIFY(qAbs(qGreen(first) - 40) < 10);
    std::free(data.pixels);

    // The description alone, without a thumbnail.
    ZLImageInfo only;
    QVERIFY(ZLImageIO::imageSynopsisFromFilePath(file, &only, nullptr));
    QCOMPARE(only, info);
}

void tst_ImageIO::synopsisOfUnreadableFile()
{
    ZLImageInfo info;
    ZLImageIO::ThumbnailData data;
    data.info.width = 100;
    data.info.height = 100;
    QVERIFY(!ZLImageIO::imageSynopsisFromFilePath(path("missing.jpg"), &info, &data));
    QCOMPARE(info, ZLImageInfo());
    QCOMPARE(data.pixels, nullptr);

    // Bounds of zero give nothing to scale to.
    QVERIFY(patterned(10, 10, QImage::Format_RGB32).save(path("small.png")));
    ZLImageIO::ThumbnailData zero;
    QVERIFY(!ZLImageIO::imageSynopsisFromFilePath(path("small.png"), &info, &zero));
    QCOMPARE(zero.pixels, nullptr);
    QCOMPARE(info, layout(3, 32, 10, 10));
}

void tst_ImageIO::toolsImageAccess()
{
    QCOMPARE(ZLToolsAction::acquireImageIO(path("missing.png"), nullptr, nullptr), nullptr);
    ZLToolsAction::releaseImageIO(ZLToolsAction::acquireImageIO());

    const QImage original = patterned(6, 5, QImage::Format_ARGB32);
    const QString source = path("tool-in.png");
    QVERIFY(original.save(source));
    ZLImageInfo info;
    ZLImagePixels pixels;
    ZLToolsAction::ImageIOHandle *handle = ZLToolsAction::acquireImageIO(source, &info, &pixels);
    QVERIFY(handle);
    QCOMPARE(info, layout(5, 32, 6, 5));
    QCOMPARE(pixels.bytesPerLine, 24);
    QCOMPARE(pixels.byteCount, 120u);

    // The tool changes the image's own pixels in place.
    static_cast<QRgb *>(pixels.data)[0] = qRgba(1, 2, 3, 255);
    const QString target = path("tool-out.png");
    QVERIFY(ZLToolsAction::releaseImageIO(handle, target, info, pixels));
    const QImage written(target);
    QCOMPARE(written.size(), QSize(6, 5));
    QCOMPARE(written.pixel(0, 0), qRgba(1, 2, 3, 255));
    QCOMPARE(written.pixel(5, 4), original.pixel(5, 4));

    // A layout that no longer matches and no pixels of the caller's: nothing written.
    handle = ZLToolsAction::acquireImageIO(source, &info, &pixels);
    QVERIFY(handle);
    QVERIFY(!ZLToolsAction::releaseImageIO(handle, path("tool-none.png"), layout(5, 32, 3, 3), ZLImagePixels()));
    QVERIFY(!QFileInfo::exists(path("tool-none.png")));
    QVERIFY(!ZLToolsAction::releaseImageIO(nullptr, path("tool-none.png"), info, pixels));

    // A file that opens but does not decode: a handle, and no pixels to point at.
    QFile truncated(path("truncated.png"));
    QVERIFY(truncated.open(QIODevice::WriteOnly));
    truncated.write(fileContents(source).left(40));
    truncated.close();
    ZLImageInfo untouched = layout(9, 9, 9, 9);
    pixels.byteCount = 5;
    handle = ZLToolsAction::acquireImageIO(truncated.fileName(), &untouched, &pixels);
    QVERIFY(handle);
    QCOMPARE(untouched, layout(9, 9, 9, 9));
    QCOMPARE(pixels.data, nullptr);
    QCOMPARE(pixels.byteCount, 0u);
    ZLToolsAction::releaseImageIO(handle);

    QVERIFY(ZLImageProcessing::acquireImageHandle(path("missing.png")).isNull());
    QCOMPARE(ZLImageProcessing::acquireImageHandle(source).size(), QSize(6, 5));
}

void tst_ImageIO::toolsReleaseRebuildsFromCallerPixels()
{
    QVERIFY(patterned(6, 5, QImage::Format_ARGB32).save(path("tool-resize.png")));
    ZLImageInfo info;
    ZLImagePixels pixels;
    ZLToolsAction::ImageIOHandle *handle = ZLToolsAction::acquireImageIO(path("tool-resize.png"), &info, &pixels);
    QVERIFY(handle);

    // The tool's result: 3 x 2 pixels of its own, bytes per line left for the SDK to work out.
    std::vector<QRgb> result(3 * 2, qRgb(0, 128, 255));
    ZLImagePixels produced;
    produced.data = result.data();
    produced.byteCount = uint32_t(result.size() * sizeof(QRgb));
    QVERIFY(ZLToolsAction::releaseImageIO(handle, path("tool-small.png"), layout(3, 32, 3, 2), produced));
    QCOMPARE(produced.bytesPerLine, 0);
    const QImage written(path("tool-small.png"));
    QCOMPARE(written.size(), QSize(3, 2));
    QCOMPARE(written.pixel(2, 1), qRgb(0, 128, 255));

    handle = ZLToolsAction::acquireImageIO(path("tool-resize.png"), &info, &pixels);
    QVERIFY(handle);
    QVERIFY(!ZLToolsAction::releaseImageIO(handle, path("tool-flat.png"), layout(3, 32, 3, 0.3f), produced));
    QVERIFY(!QFileInfo::exists(path("tool-flat.png")));
}

QTEST_MAIN(tst_ImageIO)
#include "tst_imageio.moc"
