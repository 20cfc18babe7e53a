#include "../recordinghost.h"
#include "d2xxsim.h"
#include "zldcmotor.h"
#include "zlmarvolixturntablecontrol.h"
#include "zlsteppermotor.h"

#include <QtTest>

#include <atomic>
#include <cstdlib>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

RecordingHost host;

constexpr uint8_t stepLine = 0x04;
constexpr uint8_t shutterLines = 0x30;

} // namespace

// Boards that vanish, never answer or refuse to open, while the table turns or fires.
class tst_Faults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void unplugDuringStepperMoveEndsTheMove_data();
    void unplugDuringStepperMoveEndsTheMove();
    void unplugDuringDcCommandEndsTheMove();
    void dcBoardNeverReadyStopsOnRequest();
    void dcBoardNeverLeavingReadyEndsTheMove();
    void failingOpenReportsDisconnected_data();
    void failingOpenReportsDisconnected();
    void stopDuringShutterRelease();
    void unplugDuringShutterRelease();

private:
    void open(const char *devices, size_t index);
    std::unique_ptr<ZLMarvolixTurntableControl> control;
};

void tst_Faults::initTestCase()
{
    host.install();
}

void tst_Faults::init()
{
    d2xxsim::reset();
    host.clear();
    control = std::make_unique<ZLMarvolixTurntableControl>();
}

void tst_Faults::cleanup()
{
    control->stopAngleRotation();
    control->closeHardware();
    control.reset();
}

void tst_Faults::open(const char *devices, size_t index)
{
    QVERIFY(d2xxsim::attach(devices));
    QVERIFY(!control->availableTurntables().empty());
    control->openHardware(index);
    QVERIFY(control->motor());
    QVERIFY(control->stepsSpinningWillStart());
}

void tst_Faults::unplugDuringStepperMoveEndsTheMove_data()
{
    QTest::addColumn<int>("writesBeforeUnplug");
    QTest::newRow("at once") << 0;
    QTest::newRow("after the first count") << 3;
    QTest::newRow("mid move") << 41;
}

void tst_Faults::unplugDuringStepperMoveEndsTheMove()
{
    QFETCH(int, writesBeforeUnplug);
    open("turntable:2", 0);
    control->setRampUpDegrees(0.0f);
    control->setRotationSpeed(9);
    // 18 degrees of the Gemline are 320 counts: a move of about a second.
    d2xxsim::unplugAfterWrites(0, std::uint64_t(writesBeforeUnplug));
    QVERIFY(control->startAngleRotation(-18.0f));

    // The first failed write ends the move; the host hears of a disconnection, not of an end.
    QTRY_COMPARE_WITH_TIMEOUT(host.disconnects(), std::vector<size_t>{2}, 60000);
    QCOMPARE(host.disconnectsOffGuiThread.load(), 0);
    QCOMPARE(host.rotationsStopped.load(), 0);
    QCOMPARE(control->lastError(), QString("The turntable was disconnected."));
    QVERIFY(std::abs(d2xxsim::position(0)) <= writesBeforeUnplug / 2);
    QVERIFY(!control->motor());
    QVERIFY(!control->startRotationPreview(10, false));
}

void tst_Faults::unplugDuringDcCommandEndsTheMove()
{
    open("turntable:1", 0);
    d2xxsim::setDcTimePerCount(0, std::chrono::milliseconds(50));
    QVERIFY(control->startAngleRotation(90.0f));
    QTRY_VERIFY_WITH_TIMEOUT(!d2xxsim::dcCommands(0).empty(), 30000);
    d2xxsim::unplug(0);

    // The failed read of the ready line ends the move, and the host hears of the disconnection.
    QTRY_COMPARE_WITH_TIMEOUT(host.disconnects(), std::vector<size_t>{1}, 30000);
    QCOMPARE(host.rotationsStopped.load(), 0);
    QVERIFY(!control->motor());
}

void tst_Faults::dcBoardNeverReadyStopsOnRequest()
{
    open("turntable:1", 0);
    d2xxsim::setDcNeverReady(0, true);
    QVERIFY(control->startAngleRotation(30.0f));
    QTRY_VERIFY_WITH_TIMEOUT(control->motor()->isRotating(), 30000);
    control->stopAngleRotation();
    QVERIFY(!control->motor()->isRotating());
    QCOMPARE(host.rotationsStopped.load(), 1);
    QVERIFY(d2xxsim::dcCommands(0).empty());
    QCOMPARE(d2xxsim::position(0), 0);
}

void tst_Faults::dcBoardNeverLeavingReadyEndsTheMove()
{
    open("turntable:1", 0);
    d2xxsim::setDcNeverLeavesReady(0, true);
    QVERIFY(control->startAngleRotation(10.0f));
    // Every handshake gives up after its tries; a stop still returns and reports once.
    QTRY_VERIFY_WITH_TIMEOUT(d2xxsim::state(0).writeCount > 20, 30000);
    control->stopAngleRotation();
    QVERIFY(!control->motor()->isRotating());
    QCOMPARE(host.rotationsStopped.load(), 1);
    QCOMPARE(d2xxsim::position(0), 0);
}

void tst_Faults::failingOpenReportsDisconnected_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");
    QTest::newRow("invalid handle") << int(FT_INVALID_HANDLE) << "Invalid handle.";
    QTest::newRow("not found") << int(FT_DEVICE_NOT_FOUND) << "Device not found";
    QTest::newRow("not opened") << int(FT_DEVICE_NOT_OPENED) << "Device not opened";
    QTest::newRow("io error") << int(FT_IO_ERROR) << "IO Error";
    QTest::newRow("resources") << int(FT_INSUFFICIENT_RESOURCES) << "Insufficient resources";
    QTest::newRow("invalid parameter") << int(FT_INVALID_PARAMETER) << QString();
}

void tst_Faults::failingOpenReportsDisconnected()
{
    QFETCH(int, status);
    QFETCH(QString, text);
    QVERIFY(d2xxsim::attach("turntable:4"));
    QCOMPARE(control->availableTurntables().size(), size_t(1));
    if (!d2xxsim::setOpenStatus(0, FT_STATUS(status)))
        QSKIP("This link cannot fail an open that way");

    control->openHardware(0);
    QCOMPARE(host.disconnects(), std::vector<size_t>{4});
    QVERIFY(host.openedIndexes().empty());
    QVERIFY(!control->motor());
    if (!text.isEmpty())
        QCOMPARE(control->lastError(), text);
    // No spin can begin on the table that failed to open.
    QVERIFY(!control->stepsSpinningWillStart());
    control->stopAngleRotation();

    // Once the board opens again, so does the table.
    d2xxsim::setOpenStatus(0, FT_OK);
    control->openHardware(0);
    QCOMPARE(host.openedIndexes(), std::vector<size_t>{4});
    QVERIFY(control->motor());
}

void tst_Faults::stopDuringShutterRelease()
{
    open("turntable:2", 0);
    std::atomic<bool> released{false};
    std::thread shutter([this, &released] {
        control->triggerShutterRelease();
        released = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(d2xxsim::state(0).lines & 0x10, 30000);
    control->stopAngleRotation();
    control->stopRotationPreview();
    QTRY_VERIFY_WITH_TIMEOUT(released.load(), 30000);
    shutter.join();
    QCOMPARE(d2xxsim::exposures(0).size(), size_t(1));
    QCOMPARE(d2xxsim::state(0).lines & shutterLines, 0);
    QCOMPARE(d2xxsim::state(0).lines & stepLine, 0);
    QCOMPARE(host.rotationsStopped.load(), 0);
}

void tst_Faults::unplugDuringShutterRelease()
{
    open("turntable:2", 0);
    std::atomic<bool> released{false};
    std::atomic<bool> tookPicture{true};
    FTDIController *motor = control->motor();
    std::thread shutter([motor, &released, &tookPicture] {
        tookPicture = motor->triggerShutterRelease();
        released = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(d2xxsim::state(0).lines & 0x10, 30000);
    d2xxsim::unplug(0);
    QTRY_VERIFY_WITH_TIMEOUT(released.load(), 30000);
    shutter.join();
    QVERIFY(d2xxsim::exposures(0).empty());
    QVERIFY(!tookPicture.load());
    // Nothing written after the unplug reached the lines.
    QCOMPARE(d2xxsim::state(0).lines & shutterLines, 0x10);
}

QTEST_GUILESS_MAIN(tst_Faults)
#include "tst_faults.moc"
