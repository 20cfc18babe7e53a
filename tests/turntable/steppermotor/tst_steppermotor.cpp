#include "zlsteppermotor.h"
#include "byteclockcheck.h"
#include "d2xxsim.h"
#include "motorfixture.h"

#include <QtTest>

#ifdef SPINWRIGHT_TEST_USB_LINK
#include "emulatedft245r.h"
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>

using Clock = std::chrono::steady_clock;

// The low phase before each pulse but the first.
static QVector<double> lows(const std::vector<d2xxsim::Pulse> &pulses)
{
    QVector<double> result;
    for (size_t i = 1; i < pulses.size(); ++i)
        result.append(ms(pulses[i].rise - pulses[i - 1].fall));
    return result;
}

// The chip plays whole bytes of 100 us: its times are exact, a microsecond covers rounding.
static bool sameMs(double a, double b)
{
    return std::abs(a - b) < 0.001;
}

static QVector<double> widths(const std::vector<d2xxsim::Pulse> &pulses)
{
    QVector<double> result;
    for (const d2xxsim::Pulse &p : pulses)
        result.append(ms(p.fall - p.rise));
    return result;
}

// A loaded machine only ever stretches a pulse, so the shortest of many shows the real delay.
static double shortest(const QVector<double> &values)
{
    return values.isEmpty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

class tst_StepperMotor : public QObject, private MotorOnBoard<ZLStepperMotor>
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void openLeavesAllLinesLow();
    void rampedStepTrain();
    void shortMoveNeverSpeedsUp();
    void noRamp();
    void speedChangeDuringMove();
    void stopKeepsTheCountsMade();
    void continuousMoveUntilStopped();
    void levelsAndIdleLock_data();
    void levelsAndIdleLock();
    void invalidDirectionWritesNothing();
    void shutterRelease();
    void unpluggedMidMove_data();
    void unpluggedMidMove();
    void waveformOnTheChipClock_data();
    void waveformOnTheChipClock();
    void speedChangeOnTheTimeline();
    void shutterReleaseDuringAMove_data();
    void shutterReleaseDuringAMove();
    void underrunStretchesALowPhase();
    void byteClockSelfCheck_data();
    void byteClockSelfCheck();

private:
    // Runs a move to its end; the step pulses are in the trace afterwards.
    void runMove(uint32_t counts, int timeoutMs = 10000);
    std::vector<d2xxsim::Pulse> steps() const { return d2xxsim::pulses(slot, 2); }
};

void tst_StepperMotor::init()
{
    QVERIFY(openOnPlainBoard());
    motor->countsPerRevolution = 6400;
    motor->pulseDelayMs = 5;
    motor->rampUpDegrees = 1.0;
    d2xxsim::clearWrites(slot);
}

void tst_StepperMotor::cleanup()
{
    stopAndClose();
}

void tst_StepperMotor::runMove(uint32_t counts, int timeoutMs)
{
    motor->setSteps(int(counts));
    QVERIFY(motor->prepareRotation());
    QVERIFY(motor->startRotation());
    QTRY_COMPARE_WITH_TIMEOUT(owner.ended.load(), 1, timeoutMs);
}

void tst_StepperMotor::openLeavesAllLinesLow()
{
    QCOMPARE(d2xxsim::state(slot).lines, std::uint8_t(0));
    QCOMPARE(motor->outputBits, std::uint8_t(0));
}

void tst_StepperMotor::rampedStepTrain()
{
    const uint32_t counts = 60;
    runMove(counts);
    const auto pulses = steps();
    QCOMPARE(pulses.size(), size_t(counts));
    QCOMPARE(d2xxsim::position(slot), -std::int64_t(counts));

    // 6400 counts, 1 degree of ramp: 17.78 counts of 0.5625 ms each, between 15 and 5 ms.
    const QVector<double> w = widths(pulses);
    for (uint32_t k = 1; k <= counts; ++k) {
        double expected = std::max(5.0, 15.0 - k * 0.5625);
        if (k >= counts - 16)
            expected = 5.0 + (k - (counts - 17)) * 0.5625;
        // Multiples of 0.5625 are exact: a count that reaches a whole millisecond waits all of it.
        const double lowest = std::floor(expected);
        QVERIFY2(w[int(k) - 1] >= lowest, qPrintable(QStringLiteral("count %1: %2 ms < %3 ms").arg(k).arg(w[int(k) - 1]).arg(lowest)));
    }
    QVERIFY(w[0] >= 14.0);
    QVERIFY(w[int(counts) - 1] >= 14.0);
    QVERIFY(shortest(w.mid(17, 26)) < 15.0);
    // The line stays low 1 ms before every count.
    for (size_t i = 1; i < pulses.size(); ++i)
        QVERIFY(ms(pulses[i].rise - pulses[i - 1].fall) >= 1.0);
}

void tst_StepperMotor::shortMoveNeverSpeedsUp()
{
    runMove(10);
    const auto pulses = steps();
    QCOMPARE(pulses.size(), size_t(10));
    for (double width : widths(pulses))
        QVERIFY2(width >= 14.0, qPrintable(QString::number(width)));
}

void tst_StepperMotor::noRamp()
{
    motor->rampUpDegrees = 0.0;
    runMove(40);
    const QVector<double> w = widths(steps());
    QCOMPARE(w.size(), 40);
    QVERIFY(shortest(w) >= 5.0);
    QVERIFY(shortest(w) < 14.0);
}

void tst_StepperMotor::speedChangeDuringMove()
{
    motor->rampUpDegrees = 0.0;
    motor->pulseDelayMs = 8;
    motor->setSteps(80);
    QVERIFY(motor->prepareRotation());
    QVERIFY(motor->startRotation());
    QTRY_VERIFY(d2xxsim::pulses(slot, 2).size() >= 5);
    const Clock::time_point changed = Clock::now();
    motor->pulseDelayMs = 2;
    QTRY_COMPARE_WITH_TIMEOUT(owner.ended.load(), 1, 10000);

    const auto pulses = d2xxsim::pulses(slot, 2);
    QCOMPARE(pulses.size(), size_t(80));
    QVector<double> after;
    for (size_t i = 0; i < pulses.size(); ++i) {
        const double width = ms(pulses[i].fall - pulses[i].rise);
        if (pulses[i].rise < changed)
            QVERIFY(width >= 8.0);
        else if (i > 0 && pulses[i - 1].fall > changed)
            after.append(width);
    }
    QVERIFY(after.size() >= 40);
    QVERIFY(shortest(after) >= 2.0);
    QVERIFY(shortest(after) < 8.0);
}

void tst_StepperMotor::stopKeepsTheCountsMade()
{
    motor->rampUpDegrees = 0.0;
    motor->pulseDelayMs = 9;
    QCOMPARE(motor->rotateByAngle(30.0), 29.98125);
    QVERIFY(motor->prepareRotation());
    QVERIFY(motor->startRotation());
    QVERIFY(!motor->startRotation());

    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(20);
    while (d2xxsim::position(slot) > -100 && Clock::now() < deadline) {
    }
    const Clock::time_point stopped = Clock::now();
    motor->stopRotation();
    const Clock::time_point returned = Clock::now();

    QCOMPARE(owner.ended.load(), 1);
    QVERIFY(!motor->isRotating());
    const uint32_t made = motor->stepsDone;
    QVERIFY2(made >= 100 && made <= 200, qPrintable(QString::number(made)));
    QCOMPARE(d2xxsim::position(slot), -std::int64_t(made));
    QCOMPARE(motor->stepsToGo, made);
    QCOMPARE(motor->currentAngle, -(360.0 / 6400) * made);
    QCOMPARE(motor->targetAngle, motor->currentAngle);

    // What the chip held when the stop came plays out, no more: its FIFO (25.6 ms) and one
    // block of whole counts (here one count of 10 ms), beyond the count in progress.
    const auto pulses = d2xxsim::pulses(slot, 2);
    QVERIFY(std::count_if(pulses.begin(), pulses.end(), [&](const d2xxsim::Pulse &p) { return p.rise > stopped; }) <= 1 + 3);
    QVERIFY(pulses.back().rise < returned);
    QVERIFY(ms(returned - stopped) < 1000.0);
    // Every count keeps its width, the one in progress at the stop included, and each one the
    // board made is one made.
    QCOMPARE(pulses.size(), size_t(made));
    for (double width : widths(pulses))
        QVERIFY2(sameMs(width, 9.0), qPrintable(QString::number(width)));
}

void tst_StepperMotor::continuousMoveUntilStopped()
{
    motor->direction = Counterclockwise;
    motor->currentAngle = 10.0;
    motor->pulseDelayMs = 1;
    motor->setSteps(0);
    QVERIFY(motor->prepareRotation());
    QVERIFY(motor->startRotation());
    QTRY_VERIFY(d2xxsim::position(slot) >= 40);
    QCOMPARE(owner.ended.load(), 0);
    motor->stopRotation();

    QCOMPARE(owner.ended.load(), 1);
    const uint32_t made = motor->stepsDone;
    QCOMPARE(d2xxsim::position(slot), std::int64_t(made));
    QCOMPARE(motor->currentAngle, 10.0 + (360.0 / 6400) * made);
}

void tst_StepperMotor::levelsAndIdleLock_data()
{
    QTest::addColumn<bool>("lockWhenIdle");
    QTest::addColumn<bool>("enableActiveHigh");
    QTest::addColumn<bool>("clockwiseActiveHigh");
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("idleEnable");

    QTest::newRow("held, enable high, cw") << true << true << true << int(Clockwise) << 1;
    QTest::newRow("held, enable low, ccw") << true << false << true << int(Counterclockwise) << 0;
    QTest::newRow("free, enable high, cw low") << false << true << false << int(Clockwise) << 0;
    QTest::newRow("free, enable low, ccw low") << false << false << false << int(Counterclockwise) << 1;
}

void tst_StepperMotor::levelsAndIdleLock()
{
    QFETCH(bool, lockWhenIdle);
    QFETCH(bool, enableActiveHigh);
    QFETCH(bool, clockwiseActiveHigh);
    QFETCH(int, direction);
    QFETCH(int, idleEnable);

    d2xxsim::setEnableActiveHigh(slot, enableActiveHigh);
    d2xxsim::setClockwiseActiveHigh(slot, clockwiseActiveHigh);
    motor->isMotorEnableActiveHigh = enableActiveHigh;
    motor->isClockwiseActiveHigh = clockwiseActiveHigh;
    motor->lockMotorWhenIdle = lockWhenIdle;
    motor->direction = direction;
    motor->rampUpDegrees = 0.0;
    motor->pulseDelayMs = 1;

    runMove(5);
    QCOMPARE(steps().size(), size_t(5));
    QCOMPARE(d2xxsim::position(slot), direction == Clockwise ? -5 : 5);
    QCOMPARE(d2xxsim::stepsWhileUnpowered(slot), std::uint64_t(0));
    const std::uint8_t lines = d2xxsim::state(slot).lines;
    QCOMPARE(lines & 0x01, idleEnable);
    QCOMPARE(lines & 0x3C, 0x08);

    motor->lockMotorWhenIdle = !lockWhenIdle;
    motor->applyIdleLock();
    QCOMPARE(d2xxsim::state(slot).lines & 0x01, 1 - idleEnable);
}

void tst_StepperMotor::invalidDirectionWritesNothing()
{
    motor->direction = 3;
    motor->setSteps(5);
    QVERIFY(!motor->prepareRotation());
    QVERIFY(d2xxsim::writes(slot).empty());
}

void tst_StepperMotor::shutterRelease()
{
    QVERIFY(motor->triggerShutterRelease());

    const auto stage1 = d2xxsim::pulses(slot, 4);
    const auto stage2 = d2xxsim::pulses(slot, 5);
    QCOMPARE(stage1.size(), size_t(1));
    QCOMPARE(stage2.size(), size_t(1));
    const double apart = ms(stage2[0].rise - stage1[0].rise);
    QVERIFY(apart >= 500.0 && apart < 2500.0);
    QVERIFY(ms(stage2[0].fall - stage2[0].rise) >= 500.0);
    QVERIFY(stage1[0].fall == stage2[0].fall);
    QCOMPARE(d2xxsim::exposures(slot).size(), size_t(1));
    QCOMPARE(d2xxsim::state(slot).lines & 0x30, 0);
}

void tst_StepperMotor::unpluggedMidMove_data()
{
    QTest::addColumn<uint>("counts");
    QTest::newRow("continuous") << 0u;
    QTest::newRow("counted") << 200u;
}

void tst_StepperMotor::unpluggedMidMove()
{
    QFETCH(uint, counts);
    motor->pulseDelayMs = 1;
    motor->rampUpDegrees = 0.0;
    motor->setSteps(int(counts));
    // One byte to prepare, then 20 bytes a count on the chip's clock (1 ms low, 1 ms high): the
    // 392nd byte is the 20th rising edge.
    d2xxsim::unplugAfterWrites(slot, 1 + 19 * 20 + 10 + 1);
    QVERIFY(motor->prepareRotation());
    QVERIFY(motor->startRotation());
    QTRY_VERIFY(!motor->isConnected());
    QCOMPARE(d2xxsim::position(slot), -20);

    // The first failed write ends the move, continuous or counted, keeping the counts made.
    QTRY_COMPARE_WITH_TIMEOUT(owner.ended.load(), 1, 20000);
    QVERIFY(motor->isBoardLost());
    QCOMPARE(motor->stepsDone, 20u);
    QCOMPARE(motor->currentAngle, -20 * 360.0 / 6400);
    QVERIFY(!motor->isRotating());
}

void tst_StepperMotor::waveformOnTheChipClock_data()
{
    QTest::addColumn<uint>("counts");
    QTest::addColumn<uint>("baseDelay");
    QTest::addColumn<double>("ramp");

    QTest::newRow("ramped, 1 degree at 6400 counts") << 60u << 5u << 1.0;
    QTest::newRow("no ramp") << 30u << 3u << 0.0;
    // Before any speed is set the delay is 0 ms: a one-byte pulse out of a 1 ms count.
    QTest::newRow("no high time") << 20u << 0u << 0.0;
}

void tst_StepperMotor::waveformOnTheChipClock()
{
    QFETCH(uint, counts);
    QFETCH(uint, baseDelay);
    QFETCH(double, ramp);
    motor->pulseDelayMs = baseDelay;
    motor->rampUpDegrees = ramp;
    runMove(counts);
    QCOMPARE(d2xxsim::state(slot).bytePeriod, std::chrono::nanoseconds(100000));

    const auto pulses = steps();
    QCOMPARE(pulses.size(), size_t(counts));
    QCOMPARE(d2xxsim::position(slot), -std::int64_t(counts));
    QCOMPARE(motor->stepsDone, counts);
    const QVector<double> high = widths(pulses);
    for (uint k = 1; k <= counts; ++k) {
        double expected = baseDelay;
        if (ramp != 0.0) {
            expected = std::max(5.0, 15.0 - k * 0.5625);
            if (k >= counts - 16)
                expected = 5.0 + (k - (counts - 17)) * 0.5625;
        }
        const double want = baseDelay == 0 ? 0.1 : std::floor(expected + 1e-9);
        QVERIFY2(sameMs(high[int(k) - 1], want), qPrintable(QStringLiteral("count %1: %2 ms, not %3").arg(k).arg(high[int(k) - 1]).arg(want)));
    }
    // A loaded machine may stretch a low phase, never shorten one.
    const double low = baseDelay == 0 ? 0.9 : 1.0;
    for (double gap : lows(pulses))
        QVERIFY2(gap > low - 0.001 && gap < low + 100.0, qPrintable(QString::number(gap)));
}

void tst_StepperMotor::speedChangeOnTheTimeline()
{
    motor->rampUpDegrees = 0.0;
    motor->pulseDelayMs = 8;
    motor->setSteps(80);
    QVERIFY(motor->prepareRotation());
    QVERIFY(motor->startRotation());
    QTRY_VERIFY(d2xxsim::pulses(slot, 2).size() >= 5);
    const Clock::time_point changed = Clock::now();
    motor->pulseDelayMs = 2;
    QTRY_COMPARE_WITH_TIMEOUT(owner.ended.load(), 1, 10000);

    const auto pulses = steps();
    QCOMPARE(pulses.size(), size_t(80));
    QCOMPARE(d2xxsim::position(slot), -80);
    // Whole counts at one speed, then at the other: none cut short, none added.
    const QVector<double> high = widths(pulses);
    int firstFast = -1;
    for (int i = 0; i < high.size(); ++i) {
        QVERIFY2(sameMs(high[i], firstFast < 0 ? 8.0 : 2.0) || (firstFast < 0 && sameMs(high[i], 2.0)),
                 qPrintable(QStringLiteral("count %1: %2 ms").arg(i + 1).arg(high[i])));
        if (firstFast < 0 && sameMs(high[i], 2.0))
            firstFast = i;
    }
    QVERIFY(firstFast > 0);
    // Within the chip's FIFO (25.6 ms) and a block of one 9 ms count beyond the count in progress.
    const double late = ms(pulses[size_t(firstFast)].rise - changed);
    QVERIFY2(late > 0.0 && late < 25.6 + 9.0 + 9.0 + 200.0, qPrintable(QString::number(late)));
}

void tst_StepperMotor::shutterReleaseDuringAMove_data()
{
    QTest::addColumn<uint>("counts");
    QTest::newRow("continuous move") << 0u;
    // Ends 300 ms in: the release goes on after the move as it began.
    QTest::newRow("move ends during the release") << 150u;
}

void tst_StepperMotor::shutterReleaseDuringAMove()
{
    QFETCH(uint, counts);
    motor->rampUpDegrees = 0.0;
    motor->pulseDelayMs = 1;
    motor->setSteps(int(counts));
    QVERIFY(motor->prepareRotation());
    QVERIFY(motor->startRotation());
    QTRY_VERIFY(d2xxsim::position(slot) <= -10);
    const Clock::time_point pressed = Clock::now();
    QVERIFY(motor->triggerShutterRelease());
    const double blocked = ms(Clock::now() - pressed);
    if (counts == 0)
        motor->stopRotation();
    QTRY_COMPARE_WITH_TIMEOUT(owner.ended.load(), 1, 10000);

    const auto stage1 = d2xxsim::pulses(slot, 4);
    const auto stage2 = d2xxsim::pulses(slot, 5);
    QCOMPARE(stage1.size(), size_t(1));
    QCOMPARE(stage2.size(), size_t(1));
    QCOMPARE(d2xxsim::exposures(slot).size(), size_t(1));
    QVERIFY(d2xxsim::exposures(slot)[0].position < -10);
    const double first = ms(stage2[0].rise - stage1[0].rise);
    const double second = ms(stage2[0].fall - stage2[0].rise);
    QCOMPARE(stage1[0].fall, stage2[0].fall);
    // Bytes of the train: 500 ms each, longer only where a held-up worker let the chip run dry.
    QVERIFY2(first > 499.999 && first < 1500.0 && second > 499.999 && second < 1500.0,
             qPrintable(QStringLiteral("%1 %2").arg(first).arg(second)));
    QVERIFY2(blocked > 900.0 && blocked < 5000.0, qPrintable(QString::number(blocked)));
    QCOMPARE(d2xxsim::state(slot).lines & 0x30, 0);

    // The train is untouched: every count 1 ms high, each one made counted.
    const auto pulses = steps();
    QCOMPARE(pulses.size(), size_t(motor->stepsDone));
    QCOMPARE(d2xxsim::position(slot), -std::int64_t(motor->stepsDone));
    if (counts != 0)
        QCOMPARE(motor->stepsDone, counts);
    for (double width : widths(pulses))
        QVERIFY2(sameMs(width, 1.0), qPrintable(QString::number(width)));
}

void tst_StepperMotor::underrunStretchesALowPhase()
{
    motor->rampUpDegrees = 0.0;
    motor->pulseDelayMs = 1;
    motor->setSteps(0);
    QVERIFY(motor->prepareRotation());
    QVERIFY(motor->startRotation());
    QTRY_VERIFY(d2xxsim::position(slot) <= -20);
    // The worker held up: the chip plays out what it has, then holds a low step line.
    d2xxsim::holdWrites(slot, true);
    QTRY_COMPARE(d2xxsim::state(slot).unplayedBytes, std::uint64_t(0));
    QCOMPARE(d2xxsim::state(slot).lines & 0x04, 0);
    const std::int64_t held = d2xxsim::position(slot);
    d2xxsim::holdWrites(slot, false);
    QTRY_VERIFY(d2xxsim::position(slot) <= held - 20);
    motor->stopRotation();

    const auto pulses = steps();
    QCOMPARE(pulses.size(), size_t(motor->stepsDone));
    QCOMPARE(d2xxsim::position(slot), -std::int64_t(motor->stepsDone));
    for (double width : widths(pulses))
        QVERIFY2(sameMs(width, 1.0), qPrintable(QString::number(width)));
    const QVector<double> gaps = lows(pulses);
    QVERIFY(*std::min_element(gaps.begin(), gaps.end()) > 0.999);
    QVERIFY(*std::max_element(gaps.begin(), gaps.end()) > 1.5);
}

void tst_StepperMotor::byteClockSelfCheck_data()
{
    QTest::addColumn<double>("clockHz");
    QTest::addColumn<bool>("agrees");
    QTest::newRow("12 MHz, as assumed") << 12e6 << true;
#ifdef SPINWRIGHT_TEST_USB_LINK
    QTest::newRow("48 MHz, the other reading") << 48e6 << false;
#endif
}

void tst_StepperMotor::byteClockSelfCheck()
{
    QFETCH(double, clockHz);
    QFETCH(bool, agrees);
#ifdef SPINWRIGHT_TEST_USB_LINK
    EmulatedFt245r::instance().setByteClockHz(slot, clockHz);
#endif
    const ByteClockCheck::Result result = ByteClockCheck::run(motor->handle, 0x00, 3000);
    QVERIFY(result.done);
    QCOMPARE(result.agrees, agrees);
    QCOMPARE(result.otherReading, !agrees);
    const double expected = 100.0 * 12e6 / clockHz;
    // At least the chip's time; the emulated link's transfers may add a little.
    QVERIFY2(result.measuredUs > expected * 0.999 && result.measuredUs < expected * 1.1,
             qPrintable(QString::number(result.measuredUs)));
    QCOMPARE(d2xxsim::position(slot), std::int64_t(0));
}

QTEST_GUILESS_MAIN(tst_StepperMotor)
#include "tst_steppermotor.moc"
