#include "emulatedft245r.h"
#include "zlsteppermotor.h"

#include <ftdi.h>

#include <QProcess>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <unistd.h>

using namespace std::chrono_literals;

// What only the libftdi1 back end on a chip emulated on the USB interface can show; the tests
// the two links share are built a second time for it (the *_usb tests).
class tst_UsbLink : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void stringsAndUserArea_data();
    void stringsAndUserArea();
    void claimedElsewhere();
    void boundToTheSerialDriver();
    void noAccessForThisUser();
    void unplugInsideATransfer();
    void transfersPerOperation_data();
    void transfersPerOperation();

private:
    EmulatedFt245r &chip = EmulatedFt245r::instance();
};

void tst_UsbLink::init()
{
    d2xxsim::reset();
}

void tst_UsbLink::stringsAndUserArea_data()
{
    QTest::addColumn<QString>("device");
    QTest::newRow("identified") << "turntable:2";
    QTest::newRow("no record") << "plain";
    QTest::newRow("4 bytes") << "short";
    QTest::newRow("not an FT245R") << "other";
}

void tst_UsbLink::stringsAndUserArea()
{
    QFETCH(QString, device);
    std::vector<d2xxsim::DeviceSpec> specs;
    QVERIFY(d2xxsim::parseDeviceList(device.toStdString(), &specs, nullptr));
    const int slot = d2xxsim::attach(specs[0]);

    DWORD count = 0;
    QCOMPARE(FT_CreateDeviceInfoList(&count), FT_STATUS(FT_OK));
    QCOMPARE(count, DWORD(1));
    FT_DEVICE_LIST_INFO_NODE node = {};
    QCOMPARE(FT_GetDeviceInfoList(&node, &count), FT_STATUS(FT_OK));
    QCOMPARE(node.Flags, ULONG(0));
    QCOMPARE(node.ID, ULONG(0x04036001));
    QCOMPARE(QString(node.Description), QString::fromStdString(specs[0].description));
    QCOMPARE(QString(node.SerialNumber), QString::fromStdString(chip.serialNumber(slot).substr(0, 15)));

    FT_HANDLE handle = nullptr;
    QCOMPARE(FT_Open(0, &handle), FT_STATUS(FT_OK));
    DWORD size = 0;
    QCOMPARE(FT_EE_UASize(handle, &size), FT_STATUS(FT_OK));
    QCOMPARE(size, DWORD(specs[0].userArea.size()));
    std::vector<UCHAR> area(size + 4, 0xEE);
    DWORD read = 0;
    QCOMPARE(FT_EE_UARead(handle, area.data(), DWORD(area.size()), &read), FT_STATUS(FT_OK));
    QCOMPARE(read, size);
    QVERIFY(std::equal(specs[0].userArea.begin(), specs[0].userArea.end(), area.begin()));
    FT_DEVICE type = 0;
    QCOMPARE(FT_GetDeviceInfo(handle, &type, nullptr, nullptr, nullptr, nullptr), FT_STATUS(FT_OK));
    QCOMPARE(type, FT_DEVICE(FT_DEVICE_232R));
    QCOMPARE(FT_Close(handle), FT_STATUS(FT_OK));

    // libftdi1's own reading of the image: checksum and strings.
    ftdi_context *ftdi = ftdi_new();
    QCOMPARE(ftdi_usb_open(ftdi, 0x0403, 0x6001), 0);
    QCOMPARE(ftdi_read_eeprom(ftdi), 0);
    QCOMPARE(ftdi_eeprom_decode(ftdi, 0), 0);
    char manufacturer[16] = "", description[64] = "", serial[32] = "";
    QCOMPARE(ftdi_eeprom_get_strings(ftdi, manufacturer, 16, description, 64, serial, 32), 0);
    QCOMPARE(QString(manufacturer), QStringLiteral("FTDI"));
    QCOMPARE(QString(description), QString::fromStdString(specs[0].description));
    QCOMPARE(QString(serial), QString::fromStdString(chip.serialNumber(slot)));
    ftdi_usb_close(ftdi);
    ftdi_free(ftdi);
}

void tst_UsbLink::claimedElsewhere()
{
    QVERIFY(d2xxsim::attach("turntable:2"));
    chip.claimElsewhere(0, true);
    FT_DEVICE_LIST_INFO_NODE node = {};
    DWORD count = 1;
    QCOMPARE(FT_GetDeviceInfoList(&node, &count), FT_STATUS(FT_OK));
    QCOMPARE(node.Flags & FT_FLAGS_OPENED, ULONG(FT_FLAGS_OPENED));
    QVERIFY(FTDIController::availableDevices(1).empty());
    FT_HANDLE handle = nullptr;
    QCOMPARE(FT_Open(0, &handle), FT_STATUS(FT_DEVICE_NOT_OPENED));

    chip.claimElsewhere(0, false);
    QCOMPARE(FTDIController::availableDevices(1).size(), size_t(1));
}

void tst_UsbLink::boundToTheSerialDriver()
{
    // The state of a board Linux has just seen plugged in.
    QVERIFY(d2xxsim::attach("turntable:2"));
    chip.bindSerialDriver(0, true);
    const auto listed = FTDIController::availableDevices(1);
    QCOMPARE(listed.size(), size_t(1));
    // The listing opened and closed it: its tty is back.
    QVERIFY(chip.serialDriverBound(0));

    ZLStepperMotor motor;
    QVERIFY(motor.open(listed[0].deviceIndex, nullptr));
    QVERIFY(!chip.serialDriverBound(0));
    QVERIFY(motor.triggerShutterRelease());
    QCOMPARE(d2xxsim::exposures(0).size(), size_t(1));
    FT_Close(motor.handle);
    QVERIFY(chip.serialDriverBound(0));
}

void tst_UsbLink::noAccessForThisUser()
{
    if (geteuid() != 0)
        QSKIP("Needs root to run the case as nobody");
    QVERIFY(d2xxsim::attach("turntable:2"));
    chip.denyAccess(0);
    // Inherits the testbed and the preload, so its calls reach this process's chip.
    QProcess probe;
    probe.start(QStringLiteral("setpriv"), {"--reuid=nobody", "--regid=nogroup", "--clear-groups", "--",
                                            QStringLiteral(D2XXSIMPROBE), "list"});
    QVERIFY(probe.waitForFinished(60000));
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(probe.readAllStandardOutput()), QStringLiteral("devices 1\n0 flags=0 \"\" open=3\n"));
    // Root may.
    QCOMPARE(FTDIController::availableDevices(1).size(), size_t(1));
}

void tst_UsbLink::unplugInsideATransfer()
{
    QVERIFY(d2xxsim::attach("plain"));
    FT_HANDLE handle = nullptr;
    QCOMPARE(FT_Open(0, &handle), FT_STATUS(FT_OK));
    QCOMPARE(FT_SetBitMode(handle, 0xFF, FT_BITMODE_ASYNC_BITBANG), FT_STATUS(FT_OK));
    d2xxsim::clearWrites(0);
    chip.holdTransfers(0, true);
    auto write = std::async(std::launch::async, [handle] {
        UCHAR byte = 0x04;
        DWORD written = 0;
        return FT_Write(handle, &byte, 1, &written);
    });
    QTRY_COMPARE(chip.transfersInFlight(0), 1);
    const auto unplugged = std::chrono::steady_clock::now();
    d2xxsim::unplug(0);
    // Well before libftdi1's 5 s write timeout: the transfer ends with the device.
    QCOMPARE(write.wait_for(4s), std::future_status::ready);
    QVERIFY(std::chrono::steady_clock::now() - unplugged < 4s);
    QCOMPARE(write.get(), FT_STATUS(FT_IO_ERROR));
    QVERIFY(d2xxsim::writes(0).empty());

    UCHAR byte = 0;
    DWORD done = 0;
    QCOMPARE(FT_Read(handle, &byte, 1, &done), FT_STATUS(FT_IO_ERROR));
    QCOMPARE(FT_GetDeviceInfo(handle, nullptr, nullptr, nullptr, nullptr, nullptr), FT_STATUS(FT_IO_ERROR));
    FT_Close(handle);
    DWORD count = 9;
    QCOMPARE(FT_CreateDeviceInfoList(&count), FT_STATUS(FT_OK));
    QCOMPARE(count, DWORD(0));
}

void tst_UsbLink::transfersPerOperation_data()
{
    QTest::addColumn<int>("timing");
    QTest::newRow("host-timed") << int(FTDIController::StepTiming::SleepThenSpin);
    QTest::newRow("chip clock") << int(FTDIController::StepTiming::ChipClock);
}

void tst_UsbLink::transfersPerOperation()
{
    QFETCH(int, timing);
    const bool chipClock = FTDIController::StepTiming(timing) == FTDIController::StepTiming::ChipClock;
    // The figures docs/performance.md turns into time on a real link.
    QVERIFY(d2xxsim::attach("turntable:2"));
    chip.clearTransfers(0);
    QCOMPARE(FTDIController::availableDevices(1).size(), size_t(1));
    const EmulatedFt245r::Transfers listing = chip.transfers(0);

    struct : FTDIControllerOwner
    {
        std::atomic<int> ended{0};
        void rotationEnded() override { ++ended; }
    } owner;
    ZLStepperMotor motor(&owner);
    motor.stepTiming = FTDIController::StepTiming(timing);
    QVERIFY(motor.open(0, nullptr));
    motor.countsPerRevolution = 6400;
    motor.pulseDelayMs = 1;
    motor.rampUpDegrees = 0.0;
    EmulatedFt245r::Transfers moves[2];
    for (int i = 0; i < 2; ++i) {
        chip.clearTransfers(0);
        motor.setSteps(10 + 40 * i);
        QVERIFY(motor.prepareRotation());
        QVERIFY(motor.startRotation());
        // The worker's last act: the idle lock is written before it.
        QTRY_COMPARE(owner.ended.load(), i + 1);
        moves[i] = chip.transfers(0);
    }
    chip.clearTransfers(0);
    QVERIFY(motor.triggerShutterRelease());
    const EmulatedFt245r::Transfers shutter = chip.transfers(0);
    motor.stopRotation();
    FT_Close(motor.handle);

    const double controlPerCount = double(std::int64_t(moves[1].control) - std::int64_t(moves[0].control)) / 40;
    const double bulkPerCount = double(std::int64_t(moves[1].bulkOut) - std::int64_t(moves[0].bulkOut)) / 40;
    qInfo("listing: %d control, %d bulk out, %d bulk in", int(listing.control), int(listing.bulkOut),
          int(listing.bulkIn));
    qInfo("per count: %.2f control, %.2f bulk out; shutter release: %d control, %d bulk out", controlPerCount,
          bulkPerCount, int(shutter.control), int(shutter.bulkOut));
    if (chipClock) {
        // Blocks of whole counts, at least 5 ms each (3 counts of 2 ms), and no purge: the first
        // move programs the byte clock, which the second finds set. The release is one write of
        // 10257 bytes, in libftdi1's chunks of 4096.
        QVERIFY(controlPerCount <= 0.0);
        QVERIFY2(bulkPerCount > 0.0 && bulkPerCount <= 0.5, qPrintable(QString::number(bulkPerCount)));
        QCOMPARE(int(shutter.control), 0);
        QCOMPARE(int(shutter.bulkOut), 3);
    } else {
        // One purge and one one-byte write per line change; two changes a count, three a release.
        QCOMPARE(controlPerCount, 2.0);
        QCOMPARE(bulkPerCount, 2.0);
        QCOMPARE(int(shutter.control), 3);
        QCOMPARE(int(shutter.bulkOut), 3);
    }
    // Two passes over the bus for the strings (4 each), the open (6), then 3 EEPROM words to
    // find the user area and 4 for the record.
    QCOMPARE(int(listing.control), 21);
    QCOMPARE(int(listing.bulkOut + listing.bulkIn), 0);
}

QTEST_GUILESS_MAIN(tst_UsbLink)
#include "tst_usblink.moc"
