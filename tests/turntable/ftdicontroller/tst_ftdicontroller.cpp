#include "ftdicontroller.h"
#include "turntablemodels.h"
#include "zlsteppermotor.h"
#include "d2xxsim.h"
#include "precisewait.h"

#include <QtTest>

#include <chrono>
#include <ctime>

Q_DECLARE_METATYPE(PreciseWait::Method)

using Entries = QVector<QPair<int, int>>;

// Device list tokens as the simulator takes them, plus a few this test builds itself.
static void attachDevices(const QString &list)
{
    for (const QString &token : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (token == QLatin1String("othermagic")) {
            d2xxsim::DeviceSpec layout = d2xxsim::turntableDevice(3);
            layout.userArea[0] = 0xD2;
            d2xxsim::attach(layout);
        } else if (token == QLatin1String("failsopen")) {
            d2xxsim::setOpenStatus(d2xxsim::attach(d2xxsim::turntableDevice(4)), FT_DEVICE_NOT_OPENED);
        } else {
            QVERIFY2(d2xxsim::attach(token.toStdString()), qPrintable(token));
        }
    }
}

static Entries listed(int kind)
{
    Entries entries;
    for (const FTDIController::DeviceEntry &e : FTDIController::availableDevices(kind))
        entries.append({e.deviceIndex, e.modelIndex});
    return entries;
}

class TestFTDIController : public QObject
{
    Q_OBJECT

private slots:
    void init() { d2xxsim::reset(); }

    void listing_data();
    void listing();
    void openTexts_data();
    void openTexts();
    void openSetsUpTheLink();
    void linkFollowsTheBoard();
    void angleBookkeeping_data();
    void angleBookkeeping();
    void consecutiveMovesMakeUpRounding();
    void waitLastsFromTheCall_data();
    void waitLastsFromTheCall();
    void aLongWaitLeavesTheProcessor();
    void everyWaitOfATrainLastsItsLength_data();
    void everyWaitOfATrainLastsItsLength();
};

void TestFTDIController::listing_data()
{
    QTest::addColumn<QString>("devices");
    QTest::addColumn<Entries>("kind1");
    QTest::addColumn<Entries>("kind0");

    QTest::newRow("nothing attached") << "" << Entries{} << Entries{};
    QTest::newRow("no 245R in description") << "other" << Entries{} << Entries{};
    QTest::newRow("open elsewhere") << "busy" << Entries{} << Entries{};
    QTest::newRow("open fails") << "failsopen" << Entries{} << Entries{};
    QTest::newRow("turntable") << "turntable:6" << Entries{{0, 6}} << Entries{};
    QTest::newRow("no record") << "plain" << Entries{} << Entries{{0, -1}};
    QTest::newRow("short user area") << "short" << Entries{} << Entries{{0, -1}};
    QTest::newRow("another magic") << "othermagic" << Entries{} << Entries{{0, -1}};
    QTest::newRow("record of kind 0") << "record:0:4" << Entries{} << Entries{{0, 4}};
    QTest::newRow("record of kind 2") << "record:2:4" << Entries{} << Entries{};
    QTest::newRow("model above the table") << "record:1:10" << Entries{} << Entries{{0, -1}};
    // Follows the table's own row count, so that an appended model is recognised.
    QTest::newRow("last row of the table") << QStringLiteral("record:1:%1").arg(turntableModelCount - 1)
                                           << Entries{{0, turntableModelCount - 1}} << Entries{};
    QTest::newRow("first row past the table") << QStringLiteral("record:1:%1").arg(turntableModelCount)
                                              << Entries{} << Entries{{0, -1}};
    QTest::newRow("negative model") << "record:1:-1" << Entries{} << Entries{{0, -1}};
    QTest::newRow("list order")
        << "plain,turntable:6,busy,short,turntable:2,other,record:0:5,record:2:1"
        << Entries{{1, 6}, {4, 2}} << Entries{{0, -1}, {3, -1}, {6, 5}};
}

void TestFTDIController::listing()
{
    QFETCH(QString, devices);
    QFETCH(Entries, kind1);
    QFETCH(Entries, kind0);

    attachDevices(devices);
    QCOMPARE(listed(1), kind1);
    QCOMPARE(listed(0), kind0);
    // Listing closes what it opened: the same device opens again.
    for (int slot = 0; slot < d2xxsim::slotCount(); ++slot)
        QVERIFY(!d2xxsim::state(slot).open);
}

void TestFTDIController::openTexts_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");

    QTest::newRow("no device") << -1 << 0 << "No available device found.";
    QTest::newRow("1") << 0 << 1 << "Invalid handle.";
    QTest::newRow("2") << 0 << 2 << "Device not found";
    QTest::newRow("3") << 0 << 3 << "Device not opened";
    QTest::newRow("4") << 0 << 4 << "IO Error";
    QTest::newRow("5") << 0 << 5 << "Insufficient resources";
    QTest::newRow("other status") << 0 << 6 << "untouched";
    QTest::newRow("index past the list") << 1 << 0 << "Device not found";
}

void TestFTDIController::openTexts()
{
    QFETCH(int, index);
    QFETCH(int, status);
    QFETCH(QString, text);

    const int slot = d2xxsim::attach(d2xxsim::plainDevice());
    if (!d2xxsim::setOpenStatus(slot, FT_STATUS(status)))
        QSKIP("This link cannot fail an open that way");
    FTDIController motor;
    std::wstring error = L"untouched";
    QVERIFY(!motor.open(index, &error));
    QCOMPARE(QString::fromStdWString(error), text);
    QVERIFY(motor.handle == nullptr);
    QVERIFY(!motor.open(index, nullptr));
}

void TestFTDIController::openSetsUpTheLink()
{
    const int slot = d2xxsim::attach(d2xxsim::plainDevice());
    ZLStepperMotor motor;
    std::wstring error = L"untouched";
    QVERIFY(motor.open(0, &error));
    QCOMPARE(QString::fromStdWString(error), QStringLiteral("untouched"));
    QVERIFY(motor.handle != nullptr);

    const d2xxsim::DeviceState state = d2xxsim::state(slot);
    QCOMPARE(state.baudRate, ULONG(1000000));
    QCOMPARE(state.latencyMs, UCHAR(2));
    QCOMPARE(state.bitMask, std::uint8_t(0xFF));
    QCOMPARE(state.bitMode, std::uint8_t(1));
    QCOMPARE(state.lines, std::uint8_t(0));
    FT_Close(motor.handle);
}

void TestFTDIController::linkFollowsTheBoard()
{
    const int slot = d2xxsim::attach(d2xxsim::plainDevice());
    FTDIController link;
    QVERIFY(!link.isConnected());
    QCOMPARE(link.readInput(), std::uint8_t(0));
    QVERIFY(link.open(0, nullptr));
    QVERIFY(link.isConnected());

    FT_SetBitMode(link.handle, 0x0F, 1);
    link.outputBits = 0x05;
    const std::uint64_t purges = d2xxsim::state(slot).purgesTx;
    link.writeOutput();
    QCOMPARE(d2xxsim::state(slot).purgesTx, purges + 1);
    QCOMPARE(link.readInput() & 0x0F, 0x05);

    d2xxsim::unplug(slot);
    QVERIFY(!link.isConnected());
    QCOMPARE(link.readInput(), std::uint8_t(0));
    link.writeOutput();
    FT_Close(link.handle);
}

void TestFTDIController::angleBookkeeping_data()
{
    QTest::addColumn<uint>("counts");
    QTest::addColumn<int>("direction");
    QTest::addColumn<double>("from");
    QTest::addColumn<QString>("call");
    QTest::addColumn<double>("argument");
    QTest::addColumn<double>("result");
    QTest::addColumn<uint>("steps");
    QTest::addColumn<double>("target");
    QTest::addColumn<int>("newDirection");

    const int cw = Clockwise;
    const int ccw = Counterclockwise;
    // Untouched fields keep the preset of 7 counts and target 123.
    QTest::newRow("by 30") << 6400u << cw << 0.0 << "by" << 30.0 << 29.98125 << 533u << -29.98125 << cw;
    QTest::newRow("by -30") << 6400u << cw << 0.0 << "by" << -30.0 << 29.98125 << 533u << 29.98125 << ccw;
    QTest::newRow("by -30 ccw") << 6400u << ccw << 0.0 << "by" << -30.0 << 29.98125 << 533u << -29.98125 << cw;
    QTest::newRow("half rounds up") << 8u << ccw << 0.0 << "by" << 22.5 << 45.0 << 1u << 45.0 << ccw;
    QTest::newRow("by 0") << 6400u << cw << 0.0 << "by" << 0.0 << 0.0 << 7u << 123.0 << cw;
    QTest::newRow("by, no counts") << 0u << cw << 0.0 << "by" << 30.0 << 0.0 << 7u << 123.0 << cw;
    QTest::newRow("wraps") << 72u << ccw << 350.0 << "by" << 30.0 << 30.0 << 6u << 20.0 << ccw;
    QTest::newRow("steps 0 is continuous") << 6400u << cw << 0.0 << "steps" << 0.0 << 0.0 << 0u << 123.0 << cw;
    QTest::newRow("steps 100") << 6400u << cw << 0.0 << "steps" << 100.0 << 100.0 << 100u << -5.625 << cw;
    QTest::newRow("steps -100") << 6400u << cw << 0.0 << "steps" << -100.0 << 100.0 << 100u << 5.625 << ccw;
    QTest::newRow("steps, no counts") << 0u << cw << 0.0 << "steps" << 5.0 << 0.0 << 7u << 123.0 << cw;
    QTest::newRow("to -360 from -330") << 6400u << cw << -330.0 << "to" << -360.0 << 0.0 << 533u << -359.98125 << cw;
    QTest::newRow("to -360, whole counts") << 7200u << cw << -330.0 << "to" << -360.0 << 0.0 << 600u << 0.0 << cw;
    QTest::newRow("to here is a turn") << 6400u << cw << -90.0 << "to" << -90.0 << 0.0 << 6400u << -90.0 << cw;
    QTest::newRow("to here ccw") << 6400u << ccw << 90.0 << "to" << 90.0 << 0.0 << 6400u << 90.0 << ccw;
    QTest::newRow("to ahead ccw") << 72u << ccw << 10.0 << "to" << 40.0 << 0.0 << 6u << 40.0 << ccw;
    QTest::newRow("to behind ccw") << 72u << ccw << 40.0 << "to" << 10.0 << 0.0 << 66u << 10.0 << ccw;
    QTest::newRow("to 360 goes home") << 72u << cw << -90.0 << "to" << 360.0 << 0.0 << 54u << 0.0 << cw;
    QTest::newRow("to, more than a turn cw") << 72u << cw << -300.0 << "to" << 100.0 << 0.0 << 64u << -260.0 << cw;
    QTest::newRow("to, more than a turn ccw") << 72u << ccw << -300.0 << "to" << 100.0 << 0.0 << 8u << -260.0 << ccw;
}

void TestFTDIController::angleBookkeeping()
{
    QFETCH(uint, counts);
    QFETCH(int, direction);
    QFETCH(double, from);
    QFETCH(QString, call);
    QFETCH(double, argument);
    QFETCH(double, result);
    QFETCH(uint, steps);
    QFETCH(double, target);
    QFETCH(int, newDirection);

    FTDIController motor;
    motor.countsPerRevolution = counts;
    motor.direction = direction;
    motor.currentAngle = from;
    motor.stepsToGo = 7;
    motor.targetAngle = 123.0;

    if (call == QLatin1String("by"))
        QCOMPARE(motor.rotateByAngle(argument) + 1.0, result + 1.0);
    else if (call == QLatin1String("steps"))
        QCOMPARE(double(motor.setSteps(int(argument))), result);
    else
        motor.rotateToAngle(argument);

    QCOMPARE(motor.stepsToGo, steps);
    QCOMPARE(motor.targetAngle + 1000.0, target + 1000.0);
    QCOMPARE(motor.direction, newDirection);
    QCOMPARE(motor.currentAngle, from);
}

void TestFTDIController::consecutiveMovesMakeUpRounding()
{
    FTDIController motor;
    motor.countsPerRevolution = 6400;
    motor.rotateToAngle(-30.0);
    QCOMPARE(motor.stepsToGo, 533u);
    motor.currentAngle = motor.targetAngle;
    motor.rotateToAngle(-60.0);
    QCOMPARE(motor.stepsToGo, 534u);
    QCOMPARE(motor.targetAngle, -60.01875);
}

void TestFTDIController::waitLastsFromTheCall_data()
{
    QTest::addColumn<unsigned>("ms");
    QTest::newRow("0") << 0u;
    QTest::newRow("1") << 1u;
    QTest::newRow("7") << 7u;
    QTest::newRow("100") << 100u;
}

void TestFTDIController::waitLastsFromTheCall()
{
    QFETCH(unsigned, ms);
    const auto start = std::chrono::steady_clock::now();
    FTDIController::waitMilliseconds(ms);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    QVERIFY(elapsed >= std::chrono::milliseconds(ms));
    QVERIFY(elapsed < std::chrono::milliseconds(ms + 1000));
}

void TestFTDIController::everyWaitOfATrainLastsItsLength_data()
{
    QTest::addColumn<PreciseWait::Method>("method");
    QTest::addColumn<unsigned>("ms");
    QTest::newRow("sleep then spin, 1 ms") << PreciseWait::Method::SleepThenSpin << 1u;
    QTest::newRow("sleep then spin, 2 ms") << PreciseWait::Method::SleepThenSpin << 2u;
    QTest::newRow("spin, 1 ms") << PreciseWait::Method::Spin << 1u;
}

// Back-to-back waits as a step train makes them, while the sleeping wait's margin adapts.
void TestFTDIController::everyWaitOfATrainLastsItsLength()
{
    QFETCH(PreciseWait::Method, method);
    QFETCH(unsigned, ms);
    PreciseWait::setMethod(method);
    int early = 0;
    for (int i = 0; i < 300; ++i) {
        const auto start = std::chrono::steady_clock::now();
        FTDIController::waitMilliseconds(ms);
        if (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(ms))
            ++early;
    }
    PreciseWait::setMethod(PreciseWait::Method::SleepThenSpin);
    QCOMPARE(early, 0);
}

static std::chrono::nanoseconds threadCpuTime()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

// A shutter stage is a wait of half a second on the caller's thread; it must not hold a core.
void TestFTDIController::aLongWaitLeavesTheProcessor()
{
    const auto cpu = threadCpuTime();
    FTDIController::waitMilliseconds(500);
    QVERIFY(threadCpuTime() - cpu < std::chrono::milliseconds(100));
}

QTEST_GUILESS_MAIN(TestFTDIController)
#include "tst_ftdicontroller.moc"
