#include "chostappspinwright.h"
#include "d2xxsim.h"
#include "quickitems.h"
#include "spinwrightresources.h"
#include "testfiles.h"
#include "zlmarvolixturntablecontrol.h"
#include "zlmarvolixturntableui.h"
#include "zlpluginslist.h"
#include "zlshutterreleasecamera.h"
#include "zlturntablespins.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QtTest>

#include <atomic>
#include <memory>

// The real controller and turntable control on the simulated board, when the board fails.
class tst_HostFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void failedReopenShowsDeviceDisconnected_data();
    void failedReopenShowsDeviceDisconnected();
    void unplugDuringSpinStopsAndKeepsEverySettingsFile();
    void returningUserReopensIdentifiedTurntable();
    void boardVanishingMidSpinEndsTheSpin();

private:
    void expectEverySettingsFile();
    void startProgram();
    // Closes the program as its window would and returns what it stored in "Spinwright.json".
    QJsonObject closeProgram();
    void sendSignal(const char *signal, int value);
    QStringList messages() const;

    std::unique_ptr<ZLPluginsList> pluginsList;
    std::unique_ptr<QQuickView> view;
    std::atomic<ZLMarvolixTurntableControl *> cameraControl{nullptr};
    ZLMarvolixTurntableControl *control = nullptr;
    CHostAppSpinwright *controller = nullptr;
};

void tst_HostFaults::initTestCase()
{
    initSpinwrightResources();
    Q_INIT_RESOURCE(savefixture);
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("SpinwrightTests"));
    QCoreApplication::setApplicationName(QStringLiteral("tst_hostfaults"));
    pluginsList = std::make_unique<ZLPluginsList>();
}

void tst_HostFaults::init()
{
    QDir(ZLAbstractPlugin::applicationLocalDataDirectory()).removeRecursively();
    QVERIFY(QDir().mkpath(ZLAbstractPlugin::applicationLocalDataDirectory()));
    d2xxsim::reset();
    QVERIFY(d2xxsim::attach("turntable:2"));

    startProgram();
    // The identified Gemline is the only entry of the device list.
    sendSignal("turntableDeviceChanged", 0);
    QCOMPARE(control->currentTurntableIndex(), size_t(2));
    QVERIFY(control->motor());
}

void tst_HostFaults::startProgram()
{
    globalQmlEngine()->rootContext()->setContextProperty(QStringLiteral("TurntableDevicesModel"), QStringList());
    view.reset(new QQuickView(globalQmlEngine(), nullptr));
    view->setSource(QUrl(QStringLiteral("qrc:/qml/Spinwright.qml")));
    QCOMPARE(view->status(), QQuickView::Ready);
    control = new ZLMarvolixTurntableControl;
    control->setSettingsUi(std::make_unique<ZLMarvolixTurntableUi>());
    cameraControl = control;
    controller = new CHostAppSpinwright(control, new ZLShutterReleaseCamera(cameraControl), view.get());
}

QJsonObject tst_HostFaults::closeProgram()
{
    cleanup();
    return TestFiles::readJsonObject(
        QDir(ZLAbstractPlugin::applicationLocalDataDirectory()).filePath(QStringLiteral("Spinwright.json")));
}

void tst_HostFaults::returningUserReopensIdentifiedTurntable()
{
    // The stored value is the board's own row, 2, although the list holds one entry.
    const QJsonObject stored{{QStringLiteral("lastUsedTurntableIndex-v3"), 2}};
    QCOMPARE(closeProgram(), stored);
    for (int start = 0; start < 2; ++start) {
        startProgram();
        QCOMPARE(control->currentTurntableIndex(), size_t(2));
        QQuickItem *startButton = QuickItems::find(view->contentItem(), QStringLiteral("startButton"));
        QQuickItem *models = QuickItems::find(view->contentItem(), QStringLiteral("turntableDevicesList"));
        QVERIFY(startButton && models);
        QVERIFY(startButton->isEnabled());
        QCOMPARE(models->property("currentText").toString(), QStringLiteral("Marvolix Gemline"));
        QCOMPARE(closeProgram(), stored);
    }
}

void tst_HostFaults::cleanup()
{
    delete controller;
    controller = nullptr;
    control = nullptr;
    cameraControl = nullptr;
    view.reset();
}

void tst_HostFaults::sendSignal(const char *signal, int value)
{
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), signal, Q_ARG(int, value)));
}

QStringList tst_HostFaults::messages() const
{
    QStringList texts;
    for (QQuickItem *label : QuickItems::findAll(view->contentItem(), QStringLiteral("textLabel")))
        texts.append(label->property("text").toString());
    return texts;
}

void tst_HostFaults::failedReopenShowsDeviceDisconnected_data()
{
    QTest::addColumn<bool>("unplug");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");
    QTest::newRow("unplugged") << true << int(FT_OK) << "Device not found";
    QTest::newRow("io error") << false << int(FT_IO_ERROR) << "IO Error";
    QTest::newRow("opened elsewhere") << false << int(FT_DEVICE_NOT_OPENED) << "Device not opened";
}

void tst_HostFaults::failedReopenShowsDeviceDisconnected()
{
    QFETCH(bool, unplug);
    QFETCH(int, status);
    QFETCH(QString, text);
    if (unplug)
        d2xxsim::unplug(0);
    else
        d2xxsim::setOpenStatus(0, FT_STATUS(status));

    // The page's index 0 differs from the row the control reported, so the table is reopened.
    sendSignal("turntableDeviceChanged", 0);
    QCOMPARE(control->currentTurntableIndex(), size_t(SIZE_MAX));
    QVERIFY(!control->motor());
    QCOMPARE(messages(), QStringList{text});
    QQuickItem *settings = QuickItems::find(view->contentItem(), QStringLiteral("turntableSettingsFixture"));
    QVERIFY(settings);
    QVERIFY(!settings->isEnabled());
}

void tst_HostFaults::unplugDuringSpinStopsAndKeepsEverySettingsFile()
{
    sendSignal("turntableSpinStateChanged", 1);
    QTRY_VERIFY_WITH_TIMEOUT(d2xxsim::position(0) != 0, 60000);
    // The worker may already have ended the move at its next failed write; its report is queued.
    d2xxsim::unplug(0);

    sendSignal("turntableSpinStateChanged", -1);
    QCOMPARE(controller->spinRunState(), CHostAppSpinwright::RunAtRest);
    QVERIFY(!control->motor()->isRotating());
    QVERIFY(messages().isEmpty());

    controller->applicationClosing();
    expectEverySettingsFile();
}

void tst_HostFaults::expectEverySettingsFile()
{
    const QDir data(ZLAbstractPlugin::applicationLocalDataDirectory());
    for (const char *name : {"Spinwright.json", "TurntableSpins.json", "MarvolixTurntable-v3.json"}) {
        QFile file(data.filePath(QLatin1String(name)));
        QVERIFY2(file.open(QIODevice::ReadOnly), name);
        QVERIFY2(QJsonDocument::fromJson(file.readAll()).isObject(), name);
    }
}

void tst_HostFaults::boardVanishingMidSpinEndsTheSpin()
{
    // Shown, so that Exit closes a real window and the closing writes the settings.
    view->show();
    sendSignal("turntableSpinStateChanged", 1);
    QTRY_VERIFY_WITH_TIMEOUT(d2xxsim::position(0) != 0, 60000);
    d2xxsim::unplugAfterWrites(0, 10);

    QTRY_COMPARE_WITH_TIMEOUT(messages(), QStringList{QStringLiteral("The turntable was disconnected.")}, 30000);
    QCOMPARE(controller->spinRunState(), CHostAppSpinwright::RunAtRest);
    QVERIFY(!control->motor());
    // Exit closes the program, which still writes every settings file.
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "applicationWillClose"));
    QTRY_VERIFY(!view->isVisible());
    expectEverySettingsFile();
}

QTEST_MAIN(tst_HostFaults)
#include "tst_hostfaults.moc"
