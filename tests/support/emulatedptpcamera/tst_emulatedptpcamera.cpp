// The emulated PTP camera as the real libgphoto2 sees it: what the tethered camera's tests
// lean on (detection, capture and download, browsing, deleting, live view, the faults).
#include "emulatedptpcamera.h"

#include <gphoto2/gphoto2.h>

#include <dlfcn.h>
#include <fcntl.h>

#include <QElapsedTimer>
#include <QImage>
#include <QtTest>

#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes pattern(std::size_t size, std::uint8_t seed)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = std::uint8_t(seed + i * 7 + (i >> 9));
    return bytes;
}

// One libgphoto2 camera opened on the emulated camera's port as the generic PTP class camera.
struct Session
{
    GPContext *context = gp_context_new();
    Camera *camera = nullptr;
    int opened = GP_ERROR;

    explicit Session(const std::string &port)
    {
        CameraAbilitiesList *abilities = nullptr;
        GPPortInfoList *ports = nullptr;
        gp_abilities_list_new(&abilities);
        gp_abilities_list_load(abilities, context);
        gp_port_info_list_new(&ports);
        gp_port_info_list_load(ports);
        CameraAbilities a;
        GPPortInfo info;
        const bool ip = port.rfind("ptpip:", 0) == 0;
        const int model = gp_abilities_list_lookup_model(abilities, ip ? "PTP/IP Camera" : "USB PTP Class Camera");
        const int at = gp_port_info_list_lookup_path(ports, port.c_str());
        gp_camera_new(&camera);
        if (model >= 0 && at >= 0 && gp_abilities_list_get_abilities(abilities, model, &a) == GP_OK
            && gp_port_info_list_get_info(ports, at, &info) == GP_OK) {
            gp_camera_set_abilities(camera, a);
            gp_camera_set_port_info(camera, info);
            opened = gp_camera_init(camera, context);
        }
        gp_port_info_list_free(ports);
        gp_abilities_list_free(abilities);
    }
    ~Session()
    {
        if (opened == GP_OK)
            gp_camera_exit(camera, context);
        gp_camera_unref(camera);
        gp_context_unref(context);
        // libgphoto2 2.5.30's PTP/IP port closes file descriptor 0 again and again once its
        // sockets are shut: fill it, or the next socket made (umockdev's own) gets 0 and is shut.
        if (fcntl(0, F_GETFD) == -1)
            open("/dev/null", O_RDONLY);
    }

    int capture(CameraFilePath *path) { return gp_camera_capture(camera, GP_CAPTURE_IMAGE, path, context); }

    // The file's bytes, or the libgphoto2 error in *result.
    Bytes get(const std::string &folder, const std::string &name, int *result)
    {
        CameraFile *file = nullptr;
        gp_file_new(&file);
        *result = gp_camera_file_get(camera, folder.c_str(), name.c_str(), GP_FILE_TYPE_NORMAL, file, context);
        const char *data = nullptr;
        unsigned long size = 0;
        Bytes bytes;
        if (*result == GP_OK && gp_file_get_data_and_size(file, &data, &size) == GP_OK)
            bytes.assign(data, data + size);
        gp_file_unref(file);
        return bytes;
    }

    QStringList list(const std::string &folder, bool folders)
    {
        CameraList *list = nullptr;
        gp_list_new(&list);
        const int result = folders ? gp_camera_folder_list_folders(camera, folder.c_str(), list, context)
                                   : gp_camera_folder_list_files(camera, folder.c_str(), list, context);
        QStringList names;
        for (int i = 0; result == GP_OK && i < gp_list_count(list); ++i) {
            const char *name = nullptr;
            gp_list_get_name(list, i, &name);
            names << QString::fromUtf8(name);
        }
        gp_list_free(list);
        return names;
    }
};

// The ports libgphoto2's detection lists now.
QStringList detected()
{
    GPContext *context = gp_context_new();
    CameraList *list = nullptr;
    gp_list_new(&list);
    gp_camera_autodetect(list, context);
    QStringList found;
    for (int i = 0; i < gp_list_count(list); ++i) {
        const char *name = nullptr, *port = nullptr;
        gp_list_get_name(list, i, &name);
        gp_list_get_value(list, i, &port);
        found << QString::fromUtf8(name) + "@" + QString::fromUtf8(port);
    }
    gp_list_free(list);
    gp_context_unref(context);
    return found;
}

const std::string captureFolder = "/store_00010001/DCIM/100SPINW";

const char *const links[] = {"usb", "ptpip"};

} // namespace

class TestEmulatedPtpCamera : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // libgphoto2 unloads its port library after each use; held here, leak reports of its
        // own leaks name it and the sanitizer's suppressions apply.
        QVERIFY(dlopen(GPHOTO2_IOLIBS "/usb1.so", RTLD_NOW));
    }
    void init()
    {
        EmulatedPtpCamera::instance().reset();
        slot = EmulatedPtpCamera::instance().plug();
    }

    void detectedAsTheGenericClassCamera();
    void capturesAndDownloadsWhatItWasGiven_data();
    void capturesAndDownloadsWhatItWasGiven();
    void browsesAndDeletesTheCard();
    void refusesACapture_data();
    void refusesACapture();
    void triggeredCaptureReportsItsEvents_data();
    void triggeredCaptureReportsItsEvents();
    void slowCameraTakesItsExposureAndTransfer();
    void unplugInsideADownload_data() { linkRows(); }
    void unplugInsideADownload();
    void liveViewServesJpegFrames_data() { linkRows(); }
    void liveViewServesJpegFrames();

private:
    static void linkRows()
    {
        QTest::addColumn<QString>("link");
        for (const char *link : links)
            QTest::newRow(link) << link;
    }
    std::string port(const QString &link)
    {
        return link == "usb" ? emulator.usbPort(slot) : emulator.ptpIpPort(slot);
    }

    EmulatedPtpCamera &emulator = EmulatedPtpCamera::instance();
    int slot = 0;
};

void TestEmulatedPtpCamera::detectedAsTheGenericClassCamera()
{
    const QString port = QString::fromStdString(emulator.usbPort(slot));
    QCOMPARE(detected(), QStringList{"USB PTP Class Camera@" + port});
    {
        Session session(emulator.usbPort(slot));
        QCOMPARE(session.opened, GP_OK);
        QVERIFY(emulator.sessionOpen(slot));
        CameraText summary;
        QCOMPARE(gp_camera_get_summary(session.camera, &summary, session.context), GP_OK);
        QVERIFY2(std::string(summary.text).find("Model: Spinwright Test Camera") != std::string::npos, summary.text);
        QVERIFY(std::string(summary.text).find("Serial Number: SPWC0000") != std::string::npos);
    }
    // gp_camera_exit closes the session and discards the queued interrupt transfers, else it hangs.
    QVERIFY(!emulator.sessionOpen(slot));
    const std::vector<std::uint16_t> asked = emulator.operationsAsked(slot);
    for (std::uint16_t op : {0x1001, 0x1002, 0x1003, 0x1004, 0x1007})
        QVERIFY2(std::find(asked.begin(), asked.end(), op) != asked.end(), qPrintable(QString::number(op, 16)));
}

void TestEmulatedPtpCamera::capturesAndDownloadsWhatItWasGiven_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("size");
    for (const char *link : links) {
        QTest::addRow("%s: one JPEG", link) << link << QStringList{"IMG_0042.JPG"} << 70000;
        // Above 1 MiB libgphoto2 reads in GetPartialObject chunks.
        QTest::addRow("%s: RAW and JPEG", link) << link << QStringList{"IMG_0043.CR3", "IMG_0043.JPG"}
                                                << 3 * 1024 * 1024 + 17;
        // With its header, a data phase of exactly one USB packet.
        QTest::addRow("%s: a hostile name, as given", link) << link << QStringList{"../../x.jpg"} << 512 - 12;
    }
}

void TestEmulatedPtpCamera::capturesAndDownloadsWhatItWasGiven()
{
    QFETCH(QString, link);
    QFETCH(QStringList, names);
    QFETCH(int, size);
    std::vector<EmulatedPtpCamera::File> files;
    for (int i = 0; i < names.size(); ++i)
        files.push_back({names[i].toStdString(), pattern(std::size_t(size + i), std::uint8_t(i + 1))});
    emulator.setNextCapture(slot, files);
    Session session(port(link));
    QCOMPARE(session.opened, GP_OK);
    CameraFilePath path;
    QCOMPARE(session.capture(&path), GP_OK);
    QCOMPARE(std::string(path.folder), captureFolder);
    // libgphoto2 names the last file added alone; the others are found only by their events.
    QCOMPARE(QString(path.name), names.last());
    QCOMPARE(emulator.counters(slot).captures, 1u);
    for (std::size_t i = 0; i < files.size(); ++i) {
        int result = GP_ERROR;
        const Bytes got = session.get(captureFolder, files[i].name, &result);
        QCOMPARE(result, GP_OK);
        QVERIFY(got == files[i].bytes);
    }
    std::uint64_t served = 0;
    for (const auto &f : files)
        served += f.bytes.size();
    QCOMPARE(emulator.counters(slot).bytesServed, served);
    const auto stored = emulator.objects(slot);
    QCOMPARE(stored.size(), files.size());
    QCOMPARE(stored.front().folder, std::string("DCIM/100SPINW"));
    QCOMPARE(stored.front().name, files.front().name);
}

void TestEmulatedPtpCamera::browsesAndDeletesTheCard()
{
    emulator.addObject(slot, "DCIM/100SPINW", {"IMG_0001.JPG", pattern(100, 1)});
    emulator.addObject(slot, "DCIM/100SPINW", {"IMG_0002.JPG", pattern(200, 2)});
    emulator.addObject(slot, "DCIM/101SPINW", {"IMG_0101.CR3", pattern(300, 3)});
    Session session(emulator.usbPort(slot));
    QCOMPARE(session.opened, GP_OK);
    QCOMPARE(session.list("/store_00010001/DCIM", true), (QStringList{"100SPINW", "101SPINW"}));
    QCOMPARE(session.list(captureFolder, false), (QStringList{"IMG_0001.JPG", "IMG_0002.JPG"}));
    QCOMPARE(session.list("/store_00010001/DCIM/101SPINW", false), QStringList{"IMG_0101.CR3"});
    int result = GP_ERROR;
    QVERIFY(session.get("/store_00010001/DCIM/101SPINW", "IMG_0101.CR3", &result) == pattern(300, 3));
    QCOMPARE(gp_camera_file_delete(session.camera, captureFolder.c_str(), "IMG_0001.JPG", session.context), GP_OK);
    QCOMPARE(emulator.counters(slot).deletes, 1u);
    QCOMPARE(session.list(captureFolder, false), QStringList{"IMG_0002.JPG"});
    QCOMPARE(emulator.objects(slot).size(), std::size_t(2));
}

void TestEmulatedPtpCamera::refusesACapture_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("error");
    for (const char *link : links) {
        QTest::addRow("%s: StoreFull", link) << link << 0x200C << GP_ERROR;
        QTest::addRow("%s: DeviceBusy", link) << link << 0x2019 << GP_ERROR_CAMERA_BUSY;
    }
}

// libgphoto2 2.5.30's gp_camera_capture waits for events even after a refused InitiateCapture,
// and a refusing camera sends none: it would never return. Its trigger reports the refusal.
void TestEmulatedPtpCamera::refusesACapture()
{
    QFETCH(QString, link);
    QFETCH(int, code);
    QFETCH(int, error);
    emulator.refuseCaptures(slot, std::uint16_t(code));
    Session session(port(link));
    QCOMPARE(session.opened, GP_OK);
    QCOMPARE(gp_camera_trigger_capture(session.camera, session.context), error);
    CameraFilePath path;
    QCOMPARE(emulator.counters(slot).capturesRefused, 1u);
    QVERIFY(emulator.objects(slot).empty());
    // Refused once; the next capture goes through.
    QCOMPARE(session.capture(&path), GP_OK);
    QCOMPARE(QString(path.name), QString("IMG_0001.JPG"));
}

void TestEmulatedPtpCamera::triggeredCaptureReportsItsEvents_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("neverCompletes");
    QTest::addColumn<QStringList>("names");
    for (const char *link : links) {
        QTest::addRow("%s: completes", link) << link << false << QStringList{"IMG_0001.JPG"};
        QTest::addRow("%s: RAW and JPEG", link) << link << false << QStringList{"IMG_0001.CR3", "IMG_0001.JPG"};
        QTest::addRow("%s: never completes", link) << link << true << QStringList{"IMG_0001.JPG"};
    }
}

// The bounded way to capture: trigger, then wait for events with a timeout.
void TestEmulatedPtpCamera::triggeredCaptureReportsItsEvents()
{
    QFETCH(QString, link);
    QFETCH(bool, neverCompletes);
    QFETCH(QStringList, names);
    std::vector<EmulatedPtpCamera::File> files;
    for (const QString &name : names)
        files.push_back({name.toStdString(), pattern(1000, 5)});
    emulator.setNextCapture(slot, files);
    emulator.setCaptureNeverCompletes(slot, neverCompletes);
    Session session(port(link));
    QCOMPARE(session.opened, GP_OK);
    QCOMPARE(gp_camera_trigger_capture(session.camera, session.context), GP_OK);
    QStringList seen;
    for (int i = 0; i < 5 && !seen.contains("complete") && !seen.contains("timeout"); ++i) {
        CameraEventType type;
        void *data = nullptr;
        QCOMPARE(gp_camera_wait_for_event(session.camera, 300, &type, &data, session.context), GP_OK);
        if (type == GP_EVENT_FILE_ADDED)
            seen << QString("added ") + static_cast<CameraFilePath *>(data)->name;
        else if (type == GP_EVENT_CAPTURE_COMPLETE)
            seen << "complete";
        else if (type == GP_EVENT_TIMEOUT)
            seen << "timeout";
        free(data);
    }
    QStringList expected;
    for (const QString &name : names)
        expected << "added " + name;
    QCOMPARE(seen, expected << (neverCompletes ? "timeout" : "complete"));
}

void TestEmulatedPtpCamera::slowCameraTakesItsExposureAndTransfer()
{
    emulator.setTiming(slot, std::chrono::milliseconds(400), std::chrono::milliseconds(300));
    Session session(emulator.usbPort(slot));
    QCOMPARE(session.opened, GP_OK);
    QElapsedTimer timer;
    timer.start();
    CameraFilePath path;
    QCOMPARE(session.capture(&path), GP_OK);
    const qint64 exposed = timer.restart();
    QVERIFY2(exposed >= 400 && exposed < 10000, qPrintable(QString::number(exposed)));
    int result = GP_ERROR;
    QVERIFY(!session.get(path.folder, path.name, &result).empty());
    const qint64 transferred = timer.elapsed();
    QVERIFY2(transferred >= 300 && transferred < 10000, qPrintable(QString::number(transferred)));
}

void TestEmulatedPtpCamera::unplugInsideADownload()
{
    QFETCH(QString, link);
    emulator.addObject(slot, "DCIM/100SPINW", {"BIG.CR3", pattern(2 * 1024 * 1024, 9)});
    {
        Session session(port(link));
        QCOMPARE(session.opened, GP_OK);
        emulator.unplugAfterObjectBytes(slot, 1500000);
        int result = GP_OK;
        QVERIFY(session.get(captureFolder, "BIG.CR3", &result).empty());
        QVERIFY(result < GP_OK);
        QVERIFY(!emulator.plugged(slot));
        QCOMPARE(emulator.counters(slot).bytesServed, 1500000u);
        // Gone: every further call fails at once rather than hanging.
        CameraFilePath path;
        QVERIFY(session.capture(&path) < GP_OK);
    }
    if (link == "usb")
        QCOMPARE(detected(), QStringList());
    emulator.replug(slot);
    if (link == "usb")
        QCOMPARE(detected().size(), 1);
    Session again(port(link));
    QCOMPARE(again.opened, GP_OK);
    int result = GP_ERROR;
    QVERIFY(again.get(captureFolder, "BIG.CR3", &result) == pattern(2 * 1024 * 1024, 9));
}

void TestEmulatedPtpCamera::liveViewServesJpegFrames()
{
    QFETCH(QString, link);
    Session session(port(link));
    QCOMPARE(session.opened, GP_OK);
    QImage previous;
    for (int i = 0; i < 3; ++i) {
        CameraFile *file = nullptr;
        gp_file_new(&file);
        QCOMPARE(gp_camera_capture_preview(session.camera, file, session.context), GP_OK);
        const char *data = nullptr;
        unsigned long size = 0;
        gp_file_get_data_and_size(file, &data, &size);
        const QImage frame = QImage::fromData(reinterpret_cast<const uchar *>(data), int(size), "JPEG");
        gp_file_unref(file);
        QCOMPARE(frame.size(), QSize(160, 120));
        QVERIFY(frame != previous);
        previous = frame;
    }
    QCOMPARE(emulator.counters(slot).liveViewFrames, 3u);
    QVERIFY(emulator.liveViewEnabled(slot));
}

QTEST_GUILESS_MAIN(TestEmulatedPtpCamera)
#include "tst_emulatedptpcamera.moc"
