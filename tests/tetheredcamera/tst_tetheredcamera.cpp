// The tethered camera on PTP cameras emulated on the USB interface, through the real
// libgphoto2: what the host is promised in zltetheredcamera.h.
#include "cameraspy.h"
#include "emulatedptpcamera.h"
#include "zltetheredcamera.h"

#include <dlfcn.h>

#include <QDir>
#include <QElapsedTimer>
#include <QPluginLoader>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

namespace {

Bytes pattern(std::size_t size, std::uint8_t seed)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = std::uint8_t(seed + i * 13 + (i >> 8));
    return bytes;
}

QByteArray toByteArray(const Bytes &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file below dir, relative to it.
QStringList filesBelow(const QString &dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(dir).relativeFilePath(it.next());
    files.sort();
    return files;
}

constexpr int waitMs = 20000;

} // namespace

class TestTetheredCamera : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pluginFileHandsOutTheCamera();
    void searchNamesEachCameraByModel_data();
    void searchNamesEachCameraByModel();
    void openReportsSuccessOrWhy_data();
    void openReportsSuccessOrWhy();
    void captureStoresEachFileUnderTheStem_data();
    void captureStoresEachFileUnderTheStem();
    void emptyTextLeavesThePictureOnTheCard();
    void refusedCaptureFailsWithTheReason_data();
    void refusedCaptureFailsWithTheReason();
    void captureNeverCompletedFailsWithinTheBound();
    void slowCameraIsWaitedFor();
    void closingInsideACaptureNeitherHangsNorReports();
    void unplugIsReportedAndReplugFound_data();
    void unplugIsReportedAndReplugFound();
    void liveViewFramesArriveAndStop_data();
    void liveViewFramesArriveAndStop();
    void browsesAndDownloadsTheCard();

private:
    // A camera object with the slot's camera open; null (and the test failed) otherwise.
    std::unique_ptr<ZLTetheredCamera> openCamera();
    bool capture(ZLTetheredCamera &camera, const QString &stem);

    EmulatedPtpCamera &emulator = EmulatedPtpCamera::instance();
    CameraSpy spy;
    int slot = 0;
    std::unique_ptr<QTemporaryDir> scratch;
};

void TestTetheredCamera::initTestCase()
{
    QVERIFY2(EmulatedPtpCamera::available(), "needs libumockdev-preload in LD_PRELOAD");
    // libgphoto2 unloads its port library after each use; held here, leak reports of its own
    // leaks name it and the sanitizer's suppressions apply.
    QVERIFY(dlopen(GPHOTO2_IOLIBS "/usb1.so", RTLD_NOW));
    spy.install();
}

void TestTetheredCamera::init()
{
    emulator.reset();
    slot = emulator.plug();
    spy.clear();
    scratch = std::make_unique<QTemporaryDir>();
    QVERIFY(scratch->isValid());
}

void TestTetheredCamera::cleanup()
{
    scratch.reset();
}

std::unique_ptr<ZLTetheredCamera> TestTetheredCamera::openCamera()
{
    auto camera = std::make_unique<ZLTetheredCamera>();
    camera->searchAvailableCameras();
    if (!QTest::qWaitFor([this] { return spy.count("found") == 1; }, waitMs) || spy.names().isEmpty()) {
        QTest::qFail("no camera found", __FILE__, __LINE__);
        return nullptr;
    }
    camera->openHardware(0);
    if (!QTest::qWaitFor([this] { return spy.count("opened 0") == 1; }, waitMs)) {
        QTest::qFail(qPrintable("not opened: " + camera->lastError()), __FILE__, __LINE__);
        return nullptr;
    }
    spy.clear();
    return camera;
}

// Captures to stem and waits for the end of it; whether it succeeded.
bool TestTetheredCamera::capture(ZLTetheredCamera &camera, const QString &stem)
{
    const int before = spy.count("finished ");
    if (!camera.captureImage(stem))
        return false;
    return QTest::qWaitFor([&] { return spy.count("finished ") > before; }, 60000)
        && spy.all().contains("finished " + stem + " 1");
}

void TestTetheredCamera::pluginFileHandsOutTheCamera()
{
    QPluginLoader loader(QStringLiteral(TETHERED_PLUGIN_FILE));
    QCOMPARE(loader.metaData().value("IID").toString(), QString("com.marvolix.ZLRegisterPlugin"));
    auto *root = qobject_cast<ZLRegisterPlugin *>(loader.instance());
    QVERIFY2(root, qPrintable(loader.errorString()));
    QCOMPARE(root->supportedPluginTypes(), (unsigned short)ZLRegisterPlugin::CameraHardwarePlugin);
    QCOMPARE(root->createPluginObject(ZLRegisterPlugin::TurntableHardwarePlugin), nullptr);
    std::unique_ptr<ZLAbstractPlugin> object(root->createPluginObject(ZLRegisterPlugin::CameraHardwarePlugin));
    auto *camera = dynamic_cast<ZLCameraHardware *>(object.get());
    QVERIFY(camera);
    QCOMPARE(camera->pluginType(), ZLRegisterPlugin::CameraHardwarePlugin);
    // The host's promise: this camera reports its pictures; nothing open, no live view.
    QVERIFY(camera->cameraQueryB());
    QVERIFY(!camera->cameraQueryA());
    QVERIFY(!camera->captureImage(scratch->filePath("x")));
    QVERIFY(!camera->lastError().isEmpty());
}

void TestTetheredCamera::searchNamesEachCameraByModel_data()
{
    QTest::addColumn<QStringList>("models");
    QTest::newRow("none") << QStringList();
    QTest::newRow("one") << QStringList{"EOS Test 90"};
    QTest::newRow("two") << QStringList{"EOS Test 90", "Alpha Test 7"};
}

void TestTetheredCamera::searchNamesEachCameraByModel()
{
    QFETCH(QStringList, models);
    emulator.reset();
    QStringList expected;
    for (const QString &model : models) {
        EmulatedPtpCamera::Identity identity;
        identity.model = model.toStdString();
        const int at = emulator.plug(identity);
        // "usb:001,004" as the user reads it
        expected << "Zenlyte Optics " + model + " (USB " + QString::fromStdString(emulator.usbPort(at)).mid(4) + ")";
    }
    ZLTetheredCamera camera;
    camera.searchAvailableCameras();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count("found"), 1, waitMs);
    QStringList names = spy.names();
    names.sort();
    expected.sort();
    QCOMPARE(names, expected);
}

void TestTetheredCamera::openReportsSuccessOrWhy_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("error");
    QTest::newRow("attached") << "attached" << "opened 0" << "";
    QTest::newRow("index beyond the search") << "beyond" << "disconnected 1" << "search for cameras again";
    QTest::newRow("in use by another program") << "claimed" << "disconnected 0" << "in use by another program";
    QTest::newRow("gone since the search") << "gone" << "disconnected 0" << "no longer connected";
}

void TestTetheredCamera::openReportsSuccessOrWhy()
{
    QFETCH(QString, how);
    QFETCH(QString, report);
    QFETCH(QString, error);
    ZLTetheredCamera other;
    if (how == "claimed") {
        // Another program: a camera object of its own that has the camera open.
        other.searchAvailableCameras();
        QTRY_COMPARE_WITH_TIMEOUT(spy.count("found"), 1, waitMs);
        other.openHardware(0);
        QTRY_COMPARE_WITH_TIMEOUT(spy.count("opened 0"), 1, waitMs);
        spy.clear();
    }
    ZLTetheredCamera camera;
    camera.searchAvailableCameras();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count("found"), 1, waitMs);
    if (how == "gone")
        emulator.unplug(slot);
    camera.openHardware(how == "beyond" ? 1 : 0);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count("opened") + spy.count("disconnected"), 1, waitMs);
    QCOMPARE(spy.all().last(), report);
    QVERIFY2(camera.lastError().contains(error), qPrintable(camera.lastError()));
    QCOMPARE(camera.currentCameraIndex(), how == "attached" ? size_t(0) : SIZE_MAX);
    QCOMPARE(emulator.sessionOpen(slot), how == "attached" || how == "claimed");
}

void TestTetheredCamera::captureStoresEachFileUnderTheStem_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("stem");
    QTest::addColumn<QStringList>("stored");  // in the camera's order
    QTest::newRow("one JPEG") << QStringList{"IMG_0042.JPG"} << 70000 << "07_135.0" << QStringList{"07_135.0.jpg"};
    // Above 1 MiB libgphoto2 reads in chunks.
    QTest::newRow("RAW and JPEG") << QStringList{"IMG_0043.CR3", "IMG_0043.JPG"} << 3 * 1024 * 1024 + 17 << "01_0.0"
                                  << QStringList{"01_0.0.cr3", "01_0.0.jpg"};
    QTest::newRow("a name climbing out") << QStringList{"../../x.jpg"} << 5000 << "02_10.0" << QStringList{"02_10.0.jpg"};
    QTest::newRow("a folder in the name, no extension")
        << QStringList{"DCIM.JPG/../../../etc/passwd"} << 600 << "03" << QStringList{"03.bin"};
    QTest::newRow("odd characters in the extension") << QStringList{"X.J/P"} << 600 << "03" << QStringList{"03.bin"};
    QTest::newRow("two JPEGs") << QStringList{"A.JPG", "B.JPG"} << 900 << "04" << QStringList{"04.jpg", "04-2.jpg"};
    QTest::newRow("into a folder still to make") << QStringList{"IMG_1.JPG"} << 900 << "new/originalCapturedImages/05"
                                                 << QStringList{"new/originalCapturedImages/05.jpg"};
}

void TestTetheredCamera::captureStoresEachFileUnderTheStem()
{
    QFETCH(QStringList, names);
    QFETCH(int, size);
    QFETCH(QString, stem);
    QFETCH(QStringList, stored);
    std::vector<EmulatedPtpCamera::File> files;
    for (int i = 0; i < names.size(); ++i)
        files.push_back({names[i].toStdString(), pattern(std::size_t(size + i), std::uint8_t(i + 1))});
    emulator.setNextCapture(slot, files);
    auto camera = openCamera();
    QVERIFY(camera);
    const QString root = scratch->filePath("spin");
    QVERIFY(capture(*camera, root + "/" + stem));

    QStringList expectedReports, expectedFiles;
    for (const QString &name : stored) {
        expectedReports << "saved " + root + "/" + name;
        expectedFiles << "spin/" + name;
    }
    expectedReports << "finished " + root + "/" + stem + " 1";
    QCOMPARE(spy.all(), expectedReports);
    // Exactly these files and nothing else, nowhere else: no temporary left, no escape.
    expectedFiles.sort();
    QCOMPARE(filesBelow(scratch->path()), expectedFiles);
    for (int i = 0; i < stored.size(); ++i)
        QCOMPARE(contents(root + "/" + stored[i]), toByteArray(files[std::size_t(i)].bytes));
    // Kept on the card.
    QCOMPARE(emulator.objects(slot).size(), files.size());
    QCOMPARE(emulator.counters(slot).deletes, 0u);
}

void TestTetheredCamera::emptyTextLeavesThePictureOnTheCard()
{
    auto camera = openCamera();
    QVERIFY(camera);
    QVERIFY(capture(*camera, QString()));
    QCOMPARE(spy.all(), QStringList{"finished  1"});
    QCOMPARE(emulator.objects(slot).size(), std::size_t(1));
    QCOMPARE(emulator.counters(slot).getObjectCalls, 0u);
    // Deleting after download touches only what was downloaded.
    camera->setDeleteFromCardAfterDownload(true);
    QVERIFY(capture(*camera, QString()));
    QCOMPARE(emulator.objects(slot).size(), std::size_t(2));
    QVERIFY(capture(*camera, scratch->filePath("gone-from-card")));
    QCOMPARE(emulator.counters(slot).deletes, 1u);
    QCOMPARE(emulator.objects(slot).size(), std::size_t(2));
    QVERIFY(QFile::exists(scratch->filePath("gone-from-card.jpg")));
}

void TestTetheredCamera::refusedCaptureFailsWithTheReason_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("reason");
    QTest::newRow("StoreFull") << 0x200C << "card is full";
    QTest::newRow("DeviceBusy") << 0x2019 << "busy";
    QTest::newRow("StoreNotAvailable") << 0x2013 << "no card";
}

void TestTetheredCamera::refusedCaptureFailsWithTheReason()
{
    QFETCH(int, code);
    QFETCH(QString, reason);
    auto camera = openCamera();
    QVERIFY(camera);
    emulator.refuseCaptures(slot, std::uint16_t(code));
    const QString stem = scratch->filePath("refused");
    QVERIFY(camera->captureImage(stem));
    QTRY_COMPARE_WITH_TIMEOUT(spy.all(), QStringList{"finished " + stem + " 0"}, waitMs);
    QVERIFY2(camera->lastError().contains(reason), qPrintable(camera->lastError()));
    QCOMPARE(filesBelow(scratch->path()), QStringList());
    // Still open and usable.
    QVERIFY(capture(*camera, stem));
    QVERIFY(QFile::exists(stem + ".jpg"));
}

void TestTetheredCamera::captureNeverCompletedFailsWithinTheBound()
{
    auto camera = openCamera();
    QVERIFY(camera);
    QCOMPARE(camera->captureTimeout(), std::chrono::milliseconds(30000));
    camera->setCaptureTimeout(800ms);
    emulator.setCaptureNeverCompletes(slot, true);
    const QString stem = scratch->filePath("never");
    QElapsedTimer timer;
    timer.start();
    QVERIFY(camera->captureImage(stem));
    QTRY_COMPARE_WITH_TIMEOUT(spy.count("finished "), 1, waitMs);
    const qint64 took = timer.elapsed();
    QVERIFY2(took >= 800 && took < 15000, qPrintable(QString::number(took)));
    QCOMPARE(spy.all(), QStringList{"finished " + stem + " 0"});
    QVERIFY2(camera->lastError().contains("did not finish"), qPrintable(camera->lastError()));
    // The file the camera announced is not stored under the final name, nor half of it.
    QCOMPARE(filesBelow(scratch->path()), QStringList());
    emulator.setCaptureNeverCompletes(slot, false);
    QVERIFY(capture(*camera, stem));
    QVERIFY(QFile::exists(stem + ".jpg"));
}

void TestTetheredCamera::slowCameraIsWaitedFor()
{
    emulator.setTiming(slot, 3000ms, 200ms);
    auto camera = openCamera();
    QVERIFY(camera);
    const QString stem = scratch->filePath("slow");
    QElapsedTimer timer;
    timer.start();
    QVERIFY(camera->captureImage(stem));
    const qint64 returned = timer.elapsed();
    // At once, and one capture at a time.
    QVERIFY2(returned < 1000, qPrintable(QString::number(returned)));
    QVERIFY(!camera->captureImage(stem + "-again"));
    QVERIFY(camera->lastError().contains("previous picture"));
    QTRY_COMPARE_WITH_TIMEOUT(spy.count("finished "), 1, 30000);
    const qint64 took = timer.elapsed();
    QVERIFY2(took >= 3200 && took < 30000, qPrintable(QString::number(took)));
    QCOMPARE(spy.all(), (QStringList{"saved " + stem + ".jpg", "finished " + stem + " 1"}));
}

void TestTetheredCamera::closingInsideACaptureNeitherHangsNorReports()
{
    emulator.setTiming(slot, 20000ms, 0ms);
    auto camera = openCamera();
    QVERIFY(camera);
    QVERIFY(camera->captureImage(scratch->filePath("abandoned")));
    QTRY_COMPARE_WITH_TIMEOUT(emulator.counters(slot).captures, 1u, waitMs);
    QElapsedTimer timer;
    timer.start();
    camera.reset();
    QVERIFY2(timer.elapsed() < 15000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(spy.all(), QStringList());
    QVERIFY(!emulator.sessionOpen(slot));
}

void TestTetheredCamera::unplugIsReportedAndReplugFound_data()
{
    QTest::addColumn<bool>("insideDownload");
    QTest::newRow("while idle") << false;
    QTest::newRow("inside a download") << true;
}

void TestTetheredCamera::unplugIsReportedAndReplugFound()
{
    QFETCH(bool, insideDownload);
    auto camera = openCamera();
    QVERIFY(camera);
    const QString stem = scratch->filePath("unplugged");
    if (insideDownload) {
        emulator.setNextCapture(slot, {{"BIG.CR3", pattern(2 * 1024 * 1024, 9)}});
        emulator.unplugAfterObjectBytes(slot, 1500000);
        QVERIFY(camera->captureImage(stem));
        QTRY_COMPARE_WITH_TIMEOUT(spy.count("finished "), 1, waitMs);
        QCOMPARE(spy.all(), (QStringList{"disconnected 0", "finished " + stem + " 0"}));
        QCOMPARE(filesBelow(scratch->path()), QStringList());
    } else {
        emulator.unplug(slot);
        QTRY_COMPARE_WITH_TIMEOUT(spy.all(), QStringList{"disconnected 0"}, waitMs);
    }
    QVERIFY(!emulator.plugged(slot));
    QVERIFY2(camera->lastError().contains("no longer connected"), qPrintable(camera->lastError()));
    QCOMPARE(camera->currentCameraIndex(), SIZE_MAX);
    QVERIFY(!camera->captureImage(stem));

    spy.clear();
    camera->searchAvailableCameras();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count("found"), 1, waitMs);
    QCOMPARE(spy.names(), QStringList());
    emulator.replug(slot);
    spy.clear();
    camera->searchAvailableCameras();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count("found"), 1, waitMs);
    QCOMPARE(spy.names().size(), 1);
    camera->openHardware(0);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count("opened 0"), 1, waitMs);
    emulator.setNextCapture(slot, {{"AFTER.JPG", pattern(1000, 3)}});
    QVERIFY(capture(*camera, stem));
    QCOMPARE(contents(stem + ".jpg"), toByteArray(pattern(1000, 3)));
}

void TestTetheredCamera::liveViewFramesArriveAndStop_data()
{
    QTest::addColumn<bool>("offered");
    QTest::newRow("camera with live view") << true;
    QTest::newRow("camera without") << false;
}

void TestTetheredCamera::liveViewFramesArriveAndStop()
{
    QFETCH(bool, offered);
    emulator.reset();
    EmulatedPtpCamera::Identity identity;
    identity.liveView = offered;
    slot = emulator.plug(identity);
    auto camera = openCamera();
    QVERIFY(camera);
    QCOMPARE(camera->cameraQueryA(), offered);
    camera->cameraCommand();
    if (!offered) {
        // Nothing to switch on: a capture goes through the worker after the request, no frame.
        QVERIFY(capture(*camera, QString()));
        QVERIFY(!camera->liveViewOn());
        QCOMPARE(spy.frames(), 0);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(spy.frames() >= 5, waitMs);
    // The layout first and once: every frame of this camera is 160x120.
    QCOMPARE(spy.all().mid(0, 2), (QStringList{"info 160x120 3/32", "pixels"}));
    QCOMPARE(spy.count("info"), 1);

    // Paused while a capture runs: at most the frame in flight when it was asked for.
    emulator.setTiming(slot, 600ms, 0ms);
    const std::uint64_t before = emulator.counters(slot).liveViewFrames;
    const QString stem = scratch->filePath("during");
    QVERIFY(camera->captureImage(stem));
    QTRY_COMPARE_WITH_TIMEOUT(spy.count("finished "), 1, waitMs);
    QVERIFY(emulator.counters(slot).liveViewFrames <= before + 1);
    QVERIFY(spy.all().contains("finished " + stem + " 1"));
    QTRY_VERIFY_WITH_TIMEOUT(emulator.counters(slot).liveViewFrames >= before + 3, waitMs);

    QVERIFY(emulator.liveViewEnabled(slot));
    camera->cameraCommand();
    QTRY_VERIFY_WITH_TIMEOUT(!camera->liveViewOn(), waitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!emulator.liveViewEnabled(slot), waitMs);
    const std::uint64_t stopped = emulator.counters(slot).liveViewFrames;
    const int reported = spy.frames();
    emulator.setTiming(slot, 300ms, 0ms);
    QVERIFY(capture(*camera, QString()));
    QCOMPARE(emulator.counters(slot).liveViewFrames, stopped);
    QCOMPARE(spy.frames(), reported);
}

void TestTetheredCamera::browsesAndDownloadsTheCard()
{
    emulator.addObject(slot, "DCIM/100SPINW", {"IMG_0001.JPG", pattern(100, 1)});
    emulator.addObject(slot, "DCIM/100SPINW", {"IMG_0002.JPG", pattern(200, 2)});
    emulator.addObject(slot, "DCIM/101SPINW", {"IMG_0101.CR3", pattern(300, 3)});
    auto camera = openCamera();
    QVERIFY(camera);
    std::map<QString, std::list<QString>> items;
    QVERIFY(camera->browseDcimItems(&items));
    const std::map<QString, std::list<QString>> expected{
        {"/store_00010001/DCIM/100SPINW", {"IMG_0001.JPG", "IMG_0002.JPG"}},
        {"/store_00010001/DCIM/101SPINW", {"IMG_0101.CR3"}}};
    QVERIFY(items == expected);
    const QString target = scratch->filePath("copied/raw.cr3");
    QVERIFY(camera->downloadDcimItem("/store_00010001/DCIM/101SPINW/IMG_0101.CR3", target));
    QCOMPARE(contents(target), toByteArray(pattern(300, 3)));
    QVERIFY(!camera->downloadDcimItem("/store_00010001/DCIM/101SPINW/NONE.CR3", scratch->filePath("none")));
    QVERIFY(!camera->lastError().isEmpty());
    QVERIFY(!QFile::exists(scratch->filePath("none")));
    QVERIFY(!camera->downloadDcimItem("no-folder", scratch->filePath("none")));
}

QTEST_GUILESS_MAIN(TestTetheredCamera)
#include "tst_tetheredcamera.moc"
