#include "recordinghost.h"
#include "zlcamerahardware.h"
#include "zlplugin.h"
#include "zlpluginslist.h"
#include "zlturntablehardware.h"

#include <QCborMap>
#include <QCborValue>
#include <QJsonObject>
#include <QPluginLoader>
#include <QQmlContext>
#include <QQuickItem>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

namespace {

// Each copy is a library of its own, with its own process-wide control.
QString copyPlugin(const QTemporaryDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    return QFile::copy(QStringLiteral(MARVOLIX_PLUGIN_FILE), path) ? path : QString();
}

} // namespace

class tst_Plugin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void metadataHoldsOnlyTheInterfaceAndClass();
    void loaderHandsOutOneTurntableAndOneCamera();
    void factory_data();
    void factory();
    void deletedControlIsNotHandedOut();

private:
    QTemporaryDir scratch;
    RecordingHost host;
};

void tst_Plugin::initTestCase()
{
    // Each plug-in copy carries its own link layer, which takes its board from the environment
    // at its first call: an identified Gemline, whatever the caller's environment says.
    qputenv("SPINWRIGHT_D2XX_SIM", "turntable:2");
    QVERIFY(scratch.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("SpinwrightTests"));
    QCoreApplication::setApplicationName(QStringLiteral("tst_plugin"));
    QDir(ZLAbstractPlugin::applicationLocalDataDirectory()).removeRecursively();
    host.install();
}

void tst_Plugin::metadataHoldsOnlyTheInterfaceAndClass()
{
    QFile file(QStringLiteral(MARVOLIX_PLUGIN_FILE));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QByteArray marker("QTMETADATA !");
    const int at = bytes.indexOf(marker);
    QVERIFY(at >= 0);
    const QByteArray block = bytes.mid(at + marker.size());
    // The fourth header byte carries the build's debug flag, which is not the plug-in's choice.
    QCOMPARE(block.left(3), QByteArray("\x00\x05\x0f", 3));
    const QCborMap map = QCborValue::fromCbor(block.mid(4)).toMap();
    QCOMPARE(map.size(), 2);
    QCOMPARE(map.value(2).toString(), QString("com.marvolix.ZLRegisterPlugin"));
    QCOMPARE(map.value(3).toString(), QString("ZLMarvolixTurntablePlugin"));

    QPluginLoader loader(QStringLiteral(MARVOLIX_PLUGIN_FILE));
    QVERIFY(!loader.metaData().contains("MetaData"));
}

void tst_Plugin::loaderHandsOutOneTurntableAndOneCamera()
{
    QTemporaryDir pluginDir;
    const QString path = copyPlugin(pluginDir, QStringLiteral("MarvolixTurntable.so"));
    QVERIFY(!path.isEmpty());

    auto list = std::make_unique<ZLPluginsList>();
    list->addPluginLoadPath(pluginDir.path());
    std::list<QString> errors;
    QVERIFY(list->loadPlugins(&errors));
    QVERIFY(errors.empty());
    list->createPluginsObjects();

    const std::list<ZLAbstractPlugin *> turntables = list->availablePluginsList(ZLRegisterPlugin::TurntableHardwarePlugin);
    const std::list<ZLAbstractPlugin *> cameras = list->availablePluginsList(ZLRegisterPlugin::CameraHardwarePlugin);
    QCOMPARE(turntables.size(), size_t(1));
    QCOMPARE(cameras.size(), size_t(1));
    QCOMPARE(int(turntables.front()->pluginType()), 2);
    QCOMPARE(int(cameras.front()->pluginType()), 1);
    auto *turntable = dynamic_cast<ZLTurntableHardware *>(turntables.front());
    auto *camera = dynamic_cast<ZLCameraHardware *>(cameras.front());
    QVERIFY(turntable);
    QVERIFY(camera);

    QPluginLoader loader(path);
    auto *root = qobject_cast<ZLRegisterPlugin *>(loader.instance());
    QVERIFY(root);
    QCOMPARE(int(root->supportedPluginTypes()), 3);

    // The real settings panel, its bridge, and a camera that reaches the same control's motor.
    QQuickItem *item = turntable->createPluginUIFrameView();
    QVERIFY2(item, qPrintable(turntable->lastError()));
    QObject *bridge = qmlContext(item)->contextProperty("MarvolixTurntableQmlControl").value<QObject *>();
    QVERIFY(bridge);
    QCOMPARE(bridge->metaObject()->className(), "ZLQmlTurntableControl");
    QCOMPARE(bridge->parent(), item);
    QCOMPARE(qmlContext(item)->contextProperty("MarvolixTurntableStandardDevicesModel").toStringList(), QStringList());

    QCOMPARE(turntable->availableTurntables(), std::list<std::string>{"Marvolix Gemline"});
    turntable->openHardware(0);
    QCOMPARE(host.openedIndexes(), std::vector<size_t>{2});
    QCOMPARE(turntable->countsPerRevolution(), 6400u);
    QVERIFY(camera->captureImage(QString()));

    QVERIFY(turntable->pluginUIFrameViewWillClose(item));
    delete item;
    QVERIFY(QFileInfo::exists(ZLAbstractPlugin::applicationLocalDataDirectory() + "/MarvolixTurntable-v3.json"));

    turntable->closeHardware();
    QVERIFY(!camera->captureImage(QString()));
    turntable->pluginWillClose();
    camera->pluginWillClose();
    delete turntable;
    delete camera;
    list.reset();
}

void tst_Plugin::factory_data()
{
    QTest::addColumn<QList<int>>("kinds");
    QTest::newRow("turntable first") << QList<int>{2, 1, 2};
    QTest::newRow("two cameras, one control") << QList<int>{1, 1, 2, 2};
    QTest::newRow("tools action first") << QList<int>{4, 2, 1};
    QTest::newRow("image processing first") << QList<int>{8, 2};
    QTest::newRow("image view event first") << QList<int>{16, 1, 2};
}

void tst_Plugin::factory()
{
    QFETCH(QList<int>, kinds);
    const QString path = copyPlugin(scratch, QString("factory-%1.so").arg(QTest::currentDataTag()).replace(' ', '-'));
    QVERIFY(!path.isEmpty());
    QPluginLoader loader(path);
    auto *root = qobject_cast<ZLRegisterPlugin *>(loader.instance());
    QVERIFY2(root, qPrintable(loader.errorString()));

    std::vector<ZLAbstractPlugin *> cameras;
    ZLAbstractPlugin *control = nullptr;
    auto release = qScopeGuard([&] {
        for (ZLAbstractPlugin *camera : cameras)
            delete camera;
        delete control;
        loader.unload();
    });
    for (int kind : kinds) {
        ZLAbstractPlugin *object = root->createPluginObject(ZLRegisterPlugin::PluginType(kind));
        if (kind == 2) {
            QVERIFY(object);
            QCOMPARE(int(object->pluginType()), 2);
            QVERIFY(dynamic_cast<ZLTurntableHardware *>(object));
            if (control)
                QCOMPARE(object, control);
            control = object;
        } else if (kind == 1) {
            QVERIFY(object);
            QCOMPARE(int(object->pluginType()), 1);
            QVERIFY(dynamic_cast<ZLCameraHardware *>(object));
            QVERIFY(object != control);
            QVERIFY(std::find(cameras.begin(), cameras.end(), object) == cameras.end());
            cameras.push_back(object);
        } else {
            QCOMPARE(object, nullptr);
        }
    }
}

void tst_Plugin::deletedControlIsNotHandedOut()
{
    const QString path = copyPlugin(scratch, QStringLiteral("deleted-control.so"));
    QVERIFY(!path.isEmpty());
    QPluginLoader loader(path);
    auto *root = qobject_cast<ZLRegisterPlugin *>(loader.instance());
    QVERIFY2(root, qPrintable(loader.errorString()));

    auto *camera = dynamic_cast<ZLCameraHardware *>(root->createPluginObject(ZLRegisterPlugin::CameraHardwarePlugin));
    QVERIFY(camera);
    delete root->createPluginObject(ZLRegisterPlugin::TurntableHardwarePlugin);

    // Neither the camera nor the next request may reach the deleted control.
    QVERIFY(!camera->captureImage(QString()));
    auto *control = dynamic_cast<ZLTurntableHardware *>(root->createPluginObject(ZLRegisterPlugin::TurntableHardwarePlugin));
    QVERIFY(control);
    QCOMPARE(control->availableTurntables(), std::list<std::string>{"Marvolix Gemline"});
    control->openHardware(0);
    QVERIFY(camera->captureImage(QString()));
    control->closeHardware();
    delete camera;
    delete control;
}

QTEST_MAIN(tst_Plugin)
#include "tst_plugin.moc"
