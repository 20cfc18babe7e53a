#include "d2xxsim.h"
#include "recordinghost.h"
#include "zlmarvolixturntablecontrol.h"
#include "zlshutterreleasecamera.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <memory>

using namespace std::chrono;

class tst_Camera : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void stepperFiresOnceAtThePresentPosition();
    void noShutterLine_data();
    void noShutterLine();
    void openReportsCameraZero();

private:
    std::unique_ptr<ZLMarvolixTurntableControl> control;
    std::atomic<ZLMarvolixTurntableControl *> controlPointer{nullptr};
    RecordingHost host;
};

void tst_Camera::initTestCase()
{
    host.install();
}

void tst_Camera::init()
{
    d2xxsim::reset();
    host.clear();
    control = std::make_unique<ZLMarvolixTurntableControl>();
    controlPointer = control.get();
}

void tst_Camera::cleanup()
{
    controlPointer = nullptr;
    control.reset();
}

void tst_Camera::stepperFiresOnceAtThePresentPosition()
{
    QVERIFY(d2xxsim::attach("turntable:2"));
    d2xxsim::setClockwiseActiveHigh(0, false);
    control->availableTurntables();
    control->openHardware(0);
    control->setRampUpDegrees(0.0f);
    control->setRotationSpeed(0);
    // Somewhere other than the start, so that the exposure's position means something.
    QVERIFY(control->startRotationPreview(10, true));
    QTRY_VERIFY_WITH_TIMEOUT(!control->motor()->isRotating(), 30000);
    control->stopRotationPreview();
    const int64_t position = d2xxsim::position(0);
    QCOMPARE(position, int64_t(178));

    ZLShutterReleaseCamera camera(controlPointer);
    const auto before = d2xxsim::Clock::now();
    QVERIFY(camera.captureImage(QString()));
    const auto after = d2xxsim::Clock::now();

    const std::vector<d2xxsim::Exposure> exposures = d2xxsim::exposures(0);
    QCOMPARE(exposures.size(), size_t(1));
    QCOMPARE(exposures[0].position, position);
    const std::vector<d2xxsim::Pulse> stage1 = d2xxsim::pulses(0, 4);
    const std::vector<d2xxsim::Pulse> stage2 = d2xxsim::pulses(0, 5);
    QCOMPARE(stage1.size(), size_t(1));
    QCOMPARE(stage2.size(), size_t(1));
    QVERIFY(stage1[0].rise >= before && stage1[0].fall <= after);
    QVERIFY(stage2[0].rise - stage1[0].rise >= milliseconds(500));
    QVERIFY(stage1[0].fall - stage1[0].rise >= milliseconds(1000));
    QVERIFY(stage1[0].fall - stage1[0].rise < seconds(10));
    QCOMPARE(stage2[0].fall, stage1[0].fall);
    QCOMPARE(d2xxsim::state(0).lines & 0x30, 0);
}

void tst_Camera::noShutterLine_data()
{
    QTest::addColumn<QString>("devices");
    QTest::addColumn<int>("openIndex");
    QTest::addColumn<bool>("withControl");
    QTest::newRow("DC row") << "plain" << 1 << true;
    QTest::newRow("nothing open") << "plain" << -1 << true;
    QTest::newRow("no control") << "plain" << -1 << false;
}

void tst_Camera::noShutterLine()
{
    QFETCH(QString, devices);
    QFETCH(int, openIndex);
    QFETCH(bool, withControl);

    QVERIFY(d2xxsim::attach(devices.toStdString()));
    control->availableTurntables();
    if (openIndex >= 0)
        control->openHardware(size_t(openIndex));
    if (!withControl)
        controlPointer = nullptr;
    const uint64_t writesBefore = d2xxsim::state(0).writeCount;

    ZLShutterReleaseCamera camera(controlPointer);
    QVERIFY(!camera.captureImage(QString()));
    QCOMPARE(d2xxsim::state(0).writeCount, writesBefore);
    QVERIFY(d2xxsim::exposures(0).empty());
}

void tst_Camera::openReportsCameraZero()
{
    ZLShutterReleaseCamera camera(controlPointer);
    QCOMPARE(int(camera.pluginType()), 1);
    camera.openHardware(4);
    QCOMPARE(host.cameraOpens(), std::vector<size_t>{0});
    QVERIFY(!camera.cameraQueryA());
    QVERIFY(!camera.cameraQueryB());
}

QTEST_GUILESS_MAIN(tst_Camera)
#include "tst_camera.moc"
