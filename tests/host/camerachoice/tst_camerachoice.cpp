#include "camerachoice.h"
#include "camerareports.h"
#include "chostappspinwright.h"
#include "faketurntable.h"
#include "fixturelog.h"
#include "liveviewitem.h"
#include "programsettings.h"
#include "spinwrightresources.h"
#include "stubhardware.h"
#include "testfiles.h"

#include "zlpluginslist.h"

#include <QNetworkProxy>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace {

const QString cable = QStringLiteral("Shutter-release cable");

// A camera plug-in object that reports, like a tethered one, from a thread of its own.
class TetheredStub : public StubCamera
{
public:
    explicit TetheredStub(FixtureLog *log = nullptr) : log(log) {}
    ~TetheredStub() override { record(QStringLiteral("tethered deleted")); }

    void pluginWillClose() override { record(QStringLiteral("tethered pluginWillClose")); }
    void searchAvailableCameras() override { ++searches; }
    void openHardware(size_t index) override { opens.append(index); }
    bool cameraQueryA() override { return hasLiveView && currentCameraIndex() != SIZE_MAX; }
    bool cameraQueryB() override { return true; }
    void cameraCommand() override { ++commands; }

    // Runs report on another thread and waits for it: what it sends must take the queued road.
    void fromThread(const std::function<void(TetheredStub *)> &report)
    {
        std::thread thread([this, &report] { report(this); });
        thread.join();
    }
    void found(const std::list<std::string> &names)
    {
        fromThread([names](TetheredStub *camera) { camera->availableCamerasDidSearched(names); });
    }
    void opened(size_t index)
    {
        fromThread([index](TetheredStub *camera) { camera->hardwareOpenSucceeded(index); });
    }
    void lost(size_t index, const QString &reason)
    {
        setLastError(reason);
        fromThread([index](TetheredStub *camera) { camera->hardwareDisconnected(index); });
    }

    bool hasLiveView = true;
    int searches = 0;
    int commands = 0;
    QList<size_t> opens;

private:
    void record(const QString &event)
    {
        if (log)
            log->append(event);
    }
    FixtureLog *log;
};

} // namespace

class tst_CameraChoice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
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
    // The real page with a controller on two camera objects: the cable and a tethered one.
    void createController(bool twoCameras = true);
    QQuickItem *item(const char *name) const;
    QStringList listed() const { return item("cameraList")->property("model").toStringList(); }
    int listIndex() const { return item("cameraList")->property("currentIndex").toInt(); }
    void activate(int index);
    // The tethered camera found as "Cam A (USB 001,004)" and "Cam B (USB 001,005)".
    void findTwoCameras();
    void openFirstTethered();

    QTemporaryDir home;
    std::unique_ptr<ZLPluginsList> pluginsList;
    FixtureLog log;
    std::unique_ptr<QQuickView> view;
    StubCamera *cableCamera = nullptr;
    TetheredStub *tethered = nullptr;
    FakeTurntable *turntable = nullptr;
    CHostAppSpinwright *controller = nullptr;
    CameraChoice *choice = nullptr;
};

void tst_CameraChoice::initTestCase()
{
    QVERIFY(home.isValid());
    qputenv("HOME", QFile::encodeName(home.path()));
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Marvolix"));
    QCoreApplication::setApplicationName(QStringLiteral("Spinwright"));
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), 9));
    initSpinwrightResources();
    pluginsList.reset(new ZLPluginsList);
}

void tst_CameraChoice::init()
{
    QDir(ZLAbstractPlugin::applicationLocalDataDirectory()).removeRecursively();
    log.clear();
}

void tst_CameraChoice::cleanup()
{
    view.reset();
    controller = nullptr;
    choice = nullptr;
    cableCamera = nullptr;
    tethered = nullptr;
}

void tst_CameraChoice::createController(bool twoCameras)
{
    globalQmlEngine()->rootContext()->setContextProperty(QStringLiteral("TurntableDevicesModel"), QStringList());
    view.reset(new QQuickView(globalQmlEngine(), nullptr));
    view->setSource(QUrl(QStringLiteral("qrc:/qml/Spinwright.qml")));
    QCOMPARE(view->status(), QQuickView::Ready);
    view->create();
    turntable = new FakeTurntable;
    turntable->setHoldRotations(true);
    cableCamera = new StubCamera;
    std::vector<ZLCameraHardware *> cameras{cableCamera};
    if (twoCameras) {
        tethered = new TetheredStub(&log);
        cameras.push_back(tethered);
    }
    controller = new CHostAppSpinwright(turntable, cameras, view.get());
    choice = controller->cameraChoice();
    QVERIFY(choice);
}

QQuickItem *tst_CameraChoice::item(const char *name) const
{
    return view->rootObject()->findChild<QQuickItem *>(QLatin1String(name));
}

void tst_CameraChoice::activate(int index)
{
    QVERIFY(QMetaObject::invokeMethod(item("cameraBar"), "cameraChosen", Q_ARG(int, index)));
}

void tst_CameraChoice::findTwoCameras()
{
    QTRY_COMPARE(tethered->searches, 1);
    tethered->found({"Cam A (USB 001,004)", "Cam B (USB 001,005)"});
    QTRY_COMPARE(listed().size(), 3);
}

void tst_CameraChoice::openFirstTethered()
{
    findTwoCameras();
    activate(1);
    QCOMPARE(tethered->opens, QList<size_t>{0});
    tethered->opened(0);
    QTRY_COMPARE(choice->chosenCamera(), static_cast<ZLCameraHardware *>(tethered));
}

void tst_CameraChoice::oneCameraOffersNoChoice()
{
    createController(false);
    QCoreApplication::processEvents();
    QVERIFY(!item("cameraBar")->isVisible());
    QCOMPARE(listed(), QStringList());
    QCOMPARE(choice->chosenCamera(), static_cast<ZLCameraHardware *>(cableCamera));
    QVERIFY(!choice->offersChoice());
}

void tst_CameraChoice::searchRunsAfterStartAndListsEveryCamera()
{
    createController();
    // Nothing may delay the page: the search waits for the event loop.
    QCOMPARE(tethered->searches, 0);
    QCOMPARE(listed(), QStringList{cable});
    QVERIFY(item("cameraBar")->isVisible());
    findTwoCameras();
    QCOMPARE(listed(), (QStringList{cable, QStringLiteral("Cam A (USB 001,004)"), QStringLiteral("Cam B (USB 001,005)")}));
    QCOMPARE(listIndex(), 0);
    QCOMPARE(choice->chosenCamera(), static_cast<ZLCameraHardware *>(cableCamera));

    // Searching again replaces what the camera listed before.
    QVERIFY(QMetaObject::invokeMethod(item("cameraBar"), "cameraSearchRequested"));
    QCOMPARE(tethered->searches, 2);
    tethered->found({"Cam B (USB 001,005)"});
    QTRY_COMPARE(listed(), (QStringList{cable, QStringLiteral("Cam B (USB 001,005)")}));
}

void tst_CameraChoice::choosingOpensAndTheOpenMakesItTheSpinsCamera()
{
    createController();
    findTwoCameras();
    QSignalSpy changed(choice, &CameraChoice::chosenCameraChanged);
    activate(2);
    QCOMPARE(tethered->opens, QList<size_t>{1});
    QCOMPARE(listIndex(), 2);
    // Not open yet: the spin still has the cable, and an answer for another index is not this open.
    QCOMPARE(choice->chosenCamera(), static_cast<ZLCameraHardware *>(cableCamera));
    tethered->opened(0);
    tethered->opened(1);
    QTRY_COMPARE(changed.count(), 1);
    // Registered by name only: the argument is read as what it holds.
    QCOMPARE(*static_cast<ZLCameraHardware *const *>(changed.first().first().constData()),
             static_cast<ZLCameraHardware *>(tethered));
    QCOMPARE(tethered->currentCameraIndex(), size_t(1));
    QCOMPARE(controller->programSettings().camera, QStringLiteral("Cam B (USB 001,005)"));

    // Back to the cable: chosen at once, nothing to open.
    activate(0);
    QCOMPARE(choice->chosenCamera(), static_cast<ZLCameraHardware *>(cableCamera));
    QCOMPARE(tethered->opens.size(), 1);
    QCOMPARE(controller->programSettings().camera, cable);
}

void tst_CameraChoice::storedChoice_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("expectedOpen");

    QTest::newRow("same name") << QStringLiteral("Cam B (USB 001,005)") << 1;
    QTest::newRow("replugged on another port") << QStringLiteral("Cam A (USB 001,009)") << 0;
    QTest::newRow("unknown camera") << QStringLiteral("Cam Z (USB 001,004)") << -1;
    QTest::newRow("the cable") << cable << -1;
}

void tst_CameraChoice::storedChoice()
{
    QFETCH(QString, stored);
    QFETCH(int, expectedOpen);

    // Chosen by the user, then kept in the file at closing.
    createController();
    findTwoCameras();
    activate(0);
    controller->programSettings().camera = stored;
    view.reset();
    QCOMPARE(TestFiles::readJsonObject(ProgramSettings::filePath()).value(QStringLiteral("camera")).toString(), stored);

    createController();
    findTwoCameras();
    if (expectedOpen < 0) {
        QCOMPARE(tethered->opens, QList<size_t>());
        QCOMPARE(listIndex(), 0);
        return;
    }
    QCOMPARE(tethered->opens, QList<size_t>{size_t(expectedOpen)});
    tethered->opened(size_t(expectedOpen));
    QTRY_COMPARE(choice->chosenCamera(), static_cast<ZLCameraHardware *>(tethered));
    QCOMPARE(listIndex(), expectedOpen + 1);
    // Restored, not chosen anew: the name the user chose stays what is kept.
    QCOMPARE(controller->programSettings().camera, stored);
}

void tst_CameraChoice::disconnectFallsBackToTheCable_data()
{
    QTest::addColumn<bool>("answeringTheOpen");
    QTest::newRow("while open") << false;
    QTest::newRow("refusing to open") << true;
}

void tst_CameraChoice::disconnectFallsBackToTheCable()
{
    QFETCH(bool, answeringTheOpen);

    createController();
    if (answeringTheOpen) {
        findTwoCameras();
        activate(1);
    } else {
        openFirstTethered();
    }
    QSignalSpy messages(choice, &CameraChoice::messageRequested);
    tethered->lost(0, QStringLiteral("The camera is in use by another program."));
    QTRY_COMPARE(messages.count(), 1);
    QCOMPARE(messages.first().at(0).toString(), QStringLiteral("Camera disconnected"));
    QVERIFY(messages.first().at(1).toString().startsWith(QStringLiteral("The camera is in use by another program.")));
    QCOMPARE(choice->chosenCamera(), static_cast<ZLCameraHardware *>(cableCamera));
    QCOMPARE(listIndex(), 0);
    // The user's choice stays, to be restored when the camera is found again.
    QCOMPARE(controller->programSettings().camera, QStringLiteral("Cam A (USB 001,004)"));
}

void tst_CameraChoice::liveViewFramesReachTheItem()
{
    createController();
    QQuickItem *liveViewSwitch = item("liveViewSwitch");
    QVERIFY(!liveViewSwitch->isVisible());
    openFirstTethered();
    QTRY_VERIFY(liveViewSwitch->isVisible());

    QVERIFY(QMetaObject::invokeMethod(item("cameraBar"), "liveViewSwitched", Q_ARG(bool, true)));
    QCOMPARE(tethered->commands, 1);
    QVERIFY(liveViewSwitch->property("checked").toBool());
    LiveViewItem *shown = choice->liveViewItem();
    QCOMPARE(shown->parentItem(), item("liveViewContainer"));

    // Frames of 4 x 2 pixels, colour model 3 at 32 bits, from the camera's thread.
    std::vector<quint32> pixels(8, 0xff102030u);
    tethered->fromThread([&pixels](TetheredStub *camera) {
        ZLImageInfo info;
        info.width = 4;
        info.height = 2;
        info.bitsPerPixel = 32;
        info.colorModel = 3;
        camera->previewInfoIsChanged(info);
        camera->previewPixelsAcquired(pixels.data());
    });
    QTRY_COMPARE(shown->frameCount(), 1);
    QCOMPARE(shown->frameSize(), QSize(4, 2));
    QCOMPARE(shown->currentFrame().pixel(3, 1), 0xff102030u);

    // Another camera chosen: its live view is switched off first, and the picture goes.
    activate(0);
    QCOMPARE(tethered->commands, 2);
    QCOMPARE(shown->frameCount(), 0);
    QVERIFY(!liveViewSwitch->property("checked").toBool());
    QVERIFY(!liveViewSwitch->isVisible());
    tethered->fromThread([&pixels](TetheredStub *camera) { camera->previewPixelsAcquired(pixels.data()); });
    QCoreApplication::processEvents();
    QCOMPARE(shown->frameCount(), 0);
}

void tst_CameraChoice::spinHoldsTheChoice()
{
    createController();
    openFirstTethered();
    QVERIFY(QMetaObject::invokeMethod(item("cameraBar"), "liveViewSwitched", Q_ARG(bool, true)));
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "turntableDeviceChanged", Q_ARG(int, 0)));
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "turntableSpinStateChanged", Q_ARG(int, 1)));
    QVERIFY(controller->isSpinRunning());

    // Live view ends when the spin starts; the choice and the search wait for its end.
    QCOMPARE(tethered->commands, 2);
    QVERIFY(!item("cameraList")->isEnabled());
    activate(0);
    QVERIFY(QMetaObject::invokeMethod(item("cameraBar"), "cameraSearchRequested"));
    QCOMPARE(choice->chosenCamera(), static_cast<ZLCameraHardware *>(tethered));
    QCOMPARE(tethered->searches, 1);

    // Lost during the spin: the spin keeps the camera it reported on until it is over.
    QSignalSpy messages(choice, &CameraChoice::messageRequested);
    tethered->lost(0, QStringLiteral("The camera is gone."));
    QTRY_COMPARE(tethered->currentCameraIndex(), SIZE_MAX);
    QCOMPARE(choice->chosenCamera(), static_cast<ZLCameraHardware *>(tethered));
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "turntableSpinStateChanged", Q_ARG(int, -1)));
    QVERIFY(!controller->isSpinRunning());
    QVERIFY(item("cameraList")->isEnabled());
    QCOMPARE(choice->chosenCamera(), static_cast<ZLCameraHardware *>(cableCamera));
    QCOMPARE(messages.count(), 0);

    // The cameras go with the controller, after the turntable.
    log.clear();
    view.reset();
    QCOMPARE(log.snapshot(), (QStringList{QStringLiteral("tethered pluginWillClose"), QStringLiteral("tethered deleted")}));
}

QTEST_MAIN(tst_CameraChoice)
#include "tst_camerachoice.moc"
