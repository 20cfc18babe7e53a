#include "d2xxsim.h"
#include "recordinghost.h"
#include "zlmarvolixturntablecontrol.h"
#include "zlqmlturntablecontrol.h"

#include <QtTest>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

namespace {

using Clock = d2xxsim::Clock;

constexpr uint8_t enableLine = 0x01;
constexpr uint8_t stepLine = 0x04;
constexpr uint8_t shutterLines = 0x30;
constexpr double gemlineStep = 360.0 / 6400.0;

// Stands in for the panel's root item: records what the bridge queues into it.
class PanelStub : public QObject
{
    Q_OBJECT

public:
    struct Refresh
    {
        QVariant index;
        QVariant settings;
    };
    std::vector<Refresh> refreshes;

    Q_INVOKABLE void updateDeviceSettingsUI(const QVariant &index, const QVariant &settings)
    {
        refreshes.push_back({index, settings});
    }
};

// Durations of the step line's high pulses whose rising edge lies after 'from'.
std::vector<double> highPulsesMs(const std::vector<d2xxsim::Write> &trace, Clock::time_point from)
{
    std::vector<double> pulses;
    for (size_t i = 1; i + 1 < trace.size(); ++i) {
        const bool rising = (trace[i].value & stepLine) && !(trace[i - 1].value & stepLine);
        if (!rising || trace[i].time < from)
            continue;
        for (size_t j = i + 1; j < trace.size(); ++j) {
            if (!(trace[j].value & stepLine)) {
                pulses.push_back(std::chrono::duration<double, std::milli>(trace[j].time - trace[i].time).count());
                break;
            }
        }
    }
    return pulses;
}

} // namespace

class tst_QmlTurntableControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void countedPreviewEndsByItself_data();
    void countedPreviewEndsByItself();
    void continuousPreviewRunsUntilStopped_data();
    void continuousPreviewRunsUntilStopped();
    void previewNeedsAnOpenConnectedTurntable();
    void shutterButtonExposesOnceAtThePresentPosition();
    void shutterButtonOnTheDcModelDoesNothing();
    void speedChangeTakesEffectDuringAMove();
    void rampChangeDuringAMoveShapesTheNextMove();
    void lockChangeDuringAMoveLeavesTheMotorReleased();
    void idleLockDrivesTheEnableLineAtOnce_data();
    void idleLockDrivesTheEnableLineAtOnce();
    void importQueuesTheStandardModelsValues_data();
    void importQueuesTheStandardModelsValues();
    void importOfANonStandardRowChangesNothing_data();
    void importOfANonStandardRowChangesNothing();
    void importWhoseReopeningFailsLeavesNoMotor();

private:
    void openGemline();
    void openUnidentified(size_t row);
    // Waits for a move that ends by itself, then joins its worker so the bookkeeping is done.
    void finishMove();

    RecordingHost host;
    std::unique_ptr<ZLMarvolixTurntableControl> control;
    std::unique_ptr<PanelStub> panel;
    ZLQmlTurntableControl *bridge = nullptr;
};

void tst_QmlTurntableControl::initTestCase()
{
    host.install();
}

void tst_QmlTurntableControl::init()
{
    d2xxsim::reset();
    control = std::make_unique<ZLMarvolixTurntableControl>();
    panel = std::make_unique<PanelStub>();
    bridge = new ZLQmlTurntableControl(control.get(), panel.get());
}

void tst_QmlTurntableControl::cleanup()
{
    bridge->stopRotationPreview();
    control->closeHardware();
    panel.reset();
    control.reset();
}

void tst_QmlTurntableControl::openGemline()
{
    QVERIFY(d2xxsim::attach("turntable:2"));
    // Row 2's clockwise level is low; the board reads the direction line the same way.
    d2xxsim::setClockwiseActiveHigh(0, false);
    QCOMPARE(control->availableTurntables().size(), size_t(1));
    control->openHardware(0);
    QVERIFY(control->motor());
    QCOMPARE(control->countsPerRevolution(), 6400u);
    bridge->setRampUpDegrees(0.0f);
    bridge->setRotationSpeed(0);
}

void tst_QmlTurntableControl::openUnidentified(size_t row)
{
    QVERIFY(d2xxsim::attach("plain"));
    QCOMPARE(control->availableTurntables().size(), size_t(ZLMarvolixTurntableControl::modelCount));
    control->openHardware(row);
    QVERIFY(control->motor());
}

void tst_QmlTurntableControl::finishMove()
{
    QTRY_VERIFY_WITH_TIMEOUT(!control->motor()->isRotating(), 20000);
    bridge->stopRotationPreview();
    const RotationWorker *worker = control->motor()->worker.get();
    QVERIFY(!worker || !worker->thread.joinable());
}

void tst_QmlTurntableControl::countedPreviewEndsByItself_data()
{
    QTest::addColumn<int>("degrees");
    QTest::addColumn<bool>("isCounterclockwise");
    QTest::addColumn<int>("counts");

    // 10 degrees are 177.78 counts, rounded to 178; clockwise counts down on the board.
    QTest::newRow("10 counterclockwise") << 10 << true << 178;
    QTest::newRow("10 clockwise") << 10 << false << -178;
    QTest::newRow("90 counterclockwise") << 90 << true << 1600;
}

void tst_QmlTurntableControl::countedPreviewEndsByItself()
{
    QFETCH(int, degrees);
    QFETCH(bool, isCounterclockwise);
    QFETCH(int, counts);

    openGemline();
    // The preview starts from zero, wherever the table stood before.
    control->motor()->currentAngle = 123.0;

    QVERIFY(bridge->startRotationPreview(degrees, isCounterclockwise));
    finishMove();

    QCOMPARE(d2xxsim::position(0), int64_t(counts));
    QCOMPARE(d2xxsim::stepsWhileUnpowered(0), uint64_t(0));
    QVERIFY(std::abs(control->motor()->currentAngle - counts * gemlineStep) < 1e-9);
    // Afterwards the motor follows the "Lock table when idle" box, which for row 2 starts
    // unchecked: released.
    QVERIFY(!control->motor()->lockMotorWhenIdle);
    QCOMPARE(d2xxsim::state(0).lines & enableLine, 0);
}

void tst_QmlTurntableControl::continuousPreviewRunsUntilStopped_data()
{
    QTest::addColumn<bool>("isCounterclockwise");
    QTest::addColumn<int>("sign");

    QTest::newRow("clockwise") << false << -1;
    QTest::newRow("counterclockwise") << true << 1;
}

void tst_QmlTurntableControl::continuousPreviewRunsUntilStopped()
{
    QFETCH(bool, isCounterclockwise);
    QFETCH(int, sign);

    openGemline();
    QVERIFY(bridge->startRotationPreview(0, isCounterclockwise));
    // Far beyond any counted move the same angle would have made: it is continuous.
    QTRY_VERIFY_WITH_TIMEOUT(d2xxsim::position(0) * sign >= 300, 20000);
    QVERIFY(control->motor()->isRotating());
    // A second start while the table turns is refused and leaves the move alone.
    QVERIFY(!bridge->startRotationPreview(10, !isCounterclockwise));
    QVERIFY(control->motor()->isRotating());

    bridge->stopRotationPreview();
    QVERIFY(!control->motor()->isRotating());
    QVERIFY(!control->motor()->worker);
    const int64_t stoppedAt = d2xxsim::position(0);
    QVERIFY(stoppedAt * sign >= 300);
    // The bookkeeping matches the counts the board really made.
    QVERIFY(std::abs(control->motor()->currentAngle - std::fmod(stoppedAt * gemlineStep, 360.0)) < 1e-9);
    const uint64_t writesAfterStop = d2xxsim::state(0).writeCount;
    QCoreApplication::processEvents();
    QCOMPARE(d2xxsim::state(0).writeCount, writesAfterStop);
    QCOMPARE(d2xxsim::position(0), stoppedAt);
}

void tst_QmlTurntableControl::previewNeedsAnOpenConnectedTurntable()
{
    QVERIFY(!bridge->startRotationPreview(0, false));
    QVERIFY(!bridge->startRotationPreview(90, true));

    openGemline();
    d2xxsim::clearWrites(0);
    d2xxsim::unplug(0);
    QVERIFY(!bridge->startRotationPreview(90, true));
    QVERIFY(!control->motor()->isRotating());
    QVERIFY(d2xxsim::writes(0).empty());
}

void tst_QmlTurntableControl::shutterButtonExposesOnceAtThePresentPosition()
{
    openGemline();
    QVERIFY(bridge->startRotationPreview(10, true));
    finishMove();
    QVERIFY(d2xxsim::exposures(0).empty());

    const Clock::time_point pressed = Clock::now();
    bridge->triggerShutterRelease();
    const Clock::time_point returned = Clock::now();

    const std::vector<d2xxsim::Exposure> exposures = d2xxsim::exposures(0);
    QCOMPARE(exposures.size(), size_t(1));
    QCOMPARE(exposures.front().position, int64_t(178));
    QCOMPARE(d2xxsim::state(0).lines & shutterLines, 0);
    // Two half-second stages; the busy waits count whole milliseconds.
    QVERIFY(returned - pressed >= std::chrono::milliseconds(998));
    QVERIFY(returned - pressed < std::chrono::seconds(30));
}

void tst_QmlTurntableControl::shutterButtonOnTheDcModelDoesNothing()
{
    openUnidentified(1);
    d2xxsim::clearWrites(0);
    bridge->triggerShutterRelease();
    QVERIFY(d2xxsim::exposures(0).empty());
    QVERIFY(d2xxsim::writes(0).empty());
}

void tst_QmlTurntableControl::speedChangeTakesEffectDuringAMove()
{
    openGemline();
    QVERIFY(bridge->startRotationPreview(0, true));
    QTRY_VERIFY_WITH_TIMEOUT(d2xxsim::position(0) >= 5, 20000);

    bridge->setRotationSpeed(3);
    QCOMPARE(control->motor()->pulseDelayMs.load(), 3u);
    bridge->setRotationSpeed(6);
    const Clock::time_point changed = Clock::now();
    QCOMPARE(control->motor()->pulseDelayMs.load(), 6u);
    const int64_t positionAtChange = d2xxsim::position(0);
    QTRY_VERIFY_WITH_TIMEOUT(d2xxsim::position(0) >= positionAtChange + 40, 20000);
    bridge->stopRotationPreview();

    // What the chip held at the change keeps its delay, as the count in progress did when the
    // host timed them: its FIFO (25.6 ms), and at most a block (4 ms of whole counts) more.
    // The chip counts whole milliseconds, so a 6 ms pulse lasts more than 5 ms however loaded
    // the machine is.
    std::vector<double> after = highPulsesMs(d2xxsim::writes(0), changed + std::chrono::microseconds(25600 + 5000 + 5000));
    QVERIFY(after.size() >= 8);
    QVERIFY(*std::min_element(after.begin(), after.end()) > 5.0);
}

void tst_QmlTurntableControl::rampChangeDuringAMoveShapesTheNextMove()
{
    openGemline();
    QVERIFY(bridge->startRotationPreview(0, false));
    QTRY_VERIFY_WITH_TIMEOUT(d2xxsim::position(0) <= -5, 20000);

    bridge->setRampUpDegrees(1.0f);
    QCOMPARE(control->motor()->rampUpDegrees.load(), 1.0);
    bridge->stopRotationPreview();

    d2xxsim::clearWrites(0);
    QVERIFY(bridge->startRotationPreview(10, false));
    finishMove();
    // Speed 0 and a 1 degree ramp: the first count waits the integer part of 10 - 0.5625 ms.
    const std::vector<double> ramped = highPulsesMs(d2xxsim::writes(0), Clock::time_point());
    QCOMPARE(ramped.size(), size_t(178));
    QVERIFY(ramped.front() > 8.0);
}

void tst_QmlTurntableControl::lockChangeDuringAMoveLeavesTheMotorReleased()
{
    openGemline();
    QVERIFY(bridge->startRotationPreview(0, true));
    QTRY_VERIFY_WITH_TIMEOUT(d2xxsim::position(0) >= 5, 20000);

    bridge->setLockMotorWhenIdle(false);
    QVERIFY(!control->motor()->lockMotorWhenIdle);
    const int64_t positionAtChange = d2xxsim::position(0);
    // The move goes on: its own line bytes keep the motor powered until it ends.
    QTRY_VERIFY_WITH_TIMEOUT(d2xxsim::position(0) >= positionAtChange + 5, 20000);
    bridge->stopRotationPreview();

    QCOMPARE(d2xxsim::state(0).lines & enableLine, 0);
}

void tst_QmlTurntableControl::idleLockDrivesTheEnableLineAtOnce_data()
{
    QTest::addColumn<bool>("enableActiveHigh");
    QTest::addColumn<bool>("lock");
    QTest::addColumn<int>("enableLevel");

    QTest::newRow("active high, released") << true << false << 0;
    QTest::newRow("active high, locked") << true << true << 1;
    QTest::newRow("active low, released") << false << false << 1;
    QTest::newRow("active low, locked") << false << true << 0;
}

void tst_QmlTurntableControl::idleLockDrivesTheEnableLineAtOnce()
{
    QFETCH(bool, enableActiveHigh);
    QFETCH(bool, lock);
    QFETCH(int, enableLevel);

    openGemline();
    control->motor()->isMotorEnableActiveHigh = enableActiveHigh;
    // Start from the other level so that the write is seen.
    bridge->setLockMotorWhenIdle(!lock);
    QCOMPARE(d2xxsim::state(0).lines & enableLine, enableLevel ? 0 : 1);

    d2xxsim::clearWrites(0);
    bridge->setLockMotorWhenIdle(lock);
    QCOMPARE(control->motor()->lockMotorWhenIdle.load(), lock);
    QCOMPARE(d2xxsim::writes(0).size(), size_t(1));
    QCOMPARE(d2xxsim::state(0).lines & enableLine, enableLevel);
}

void tst_QmlTurntableControl::importQueuesTheStandardModelsValues_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("counts");
    QTest::addColumn<bool>("clockwiseActiveHigh");

    QTest::newRow("Essential (DC board)") << 1 << "72" << true;
    QTest::newRow("Gemline") << 2 << "6400" << false;
    QTest::newRow("Quartz Large, Mark II") << 5 << "13062" << true;
    QTest::newRow("Basalt Extra Large") << 9 << "11520" << false;
}

void tst_QmlTurntableControl::importQueuesTheStandardModelsValues()
{
    QFETCH(int, row);
    QFETCH(QString, counts);
    QFETCH(bool, clockwiseActiveHigh);

    openUnidentified(0);
    QCOMPARE(control->countsPerRevolution(), 0u);

    bridge->customTurntableImportStandardSettings(row);
    // Queued: the panel hears of it only once control is back in the event loop.
    QVERIFY(panel->refreshes.empty());
    QTRY_COMPARE(panel->refreshes.size(), size_t(1));

    const PanelStub::Refresh &refresh = panel->refreshes.front();
    QCOMPARE(refresh.index.toInt(), 0);
    const QVariantMap expected{{"stepsPerRevolutionText", counts},
                               {"isClockwiseActiveHigh", clockwiseActiveHigh},
                               {"isMotorEnableActiveHigh", true}};
    QCOMPARE(refresh.settings.toMap(), expected);

    // The custom turntable is open again, on a stepper board, still unset.
    QVERIFY(control->motor());
    QCOMPARE(control->countsPerRevolution(), 0u);
    QCOMPARE(control->currentTurntableIndex(), size_t(0));
    QCOMPARE(int(d2xxsim::state(0).bitMask), 0xFF);
    QVERIFY(d2xxsim::state(0).open);
}

void tst_QmlTurntableControl::importOfANonStandardRowChangesNothing_data()
{
    QTest::addColumn<int>("row");

    QTest::newRow("custom row") << 0;
    QTest::newRow("negative") << -1;
    QTest::newRow("past the table") << 10;
}

void tst_QmlTurntableControl::importOfANonStandardRowChangesNothing()
{
    QFETCH(int, row);

    openUnidentified(0);
    const FTDIController *custom = control->motor();
    d2xxsim::clearWrites(0);

    bridge->customTurntableImportStandardSettings(row);
    QCoreApplication::processEvents();
    QVERIFY(panel->refreshes.empty());
    QCOMPARE(control->motor(), custom);
    QVERIFY(d2xxsim::writes(0).empty());
}

void tst_QmlTurntableControl::importWhoseReopeningFailsLeavesNoMotor()
{
    openUnidentified(0);
    d2xxsim::setOpenStatus(0, FT_DEVICE_NOT_FOUND);

    bridge->customTurntableImportStandardSettings(2);
    QTRY_COMPARE(panel->refreshes.size(), size_t(1));
    const QVariantMap expected{{"stepsPerRevolutionText", "0"},
                               {"isClockwiseActiveHigh", false},
                               {"isMotorEnableActiveHigh", true}};
    QCOMPARE(panel->refreshes.front().settings.toMap(), expected);
    QVERIFY(!control->motor());
    QCOMPARE(control->lastError(), QString("Device not found"));

    // Every other operation finds no motor and does nothing.
    QVERIFY(!bridge->startRotationPreview(0, false));
    bridge->setLockMotorWhenIdle(false);
    bridge->setRotationSpeed(5);
    bridge->setRampUpDegrees(2.0f);
    bridge->triggerShutterRelease();
    bridge->stopRotationPreview();
    QVERIFY(d2xxsim::exposures(0).empty());
}

QTEST_GUILESS_MAIN(tst_QmlTurntableControl)

#include "tst_bridge.moc"
