#include "camerachoice.h"
#include "chostappspinwright.h"
#include "faketetheredcamera.h"
#include "faketurntable.h"
#include "hosttestenvironment.h"
#include "liveviewitem.h"
#include "programsettings.h"
#include "spinwrightresources.h"
#include "testfiles.h"

#include "zlpluginslist.h"

#include <QNetworkProxy>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString cable = QStringLiteral("Shutter-release cable");
const QString camA = QStringLiteral("Cam A (USB 001,004)");
const QString camB = QStringLiteral("Cam B (USB 001,005)");

} // namespace

// The controller on the real main page, with the cable and one tethered camera object.
class tst_CameraChoice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void oneCameraOffersNoChoice();
    void searchRunsAfterStartAndListsEveryCamera();
    void choosingOpensAndTheOpenMakesItTheSpinsCamera();
    void storedChoice_data();
    void storedChoice();
    void disconnectFallsBackToTheCable_data();
    void disconnectFallsBackToTheCable();
    void liveViewFramesReachTheItem();
    void spinHoldsTheChoice();

private:
    void createController(bool twoCameras = true);
    QQuickItem *item(const char *name) const { return view->rootObject()->findChild<QQuickItem *>(QLatin1String(name)); }
    QStringList listed() const { return item("cameraList")->property("model").toStringList(); }
    int listIndex() const { return item("cameraList")->property("currentIndex").toInt(); }
    bool liveViewShown() const { return item("liveViewSwitch")->property("checked").toBool(); }
    ZLCameraHardware *chosen() const { return choice->chosenCamera(); }
    // The camera row's signals, as the user's clicks send them.
    void activate(int index) { QVERIFY(QMetaObject::invokeMethod(item("cameraBar"), "cameraChosen", Q_ARG(int, index))); }
    void searchAgain() { QVERIFY(QMetaObject::invokeMethod(item("cameraBar"), "cameraSearchRequested")); }
    void switchLiveView(bool on) { QVERIFY(QMetaObject::invokeMethod(item("cameraBar"), "liveViewSwitched", Q_ARG(bool, on))); }
    void spinState(int state) { QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "turntableSpinStateChanged", Q_ARG(int, state))); }
    void findTwoCameras();
    void openCamA();

    QTemporaryDir home;
    std::unique_ptr<ZLPluginsList> pluginsList;
    FixtureLog log;
    std::unique_ptr<QQuickView> view;
    StubCamera *cableCamera = nullptr;
    FakeTetheredCamera *tethered = nullptr;
    FakeTurntable *turntable = nullptr;
    CHostAppSpinwright *controller = nullptr;
    CameraChoice *choice = nullptr;
};

void tst_CameraChoice::initTestCase()
{
    QVERIFY(home.isValid());
    setUpHostTestEnvironment(home.path());
    initSpinwrightResources();
    pluginsList.reset(new ZLPluginsList);
}

void tst_CameraChoice::cleanup()
{
    view.reset();
    QDir(ZLAbstractPlugin::applicationLocalDataDirectory()).removeRecursively();
}

void tst_CameraChoice::createController(bool twoCameras)
{
    globalQmlEngine()->rootContext()->setContextProperty(QStringLiteral("TurntableDevicesModel"), QStringList());
    view.reset(new QQuickView(globalQmlEngine(), nullptr));
    view->setSource(QUrl(QStringLiteral("qrc:/qml/Spinwright.qml")));
    QCOMPARE(view->status(), QQuickView::Ready);
    turntable = new FakeTurntable;
    turntable->setHoldRotations(true);
    cableCamera = new StubCamera;
    tethered = twoCameras ? new FakeTetheredCamera(&log) : nullptr;
    std::vector<ZLCameraHardware *> cameras{cableCamera};
    if (tethered)
        cameras.push_back(tethered);
    controller = new CHostAppSpinwright(turntable, cameras, view.get());
    choice = controller->cameraChoice();
}

void tst_CameraChoice::findTwoCameras()
{
    QTRY_COMPARE(tethered->searches, 1);
    tethered->found({camA.toStdString(), camB.toStdString()});
    QTRY_COMPARE(listed(), (QStringList{cable, camA, camB}));
}

void tst_CameraChoice::openCamA()
{
    findTwoCameras();
    activate(1);
    tethered->opened(0);
    QTRY_COMPARE(chosen(), tethered);
}

void tst_CameraChoice::oneCameraOffersNoChoice()
{
    createController(false);
    QCoreApplication::processEvents();
    QVERIFY(!item("cameraBar")->isVisible());
    QCOMPARE(listed(), QStringList());
    QCOMPARE(chosen(), cableCamera);
}

void tst_CameraChoice::searchRunsAfterStartAndListsEveryCamera()
{
    createController();
    // Nothing may hold the page up: the search waits for the event loop.
    QCOMPARE(tethered->searches, 0);
    QCOMPARE(listed(), QStringList{cable});
    QVERIFY(item("cameraBar")->isVisible());
    findTwoCameras();
    QCOMPARE(listIndex(), 0);
    QCOMPARE(chosen(), cableCamera);

    // A new search replaces what that camera object listed before.
    searchAgain();
    QCOMPARE(tethered->searches, 2);
    tethered->found({camB.toStdString()});
    QTRY_COMPARE(listed(), (QStringList{cable, camB}));
}

void tst_CameraChoice::choosingOpensAndTheOpenMakesItTheSpinsCamera()
{
    createController();
    findTwoCameras();
    QSignalSpy changed(choice, &CameraChoice::chosenCameraChanged);
    activate(2);
    QCOMPARE(tethered->opens, QList<size_t>{1});
    QCOMPARE(controller->programSettings().camera, camB);
    // Until the answer the spin keeps the cable. A search meanwhile moves the entry; an answer
    // for another index is not this open's.
    QCOMPARE(chosen(), cableCamera);
    tethered->found({camB.toStdString()});
    tethered->opened(0);
    tethered->opened(1);
    QTRY_COMPARE(changed.count(), 1);
    QCOMPARE(chosen(), tethered);
    QCOMPARE(tethered->currentCameraIndex(), size_t(1));
    QCOMPARE(listIndex(), 1);
    // Boards coming and going read the settings file again; the choice of this run stays.
    turntable->devices = QStringList{QStringLiteral("Fake table D")};
    turntable->turntableDevicesChanged();
    QTRY_COMPARE(globalQmlEngine()->rootContext()->contextProperty(QStringLiteral("TurntableDevicesModel")).toStringList(),
                 turntable->devices);
    QCOMPARE(controller->programSettings().camera, camB);

    // Back to the cable: chosen at once, nothing to open.
    activate(0);
    QCOMPARE(chosen(), cableCamera);
    QCOMPARE(tethered->opens.size(), 1);
    QCOMPARE(controller->programSettings().camera, cable);
}

void tst_CameraChoice::storedChoice_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("expectedOpen");

    QTest::newRow("same name") << camB << 1;
    QTest::newRow("replugged on another port") << QStringLiteral("Cam A (USB 001,009)") << 0;
    QTest::newRow("unknown camera") << QStringLiteral("Cam Z (USB 001,004)") << -1;
    QTest::newRow("the cable") << cable << -1;
}

void tst_CameraChoice::storedChoice()
{
    QFETCH(QString, stored);
    QFETCH(int, expectedOpen);

    // Kept in the file at closing...
    createController();
    controller->programSettings().camera = stored;
    view.reset();
    QCOMPARE(TestFiles::readJsonObject(ProgramSettings::filePath()).value(QStringLiteral("camera")).toString(), stored);

    // ...and chosen again once a search finds it.
    createController();
    findTwoCameras();
    if (expectedOpen < 0) {
        QCOMPARE(tethered->opens, QList<size_t>());
        QCOMPARE(listIndex(), 0);
        return;
    }
    QCOMPARE(tethered->opens, QList<size_t>{size_t(expectedOpen)});
    tethered->opened(size_t(expectedOpen));
    QTRY_COMPARE(chosen(), tethered);
    QCOMPARE(listIndex(), expectedOpen + 1);
    QCOMPARE(controller->programSettings().camera, stored);
}

void tst_CameraChoice::disconnectFallsBackToTheCable_data()
{
    QTest::addColumn<bool>("whileOpening");
    QTest::newRow("while open") << false;
    QTest::newRow("refusing to open") << true;
}

void tst_CameraChoice::disconnectFallsBackToTheCable()
{
    QFETCH(bool, whileOpening);

    createController();
    if (whileOpening) {
        findTwoCameras();
        activate(1);
    } else {
        openCamA();
        switchLiveView(true);
    }
    QSignalSpy messages(choice, &CameraChoice::messageRequested);
    tethered->lost(0, QStringLiteral("The camera is in use by another program."));
    QTRY_COMPARE(messages.count(), 1);
    QCOMPARE(messages.first().at(0).toString(), QStringLiteral("Camera disconnected"));
    QVERIFY(messages.first().at(1).toString().startsWith(QStringLiteral("The camera is in use by another program.")));
    QCOMPARE(chosen(), cableCamera);
    QCOMPARE(listIndex(), 0);
    // Live view is switched off, or the camera would stream again at its next open.
    QCOMPARE(tethered->commands, whileOpening ? 0 : 2);
    QVERIFY(!liveViewShown());
    // The user's choice stays, to be made again when the camera is found again.
    QCOMPARE(controller->programSettings().camera, camA);
}

void tst_CameraChoice::liveViewFramesReachTheItem()
{
    createController();
    QQuickItem *liveViewSwitch = item("liveViewSwitch");
    QVERIFY(!liveViewSwitch->isVisible());
    openCamA();
    QTRY_VERIFY(liveViewSwitch->isVisible());
    switchLiveView(true);
    QCOMPARE(tethered->commands, 1);
    QVERIFY(liveViewShown());
    LiveViewItem *shown = choice->liveViewItem();
    QCOMPARE(shown->parentItem(), item("liveViewContainer"));

    // 4 x 2 pixels, colour model 3 at 32 bits, from the camera's thread.
    std::vector<quint32> pixels(8, 0xff102030u);
    const auto sendFrame = [&pixels](FakeTetheredCamera *camera) {
        ZLImageInfo info;
        info.width = 4;
        info.height = 2;
        info.bitsPerPixel = 32;
        info.colorModel = 3;
        camera->previewInfoIsChanged(info);
        camera->previewPixelsAcquired(pixels.data());
    };
    tethered->fromThread(sendFrame);
    QTRY_COMPARE(shown->frameCount(), 1);
    QCOMPARE(shown->frameSize(), QSize(4, 2));
    QCOMPARE(shown->currentFrame().pixel(3, 1), 0xff102030u);

    // Another camera chosen: live view is switched off first, the picture goes, and frames
    // still on their way are not shown.
    activate(0);
    QCOMPARE(tethered->commands, 2);
    QCOMPARE(shown->frameCount(), 0);
    QVERIFY(!liveViewShown());
    QVERIFY(!liveViewSwitch->isVisible());
    tethered->fromThread(sendFrame);
    QCoreApplication::processEvents();
    QCOMPARE(shown->frameCount(), 0);
}

void tst_CameraChoice::spinHoldsTheChoice()
{
    createController();
    openCamA();
    switchLiveView(true);
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "turntableDeviceChanged", Q_ARG(int, 0)));
    spinState(1);
    QVERIFY(controller->isSpinRunning());

    // Live view ends as the spin starts; choosing and searching wait for its end.
    QCOMPARE(tethered->commands, 2);
    QVERIFY(!item("cameraList")->isEnabled());
    activate(0);
    searchAgain();
    QCOMPARE(chosen(), tethered);
    QCOMPARE(tethered->searches, 1);

    // Lost during the spin: the spin ends and says so itself; the choice then falls back to the
    // cable without a second message.
    QSignalSpy messages(choice, &CameraChoice::messageRequested);
    tethered->lost(0, QStringLiteral("The camera is gone."));
    QTRY_COMPARE(tethered->currentCameraIndex(), SIZE_MAX);
    QTRY_VERIFY(!controller->isSpinRunning());
    QVERIFY(item("cameraList")->isEnabled());
    QCOMPARE(chosen(), cableCamera);
    QCOMPARE(messages.count(), 0);

    // Every camera object goes with the controller.
    log.clear();
    view.reset();
    QCOMPARE(log.snapshot(), (QStringList{QStringLiteral("tethered pluginWillClose"), QStringLiteral("tethered deleted")}));
}

QTEST_MAIN(tst_CameraChoice)
#include "tst_camerachoice.moc"
