#include "generatedspin.h"
#include "spinframecache.h"
#include "spinmanifest.h"
#include "spinpicturereader.h"
#include "spinviewer.h"
#include "spinviewermodel.h"
#include "testfiles.h"

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QSignalSpy>
#include <QtTest>

#include <libexif/exif-data.h>

#include <cstdlib>
#include <memory>

namespace {

// The JPEG with an EXIF block whose orientation tag is orientation (6: turn clockwise).
QByteArray withOrientation(const QByteArray &jpeg, int orientation)
{
    ExifData *data = exif_data_new();
    exif_data_set_byte_order(data, EXIF_BYTE_ORDER_INTEL);
    ExifEntry *entry = exif_entry_new();
    exif_content_add_entry(data->ifd[EXIF_IFD_0], entry);
    exif_entry_initialize(entry, EXIF_TAG_ORIENTATION);
    exif_set_short(entry->data, EXIF_BYTE_ORDER_INTEL, ExifShort(orientation));
    exif_entry_unref(entry);
    unsigned char *block = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data, &block, &size);
    exif_data_unref(data);
    QByteArray out = jpeg.left(2) + QByteArray("\xff\xe1", 2);
    out += char(((size + 2) >> 8) & 0xFF);
    out += char((size + 2) & 0xFF);
    out += QByteArray(reinterpret_cast<const char *>(block), int(size)) + jpeg.mid(2);
    std::free(block);
    return out;
}

} // namespace

// The viewer's model of a spin, its frame cache and the viewer object QML drives, on spins
// generated in a temporary folder.
class tst_SpinViewer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void framesInAngleOrderWithGaps();
    void gapReasons_data();
    void gapReasons();
    void refusedFolders_data();
    void refusedFolders();
    void cacheHoldsItsBound();
    void framesAreReadAtViewSize();
    void unreadablePictureIsAGap_data();
    void unreadablePictureIsAGap();
    void zoomReadsTheShownFrameLarger();
    void picturesAreTurnedUpright_data();
    void picturesAreTurnedUpright();
    void halvedToFit_data();
    void halvedToFit();
    void turningWrapsAndCaptions();
    void rowsKeepTheAngle();
    void changedPicturesAreReadAgain();

private:
    QColor centreOf(const QImage &image) const { return image.pixelColor(image.width() / 2, image.height() * 2 / 3); }
    // Rewrites the manifest of folder through change.
    bool editManifest(const QString &folder, const std::function<void(SpinManifest::Spin *)> &change);

    std::unique_ptr<QTemporaryDir> dir;
};

void tst_SpinViewer::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
}

bool tst_SpinViewer::editManifest(const QString &folder, const std::function<void(SpinManifest::Spin *)> &change)
{
    SpinManifest::Spin spin;
    QString error;
    if (!SpinManifest::read(folder, &spin, &error))
        return false;
    change(&spin);
    return SpinManifest::write(folder, spin, &error);
}

void tst_SpinViewer::framesInAngleOrderWithGaps()
{
    GeneratedSpin generated;
    generated.angles = {180.0, 0.0, 270.0, 90.0, 45.0};
    generated.withoutPicture = {4};
    const QString folder = generated.write(dir->path(), QStringLiteral("spin"));
    QVERIFY(!folder.isEmpty());

    SpinViewerModel model;
    QString error;
    QVERIFY2(model.open(folder, &error), qPrintable(error));
    QCOMPARE(model.rowCount(), 1);
    QVector<double> angles;
    QVector<int> shots;
    for (const SpinViewerFrame &frame : model.row(0).frames) {
        angles << frame.angle;
        shots << frame.shot;
    }
    QCOMPARE(angles, (QVector<double>{0.0, 45.0, 90.0, 180.0, 270.0}));
    QCOMPARE(shots, (QVector<int>{2, 5, 4, 1, 3}));
    QCOMPARE(model.frame(0, 2).kind, SpinViewerFrame::Missing);
    QVERIFY(model.frame(0, 2).path.isEmpty());
    QCOMPARE(model.frame(0, 3).kind, SpinViewerFrame::Picture);
    QVERIFY(QFileInfo(model.frame(0, 3).path).isFile());
}

void tst_SpinViewer::gapReasons_data()
{
    QTest::addColumn<QString>("scene");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("picture deleted") << "deleted" << 1 << int(SpinViewerFrame::Missing) << "is missing";
    QTest::newRow("fired through the cable") << "cable" << 0 << int(SpinViewerFrame::Missing) << "camera's card";
    QTest::newRow("camera failed") << "failed" << 1 << int(SpinViewerFrame::Missing) << "lens cap on";
    QTest::newRow("stopped before the angle") << "stopped" << 3 << int(SpinViewerFrame::NotTaken) << "Not taken";
    QTest::newRow("failed retake keeps the picture") << "retake" << 1 << int(SpinViewerFrame::Picture) << "";
}

void tst_SpinViewer::gapReasons()
{
    QFETCH(QString, scene);
    QFETCH(int, position);
    QFETCH(int, kind);
    QFETCH(QString, reason);

    GeneratedSpin generated = GeneratedSpin::evenlySpaced(4);
    if (scene == "cable")
        generated.cameraKind = QStringLiteral("cable");
    const QString folder = generated.write(dir->path(), QStringLiteral("spin"));
    QVERIFY(!folder.isEmpty());
    if (scene == "deleted") {
        QVERIFY(QFile::remove(QDir(folder).filePath(QLatin1String(SpinManifest::imagesFolder) + QLatin1Char('/')
                                                    + SpinManifest::pictureStem(2, 90.0, 4) + ".jpg")));
    } else if (scene == "failed") {
        QVERIFY(editManifest(folder, [](SpinManifest::Spin *spin) {
            spin->shots[1].files.clear();
            spin->shots[1].outcome = QStringLiteral("failed");
            spin->shots[1].error = QStringLiteral("lens cap on");
        }));
    } else if (scene == "stopped") {
        QVERIFY(editManifest(folder, [](SpinManifest::Spin *spin) {
            spin->shots.removeLast();
            spin->state = QStringLiteral("stopped");
        }));
    } else if (scene == "retake") {
        QVERIFY(editManifest(folder, [](SpinManifest::Spin *spin) {
            SpinManifest::Shot retake = spin->shots.at(1);
            retake.files.clear();
            retake.outcome = QStringLiteral("failed");
            spin->shots.append(retake);
        }));
    }

    SpinViewerModel model;
    QString error;
    QVERIFY2(model.open(folder, &error), qPrintable(error));
    QCOMPARE(model.frameCount(0), 4);
    const SpinViewerFrame &frame = model.frame(0, position);
    QCOMPARE(int(frame.kind), kind);
    QVERIFY2(reason.isEmpty() ? frame.reason.isEmpty() : frame.reason.contains(reason), qPrintable(frame.reason));
}

void tst_SpinViewer::refusedFolders_data()
{
    QTest::addColumn<QString>("scene");
    QTest::addColumn<QString>("text");
    QTest::newRow("no such folder") << "gone" << "does not exist";
    QTest::newRow("a folder of pictures") << "plain" << "is not a spin";
    QTest::newRow("speed edited out of bounds") << "speed" << "speed";
    QTest::newRow("not JSON") << "garbage" << "cannot be read";
    QTest::newRow("picture outside the folder") << "outside" << "cannot be read";
}

void tst_SpinViewer::refusedFolders()
{
    QFETCH(QString, scene);
    QFETCH(QString, text);

    QString folder = QDir(dir->path()).filePath(QStringLiteral("gone"));
    if (scene == "plain") {
        folder = dir->path();
        QVERIFY(QImage(8, 8, QImage::Format_RGB32).save(QDir(folder).filePath("IMG_0001.jpg")));
    } else if (scene != "gone") {
        folder = GeneratedSpin::evenlySpaced(3).write(dir->path(), QStringLiteral("spin"));
        const QString manifest = QDir(folder).filePath(QLatin1String(SpinManifest::fileName));
        QByteArray content = TestFiles::read(manifest);
        if (scene == "speed")
            content.replace("\"speed\": 0", "\"speed\": 500");
        else if (scene == "garbage")
            content = "{\"format\": 1, \"shots\": [";
        else
            content.replace("\"originalCapturedImages/01_", "\"../../01_");
        QVERIFY(TestFiles::write(manifest, content));
    }

    SpinViewer viewer;
    QVERIFY(!viewer.open(folder));
    QVERIFY(!viewer.isValid());
    QVERIFY2(viewer.error().contains(text), qPrintable(viewer.error()));
    // What the window shows in place of a frame.
    QCOMPARE(viewer.gapText(), viewer.error());
    QCOMPARE(viewer.frameCount(), 0);
    viewer.step(1);
    viewer.stepRow(1);
    QCOMPARE(viewer.currentFrame(), 0);
}

void tst_SpinViewer::cacheHoldsItsBound()
{
    GeneratedSpin generated = GeneratedSpin::evenlySpaced(12);
    const QString folder = generated.write(dir->path(), QStringLiteral("spin"));
    SpinViewerModel model;
    QString error;
    QVERIFY(model.open(folder, &error));
    QStringList paths;
    for (const SpinViewerFrame &frame : model.row(0).frames)
        paths << frame.path;

    SpinFrameCache cache;
    const qint64 frameBytes = 160 * 120 * 4;
    cache.setViewSize(QSize(160, 120));
    cache.setBudget(4 * frameBytes);
    cache.setPictures({paths});
    QCOMPARE(cache.capacity(), 4);
    QTRY_VERIFY(cache.isIdle());
    QCOMPARE(cache.readyCount(), 4);
    // The frames nearest the shown one, on both sides of the circle.
    for (int frame : {0, 1, 11})
        QCOMPARE(cache.status(0, frame), SpinFrameCache::Ready);
    QCOMPARE(cache.status(0, 6), SpinFrameCache::Waiting);

    QSignalSpy ready(&cache, &SpinFrameCache::frameReady);
    cache.setFocus(0, 6);
    QTRY_VERIFY(cache.isIdle());
    QVERIFY(ready.count() >= 3);
    QCOMPARE(cache.readyCount(), 4);
    QVERIFY(cache.heldBytes() <= 4 * frameBytes);
    for (int frame : {5, 6, 7})
        QCOMPARE(cache.status(0, frame), SpinFrameCache::Ready);
    QVERIFY(cache.image(0, 0).isNull());
    QCOMPARE(positionOfColour(centreOf(cache.image(0, 7)), 12), 7);
}

void tst_SpinViewer::framesAreReadAtViewSize()
{
    GeneratedSpin generated = GeneratedSpin::evenlySpaced(3);
    generated.size = QSize(1600, 1200);
    const QString folder = generated.write(dir->path(), QStringLiteral("spin"));
    SpinViewer viewer;
    viewer.setViewSize(QSize(300, 300));
    QVERIFY(viewer.open(folder));
    QTRY_VERIFY(!viewer.currentImage().isNull());
    // 300 rounds up to 320: the picture fitted into 320 x 320, never the full 1600 x 1200.
    QCOMPARE(viewer.currentImage().size(), QSize(320, 240));
    QCOMPARE(positionOfColour(centreOf(viewer.currentImage()), 3), 0);
    QVERIFY(!viewer.isLoading());
    QCOMPARE(viewer.pictureCount(), 3);
    QTRY_COMPARE(viewer.readyCount(), 3);
}

void tst_SpinViewer::unreadablePictureIsAGap_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    QTest::newRow("JPEG start, then nothing") << QByteArray("\xff\xd8\xff\xe0 not a picture at all", 25) << "cannot be read";
    // Refused from its header: read whole, it would take 6.4 GB.
    QTest::newRow("PNG claiming 40000 x 40000") << hugePngHeader() << "too large";
    QTest::newRow("empty") << QByteArray() << "cannot be read";
}

void tst_SpinViewer::unreadablePictureIsAGap()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    GeneratedSpin generated = GeneratedSpin::evenlySpaced(3);
    const QString folder = generated.write(dir->path(), QStringLiteral("spin"));
    SpinViewerModel model;
    QString error;
    QVERIFY(model.open(folder, &error));
    QVERIFY(TestFiles::write(model.frame(0, 1).path, content));

    SpinViewer viewer;
    QVERIFY(viewer.open(folder));
    viewer.setCurrentFrame(1);
    QTRY_COMPARE(viewer.cache()->status(0, 1), SpinFrameCache::Unreadable);
    QVERIFY2(viewer.gapText().contains(reason), qPrintable(viewer.gapText()));
    QVERIFY(!viewer.isLoading());
    QVERIFY(viewer.currentImage().isNull());
    viewer.step(1);
    QTRY_VERIFY(!viewer.currentImage().isNull());
}

void tst_SpinViewer::zoomReadsTheShownFrameLarger()
{
    GeneratedSpin generated = GeneratedSpin::evenlySpaced(2);
    generated.size = QSize(1600, 1200);
    const QString folder = generated.write(dir->path(), QStringLiteral("spin"));
    SpinViewer viewer;
    viewer.setViewSize(QSize(320, 320));
    QVERIFY(viewer.open(folder));
    QSignalSpy zoomed(&viewer, &SpinViewer::zoomChanged);
    viewer.setCurrentFrame(1);
    viewer.requestZoom();
    QVERIFY(zoomed.wait(10000));
    QCOMPARE(viewer.currentZoomImage().size(), QSize(1600, 1200));
    QCOMPARE(positionOfColour(centreOf(viewer.currentZoomImage()), 2), 1);
    // Turned on, the zoomed picture is no longer the shown frame's.
    viewer.step(1);
    QVERIFY(viewer.currentZoomImage().isNull());
}

void tst_SpinViewer::picturesAreTurnedUpright_data()
{
    QTest::addColumn<int>("turn");
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<QSize>("zoomed");
    QTest::newRow("as stored") << int(QImageIOHandler::TransformationNone) << QSize(200, 150) << QSize(400, 300);
    QTest::newRow("camera held upright") << int(QImageIOHandler::TransformationRotate90) << QSize(150, 200)
                                          << QSize(300, 400);
}

// A camera held on its side writes landscape pixels and says so in the orientation tag.
void tst_SpinViewer::picturesAreTurnedUpright()
{
    QFETCH(int, turn);
    QFETCH(QSize, frame);
    QFETCH(QSize, zoomed);
    QImage stored(400, 300, QImage::Format_RGB32);
    stored.fill(Qt::blue);
    // The stored picture's top-left corner, which turning clockwise takes to the top-right.
    stored.setPixelColor(0, 0, Qt::white);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x)
            stored.setPixelColor(x, y, Qt::red);
    const QString path = dir->filePath(QStringLiteral("turned.jpg"));
    QBuffer jpeg;
    jpeg.open(QIODevice::WriteOnly);
    QVERIFY(stored.save(&jpeg, "jpeg", 95));
    QVERIFY(TestFiles::write(path, withOrientation(jpeg.data(), turn ? 6 : 1)));
    QCOMPARE(int(QImageReader(path).transformation()), turn);

    const QImage fitted = SpinPictureReader::readFitted(path, QSize(200, 200));
    QCOMPARE(fitted.size(), frame);
    const QPoint redCorner = turn ? QPoint(fitted.width() - 5, 5) : QPoint(5, 5);
    QCOMPARE(fitted.pixelColor(redCorner).red() > 200 && fitted.pixelColor(redCorner).blue() < 80, true);

    GeneratedSpin generated = GeneratedSpin::evenlySpaced(1);
    const QString folder = generated.write(dir->path(), QStringLiteral("spin"));
    SpinViewer viewer;
    QVERIFY(viewer.open(folder));
    QVERIFY(QFile::remove(viewer.model().frame(0, 0).path));
    QVERIFY(QFile::copy(path, viewer.model().frame(0, 0).path));
    viewer.reload();
    QSignalSpy zoomedIn(&viewer, &SpinViewer::zoomChanged);
    viewer.requestZoom();
    QVERIFY(zoomedIn.wait(10000));
    QCOMPARE(viewer.currentZoomImage().size(), zoomed);
}

void tst_SpinViewer::halvedToFit_data()
{
    QTest::addColumn<QSize>("full");
    QTest::addColumn<QSize>("fitted");
    QTest::newRow("24 MP whole") << QSize(6000, 4000) << QSize(6000, 4000);
    QTest::newRow("100 MP halved") << QSize(12240, 8160) << QSize(6120, 4080);
    QTest::newRow("400 MP quartered") << QSize(24480, 16320) << QSize(6120, 4080);
    QTest::newRow("just over") << QSize(8000, 4001) << QSize(4000, 2000);
}

void tst_SpinViewer::halvedToFit()
{
    QFETCH(QSize, full);
    QFETCH(QSize, fitted);
    QCOMPARE(SpinPictureReader::halvedToFit(full, SpinFrameCache::maxZoomPixels), fitted);
}

void tst_SpinViewer::turningWrapsAndCaptions()
{
    const QString folder = GeneratedSpin::evenlySpaced(8).write(dir->path(), QStringLiteral("spin"));
    SpinViewer viewer;
    QVERIFY(viewer.open(folder));
    QSignalSpy changed(&viewer, &SpinViewer::currentChanged);
    QCOMPARE(viewer.caption(), QStringLiteral("Shot 1 of 8 \u2013 0.0\u00b0"));
    viewer.step(-1);
    QCOMPARE(viewer.currentFrame(), 7);
    QCOMPARE(viewer.shotNumber(), 8);
    QCOMPARE(viewer.caption(), QStringLiteral("Shot 8 of 8 \u2013 315.0\u00b0"));
    viewer.step(3);
    QCOMPARE(viewer.currentFrame(), 2);
    QCOMPARE(viewer.angle(), 90.0);
    viewer.setCurrentFrame(8);
    QCOMPARE(viewer.currentFrame(), 2);
    QCOMPARE(changed.count(), 2);
}

void tst_SpinViewer::rowsKeepTheAngle()
{
    GeneratedSpin lower = GeneratedSpin::evenlySpaced(8);
    GeneratedSpin upper = GeneratedSpin::evenlySpaced(4);
    upper.row = 1;
    const QString first = lower.write(dir->path(), QStringLiteral("low"));
    const QString second = upper.write(dir->path(), QStringLiteral("high"));
    SpinViewer viewer;
    QVERIFY(viewer.open(first));
    QVERIFY(viewer.addRow(second));
    QVERIFY(!viewer.addRow(second));
    QVERIFY2(viewer.message().contains("open already"), qPrintable(viewer.message()));
    QCOMPARE(viewer.rowCount(), 2);
    QCOMPARE(viewer.folders(), (QStringList{first, second}));
    viewer.setCurrentFrame(3); // 135 degrees
    viewer.stepRow(1);
    QCOMPARE(viewer.currentRow(), 1);
    QCOMPARE(viewer.frameCount(), 4);
    QCOMPARE(viewer.angle(), 90.0);
    QVERIFY(viewer.caption().endsWith("row 2 of 2"));
    viewer.stepRow(5);
    QCOMPARE(viewer.currentRow(), 1);
    QTRY_VERIFY(!viewer.currentImage().isNull());
}

void tst_SpinViewer::changedPicturesAreReadAgain()
{
    GeneratedSpin generated = GeneratedSpin::evenlySpaced(4);
    const QString folder = generated.write(dir->path(), QStringLiteral("spin"));
    SpinViewer viewer;
    QVERIFY(viewer.open(folder));
    QTRY_VERIFY(!viewer.currentImage().isNull());
    QCOMPARE(positionOfColour(centreOf(viewer.currentImage()), 4), 0);
    const QString path = viewer.model().frame(0, 0).path;

    // Another picture under the same name, as a retake would write it (another size, so the
    // file's stamp changes even within the file system's time resolution).
    QImage other(200, 150, QImage::Format_RGB32);
    other.fill(GeneratedSpin::colourAt(2, 4));
    QVERIFY(other.save(path, "jpeg", 92));
    QTRY_COMPARE_WITH_TIMEOUT(positionOfColour(centreOf(viewer.currentImage()), 4), 2, 10000);

    QVERIFY(QFile::remove(path));
    QTRY_VERIFY_WITH_TIMEOUT(viewer.gapText().contains("missing"), 10000);
    QVERIFY(viewer.currentImage().isNull());
}

QTEST_MAIN(tst_SpinViewer)
#include "tst_spinviewer.moc"
