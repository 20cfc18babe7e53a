#include "d2xx.h"
#include "d2xxsim.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr UCHAR enable = 0x01;
constexpr UCHAR direction = 0x02;
constexpr UCHAR step = 0x04;
constexpr UCHAR stage1 = 0x10;
constexpr UCHAR stage2 = 0x20;

constexpr UCHAR ready = 0x10;
constexpr UCHAR start = 0x20;
constexpr UCHAR continuous = 0x40;
constexpr UCHAR latch = 0x80;

// Closes the handle when a test leaves early.
struct Link
{
    FT_HANDLE handle = nullptr;
    ~Link()
    {
        if (handle)
            FT_Close(handle);
    }
};

bool openBoard(Link &link, int index, UCHAR mask)
{
    return FT_Open(index, &link.handle) == FT_OK && FT_SetBitMode(link.handle, mask, FT_BITMODE_RESET) == FT_OK
        && FT_SetBitMode(link.handle, mask, FT_BITMODE_ASYNC_BITBANG) == FT_OK;
}

FT_STATUS put(FT_HANDLE handle, UCHAR value)
{
    DWORD written = 0;
    const FT_STATUS status = FT_Write(handle, &value, 1, &written);
    return status == FT_OK && written != 1 ? FT_STATUS(FT_IO_ERROR) : status;
}

bool putAll(FT_HANDLE handle, std::initializer_list<UCHAR> values)
{
    for (UCHAR value : values) {
        if (put(handle, value) != FT_OK)
            return false;
    }
    return true;
}

UCHAR lines(FT_HANDLE handle)
{
    UCHAR value = 0;
    DWORD read = 0;
    return FT_Read(handle, &value, 1, &read) == FT_OK && read == 1 ? value : 0;
}

bool pulseSteps(FT_HANDLE handle, UCHAR base, int count)
{
    for (int i = 0; i < count; ++i) {
        if (!putAll(handle, {UCHAR(base | step), base}))
            return false;
    }
    return true;
}

UCHAR nibbleFor(int count)
{
    return UCHAR(15 - count % 16);
}

// Latches a command on a DC board and pulses the start line, as the board expects.
bool sendDcCommand(FT_HANDLE handle, UCHAR nibble, bool isContinuous)
{
    const UCHAR mode = isContinuous ? continuous : 0;
    return putAll(handle, {UCHAR(latch | mode | nibble), UCHAR(mode | nibble), UCHAR(latch | mode | nibble),
                           UCHAR(latch | mode | nibble | start), UCHAR(latch | mode | nibble)});
}

// One device of the list as the link sees it: flags, description, user area.
QString describe(int index, const FT_DEVICE_LIST_INFO_NODE &node)
{
    QString text = QString::number(node.Flags) + ':'
        + (std::strstr(node.Description, "245R") ? "245R" : "other") + ':';
    Link link;
    const FT_STATUS opened = FT_Open(index, &link.handle);
    if (opened != FT_OK)
        return text + "open" + QString::number(opened);
    DWORD size = 0;
    if (FT_EE_UASize(link.handle, &size) != FT_OK)
        return text + "nosize";
    UCHAR area[8] = {};
    DWORD read = 0;
    if (FT_EE_UARead(link.handle, area, sizeof area, &read) != FT_OK)
        return text + "noread";
    return text + QString::number(size) + ':'
        + QByteArray(reinterpret_cast<const char *>(area), int(read)).toHex();
}

QStringList listing()
{
    DWORD count = 0;
    if (FT_CreateDeviceInfoList(&count) != FT_OK)
        return {"list failed"};
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
    if (count > 0 && FT_GetDeviceInfoList(nodes.data(), &count) != FT_OK)
        return {"info failed"};
    QStringList result;
    for (DWORD i = 0; i < count; ++i)
        result << describe(int(i), nodes[i]);
    return result;
}

} // namespace

class tst_D2xxSim : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void deviceList_data();
    void deviceList();
    void deviceListErrors_data();
    void deviceListErrors();
    void environmentList();

    void openStatus_data();
    void openStatus();
    void openTwiceAndNullArguments();

    void stepperCounts_data();
    void stepperCounts();
    void stepperNeedsItsBitMode();
    void exposures();
    void stepPulsesFromTrace();
    void workerWritesWhileTestReads();

    void dcCommandCounts_data();
    void dcCommandCounts();
    void dcCountedRunKeepsReadyLow();
    void dcContinuousRunsUntilLatchedOff();
    void dcStartNeedsAFreshLatch();
    void dcNeverReady();
    void dcNeverLeavesReady();

    void unplugNow();
    void unplugAfterWrites();

    void vcdOfStepper();
    void vcdOfDcReadyLine();
    void vcdFromEnvironment();
};

void tst_D2xxSim::init()
{
    d2xxsim::reset();
    d2xxsim::setVcdFile("");
}

void tst_D2xxSim::deviceList_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("none") << "" << QStringList();
    QTest::newRow("turntable") << "turntable:3" << QStringList{"0:245R:32:d1f4000001000300"};
    QTest::newRow("record kind 0") << "record:0:7" << QStringList{"0:245R:32:d1f4000000000700"};
    QTest::newRow("record negative") << "record:2:-1" << QStringList{"0:245R:32:d1f400000200ffff"};
    QTest::newRow("model out of table") << "record:1:12" << QStringList{"0:245R:32:d1f4000001000c00"};
    QTest::newRow("plain") << "plain" << QStringList{"0:245R:32:0000000000000000"};
    QTest::newRow("short") << "short" << QStringList{"0:245R:4:d1f40000"};
    QTest::newRow("busy") << "busy" << QStringList{"1:245R:open3"};
    QTest::newRow("other") << "other" << QStringList{"0:other:32:d1f4000001000000"};
    QTest::newRow("order and spaces")
        << " other, turntable:6 ,busy,short," << QStringList{"0:other:32:d1f4000001000000", "0:245R:32:d1f4000001000600",
                                                           "1:245R:open3", "0:245R:4:d1f40000"};
}

void tst_D2xxSim::deviceList()
{
    QFETCH(QString, list);
    QFETCH(QStringList, expected);
    std::string error;
    QVERIFY(d2xxsim::attach(list.toStdString(), &error));
    QVERIFY(error.empty());
    QCOMPARE(listing(), expected);
}

void tst_D2xxSim::deviceListErrors_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("entry");

    QTest::newRow("unknown") << "turntable:1,lamp" << "lamp";
    QTest::newRow("row missing") << "turntable:" << "turntable:";
    QTest::newRow("row not a number") << "plain,turntable:x" << "turntable:x";
    QTest::newRow("row too large") << "turntable:40000" << "turntable:40000";
    QTest::newRow("kind missing") << "record:1" << "record:1";
    QTest::newRow("extra field") << "turntable:1:2" << "turntable:1:2";
    QTest::newRow("argument to plain") << "plain:1" << "plain:1";
    QTest::newRow("case") << "Plain" << "Plain";
}

void tst_D2xxSim::deviceListErrors()
{
    QFETCH(QString, list);
    QFETCH(QString, entry);
    std::string error;
    QVERIFY(!d2xxsim::attach(list.toStdString(), &error));
    QVERIFY2(QString::fromStdString(error).contains('"' + entry + '"'), error.c_str());
    QCOMPARE(d2xxsim::slotCount(), 0);
    QCOMPARE(listing(), QStringList());
}

void tst_D2xxSim::environmentList()
{
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("SPINWRIGHT_D2XX_VCD");
    env.insert("SPINWRIGHT_D2XX_SIM", "turntable:2,busy");
    probe.setProcessEnvironment(env);
    probe.start(D2XXSIMPROBE, {"list"});
    QVERIFY(probe.waitForFinished(30000));
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(probe.readAllStandardOutput()),
             "devices 2\n"
             "0 flags=0 \"FT245R USB FIFO\" ua=32 d1 f4 00 00 01 00 02 00\n"
             "1 flags=1 \"FT245R USB FIFO\" open=3\n");

    env.insert("SPINWRIGHT_D2XX_SIM", "turntable:2,record:1");
    probe.setProcessEnvironment(env);
    probe.start(D2XXSIMPROBE, {"list"});
    QVERIFY(probe.waitForFinished(30000));
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(probe.readAllStandardOutput()), "devices 0\n");
    const QString error = QString::fromLocal8Bit(probe.readAllStandardError());
    QVERIFY2(error.contains("SPINWRIGHT_D2XX_SIM") && error.contains("\"record:1\""), qPrintable(error));
}

void tst_D2xxSim::openStatus_data()
{
    QTest::addColumn<uint>("status");
    for (uint status = 1; status <= 5; ++status)
        QTest::newRow(qPrintable(QString::number(status))) << status;
}

void tst_D2xxSim::openStatus()
{
    QFETCH(uint, status);
    QVERIFY(d2xxsim::attach("plain,turntable:4"));
    d2xxsim::setOpenStatus(1, status);
    FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(0x1);
    QCOMPARE(FT_Open(1, &handle), FT_STATUS(status));
    QCOMPARE(handle, FT_HANDLE(nullptr));

    Link first;
    QCOMPARE(FT_Open(0, &first.handle), FT_STATUS(FT_OK));

    d2xxsim::setOpenStatus(1, FT_OK);
    Link second;
    QCOMPARE(FT_Open(1, &second.handle), FT_STATUS(FT_OK));
    QVERIFY(second.handle && second.handle != first.handle);
}

void tst_D2xxSim::openTwiceAndNullArguments()
{
    QVERIFY(d2xxsim::attach("turntable:1"));
    FT_HANDLE handle = nullptr;
    QCOMPARE(FT_Open(-1, &handle), FT_STATUS(FT_DEVICE_NOT_FOUND));
    QCOMPARE(FT_Open(1, &handle), FT_STATUS(FT_DEVICE_NOT_FOUND));
    QCOMPARE(FT_Open(0, nullptr), FT_STATUS(FT_INVALID_PARAMETER));

    Link link;
    QCOMPARE(FT_Open(0, &link.handle), FT_STATUS(FT_OK));
    QVERIFY(d2xxsim::state(0).open);
    QCOMPARE(FT_Open(0, &handle), FT_STATUS(FT_DEVICE_NOT_OPENED));

    FT_DEVICE_LIST_INFO_NODE node{};
    DWORD count = 1;
    QCOMPARE(FT_GetDeviceInfoList(&node, &count), FT_STATUS(FT_OK));
    QCOMPARE(node.Flags, ULONG(0));
    QCOMPARE(node.ftHandle, link.handle);
    count = 0;
    QCOMPARE(FT_GetDeviceInfoList(&node, &count), FT_STATUS(FT_OK));
    QCOMPARE(count, DWORD(0));

    DWORD size = 0;
    DWORD read = 0;
    QCOMPARE(FT_EE_UASize(link.handle, nullptr), FT_STATUS(FT_INVALID_PARAMETER));
    QCOMPARE(FT_EE_UARead(link.handle, nullptr, 8, &read), FT_STATUS(FT_INVALID_PARAMETER));
    QCOMPARE(FT_Write(link.handle, nullptr, 1, &read), FT_STATUS(FT_INVALID_PARAMETER));
    QCOMPARE(FT_EE_UASize(reinterpret_cast<FT_HANDLE>(0x77), &size), FT_STATUS(FT_INVALID_HANDLE));
    QCOMPARE(FT_GetDeviceInfo(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), FT_STATUS(FT_INVALID_HANDLE));

    QCOMPARE(FT_Close(link.handle), FT_STATUS(FT_OK));
    QCOMPARE(FT_Close(link.handle), FT_STATUS(FT_INVALID_HANDLE));
    QCOMPARE(put(link.handle, 0x00), FT_STATUS(FT_INVALID_HANDLE));
    link.handle = nullptr;
    QVERIFY(!d2xxsim::state(0).open);
    QCOMPARE(FT_Open(0, &link.handle), FT_STATUS(FT_OK));
}

void tst_D2xxSim::stepperCounts_data()
{
    QTest::addColumn<bool>("enableActiveHigh");
    QTest::addColumn<bool>("clockwiseActiveHigh");
    QTest::addColumn<int>("enableLevel");
    QTest::addColumn<int>("directionLevel");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("unpowered");

    // Five rising edges each time.
    QTest::newRow("powered, counterclockwise") << true << true << 1 << 0 << 5 << 0;
    QTest::newRow("powered, clockwise") << true << true << 1 << 1 << -5 << 0;
    QTest::newRow("unpowered") << true << true << 0 << 1 << 0 << 5;
    QTest::newRow("enable active-low, powered") << false << true << 0 << 0 << 5 << 0;
    QTest::newRow("enable active-low, unpowered") << false << true << 1 << 0 << 0 << 5;
    QTest::newRow("clockwise active-low, clockwise") << true << false << 1 << 0 << -5 << 0;
    QTest::newRow("clockwise active-low, counterclockwise") << true << false << 1 << 1 << 5 << 0;
    QTest::newRow("both active-low") << false << false << 0 << 0 << -5 << 0;
}

void tst_D2xxSim::stepperCounts()
{
    QFETCH(bool, enableActiveHigh);
    QFETCH(bool, clockwiseActiveHigh);
    QFETCH(int, enableLevel);
    QFETCH(int, directionLevel);
    QFETCH(int, position);
    QFETCH(int, unpowered);

    QVERIFY(d2xxsim::attach("turntable:0"));
    d2xxsim::setEnableActiveHigh(0, enableActiveHigh);
    d2xxsim::setClockwiseActiveHigh(0, clockwiseActiveHigh);
    Link link;
    QVERIFY(openBoard(link, 0, 0xFF));
    QCOMPARE(d2xxsim::state(0).board, d2xxsim::Board::Stepper);

    const UCHAR base = UCHAR((enableLevel ? enable : 0) | (directionLevel ? direction : 0));
    QVERIFY(put(link.handle, base) == FT_OK);
    QVERIFY(pulseSteps(link.handle, base, 4));
    // A step line held high is one count, not one per write.
    QVERIFY(putAll(link.handle, {UCHAR(base | step), UCHAR(base | step | 0x08), base}));

    QCOMPARE(d2xxsim::position(0), std::int64_t(position));
    QCOMPARE(d2xxsim::stepsWhileUnpowered(0), std::uint64_t(unpowered));
    QCOMPARE(lines(link.handle), base);
}

void tst_D2xxSim::stepperNeedsItsBitMode()
{
    QVERIFY(d2xxsim::attach("turntable:0,turntable:1"));
    Link serial;
    QCOMPARE(FT_Open(0, &serial.handle), FT_STATUS(FT_OK));
    QVERIFY(pulseSteps(serial.handle, enable, 3));
    QCOMPARE(d2xxsim::state(0).board, d2xxsim::Board::None);
    QCOMPARE(d2xxsim::position(0), std::int64_t(0));
    QCOMPARE(d2xxsim::state(0).writeCount, std::uint64_t(6));

    Link otherMask;
    QVERIFY(openBoard(otherMask, 1, 0x0F));
    QVERIFY(pulseSteps(otherMask.handle, enable, 3));
    QCOMPARE(d2xxsim::state(1).board, d2xxsim::Board::None);
    QCOMPARE(d2xxsim::position(1), std::int64_t(0));
    QCOMPARE(lines(otherMask.handle), enable);

    QCOMPARE(FT_SetBitMode(serial.handle, 0xFF, FT_BITMODE_ASYNC_BITBANG), FT_STATUS(FT_OK));
    QVERIFY(pulseSteps(serial.handle, enable, 3));
    QCOMPARE(d2xxsim::position(0), std::int64_t(3));
    QCOMPARE(FT_SetBitMode(serial.handle, 0xFF, FT_BITMODE_RESET), FT_STATUS(FT_OK));
    QVERIFY(pulseSteps(serial.handle, enable, 3));
    QCOMPARE(d2xxsim::position(0), std::int64_t(3));
}

void tst_D2xxSim::exposures()
{
    QVERIFY(d2xxsim::attach("turntable:0"));
    Link link;
    QVERIFY(openBoard(link, 0, 0xFF));
    QVERIFY(put(link.handle, enable) == FT_OK);
    QVERIFY(pulseSteps(link.handle, enable, 7));

    const auto before = d2xxsim::Clock::now();
    // Stage 2 alone, then stage 1 over an already pressed stage 2: neither is an exposure.
    QVERIFY(putAll(link.handle, {UCHAR(enable | stage2), enable, UCHAR(enable | stage2),
                                 UCHAR(enable | stage1 | stage2), enable}));
    QVERIFY(d2xxsim::exposures(0).empty());

    QVERIFY(putAll(link.handle, {UCHAR(enable | stage1), UCHAR(enable | stage1 | stage2), enable}));
    QVERIFY(pulseSteps(link.handle, enable | direction, 2));
    QVERIFY(putAll(link.handle, {UCHAR(stage1), UCHAR(stage1 | stage2), 0}));

    const auto shots = d2xxsim::exposures(0);
    QCOMPARE(shots.size(), std::size_t(2));
    QCOMPARE(shots[0].position, std::int64_t(7));
    QCOMPARE(shots[1].position, std::int64_t(5));
    QVERIFY(shots[0].time >= before && shots[1].time >= shots[0].time);
}

void tst_D2xxSim::stepPulsesFromTrace()
{
    QVERIFY(d2xxsim::attach("turntable:0"));
    Link link;
    QVERIFY(openBoard(link, 0, 0xFF));
    QVERIFY(put(link.handle, enable) == FT_OK);
    QVERIFY(pulseSteps(link.handle, enable, 3));
    QVERIFY(put(link.handle, enable | step) == FT_OK);

    const auto trace = d2xxsim::writes(0);
    QCOMPARE(trace.size(), std::size_t(8));
    QCOMPARE(trace[1].value, UCHAR(enable | step));
    for (std::size_t i = 1; i < trace.size(); ++i)
        QVERIFY(trace[i].time >= trace[i - 1].time);

    const auto pulses = d2xxsim::pulses(0, 2);
    QCOMPARE(pulses.size(), std::size_t(4));
    QCOMPARE(pulses[0].rise, trace[1].time);
    QCOMPARE(pulses[0].fall, trace[2].time);
    QCOMPARE(pulses[3].rise, pulses[3].fall);
    QVERIFY(d2xxsim::pulses(0, 0).size() == 1 && d2xxsim::pulses(0, 5).empty() && d2xxsim::pulses(0, 8).empty());

    d2xxsim::clearWrites(0);
    QVERIFY(d2xxsim::writes(0).empty());
    QCOMPARE(d2xxsim::state(0).writeCount, std::uint64_t(0));
    QVERIFY(put(link.handle, enable) == FT_OK);
    const auto after = d2xxsim::pulses(0, 2);
    QCOMPARE(after.size(), std::size_t(0));
    QCOMPARE(d2xxsim::position(0), std::int64_t(4));
}

void tst_D2xxSim::workerWritesWhileTestReads()
{
    QVERIFY(d2xxsim::attach("turntable:0"));
    Link link;
    QVERIFY(openBoard(link, 0, 0xFF));
    std::atomic<bool> done{false};
    std::atomic<bool> ok{true};
    std::thread worker([&] {
        if (put(link.handle, enable) != FT_OK || !pulseSteps(link.handle, enable, 2000))
            ok = false;
        done = true;
    });
    std::int64_t lastPosition = 0;
    bool monotonic = true;
    while (!done) {
        const std::int64_t now = d2xxsim::position(0);
        monotonic = monotonic && now >= lastPosition;
        lastPosition = now;
        d2xxsim::writes(0);
    }
    worker.join();
    QVERIFY(ok);
    QVERIFY(monotonic);
    QCOMPARE(d2xxsim::position(0), std::int64_t(2000));
    QCOMPARE(d2xxsim::writes(0).size(), std::size_t(4001));
    QCOMPARE(d2xxsim::pulses(0, 2).size(), std::size_t(2000));
}

void tst_D2xxSim::dcCommandCounts_data()
{
    QTest::addColumn<int>("nibble");
    QTest::addColumn<int>("count");

    QTest::newRow("1") << 0b1110 << 1;
    QTest::newRow("5") << 0b1010 << 5;
    QTest::newRow("6") << 0b1001 << 6;
    QTest::newRow("15") << 0b0000 << 15;
    QTest::newRow("16") << 0b1111 << 16;
}

void tst_D2xxSim::dcCommandCounts()
{
    QFETCH(int, nibble);
    QFETCH(int, count);

    QVERIFY(d2xxsim::attach("turntable:1"));
    d2xxsim::setDcTimePerCount(0, 100us);
    Link link;
    QVERIFY(openBoard(link, 0, 0xEF));
    QCOMPARE(d2xxsim::state(0).board, d2xxsim::Board::Dc);
    QVERIFY(put(link.handle, 0x8E) == FT_OK);
    QCOMPARE(lines(link.handle), UCHAR(0x8E | ready));

    QVERIFY(sendDcCommand(link.handle, UCHAR(nibble), false));
    // Count lines changed after the latch belong to the next command.
    QVERIFY(put(link.handle, UCHAR(latch | nibbleFor(3))) == FT_OK);

    const auto commands = d2xxsim::dcCommands(0);
    QCOMPARE(commands.size(), std::size_t(1));
    QCOMPARE(int(commands[0].nibble), nibble);
    QCOMPARE(commands[0].count, count);
    QVERIFY(!commands[0].continuous);
    QTRY_VERIFY_WITH_TIMEOUT(lines(link.handle) & ready, 10000);
    QCOMPARE(d2xxsim::position(0), std::int64_t(count));
}

void tst_D2xxSim::dcCountedRunKeepsReadyLow()
{
    QVERIFY(d2xxsim::attach("turntable:1"));
    d2xxsim::setDcTimePerCount(0, 5ms);
    Link link;
    QVERIFY(openBoard(link, 0, 0xEF));
    QVERIFY(put(link.handle, 0x8E) == FT_OK);
    QVERIFY(d2xxsim::state(0).ready);

    QVERIFY(sendDcCommand(link.handle, nibbleFor(5), false));
    const auto started = d2xxsim::dcCommands(0).at(0).time;
    // The bit the driver writes on the input line has no effect on it.
    QVERIFY(put(link.handle, latch | nibbleFor(5) | ready) == FT_OK);
    const bool busy = !(lines(link.handle) & ready);
    QVERIFY(busy || d2xxsim::Clock::now() - started >= 25ms);
    // A start while busy is no new command.
    QVERIFY(sendDcCommand(link.handle, nibbleFor(2), false));

    QTRY_VERIFY_WITH_TIMEOUT(lines(link.handle) & ready, 10000);
    QVERIFY(d2xxsim::Clock::now() - started >= 25ms);
    // Only a stall of the test longer than the run lets the second start through.
    const auto commands = d2xxsim::dcCommands(0);
    QVERIFY(commands.size() == 1 || commands[1].time - started >= 25ms);
    QCOMPARE(d2xxsim::position(0), std::int64_t(commands.size() == 1 ? 5 : 7));
}

void tst_D2xxSim::dcContinuousRunsUntilLatchedOff()
{
    QVERIFY(d2xxsim::attach("turntable:1"));
    d2xxsim::setDcTimePerCount(0, 1ms);
    Link link;
    QVERIFY(openBoard(link, 0, 0xEF));
    QVERIFY(put(link.handle, 0x8E) == FT_OK);

    // The mode is the continuous line's level at the latch, not at the start pulse.
    const UCHAR nibble = nibbleFor(3);
    QVERIFY(putAll(link.handle, {nibble, UCHAR(latch | nibble), UCHAR(latch | continuous | nibble),
                                 UCHAR(latch | continuous | nibble | start), UCHAR(latch | continuous | nibble)}));
    QCOMPARE(d2xxsim::dcCommands(0).size(), std::size_t(1));
    QVERIFY(!d2xxsim::dcCommands(0)[0].continuous);
    QTRY_VERIFY_WITH_TIMEOUT(lines(link.handle) & ready, 10000);
    QCOMPARE(d2xxsim::position(0), std::int64_t(3));

    QVERIFY(sendDcCommand(link.handle, nibble, true));
    QCOMPARE(d2xxsim::dcCommands(0).size(), std::size_t(2));
    QVERIFY(d2xxsim::dcCommands(0)[1].continuous);
    QTRY_VERIFY_WITH_TIMEOUT(d2xxsim::position(0) > 40, 20000);
    QVERIFY(!(lines(link.handle) & ready));

    // Dropping the continuous line, or latching it high again, stops nothing.
    QVERIFY(putAll(link.handle, {UCHAR(latch | nibble), UCHAR(continuous | nibble), UCHAR(latch | continuous | nibble)}));
    QVERIFY(!(lines(link.handle) & ready));
    QVERIFY(putAll(link.handle, {UCHAR(nibble), UCHAR(latch | nibble)}));
    QVERIFY(lines(link.handle) & ready);
    const std::int64_t stoppedAt = d2xxsim::position(0);
    QVERIFY(stoppedAt > 40);
    QCOMPARE(lines(link.handle) & ready, int(ready));
    QCOMPARE(d2xxsim::position(0), stoppedAt);
}

void tst_D2xxSim::dcStartNeedsAFreshLatch()
{
    QVERIFY(d2xxsim::attach("turntable:1"));
    d2xxsim::setDcTimePerCount(0, 100us);
    Link link;
    QVERIFY(openBoard(link, 0, 0xEF));
    // A start pulse before anything was latched.
    QVERIFY(putAll(link.handle, {UCHAR(0x0E | start), 0x0E}));
    QVERIFY(d2xxsim::dcCommands(0).empty());
    QVERIFY(put(link.handle, 0x8E) == FT_OK);

    QVERIFY(sendDcCommand(link.handle, nibbleFor(2), false));
    QTRY_VERIFY_WITH_TIMEOUT(lines(link.handle) & ready, 10000);
    for (int i = 0; i < 3; ++i)
        QVERIFY(putAll(link.handle, {UCHAR(latch | nibbleFor(2) | start), UCHAR(latch | nibbleFor(2))}));
    QCOMPARE(d2xxsim::dcCommands(0).size(), std::size_t(1));
    QCOMPARE(d2xxsim::position(0), std::int64_t(2));
}

void tst_D2xxSim::dcNeverReady()
{
    QVERIFY(d2xxsim::attach("turntable:1"));
    d2xxsim::setDcNeverReady(0, true);
    Link link;
    QVERIFY(openBoard(link, 0, 0xEF));
    QVERIFY(put(link.handle, 0x8E) == FT_OK);
    QCOMPARE(lines(link.handle), UCHAR(0x8E));
    QVERIFY(sendDcCommand(link.handle, nibbleFor(4), false));
    QVERIFY(d2xxsim::dcCommands(0).empty());
    QVERIFY(!d2xxsim::state(0).ready);

    d2xxsim::setDcNeverReady(0, false);
    QCOMPARE(lines(link.handle), UCHAR(latch | nibbleFor(4) | ready));
}

void tst_D2xxSim::dcNeverLeavesReady()
{
    QVERIFY(d2xxsim::attach("turntable:1"));
    d2xxsim::setDcNeverLeavesReady(0, true);
    Link link;
    QVERIFY(openBoard(link, 0, 0xEF));
    QVERIFY(put(link.handle, 0x8E) == FT_OK);
    for (int i = 0; i < 3; ++i) {
        QVERIFY(sendDcCommand(link.handle, nibbleFor(16), false));
        QVERIFY(lines(link.handle) & ready);
    }
    QVERIFY(d2xxsim::dcCommands(0).empty());
    QCOMPARE(d2xxsim::position(0), std::int64_t(0));
}

void tst_D2xxSim::unplugNow()
{
    QVERIFY(d2xxsim::attach("turntable:0,turntable:5"));
    Link first;
    Link second;
    QVERIFY(openBoard(first, 0, 0xFF));
    QVERIFY(openBoard(second, 1, 0xFF));

    d2xxsim::unplug(0);
    QCOMPARE(put(first.handle, enable), FT_STATUS(FT_IO_ERROR));
    UCHAR byte = 0xAA;
    DWORD read = 7;
    QCOMPARE(FT_Read(first.handle, &byte, 1, &read), FT_STATUS(FT_IO_ERROR));
    QCOMPARE(read, DWORD(0));
    QCOMPARE(FT_Purge(first.handle, FT_PURGE_TX), FT_STATUS(FT_IO_ERROR));
    QCOMPARE(FT_SetBitMode(first.handle, 0xFF, 1), FT_STATUS(FT_IO_ERROR));
    char serial[16];
    char description[64];
    FT_DEVICE type = 0;
    DWORD id = 0;
    QCOMPARE(FT_GetDeviceInfo(first.handle, &type, &id, serial, description, nullptr), FT_STATUS(FT_IO_ERROR));
    QCOMPARE(FT_GetDeviceInfo(second.handle, &type, &id, serial, description, nullptr), FT_STATUS(FT_OK));
    QCOMPARE(QByteArray(description), QByteArray("FT245R USB FIFO"));
    QCOMPARE(QByteArray(serial), QByteArray("SIM1"));
    QCOMPARE(d2xxsim::state(0).writeCount, std::uint64_t(0));
    QVERIFY(!d2xxsim::state(0).attached);

    // The board left the list: the one left is now index 0.
    QCOMPARE(listing(), QStringList{"0:245R:open3"});
    QCOMPARE(FT_Close(first.handle), FT_STATUS(FT_IO_ERROR));
    first.handle = nullptr;
    QCOMPARE(FT_Close(second.handle), FT_STATUS(FT_OK));
    second.handle = nullptr;
    QCOMPARE(listing(), QStringList{"0:245R:32:d1f4000001000500"});
}

void tst_D2xxSim::unplugAfterWrites()
{
    QVERIFY(d2xxsim::attach("turntable:0"));
    Link link;
    QVERIFY(openBoard(link, 0, 0xFF));
    QVERIFY(put(link.handle, enable) == FT_OK);
    d2xxsim::unplugAfterWrites(0, 5);
    QVERIFY(pulseSteps(link.handle, enable, 2));
    DWORD size = 0;
    QCOMPARE(FT_EE_UASize(link.handle, &size), FT_STATUS(FT_OK));
    QCOMPARE(put(link.handle, enable | step), FT_STATUS(FT_OK));
    QCOMPARE(put(link.handle, enable), FT_STATUS(FT_IO_ERROR));
    QCOMPARE(FT_EE_UASize(link.handle, &size), FT_STATUS(FT_IO_ERROR));
    QCOMPARE(FT_GetDeviceInfo(link.handle, nullptr, nullptr, nullptr, nullptr, nullptr), FT_STATUS(FT_IO_ERROR));
    QCOMPARE(d2xxsim::writes(0).size(), std::size_t(6));
    QCOMPARE(d2xxsim::position(0), std::int64_t(3));

    // A write of several bytes stops where the board went away.
    d2xxsim::reset();
    QVERIFY(d2xxsim::attach("turntable:0"));
    Link again;
    QVERIFY(openBoard(again, 0, 0xFF));
    d2xxsim::unplugAfterWrites(0, 2);
    UCHAR bytes[4] = {enable, UCHAR(enable | step), enable, UCHAR(enable | step)};
    DWORD written = 0;
    QCOMPARE(FT_Write(again.handle, bytes, 4, &written), FT_STATUS(FT_IO_ERROR));
    QCOMPARE(written, DWORD(2));
    QCOMPARE(d2xxsim::position(0), std::int64_t(1));
}

void tst_D2xxSim::vcdOfStepper()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("stepper.vcd");
    QVERIFY(d2xxsim::attach("turntable:0"));
    QVERIFY(d2xxsim::setVcdFile(path.toStdString()));
    Link link;
    QVERIFY(openBoard(link, 0, 0xFF));
    QVERIFY(putAll(link.handle, {0x00, 0x09, 0x09}));
    QVERIFY(pulseSteps(link.handle, 0x09, 3));
    QCOMPARE(FT_Close(link.handle), FT_STATUS(FT_OK));
    link.handle = nullptr;
    // A board attached after a reset takes over the wires of its slot from their last levels.
    d2xxsim::reset();
    QVERIFY(d2xxsim::attach("turntable:0"));
    QVERIFY(openBoard(link, 0, 0xFF));
    QVERIFY(put(link.handle, 0x08) == FT_OK);
    d2xxsim::flushVcd();

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY(text.contains("$timescale 1us $end\n"));
    const QStringList wires{"enable", "direction", "step", "auxiliary", "shutter1", "shutter2", "D6", "D7"};
    QHash<QString, QString> ids;
    const QRegularExpression var(R"(\$var wire 1 (\S+) (\S+) \$end)");
    auto vars = var.globalMatch(text);
    while (vars.hasNext()) {
        const auto m = vars.next();
        ids.insert(m.captured(2), m.captured(1));
    }
    QCOMPARE(ids.size(), 8);
    for (const QString &wire : wires)
        QVERIFY2(ids.contains(wire), qPrintable(wire));

    const int body = text.indexOf("$enddefinitions $end\n");
    QVERIFY(body > 0);
    QStringList changes;
    long long lastTime = -1;
    bool increasing = true;
    for (const QString &line : text.mid(body).split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith('#')) {
            const long long t = line.mid(1).toLongLong();
            increasing = increasing && t > lastTime;
            lastTime = t;
        } else if (line.size() >= 2 && (line[0] == '0' || line[0] == '1') && lastTime >= 0) {
            changes << line;
        }
    }
    QVERIFY(increasing);
    const QString on = '1' + ids["step"];
    const QString off = '0' + ids["step"];
    // $dumpvars first, all low; then enable and auxiliary once, three step pulses; after the
    // reset only enable falls.
    QCOMPARE(changes.count('0' + ids["enable"]), 2);
    QCOMPARE(changes.count('1' + ids["enable"]), 1);
    QCOMPARE(changes.count('1' + ids["auxiliary"]), 1);
    QCOMPARE(changes.count('0' + ids["auxiliary"]), 1);
    QCOMPARE(changes.last(), '0' + ids["enable"]);
    QCOMPARE(changes.count(on), 3);
    QCOMPARE(changes.count(off), 4);
    QCOMPARE(changes.count('1' + ids["direction"]), 0);
}

void tst_D2xxSim::vcdOfDcReadyLine()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("dc.vcd");
    QVERIFY(d2xxsim::attach("turntable:1"));
    d2xxsim::setDcTimePerCount(0, 5ms);
    QVERIFY(d2xxsim::setVcdFile(path.toStdString()));
    Link link;
    QVERIFY(openBoard(link, 0, 0xEF));
    QVERIFY(put(link.handle, 0x8E) == FT_OK);
    QVERIFY(sendDcCommand(link.handle, nibbleFor(5), false));
    QTRY_VERIFY_WITH_TIMEOUT(lines(link.handle) & ready, 10000);
    d2xxsim::flushVcd();

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(file.readAll());
    const QRegularExpression var(R"(\$var wire 1 (\S+) ready \$end)");
    const QString id = var.match(text).captured(1);
    QVERIFY(!id.isEmpty());
    QVector<QPair<long long, QChar>> readyChanges;
    long long time = 0;
    for (const QString &line : text.mid(text.indexOf("$enddefinitions")).split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith('#'))
            time = line.mid(1).toLongLong();
        else if (line.mid(1) == id)
            readyChanges.append({time, line[0]});
    }
    // Initial 0, up when the board took its bit mode, down at start, up 5 x 5 ms later.
    QCOMPARE(readyChanges.size(), 4);
    QCOMPARE(readyChanges[1].second, QChar('1'));
    QCOMPARE(readyChanges[2].second, QChar('0'));
    QCOMPARE(readyChanges[3].second, QChar('1'));
    QCOMPARE(readyChanges[3].first - readyChanges[2].first, 25000LL);
}

void tst_D2xxSim::vcdFromEnvironment()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("probe.vcd");
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("SPINWRIGHT_D2XX_SIM", "turntable:0");
    env.insert("SPINWRIGHT_D2XX_VCD", path);
    probe.setProcessEnvironment(env);
    probe.start(D2XXSIMPROBE, {"steps", "20"});
    QVERIFY(probe.waitForFinished(30000));
    QCOMPARE(probe.exitCode(), 0);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(file.readAll());
    const QString id = QRegularExpression(R"(\$var wire 1 (\S+) step \$end)").match(text).captured(1);
    QVERIFY(!id.isEmpty());
    long long time = 0;
    long long rise = -1;
    int pulses = 0;
    bool wideEnough = true;
    for (const QString &line : text.mid(text.indexOf("$enddefinitions")).split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith('#'))
            time = line.mid(1).toLongLong();
        else if (line == '1' + id)
            rise = time;
        else if (line == '0' + id && rise >= 0) {
            ++pulses;
            wideEnough = wideEnough && time - rise >= 2000;
            rise = -1;
        }
    }
    QCOMPARE(pulses, 20);
    QVERIFY(wideEnough);
}

QTEST_GUILESS_MAIN(tst_D2xxSim)
#include "tst_d2xxsim.moc"
