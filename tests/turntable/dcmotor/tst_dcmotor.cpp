#include "zldcmotor.h"
#include "d2xxsim.h"
#include "motorfixture.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <memory>

using Clock = std::chrono::steady_clock;

// Latches are the falls of line 7 in the write trace.
static int latches(int slot)
{
    int count = 0;
    std::uint8_t previous = 0x80;
    for (const d2xxsim::Write &w : d2xxsim::writes(slot)) {
        if ((previous & 0x80) && !(w.value & 0x80))
            ++count;
        previous = w.value;
    }
    return count;
}

class tst_DCMotor : public QObject, private MotorOnBoard<ZLDCMotor>
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void openRestsLatched();
    void countedMoves_data();
    void countedMoves();
    void continuousReissuesUntilStopped();
    void boardNeverLeavesReady();
    void boardNeverReady();
    void unpluggedMidMove();

private:
    void start();
    void expectRestState();
};

void tst_DCMotor::init()
{
    QVERIFY(openOnPlainBoard());
    motor->countsPerRevolution = 72;
}

void tst_DCMotor::cleanup()
{
    stopAndClose();
}

void tst_DCMotor::start()
{
    d2xxsim::clearWrites(slot);
    QVERIFY(motor->prepareRotation());
    QVERIFY(motor->startRotation());
}

void tst_DCMotor::expectRestState()
{
    const std::uint8_t lines = d2xxsim::state(slot).lines;
    QCOMPARE(lines & 0xEF, 0x8E);
    QCOMPARE(motor->outputBits & 0xEF, 0x8E);
}

void tst_DCMotor::openRestsLatched()
{
    const auto writes = d2xxsim::writes(slot);
    QCOMPARE(writes.size(), size_t(2));
    QCOMPARE(writes[0].value & 0xEF, 0x0E);
    QCOMPARE(writes[1].value & 0xEF, 0x8E);
    QCOMPARE(d2xxsim::state(slot).bitMask, std::uint8_t(0xEF));
    QCOMPARE(d2xxsim::state(slot).bitMode, std::uint8_t(1));
    QVERIFY(d2xxsim::state(slot).ready);
    QVERIFY(motor->readInput() & 0x10);
    QVERIFY(!motor->triggerShutterRelease());
}

void tst_DCMotor::countedMoves_data()
{
    QTest::addColumn<double>("degrees");
    QTest::addColumn<int>("counts");
    QTest::addColumn<int>("msPerCount");
    QTest::addColumn<QVector<int>>("commands");

    // The board must stay busy past the handshake's 100 ms look, or it would be started twice;
    // each command lasts about a second, since a loaded machine under ThreadSanitizer was seen
    // holding the worker up past the end of a half-second one.
    QTest::newRow("37 counts") << 0.0 << 37 << 200 << QVector<int>{5, 16, 16};
    QTest::newRow("32 counts") << 0.0 << 32 << 64 << QVector<int>{16, 16};
    QTest::newRow("16 counts") << 0.0 << 16 << 64 << QVector<int>{16};
    QTest::newRow("1 count") << 0.0 << 1 << 1000 << QVector<int>{1};
    QTest::newRow("30 degrees") << 30.0 << 0 << 168 << QVector<int>{6};
    QTest::newRow("32 degrees") << 32.0 << 0 << 168 << QVector<int>{6};
    QTest::newRow("32.5 degrees") << 32.5 << 0 << 144 << QVector<int>{7};
}

void tst_DCMotor::countedMoves()
{
    QFETCH(double, degrees);
    QFETCH(int, counts);
    QFETCH(int, msPerCount);
    QFETCH(QVector<int>, commands);

    d2xxsim::setDcTimePerCount(slot, std::chrono::milliseconds(msPerCount));
    if (degrees != 0.0)
        motor->rotateByAngle(degrees);
    else
        motor->setSteps(counts);
    const double planned = motor->targetAngle;
    start();
    QTRY_COMPARE_WITH_TIMEOUT(owner.ended.load(), 1, 30000);

    const auto sent = d2xxsim::dcCommands(slot);
    QCOMPARE(int(sent.size()), commands.size());
    int total = 0;
    for (int i = 0; i < commands.size(); ++i) {
        QCOMPARE(sent[size_t(i)].count, commands[i]);
        QCOMPARE(int(sent[size_t(i)].nibble), 15 - commands[i] % 16);
        QVERIFY(!sent[size_t(i)].continuous);
        total += commands[i];
    }
    QCOMPARE(int(d2xxsim::pulses(slot, 5).size()), commands.size());
    QCOMPARE(qAbs(d2xxsim::position(slot)), std::int64_t(total));
    QCOMPARE(motor->currentAngle, planned);
    expectRestState();
}

void tst_DCMotor::continuousReissuesUntilStopped()
{
    d2xxsim::setDcTimePerCount(slot, std::chrono::milliseconds(500));
    motor->setSteps(0);
    start();
    QTRY_VERIFY_WITH_TIMEOUT(d2xxsim::dcCommands(slot).size() >= 2, 10000);
    QVERIFY(d2xxsim::dcCommands(slot).back().continuous);
    QVERIFY(motor->isRotating());
    QCOMPARE(owner.ended.load(), 0);

    motor->stopRotation();
    QCOMPARE(owner.ended.load(), 1);
    QVERIFY(d2xxsim::state(slot).ready);
    expectRestState();
}

void tst_DCMotor::boardNeverLeavesReady()
{
    d2xxsim::setDcNeverLeavesReady(slot, true);
    motor->setSteps(1);
    start();
    QTRY_COMPARE_WITH_TIMEOUT(owner.ended.load(), 1, 60000);

    // A hundred start pulses 100 ms apart, then the move counts the command as done.
    const auto starts = d2xxsim::pulses(slot, 5);
    QCOMPARE(starts.size(), size_t(100));
    const double lasted = ms(d2xxsim::writes(slot).back().time - starts.front().rise);
    QVERIFY2(lasted >= 10000.0 && lasted < 30000.0, qPrintable(QString::number(lasted)));
    QVERIFY(d2xxsim::dcCommands(slot).empty());
    expectRestState();
}

void tst_DCMotor::boardNeverReady()
{
    d2xxsim::setDcNeverReady(slot, true);
    motor->rotateByAngle(30.0);
    start();
    const std::uint64_t polls = d2xxsim::state(slot).purgesRx;
    QTRY_VERIFY(d2xxsim::state(slot).purgesRx >= polls + 50);
    QVERIFY(motor->isRotating());
    QVERIFY(d2xxsim::pulses(slot, 5).empty());

    const Clock::time_point stopped = Clock::now();
    motor->stopRotation();
    const double lasted = ms(Clock::now() - stopped);
    QVERIFY2(lasted >= 2000.0 && lasted < 20000.0, qPrintable(QString::number(lasted)));
    QCOMPARE(latches(slot), 20);
    QVERIFY(d2xxsim::pulses(slot, 5).empty());
    QCOMPARE(owner.ended.load(), 1);
    QCOMPARE(motor->currentAngle, -30.0);
    expectRestState();
}

void tst_DCMotor::unpluggedMidMove()
{
    d2xxsim::setDcTimePerCount(slot, std::chrono::milliseconds(60));
    motor->setSteps(37);
    start();
    QTRY_VERIFY_WITH_TIMEOUT(!d2xxsim::dcCommands(slot).empty(), 10000);
    d2xxsim::unplug(slot);
    QVERIFY(!motor->isConnected());

    // The failed read of the ready line ends the move by itself, without the stop's handshake.
    QTRY_COMPARE_WITH_TIMEOUT(owner.ended.load(), 1, 10000);
    QVERIFY(motor->isBoardLost());
    QVERIFY(!motor->isRotating());
}

QTEST_GUILESS_MAIN(tst_DCMotor)
#include "tst_dcmotor.moc"
