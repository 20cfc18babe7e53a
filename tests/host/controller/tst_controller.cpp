#include "chostappspinwright.h"
#include "fakecamera.h"
#include "faketurntable.h"
#include "fixturelog.h"
#include "hosttestenvironment.h"
#include "testfiles.h"

#include "zlpluginslist.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QPointer>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <thread>

// Receives what the stand-in message dialog is asked to show.
class MessageRecorder : public QObject
{
    Q_OBJECT

public:
    struct Message
    {
        QString title;
        QString text;
        QObject *parent;
    };

    QList<Message> messages;

    Q_INVOKABLE void record(const QString &title, const QString &text, QObject *parent)
    {
        messages.append({title, text, parent});
    }

    QStringList titles() const
    {
        QStringList result;
        for (const Message &message : messages)
            result.append(message.title);
        return result;
    }

    QString textOf(const QString &title) const
    {
        for (const Message &message : messages) {
            if (message.title == title)
                return message.text;
        }
        return QString();
    }
};

class tst_Controller : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void firstStartWithoutSettingsFile();
    void closingWithoutDeviceWritesZero();
    void restoredDevice_data();
    void restoredDevice();
    void malformedSettingsFile_data();
    void malformedSettingsFile();
    void emptyDeviceList();
    void firstStartWithOneTurntableOpensIt();
    void turntablesThatComeAndGoAreListed();
    void deviceSelection();

    void spin_data();
    void spin();
    void reportsArriveOnGuiThread();
    void refusedSpinStart();
    void stopResetsStepIndex();
    void pauseAndResume();
    void pauseDuringDelay();
    void resumeDuringPostDelay_data();
    void resumeDuringPostDelay();
    void resumeWhileTurning();
    void refusedRotation();
    void disconnectDuringRotation();
    void deviceChangeEndsSpin_data();
    void deviceChangeEndsSpin();
    void exitButton_data();
    void exitButton();
    void shutdownOrder();
    void openMessageOutlivesGarbageCollection();

private:
    void createController(const std::function<void(FakeTurntable *)> &configure = {});
    void writeFile(const QString &name, const QByteArray &content);
    void writeSpinSettings(const QStringList &angles, bool manual = false, double postDelay = 0,
                           double preDelay = 0);
    QByteArray readFile(const QString &name) const;
    QString dataPath(const QString &name) const;
    void sendSignal(const char *signal, int value);
    void answerQuestion(const QString &title, bool yes);
    QVariantList pageList(const char *property) const;
    QList<float> progress() const;
    bool panelsEnabled(bool expected) const;
    void finishSpin();
    // Opens the device, starts a spin over angles and waits for its first rotation, held.
    void startHeldSpin(const QStringList &angles, int device = 0);
    // Lets the event loop run until a timer started now with this interval has fired.
    void runEventLoopFor(int ms);
    void runEventLoopOnce() { runEventLoopFor(0); }
    // Ends the first held rotation and hands its report to the controller.
    void releaseFirstRotation();

    QTemporaryDir home;
    std::unique_ptr<ZLPluginsList> pluginsList;
    MessageRecorder recorder;
    FixtureLog log;
    std::unique_ptr<QQuickView> view;
    FakeTurntable *turntable = nullptr;
    FakeCamera *camera = nullptr;
    CHostAppSpinwright *controller = nullptr;
};

void tst_Controller::initTestCase()
{
    QVERIFY(home.isValid());
    setUpHostTestEnvironment(home.path());

    pluginsList.reset(new ZLPluginsList);
    globalQmlEngine()->rootContext()->setContextProperty(QStringLiteral("MessageRecorder"), &recorder);
    QVERIFY(ZLAbstractPlugin::applicationLocalDataDirectory().startsWith(home.path()));
}

void tst_Controller::init()
{
    QDir(ZLAbstractPlugin::applicationLocalDataDirectory()).removeRecursively();
    log.clear();
    log.setObserver({});
    recorder.messages.clear();
    globalQmlEngine()->rootContext()->setContextProperty(QStringLiteral("TurntableDevicesModel"),
                                                         QStringList());
}

void tst_Controller::cleanup()
{
    view.reset();
    turntable = nullptr;
    camera = nullptr;
    controller = nullptr;
}

void tst_Controller::cleanupTestCase()
{
    pluginsList.reset();
}

void tst_Controller::createController(const std::function<void(FakeTurntable *)> &configure)
{
    view.reset(new QQuickView(globalQmlEngine(), nullptr));
    view->setSource(QUrl(QStringLiteral("qrc:/test/TestPage.qml")));
    QCOMPARE(view->status(), QQuickView::Ready);
    // A platform window for the close events, never shown: nothing here needs a picture.
    view->create();
    turntable = new FakeTurntable(&log);
    if (configure)
        configure(turntable);
    camera = new FakeCamera(&log);
    controller = new CHostAppSpinwright(turntable, camera, view.get());
}

QString tst_Controller::dataPath(const QString &name) const
{
    return QDir(ZLAbstractPlugin::applicationLocalDataDirectory()).filePath(name);
}

void tst_Controller::writeFile(const QString &name, const QByteArray &content)
{
    QVERIFY(TestFiles::write(dataPath(name), content));
}

QByteArray tst_Controller::readFile(const QString &name) const
{
    return TestFiles::read(dataPath(name));
}

void tst_Controller::writeSpinSettings(const QStringList &angles, bool manual, double postDelay,
                                       double preDelay)
{
    QJsonObject settings{{QStringLiteral("shootingAnglesList"), QJsonArray::fromStringList(angles)},
                         {QStringLiteral("shootingMode"), 1},
                         {QStringLiteral("preCaptureDelay"), preDelay},
                         {QStringLiteral("postCaptureDelay"), postDelay},
                         {QStringLiteral("clockwise"), true},
                         {QStringLiteral("isManualCapture"), manual},
                         {QStringLiteral("videoDegrees"), 360}};
    writeFile(QStringLiteral("TurntableSpins.json"), QJsonDocument(settings).toJson());
}

void tst_Controller::sendSignal(const char *signal, int value)
{
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), signal, Q_ARG(int, value)));
}

QVariantList tst_Controller::pageList(const char *property) const
{
    return view->rootObject()->property(property).toList();
}

QList<float> tst_Controller::progress() const
{
    QList<float> values;
    for (const QVariant &value : pageList("progressValues"))
        values.append(value.toFloat());
    return values;
}

bool tst_Controller::panelsEnabled(bool expected) const
{
    const auto *page = view->rootObject();
    auto *spinsItem = qvariant_cast<QQuickItem *>(page->property("spinsUiItem"));
    auto *pluginItem = qvariant_cast<QQuickItem *>(page->property("pluginUiItem"));
    return spinsItem && pluginItem && spinsItem->isEnabled() == expected
           && pluginItem->isEnabled() == expected;
}

void tst_Controller::finishSpin()
{
    QTRY_VERIFY_WITH_TIMEOUT(recorder.titles().contains(QStringLiteral("Process complete.")), 20000);
}

void tst_Controller::startHeldSpin(const QStringList &angles, int device)
{
    writeSpinSettings(angles);
    createController([](FakeTurntable *table) { table->setHoldRotations(true); });
    sendSignal("turntableDeviceChanged", device);
    sendSignal("turntableSpinStateChanged", 1);
    // The spin starts at the first angle, where the table stands.
    QTRY_COMPARE(turntable->rotationTargets(), QList<float>{angles.value(1).toFloat()});
}

void tst_Controller::runEventLoopFor(int ms)
{
    bool over = false;
    QTimer::singleShot(ms, this, [&over] { over = true; });
    QTRY_VERIFY(over);
}

void tst_Controller::releaseFirstRotation()
{
    turntable->releaseRotation();
    QTRY_COMPARE(turntable->reportThreads().size(), 1);
    QCoreApplication::sendPostedEvents();
}

void tst_Controller::firstStartWithoutSettingsFile()
{
    createController();

    QCOMPARE(globalQmlEngine()->rootContext()->contextProperty(QStringLiteral("TurntableDevicesModel")).toStringList(),
             turntable->devices);
    QCOMPARE(log.snapshot(), (QStringList{QStringLiteral("initialized"), QStringLiteral("createUi")}));
    QVERIFY(pageList("syncedIndices").isEmpty());
    // No reset means Start stays disabled until a model is picked.
    QVERIFY(pageList("resets").isEmpty());
    QVERIFY(panelsEnabled(true));
    QVERIFY(recorder.messages.isEmpty());

    sendSignal("turntableDeviceChanged", 1);
    QCOMPARE(log.snapshot().last(), QStringLiteral("open 1"));
    QCOMPARE(turntable->currentTurntableIndex(), size_t(1));
    QCOMPARE(pageList("resets"), QVariantList{true});
}

void tst_Controller::closingWithoutDeviceWritesZero()
{
    createController();
    controller->applicationClosing();
    const QJsonObject written = QJsonDocument::fromJson(readFile(QStringLiteral("Spinwright.json"))).object();
    QCOMPARE(written, (QJsonObject{{QStringLiteral("lastUsedTurntableIndex-v3"), 0}}));
    cleanup();

    createController();
    QCOMPARE(pageList("syncedIndices"), QVariantList{0});
    QVERIFY(log.snapshot().contains(QStringLiteral("open 0")));
    QCOMPARE(turntable->currentTurntableIndex(), size_t(0));
}

void tst_Controller::restoredDevice_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("failing");
    QTest::addColumn<QVariantList>("synced");
    QTest::addColumn<size_t>("openIndex");

    QTest::newRow("saved index") << QByteArray("{\"lastUsedTurntableIndex-v3\": 2}") << false
                                 << QVariantList{2} << size_t(2);
    QTest::newRow("saved device fails to open") << QByteArray("{\"lastUsedTurntableIndex-v3\": 2}")
                                                << true << QVariantList{2} << SIZE_MAX;
    QTest::newRow("no key") << QByteArray("{\"lastUsedTurntableIndex\": 2}") << false
                            << QVariantList() << SIZE_MAX;
    // A model row past the list is still the turntable's to open (an identified board's row).
    QTest::newRow("row past the device list") << QByteArray("{\"lastUsedTurntableIndex-v3\": 3}")
                                              << true << QVariantList{3} << SIZE_MAX;
}

void tst_Controller::restoredDevice()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, failing);
    QFETCH(QVariantList, synced);
    QFETCH(size_t, openIndex);

    writeFile(QStringLiteral("Spinwright.json"), stored);
    createController([failing](FakeTurntable *table) {
        if (failing)
            table->failingDevices.insert(2);
    });

    QCOMPARE(pageList("syncedIndices"), synced);
    QCOMPARE(turntable->currentTurntableIndex(), openIndex);
    if (failing) {
        QCOMPARE(recorder.titles(), QStringList{QStringLiteral("Device disconnected")});
        QCOMPARE(recorder.messages.first().text,
                 QStringLiteral("Fake turntable %1 cannot be opened").arg(synced.first().toInt()));
        QCOMPARE(recorder.messages.first().parent, view->rootObject());
        QCOMPARE(pageList("resets"), (QVariantList{true, false}));
        QVERIFY(panelsEnabled(false));
    } else {
        QVERIFY(recorder.messages.isEmpty());
        QVERIFY(panelsEnabled(true));
    }
    // The stored file is only read: a usable one stays where it is.
    QCOMPARE(readFile(QStringLiteral("Spinwright.json")), stored);
}

void tst_Controller::malformedSettingsFile_data()
{
    QTest::addColumn<QByteArray>("stored");

    QTest::newRow("not JSON") << QByteArray("{\"lastUsedTurntableIndex-v3\": ");
    QTest::newRow("array") << QByteArray("[1]");
    QTest::newRow("index as text") << QByteArray("{\"lastUsedTurntableIndex-v3\": \"1\"}");
    QTest::newRow("negative index") << QByteArray("{\"lastUsedTurntableIndex-v3\": -1}");
    QTest::newRow("fractional index") << QByteArray("{\"lastUsedTurntableIndex-v3\": 1.5}");
    QTest::newRow("too large") << QByteArray("{\"x\": \"") + QByteArray(70 * 1024, 'a') + "\"}";
}

void tst_Controller::malformedSettingsFile()
{
    QFETCH(QByteArray, stored);

    writeFile(QStringLiteral("Spinwright.json"), stored);
    createController();

    QCOMPARE(recorder.titles(), QStringList{QStringLiteral("Program settings")});
    QVERIFY2(recorder.messages.first().text.contains(QLatin1String("Spinwright.json.bad")),
             qPrintable(recorder.messages.first().text));
    QVERIFY(pageList("syncedIndices").isEmpty());
    QVERIFY(!log.snapshot().contains(QStringLiteral("open 0")));
    QCOMPARE(readFile(QStringLiteral("Spinwright.json.bad")), stored);

    // Defaults are written back and the bad file stays: the report comes once only.
    controller->applicationClosing();
    cleanup();
    QCOMPARE(QJsonDocument::fromJson(readFile(QStringLiteral("Spinwright.json"))).object(),
             (QJsonObject{{QStringLiteral("lastUsedTurntableIndex-v3"), 0}}));
    recorder.messages.clear();
    createController();
    QVERIFY(recorder.messages.isEmpty());
    QCOMPARE(readFile(QStringLiteral("Spinwright.json.bad")), stored);
}

void tst_Controller::firstStartWithOneTurntableOpensIt()
{
    // No settings file: the one turntable there is is opened, so that Start works at once.
    createController([](FakeTurntable *table) { table->devices = QStringList{QStringLiteral("Fake table A")}; });
    QCOMPARE(pageList("syncedIndices"), QVariantList{0});
    QCOMPARE(log.snapshot().last(), QStringLiteral("open 0"));
    QCOMPARE(turntable->currentTurntableIndex(), size_t(0));
    QCOMPARE(pageList("resets"), QVariantList{true});
    QVERIFY(recorder.messages.isEmpty());
}

void tst_Controller::turntablesThatComeAndGoAreListed()
{
    const auto listed = [] {
        return globalQmlEngine()->rootContext()->contextProperty(QStringLiteral("TurntableDevicesModel")).toStringList();
    };
    createController([](FakeTurntable *table) { table->devices.clear(); });
    QCOMPARE(recorder.titles(), QStringList{QStringLiteral("Turntable device error")});
    QVERIFY(panelsEnabled(false));

    // Plugged in after the start: listed, and as the only one, opened.
    turntable->devices = QStringList{QStringLiteral("Fake table A")};
    turntable->turntableDevicesChanged();
    QTRY_COMPARE(listed(), turntable->devices);
    QCOMPARE(log.snapshot().last(), QStringLiteral("open 0"));
    QVERIFY(panelsEnabled(true));

    // Pulled out: the list shows no model that is not open.
    turntable->disconnect();
    QCOMPARE(pageList("listIndices").last(), QVariant(-1));
    QVERIFY(panelsEnabled(false));

    // Back with a second one: both listed, neither chosen for the user, the panels usable again.
    turntable->devices = QStringList{QStringLiteral("Fake table A"), QStringLiteral("Fake table B")};
    turntable->turntableDevicesChanged();
    QTRY_COMPARE(listed(), turntable->devices);
    QCOMPARE(log.snapshot().last(), QStringLiteral("disconnect"));
    QCOMPARE(pageList("listIndices").last(), QVariant(-1));
    QVERIFY(panelsEnabled(true));
    sendSignal("turntableDeviceChanged", 1);
    QCOMPARE(turntable->currentTurntableIndex(), size_t(1));

    // "Search again" with nothing there says so.
    turntable->closeHardware();
    turntable->setCurrentTurntableIndex(SIZE_MAX);
    turntable->devices.clear();
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "turntableRescanRequested"));
    QVERIFY(listed().isEmpty());
    QCOMPARE(recorder.titles().last(), QStringLiteral("Turntable device error"));
}

void tst_Controller::emptyDeviceList()
{
    createController([](FakeTurntable *table) { table->devices.clear(); });

    QCOMPARE(recorder.titles(), QStringList{QStringLiteral("Turntable device error")});
    QCOMPARE(recorder.messages.first().text, QStringLiteral("No fake turntable is connected"));
    QVERIFY(panelsEnabled(false));
    QVERIFY(globalQmlEngine()->rootContext()->contextProperty(QStringLiteral("TurntableDevicesModel"))
                .toStringList().isEmpty());
}

void tst_Controller::deviceSelection()
{
    createController();
    sendSignal("turntableDeviceChanged", 1);
    log.clear();

    sendSignal("turntableDeviceChanged", 1);
    QVERIFY(log.snapshot().isEmpty());
    QCOMPARE(pageList("resets").size(), 1);

    sendSignal("turntableDeviceChanged", 2);
    QCOMPARE(log.snapshot(), (QStringList{QStringLiteral("close"), QStringLiteral("open 2")}));
    QCOMPARE(turntable->currentTurntableIndex(), size_t(2));
    QCOMPARE(pageList("resets"), (QVariantList{true, true}));
}

void tst_Controller::spin_data()
{
    QTest::addColumn<QStringList>("angles");
    QTest::addColumn<bool>("manual");
    QTest::addColumn<QList<float>>("targets");
    QTest::addColumn<QList<float>>("expectedProgress");

    const QStringList quarters{QStringLiteral("0.00"), QStringLiteral("90.00"),
                               QStringLiteral("180.00"), QStringLiteral("270.00")};
    QTest::newRow("quarter turns") << quarters << false << QList<float>{90, 180, 270, 360}
                                   << QList<float>{0.25f, 0.5f, 0.75f, 1.0f};
    QTest::newRow("first angle 10")
        << QStringList{QStringLiteral("10.00"), QStringLiteral("100.00"), QStringLiteral("190.00"),
                       QStringLiteral("280.00")}
        << false << QList<float>{10, 100, 190, 280, 360} << QList<float>{0.25f, 0.5f, 0.75f, 1.0f};
    // Manual capture now waits for Next and an empty list is refused: tst_spinrun covers both.
}

void tst_Controller::spin()
{
    QFETCH(QStringList, angles);
    QFETCH(bool, manual);
    QFETCH(QList<float>, targets);
    QFETCH(QList<float>, expectedProgress);

    writeSpinSettings(angles, manual);
    createController();
    sendSignal("turntableDeviceChanged", 0);
    sendSignal("turntableSpinStateChanged", 1);
    QCOMPARE(controller->spinRunState(), CHostAppSpinwright::RunAtRest);
    QVERIFY(panelsEnabled(false));

    finishSpin();
    QCOMPARE(turntable->rotationTargets(), targets);
    QCOMPARE(progress(), expectedProgress);
    QCOMPARE(log.count(QStringLiteral("capture")), manual ? 0 : expectedProgress.size());
    QCOMPARE(recorder.textOf(QStringLiteral("Process complete.")), QStringLiteral("360 Photography finished"));
    QCOMPARE(recorder.titles().size(), 1);
    QCOMPARE(log.count(QStringLiteral("spinStart")), 1);
    QCOMPARE(log.count(QStringLiteral("spinStop")), 1);
    // The closing turn to 360 comes before the end of the spin; no capture follows it.
    const QStringList events = log.snapshot();
    QVERIFY(events.lastIndexOf(QStringLiteral("rotate 360")) > events.lastIndexOf(QStringLiteral("capture")));
    QVERIFY(events.indexOf(QStringLiteral("spinStop")) > events.lastIndexOf(QStringLiteral("rotate 360")));
    QCOMPARE(pageList("resets").last(), QVariant(true));
    QVERIFY(panelsEnabled(true));
    QCOMPARE(controller->spinRunState(), CHostAppSpinwright::RunAtRest);
}

void tst_Controller::reportsArriveOnGuiThread()
{
    writeSpinSettings({QStringLiteral("0.00"), QStringLiteral("120.00"), QStringLiteral("240.00")});
    createController();
    sendSignal("turntableDeviceChanged", 0);
    sendSignal("turntableSpinStateChanged", 1);
    finishSpin();

    const QList<std::thread::id> reporters = turntable->reportThreads();
    QCOMPARE(reporters.size(), 3);
    for (std::thread::id reporter : reporters)
        QVERIFY(reporter != std::this_thread::get_id());
    // Each report continued the chain on the GUI thread: captures and the next rotations.
    const QList<QThread *> guiThread{QThread::currentThread(), QThread::currentThread(),
                                     QThread::currentThread()};
    QCOMPARE(camera->captureThreads(), guiThread);
    QCOMPARE(turntable->rotationCallThreads(), guiThread);

    // Open and disconnect reports from another thread are dropped.
    std::thread([this] { turntable->disconnect(); }).join();
    QCOMPARE(turntable->currentTurntableIndex(), size_t(0));
    QCOMPARE(recorder.titles().size(), 1);
}

void tst_Controller::refusedSpinStart()
{
    writeSpinSettings({QStringLiteral("0.00"), QStringLiteral("180.00")});
    createController([](FakeTurntable *table) { table->refuseSpinStart = true; });
    sendSignal("turntableDeviceChanged", 0);
    sendSignal("turntableSpinStateChanged", 1);

    QCOMPARE(recorder.titles(), QStringList{QStringLiteral("Wrong settings.")});
    QCOMPARE(recorder.messages.first().text, QStringLiteral("Fake settings refused"));
    QCOMPARE(controller->spinRunState(), CHostAppSpinwright::RunAtRest);
    // The page is reset through the event loop, after the dialog.
    QCOMPARE(pageList("resets"), QVariantList{true});
    QTRY_COMPARE(pageList("resets"), (QVariantList{true, true}));
    QVERIFY(turntable->rotationTargets().isEmpty());
    QCOMPARE(log.count(QStringLiteral("capture")), 0);
    QVERIFY(panelsEnabled(true));
}

void tst_Controller::stopResetsStepIndex()
{
    startHeldSpin({QStringLiteral("0.00"), QStringLiteral("90.00"), QStringLiteral("180.00"),
                   QStringLiteral("270.00")});
    QCOMPARE(controller->spinRunState(), CHostAppSpinwright::RunRotating);

    sendSignal("turntableSpinStateChanged", -1);
    QCOMPARE(controller->spinRunState(), CHostAppSpinwright::RunAtRest);
    QCOMPARE(log.snapshot().last(), QStringLiteral("stopRotation"));
    QVERIFY(panelsEnabled(true));
    QTRY_COMPARE(pageList("resets").last(), QVariant(true));

    // Stopped within the first delay of the next start: that cycle must not go on. A timer
    // started afterwards with the same interval cannot fire before the delay would have.
    turntable->setHoldRotations(false);
    sendSignal("turntableSpinStateChanged", 1);
    sendSignal("turntableSpinStateChanged", -1);
    runEventLoopOnce();
    QCOMPARE(log.count(QStringLiteral("capture")), 1);
    QCOMPARE(turntable->rotationTargets(), QList<float>{90});

    sendSignal("turntableSpinStateChanged", 1);
    finishSpin();
    // Both later spins begin with the first angle; exactly one capture per angle in the last.
    QCOMPARE(turntable->rotationTargets(), (QList<float>{90, 90, 180, 270, 360}));
    QCOMPARE(progress(), (QList<float>{0.25f, 0.25f, 0.5f, 0.75f, 1.0f}));
}

void tst_Controller::pauseAndResume()
{
    startHeldSpin({QStringLiteral("0.00"), QStringLiteral("90.00"), QStringLiteral("180.00"),
                   QStringLiteral("270.00")});

    sendSignal("turntableSpinStateChanged", 0);
    QCOMPARE(controller->spinRunState(), CHostAppSpinwright::RunPaused);
    releaseFirstRotation();
    // The table has stopped, but a paused spin takes no picture.
    QCOMPARE(progress(), QList<float>{0.25f});
    QCOMPARE(controller->spinRunState(), CHostAppSpinwright::RunPaused);

    turntable->setHoldRotations(false);
    sendSignal("turntableSpinStateChanged", 1);
    QVERIFY(panelsEnabled(false));
    finishSpin();
    QCOMPARE(progress(), (QList<float>{0.25f, 0.5f, 0.75f, 1.0f}));
    QCOMPARE(turntable->rotationTargets(), (QList<float>{90, 180, 270, 360}));
}

void tst_Controller::resumeWhileTurning()
{
    startHeldSpin({QStringLiteral("0.00"), QStringLiteral("90.00"), QStringLiteral("180.00")});
    sendSignal("turntableSpinStateChanged", 0);
    sendSignal("turntableSpinStateChanged", 1);
    QCOMPARE(controller->spinRunState(), CHostAppSpinwright::RunRotating);

    // No picture while the table is still on its way to 90.
    runEventLoopOnce();
    QCOMPARE(progress(), QList<float>{1.0f / 3});
    QCOMPARE(turntable->rotationTargets(), QList<float>{90});

    turntable->setHoldRotations(false);
    finishSpin();
    QCOMPARE(progress(), (QList<float>{1.0f / 3, 2.0f / 3, 1.0f}));
    QCOMPARE(turntable->rotationTargets(), (QList<float>{90, 180, 360}));
}

void tst_Controller::pauseDuringDelay()
{
    writeSpinSettings({QStringLiteral("0.00"), QStringLiteral("90.00"), QStringLiteral("180.00"),
                       QStringLiteral("270.00")});
    createController([](FakeTurntable *table) { table->setHoldRotations(true); });
    sendSignal("turntableDeviceChanged", 0);
    // Paused before the first delay has run out: the cycle finishes and turns the table on.
    sendSignal("turntableSpinStateChanged", 1);
    sendSignal("turntableSpinStateChanged", 0);
    QTRY_COMPARE(turntable->rotationTargets(), QList<float>{90});
    QCOMPARE(controller->spinRunState(), CHostAppSpinwright::RunPaused);

    // ... but there the spin waits for the user.
    releaseFirstRotation();
    QCOMPARE(controller->spinRunState(), CHostAppSpinwright::RunPaused);
    runEventLoopOnce();
    QCOMPARE(progress(), QList<float>{0.25f});

    turntable->setHoldRotations(false);
    sendSignal("turntableSpinStateChanged", 1);
    finishSpin();
    QCOMPARE(progress(), (QList<float>{0.25f, 0.5f, 0.75f, 1.0f}));
    QCOMPARE(turntable->rotationTargets(), (QList<float>{90, 180, 270, 360}));
}

void tst_Controller::resumeDuringPostDelay_data()
{
    QTest::addColumn<double>("preDelay");
    QTest::addColumn<double>("postDelay");
    QTest::newRow("resumed before a second picture") << 0.2 << 0.6;
    QTest::newRow("resumed before a picture while turning") << 0.5 << 0.3;
}

void tst_Controller::resumeDuringPostDelay()
{
    QFETCH(double, preDelay);
    QFETCH(double, postDelay);
    writeSpinSettings({QStringLiteral("0.00"), QStringLiteral("120.00"), QStringLiteral("240.00")},
                      false, postDelay, preDelay);
    createController([](FakeTurntable *table) { table->setHoldRotations(true); });
    sendSignal("turntableDeviceChanged", 0);
    sendSignal("turntableSpinStateChanged", 1);
    QTRY_COMPARE(log.count(QStringLiteral("capture")), 1);
    sendSignal("turntableSpinStateChanged", 0);
    sendSignal("turntableSpinStateChanged", 1);

    // A second cycle beside the first would fire within its pre-capture delay while the table turns.
    QTRY_COMPARE(turntable->rotationTargets(), QList<float>{120});
    runEventLoopFor(int(preDelay * 1000) + 100);
    QCOMPARE(log.count(QStringLiteral("capture")), 1);

    turntable->setHoldRotations(false);
    finishSpin();
    QCOMPARE(recorder.titles(), QStringList{QStringLiteral("Process complete.")});
    QCOMPARE(log.count(QStringLiteral("capture")), 3);
    QCOMPARE(progress(), (QList<float>{1.0f / 3, 2.0f / 3, 1.0f}));
    QCOMPARE(turntable->rotationTargets(), (QList<float>{120, 240, 360}));
}

void tst_Controller::refusedRotation()
{
    writeSpinSettings({QStringLiteral("0.00"), QStringLiteral("90.00"), QStringLiteral("180.00"),
                       QStringLiteral("270.00")});
    createController([](FakeTurntable *table) { table->refuseRotationNumber = 2; });
    sendSignal("turntableDeviceChanged", 0);
    sendSignal("turntableSpinStateChanged", 1);

    QTRY_VERIFY(recorder.titles().contains(QStringLiteral("Error occured.")));
    QCOMPARE(recorder.textOf(QStringLiteral("Error occured.")), QStringLiteral("Fake rotation refused"));
    QCOMPARE(turntable->rotationTargets(), (QList<float>{90, 180}));
    QCOMPARE(progress(), (QList<float>{0.25f, 0.5f}));
    QCOMPARE(pageList("resets").last(), QVariant(true));
    QVERIFY(panelsEnabled(false));
    QCOMPARE(log.count(QStringLiteral("spinStop")), 0);

    // The next start captures where the table stands, as the angle it stands at (a picture named
    // by the refused angle would lie), then asks for the refused move again.
    sendSignal("turntableSpinStateChanged", 1);
    finishSpin();
    QCOMPARE(progress(), (QList<float>{0.25f, 0.5f, 0.5f, 0.75f, 1.0f}));
    QCOMPARE(turntable->rotationTargets(), (QList<float>{90, 180, 180, 270, 360}));
    QCOMPARE(log.count(QStringLiteral("spinStart")), 2);
}

void tst_Controller::disconnectDuringRotation()
{
    startHeldSpin({QStringLiteral("0.00"), QStringLiteral("90.00")}, 1);

    turntable->disconnect();
    QCOMPARE(recorder.titles(), QStringList{QStringLiteral("Device disconnected")});
    QCOMPARE(recorder.messages.first().text, QStringLiteral("Fake turntable unplugged"));
    QCOMPARE(pageList("resets").last(), QVariant(false));
    QVERIFY(panelsEnabled(false));
    QCOMPARE(turntable->currentTurntableIndex(), SIZE_MAX);
    // The spin is over: a late end of the move starts nothing, and Exit closes the program.
    QCOMPARE(controller->spinRunState(), CHostAppSpinwright::RunAtRest);
    const int captures = log.count(QStringLiteral("capture"));
    releaseFirstRotation();
    QCOMPARE(log.count(QStringLiteral("capture")), captures);
    QCOMPARE(turntable->rotationTargets(), QList<float>{90});
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "applicationWillClose"));
    QVERIFY(!recorder.titles().contains(QStringLiteral("Exit app ...")));
    QVERIFY(log.snapshot().contains(QStringLiteral("uiWillClose")));
    QCOMPARE(QJsonDocument::fromJson(readFile(QStringLiteral("Spinwright.json"))).object(),
             (QJsonObject{{QStringLiteral("lastUsedTurntableIndex-v3"), 0}}));
}

void tst_Controller::deviceChangeEndsSpin_data()
{
    QTest::addColumn<bool>("paused");
    QTest::newRow("rotating") << false;
    QTest::newRow("paused") << true;
}

void tst_Controller::deviceChangeEndsSpin()
{
    QFETCH(bool, paused);
    startHeldSpin({QStringLiteral("0.00"), QStringLiteral("90.00"), QStringLiteral("180.00")});
    if (paused)
        sendSignal("turntableSpinStateChanged", 0);

    sendSignal("turntableDeviceChanged", 1);
    QCOMPARE(controller->spinRunState(), CHostAppSpinwright::RunAtRest);
    QVERIFY(panelsEnabled(true));
    QCOMPARE(pageList("resets").last(), QVariant(true));

    // The old device's late report neither takes a picture nor turns the new one.
    releaseFirstRotation();
    runEventLoopOnce();
    QCOMPARE(progress(), QList<float>{1.0f / 3});
    QCOMPARE(turntable->rotationTargets(), QList<float>{90});

    // Start on the new device is a fresh spin, set up by the plug-in, from the first angle.
    turntable->setHoldRotations(false);
    sendSignal("turntableSpinStateChanged", 1);
    finishSpin();
    QCOMPARE(log.count(QStringLiteral("spinStart")), 2);
    QCOMPARE(turntable->rotationTargets(), (QList<float>{90, 90, 180, 360}));
    QCOMPARE(progress(), (QList<float>{1.0f / 3, 1.0f / 3, 2.0f / 3, 1.0f}));
}

void tst_Controller::openMessageOutlivesGarbageCollection()
{
    // Nothing in JavaScript refers to a message the controller shows; the page must keep it.
    createController();
    QPointer<QObject> dialog =
        showMessageDialog(view->rootObject(), QStringLiteral("360 Photography finished"), QStringLiteral("Process complete."));
    QVERIFY(dialog);
    QCOMPARE(recorder.messages.size(), 1);
    globalQmlEngine()->collectGarbage();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(dialog);
    view.reset();
    QVERIFY(dialog.isNull());
}

void tst_Controller::exitButton()
{
    // Exit used to refuse with "Exit app ..." while turning and to quit during the delays; now
    // both ask first, and only a confirmed stop closes.
    QFETCH(double, postDelay);
    writeSpinSettings({QStringLiteral("0.00"), QStringLiteral("90.00")}, false, postDelay);
    createController([](FakeTurntable *table) { table->setHoldRotations(true); });
    sendSignal("turntableDeviceChanged", 0);
    sendSignal("turntableSpinStateChanged", 1);
    QTRY_COMPARE(progress(), QList<float>{0.5f});

    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "applicationWillClose"));
    QCOMPARE(recorder.titles(), QStringList{QStringLiteral("Stop the spin?")});
    QVERIFY(!log.snapshot().contains(QStringLiteral("uiWillClose")));
    answerQuestion(QStringLiteral("Stop the spin?"), true);
    QTRY_VERIFY(log.snapshot().contains(QStringLiteral("uiWillClose")));
    QVERIFY(log.snapshot().contains(QStringLiteral("close")));
}

void tst_Controller::exitButton_data()
{
    QTest::addColumn<double>("postDelay");
    QTest::newRow("turning") << 0.0;
    QTest::newRow("in the delay after a picture") << 600.0;
}

void tst_Controller::answerQuestion(const QString &title, bool yes)
{
    QObject *dialog = nullptr;
    for (const MessageRecorder::Message &message : recorder.messages) {
        if (message.title == title)
            dialog = message.parent;
    }
    QVERIFY2(dialog, qPrintable(title));
    QVERIFY(QMetaObject::invokeMethod(dialog, "answered", Q_ARG(bool, yes)));
}

void tst_Controller::shutdownOrder()
{
    startHeldSpin({QStringLiteral("0.00"), QStringLiteral("90.00")}, 1);
    // The spin settings are read only at start-up, so a file seen later was written at closing.
    QVERIFY(QFile::remove(dataPath(QStringLiteral("TurntableSpins.json"))));

    QByteArray settingsAtUiClose;
    bool spinsSavedBeforeUiClose = true;
    log.setObserver([&](const QString &event) {
        if (event == QLatin1String("uiWillClose")) {
            settingsAtUiClose = readFile(QStringLiteral("Spinwright.json"));
            spinsSavedBeforeUiClose = QFile::exists(dataPath(QStringLiteral("TurntableSpins.json")));
        }
    });
    log.clear();
    // Closing during a spin asks first; the confirmed stop then closes the window.
    QVERIFY(!view->close());
    answerQuestion(QStringLiteral("Stop the spin?"), true);
    // The confirmed stop has stopped the table at once; closing follows from the event loop.
    QCOMPARE(log.snapshot(), QStringList{QStringLiteral("stopRotation")});
    log.clear();
    QTRY_VERIFY(log.snapshot().contains(QStringLiteral("uiWillClose")));

    QCOMPARE(log.snapshot(), (QStringList{QStringLiteral("stopRotation"), QStringLiteral("close"),
                                          QStringLiteral("uiWillClose")}));
    QCOMPARE(QJsonDocument::fromJson(settingsAtUiClose).object(),
             (QJsonObject{{QStringLiteral("lastUsedTurntableIndex-v3"), 1}}));
    QVERIFY(!spinsSavedBeforeUiClose);
    const QJsonObject spins = QJsonDocument::fromJson(readFile(QStringLiteral("TurntableSpins.json"))).object();
    QCOMPARE(spins.value(QStringLiteral("shootingAnglesList")).toArray(),
             QJsonArray({QStringLiteral("0.00"), QStringLiteral("90.00")}));
    QCOMPARE(qvariant_cast<QQuickItem *>(view->rootObject()->property("spinsUiItem")), nullptr);

    log.setObserver({});
    log.clear();
    cleanup();
    QCOMPARE(log.snapshot(), (QStringList{QStringLiteral("pluginWillClose"), QStringLiteral("deleted"),
                                          QStringLiteral("camera pluginWillClose"),
                                          QStringLiteral("camera deleted")}));
}

QTEST_MAIN(tst_Controller)
#include "tst_controller.moc"
