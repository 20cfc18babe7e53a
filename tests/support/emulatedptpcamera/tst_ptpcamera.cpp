// The emulated camera's PTP side on its own, with time passed in: what libgphoto2 cannot be
// made to show without waiting or hanging (event timing, a capture that never completes).
#include "ptpcamera.h"

#include <QtTest>

#include <vector>

using Bytes = std::vector<std::uint8_t>;
using Clock = PtpCamera::Clock;

namespace {

struct Container
{
    std::uint16_t type = 0, code = 0;
    std::uint32_t transaction = 0;
    Bytes payload;

    std::uint32_t param(std::size_t i) const
    {
        const std::size_t at = 4 * i;
        return at + 4 <= payload.size()
            ? payload[at] | payload[at + 1] << 8 | payload[at + 2] << 16 | std::uint32_t(payload[at + 3]) << 24 : 0;
    }
};

Bytes block(std::uint16_t type, std::uint16_t code, std::uint32_t transaction, const std::vector<std::uint32_t> &params,
            const Bytes &data = {})
{
    Bytes out;
    const auto put = [&out](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            out.push_back(std::uint8_t(v >> (8 * i)));
    };
    put(std::uint32_t(12 + 4 * params.size() + data.size()), 4);
    put(type, 2);
    put(code, 2);
    put(transaction, 4);
    for (std::uint32_t p : params)
        put(p, 4);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

class Host
{
public:
    PtpCamera camera{EmulatedPtpCamera::Identity()};
    Clock::time_point now = Clock::now();
    std::uint32_t transaction = 0;

    void command(std::uint16_t code, const std::vector<std::uint32_t> &params = {})
    {
        const Bytes out = block(1, code, ++transaction, params);
        camera.receive(out.data(), out.size(), now);
    }
    // The next whole bulk-IN container, read in transfers of `room` bytes; type 0 if none is due.
    Container next(int room = 512)
    {
        Bytes bytes;
        std::uint8_t buffer[4096];
        for (;;) {
            const int n = camera.sendBulk(buffer, std::min(room, int(sizeof buffer)), now);
            if (n < 0)
                break;
            bytes.insert(bytes.end(), buffer, buffer + n);
            if (bytes.size() >= 4 && bytes.size() >= std::size_t(bytes[0] | bytes[1] << 8 | bytes[2] << 16))
                break;
        }
        return parse(bytes);
    }
    Container event()
    {
        std::uint8_t buffer[256];
        const int n = camera.sendEvent(buffer, sizeof buffer, now);
        return n < 0 ? Container() : parse(Bytes(buffer, buffer + n));
    }
    static Container parse(const Bytes &bytes)
    {
        Container c;
        if (bytes.size() < 12)
            return c;
        c.type = std::uint16_t(bytes[4] | bytes[5] << 8);
        c.code = std::uint16_t(bytes[6] | bytes[7] << 8);
        c.transaction = bytes[8] | bytes[9] << 8 | bytes[10] << 16 | std::uint32_t(bytes[11]) << 24;
        c.payload.assign(bytes.begin() + 12, bytes.end());
        return c;
    }
    void open()
    {
        command(0x1002, {1});
        QCOMPARE(next().code, std::uint16_t(0x2001));
    }
};

} // namespace

class TestPtpCamera : public QObject
{
    Q_OBJECT

private slots:
    void answersEveryOperation_data();
    void answersEveryOperation();
    void captureEventsFollowTheExposure_data();
    void captureEventsFollowTheExposure();
    void partialObjectsAndTheUnplugFault();
    void enablesTheStreamThroughADataPhase();
};

void TestPtpCamera::answersEveryOperation_data()
{
    QTest::addColumn<bool>("session");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("response");
    QTest::addColumn<bool>("counted");
    QTest::newRow("vendor operation") << true << 0x9001 << 0x2005 << true;
    QTest::newRow("SendObject, not offered") << true << 0x100D << 0x2005 << true;
    QTest::newRow("unknown before the session too") << false << 0x1018 << 0x2005 << true;
    QTest::newRow("known before the session") << false << 0x1004 << 0x2003 << false;
    QTest::newRow("second OpenSession") << true << 0x1002 << 0x201E << false;
    QTest::newRow("no such object") << true << 0x1008 << 0x2009 << false;
    QTest::newRow("no such property") << true << 0x1015 << 0x200A << false;
}

void TestPtpCamera::answersEveryOperation()
{
    QFETCH(bool, session);
    QFETCH(int, code);
    QFETCH(int, response);
    QFETCH(bool, counted);
    Host host;
    if (session)
        host.open();
    host.command(std::uint16_t(code), {code == 0x1002 ? 7u : 0x5555u});
    const Container answer = host.next();
    QCOMPARE(answer.type, std::uint16_t(3));
    QCOMPARE(answer.code, std::uint16_t(response));
    QCOMPARE(answer.transaction, host.transaction);
    QCOMPARE(host.camera.counters.notSupported, counted ? 1u : 0u);
    QCOMPARE(host.next().type, std::uint16_t(0));  // nothing more: no stray data phase
}

void TestPtpCamera::captureEventsFollowTheExposure_data()
{
    QTest::addColumn<bool>("neverCompletes");
    QTest::newRow("completes") << false;
    QTest::newRow("never completes") << true;
}

void TestPtpCamera::captureEventsFollowTheExposure()
{
    QFETCH(bool, neverCompletes);
    Host host;
    host.open();
    host.camera.settings.exposure = std::chrono::milliseconds(3000);
    host.camera.settings.neverCompletes = neverCompletes;
    host.camera.settings.nextCaptures.push_back({{"A.CR3", {1, 2, 3}}, {"A.JPG", {4, 5}}});
    host.command(0x100E, {0, 0});
    const std::uint32_t captureTransaction = host.transaction;
    QCOMPARE(host.next().code, std::uint16_t(0x2001));  // answered at once; the exposure runs on
    host.command(0x100E, {0, 0});
    QCOMPARE(host.next().code, std::uint16_t(0x2019));  // busy while exposing
    host.now += std::chrono::milliseconds(2999);
    QCOMPARE(host.event().type, std::uint16_t(0));
    QVERIFY(host.camera.objects().empty());
    host.now += std::chrono::milliseconds(1);
    const Container first = host.event(), second = host.event();
    QCOMPARE(first.code, std::uint16_t(0x4002));
    QCOMPARE(second.code, std::uint16_t(0x4002));
    QCOMPARE(host.camera.objects().size(), std::size_t(2));
    QCOMPARE(first.param(0), host.camera.objects()[0].handle);
    QCOMPARE(second.param(0), host.camera.objects()[1].handle);
    const Container last = host.event();
    if (neverCompletes) {
        QCOMPARE(last.type, std::uint16_t(0));
    } else {
        QCOMPARE(last.code, std::uint16_t(0x400D));
        QCOMPARE(last.param(0), captureTransaction);
    }
    QCOMPARE(host.event().type, std::uint16_t(0));
}

void TestPtpCamera::partialObjectsAndTheUnplugFault()
{
    Host host;
    host.open();
    Bytes bytes(5000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = std::uint8_t(i * 13);
    const std::uint32_t handle = host.camera.addObject("DCIM/100SPINW", {"IMG_0001.JPG", bytes});
    // A range running past the end is cut to what there is, and the response says how much.
    host.command(0x101B, {handle, 4000, 2000});
    const Container data = host.next(100);
    QCOMPARE(data.type, std::uint16_t(2));
    QVERIFY(data.payload == Bytes(bytes.begin() + 4000, bytes.end()));
    const Container response = host.next();
    QCOMPARE(response.code, std::uint16_t(0x2001));
    QCOMPARE(response.param(0), 1000u);

    host.camera.settings.unplugAfterBytes = 1234;
    host.command(0x1009, {handle});
    const Container cut = host.next(512);
    QVERIFY(host.camera.unplugDue());
    QCOMPARE(cut.payload.size(), std::size_t(1234));
    QCOMPARE(host.camera.counters.bytesServed, 1000u + 1234u);
    std::uint8_t more[16];
    QCOMPARE(host.camera.sendBulk(more, sizeof more, host.now), -1);
}

void TestPtpCamera::enablesTheStreamThroughADataPhase()
{
    Host host;
    host.open();
    host.command(0x1016, {0x5021});
    QCOMPARE(host.next().type, std::uint16_t(0));  // waits for its data phase
    const Bytes data = block(2, 0x1016, host.transaction, {1});
    host.camera.receive(data.data(), 7, host.now);
    host.camera.receive(data.data() + 7, data.size() - 7, host.now);
    QCOMPARE(host.next().code, std::uint16_t(0x2001));
    QVERIFY(host.camera.liveViewEnabled());
    host.command(0x1025);
    const Container frame = host.next(4096);
    QCOMPARE(frame.type, std::uint16_t(2));
    QVERIFY(frame.payload.size() > 100 && frame.payload[0] == 0xFF && frame.payload[1] == 0xD8);
    QCOMPARE(host.next().code, std::uint16_t(0x2001));
    QCOMPARE(host.camera.counters.liveViewFrames, 1u);
}

QTEST_GUILESS_MAIN(TestPtpCamera)
#include "tst_ptpcamera.moc"
