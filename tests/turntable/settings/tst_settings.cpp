#include "d2xxsim.h"
#include "recordinghost.h"
#include "zlmarvolixturntablecontrol.h"
#include "zlmarvolixturntableui.h"
#include "zlpluginslist.h"

#include <QJSValue>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QtTest>

#include <chrono>
#include <memory>
#include <thread>

namespace {

int settingsWarnings = 0;
QtMessageHandler previousHandler = nullptr;

void countSettingsWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.contains(QLatin1String("MarvolixTurntable-v3.json")))
        ++settingsWarnings;
    previousHandler(type, context, message);
}

QVariant plain(const QVariant &value)
{
    if (value.userType() == qMetaTypeId<QJSValue>())
        return value.value<QJSValue>().toVariant();
    return value;
}

QString settingsPath()
{
    return ZLAbstractPlugin::applicationLocalDataDirectory() + QLatin1String("/MarvolixTurntable-v3.json");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QVariantMap customBlock(const QString &counts, bool clockwiseHigh, bool enableHigh)
{
    return {{"stepsPerRevolutionText", counts},
            {"isClockwiseActiveHigh", clockwiseHigh},
            {"isMotorEnableActiveHigh", enableHigh}};
}

} // namespace

class tst_Settings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void roundTripOfEveryKey();
    void customBlockSurvivesAStandardSave_data();
    void customBlockSurvivesAStandardSave();
    void spinStartAppliesTheSettings_data();
    void spinStartAppliesTheSettings();
    void customTurntableWithoutCounts_data();
    void customTurntableWithoutCounts();
    void refreshFromTheWorkerWaitsForTheEventLoop();
    void badFileIsKeptAndReportedOnce_data();
    void badFileIsKeptAndReportedOnce();
    void wronglyTypedValuesAreDropped();

private:
    // Creates the UI, then opens a row as the host does (-1: nothing opened).
    QQuickItem *createUiAndOpen(const QString &devices, int row);
    QVariantList updates() const;

    // Owns the shared QML engine, as in the host.
    std::unique_ptr<ZLPluginsList> pluginsList;
    RecordingHost host;
    std::unique_ptr<ZLMarvolixTurntableControl> control;
    QQuickItem *item = nullptr;
};

void tst_Settings::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("SpinwrightTests"));
    QCoreApplication::setApplicationName(QStringLiteral("tst_settings"));
    host.install();
    previousHandler = qInstallMessageHandler(countSettingsWarnings);
    pluginsList = std::make_unique<ZLPluginsList>();
}

void tst_Settings::cleanupTestCase()
{
    pluginsList.reset();
    qInstallMessageHandler(previousHandler);
}

void tst_Settings::init()
{
    d2xxsim::reset();
    settingsWarnings = 0;
    QDir(ZLAbstractPlugin::applicationLocalDataDirectory()).removeRecursively();
    QVERIFY(QDir().mkpath(ZLAbstractPlugin::applicationLocalDataDirectory()));
    control = std::make_unique<ZLMarvolixTurntableControl>();
    control->setSettingsUi(std::make_unique<ZLMarvolixTurntableUi>());
}

void tst_Settings::cleanup()
{
    if (control) {
        control->stopAngleRotation();
        control->closeHardware();
        if (item)
            control->pluginUIFrameViewWillClose(item);
    }
    delete item;
    item = nullptr;
    control.reset();
    QLocale::setDefault(QLocale::c());
}

QQuickItem *tst_Settings::createUiAndOpen(const QString &devices, int row)
{
    if (!d2xxsim::attach(devices.toStdString()))
        return nullptr;
    item = control->createPluginUIFrameView();
    if (item && row >= 0)
        control->openHardware(size_t(row));
    return item;
}

QVariantList tst_Settings::updates() const
{
    return plain(item->property("updates")).toList();
}

void tst_Settings::roundTripOfEveryKey()
{
    QVERIFY(createUiAndOpen("plain", 0));
    QCOMPARE(item->property("loadCount").toInt(), 0);
    QCOMPARE(control->lastError(), QString("Turntable settings"));
    const QVariantMap custom = customBlock("6400", true, false);
    item->setProperty("answer", QVariantMap{{"rotationSpeed", 7}, {"isLockTableWhenIdle", true}, {"rampUpDegrees", "2.50"}});
    item->setProperty("customAnswer", custom);
    QVERIFY(control->pluginUIFrameViewWillClose(item));
    QCOMPARE(item->property("saveCount").toInt(), 1);
    QCOMPARE(item->property("lastSaveIndex").toInt(), 0);
    delete item;
    item = nullptr;

    const QByteArray written = readFile(settingsPath());
    QVERIFY(written.contains("    \"customTurntableAdvancedSettings\": {\n"));
    const QJsonObject document = QJsonDocument::fromJson(written).object();
    QCOMPARE(document.keys(), (QStringList{"customTurntableAdvancedSettings", "isLockTableWhenIdle", "rampUpDegrees",
                                           "rotationSpeed"}));
    QCOMPARE(document.value("rotationSpeed").toDouble(), 7.0);
    QCOMPARE(document.value("isLockTableWhenIdle").toBool(), true);
    QCOMPARE(document.value("rampUpDegrees").toString(), QString("2.50"));
    QCOMPARE(document.value("customTurntableAdvancedSettings").toObject().toVariantMap(), custom);

    // A new run reads it all back; the bridge's name comes only after loadSettings.
    control.reset(new ZLMarvolixTurntableControl);
    QPointer<QObject> bridge;
    control->setSettingsUi(std::make_unique<ZLMarvolixTurntableUi>([&bridge](ZLMarvolixTurntableControl *, QObject *parent) {
        bridge = new QObject(parent);
        return bridge.data();
    }));
    d2xxsim::reset();
    QVERIFY(createUiAndOpen("plain", 0));
    QCOMPARE(item->property("loadCount").toInt(), 1);
    const QVariantMap loaded = plain(item->property("loaded")).toMap();
    QCOMPARE(loaded.value("rotationSpeed").toInt(), 7);
    QCOMPARE(loaded.value("isLockTableWhenIdle").toBool(), true);
    QCOMPARE(loaded.value("rampUpDegrees").toString(), QString("2.50"));
    QCOMPARE(loaded.value("customTurntableAdvancedSettings").toMap(), custom);
    QVERIFY(!item->property("bridgeSeenAtLoad").toBool());
    QVERIFY(bridge);
    QCOMPARE(bridge->parent(), item);
    QCOMPARE(qmlContext(item)->contextProperty("MarvolixTurntableQmlControl").value<QObject *>(), bridge.data());
    QCOMPARE(qmlContext(item)->contextProperty("MarvolixTurntableStandardDevicesModel").toStringList().size(), 9);

    // First the refresh of the creation (no device yet), then that of the custom row's open.
    QTRY_COMPARE(updates().size(), 2);
    QCOMPARE(updates()[0].toMap().value("index").toInt(), -1);
    QCOMPARE(updates()[1].toMap().value("index").toInt(), 0);
    QCOMPARE(updates()[1].toMap().value("settings").toMap(), custom);

    QVERIFY(control->pluginUIFrameViewWillClose(item));
    QVERIFY(!bridge);
    delete item;
    item = nullptr;
}

void tst_Settings::customBlockSurvivesAStandardSave_data()
{
    QTest::addColumn<int>("row");
    QTest::newRow("standard row open") << 3;
    QTest::newRow("nothing open") << -1;
}

void tst_Settings::customBlockSurvivesAStandardSave()
{
    QFETCH(int, row);
    const QVariantMap custom = customBlock("11520", false, true);
    writeFile(settingsPath(), QJsonDocument(QJsonObject::fromVariantMap(
                                                {{"rotationSpeed", 2},
                                                 {"isLockTableWhenIdle", false},
                                                 {"rampUpDegrees", "1.00"},
                                                 {"customTurntableAdvancedSettings", custom}}))
                                  .toJson());
    QVERIFY(createUiAndOpen("plain", row));
    item->setProperty("answer", QVariantMap{{"rotationSpeed", 5}, {"isLockTableWhenIdle", true}, {"rampUpDegrees", "3.00"}});
    item->setProperty("customAnswer", customBlock("1", true, false));
    QVERIFY(control->pluginUIFrameViewWillClose(item));
    QCOMPARE(item->property("saveCount").toInt(), 1);
    QCOMPARE(item->property("lastSaveIndex").toInt(), row);

    const QJsonObject document = QJsonDocument::fromJson(readFile(settingsPath())).object();
    QCOMPARE(document.value("rotationSpeed").toDouble(), 5.0);
    QCOMPARE(document.value("isLockTableWhenIdle").toBool(), true);
    QCOMPARE(document.value("rampUpDegrees").toString(), QString("3.00"));
    QCOMPARE(document.value("customTurntableAdvancedSettings").toObject().toVariantMap(), custom);
    QCOMPARE(document.keys().size(), 4);
}

void tst_Settings::spinStartAppliesTheSettings_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("speed");
    QTest::addColumn<QString>("ramp");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QVariantMap>("custom");
    QTest::addColumn<uint>("pulseDelay");
    QTest::addColumn<double>("rampDegrees");
    QTest::addColumn<uint>("counts");
    QTest::addColumn<bool>("clockwiseHigh");
    QTest::addColumn<bool>("enableHigh");

    const QVariantMap none;
    QTest::newRow("speed 0") << 3 << 0 << "1.00" << "C" << none << 10u << 1.0 << 19520u << false << true;
    QTest::newRow("speed 9") << 3 << 9 << "1.00" << "C" << none << 1u << 1.0 << 19520u << false << true;
    QTest::newRow("ramp 2.50") << 5 << 4 << "2.50" << "C" << none << 6u << 2.5 << 13062u << true << true;
    QTest::newRow("ramp 2,50 under a decimal comma")
        << 5 << 4 << "2,50" << "de_DE" << none << 6u << 2.5 << 13062u << true << true;
    QTest::newRow("ramp 2.50 under a decimal comma")
        << 5 << 4 << "2.50" << "de_DE" << none << 6u << 2.5 << 13062u << true << true;
    QTest::newRow("custom 6400, clockwise high, enable low")
        << 0 << 3 << "0.00" << "C" << customBlock("6400", true, false) << 7u << 0.0 << 6400u << true << false;
    QTest::newRow("custom 200, clockwise low, enable high")
        << 0 << 3 << "1.00" << "C" << customBlock("200", false, true) << 7u << 1.0 << 200u << false << true;
}

void tst_Settings::spinStartAppliesTheSettings()
{
    QFETCH(int, row);
    QFETCH(int, speed);
    QFETCH(QString, ramp);
    QFETCH(QString, locale);
    QFETCH(QVariantMap, custom);
    QFETCH(uint, pulseDelay);
    QFETCH(double, rampDegrees);
    QFETCH(uint, counts);
    QFETCH(bool, clockwiseHigh);
    QFETCH(bool, enableHigh);

    QLocale::setDefault(QLocale(locale));
    QVERIFY(createUiAndOpen("plain", row));
    FTDIController *motor = control->motor();
    QVERIFY(motor);
    motor->currentAngle = -42.5;
    motor->lockMotorWhenIdle = false;
    item->setProperty("answer", QVariantMap{{"rotationSpeed", speed}, {"isLockTableWhenIdle", false}, {"rampUpDegrees", ramp}});
    if (!custom.isEmpty())
        item->setProperty("customAnswer", custom);

    QVERIFY(control->stepsSpinningWillStart());
    QCOMPARE(item->property("saveCount").toInt(), 1);
    QCOMPARE(item->property("lastSaveIndex").toInt(), row);
    QVERIFY(control->isSpinning());
    QCOMPARE(motor->pulseDelayMs.load(), pulseDelay);
    QCOMPARE(motor->rampUpDegrees.load(), rampDegrees);
    QCOMPARE(motor->countsPerRevolution, counts);
    QCOMPARE(motor->isClockwiseActiveHigh, clockwiseHigh);
    QCOMPARE(motor->isMotorEnableActiveHigh, enableHigh);
    QCOMPARE(motor->currentAngle, 0.0);
    QVERIFY(motor->lockMotorWhenIdle);
}

void tst_Settings::customTurntableWithoutCounts_data()
{
    QTest::addColumn<QString>("counts");
    QTest::addColumn<QString>("error");
    // A text that is there but unusable is refused for what it is, not taken as "not set".
    const QString range = "Counts per revolution must be a whole number from 24 to 1000000.";
    QTest::newRow("empty") << "" << "Counts per revolution have not been set.";
    QTest::newRow("not a number") << "many" << range;
    QTest::newRow("negative") << "-6400" << range;
}

void tst_Settings::customTurntableWithoutCounts()
{
    QFETCH(QString, counts);
    QFETCH(QString, error);
    QVERIFY(createUiAndOpen("plain", 0));
    item->setProperty("answer", QVariantMap{{"rotationSpeed", 4}, {"isLockTableWhenIdle", false}, {"rampUpDegrees", "1.00"}});
    item->setProperty("customAnswer", customBlock(counts, true, true));
    QVERIFY(!control->stepsSpinningWillStart());
    QCOMPARE(control->lastError(), error);
    QCOMPARE(control->motor()->countsPerRevolution, 0u);
    QCOMPARE(control->motor()->pulseDelayMs.load(), 6u);
    QVERIFY(!control->isSpinning());
}

void tst_Settings::refreshFromTheWorkerWaitsForTheEventLoop()
{
    QVERIFY(createUiAndOpen("turntable:2", 0));
    QTRY_COMPARE(updates().size(), 2);
    QCOMPARE(updates()[1].toMap().value("index").toInt(), 2);
    QCOMPARE(updates()[1].toMap().value("settings").toMap(), customBlock("6400", false, true));
    item->setProperty("updates", QVariantList());

    control->setRampUpDegrees(0.0f);
    control->setRotationSpeed(0);
    QVERIFY(control->startRotationPreview(5, false));
    // Wait without serving events: the refresh must stay queued until the loop runs.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (control->motor()->isRotating() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    QVERIFY(!control->motor()->isRotating());
    control->stopRotationPreview();
    QVERIFY(updates().isEmpty());

    QTRY_COMPARE(updates().size(), 1);
    const QVariantMap refresh = updates()[0].toMap();
    QCOMPARE(refresh.value("index").toInt(), -1);
    QVERIFY(!refresh.value("settings").isValid());
}

void tst_Settings::badFileIsKeptAndReportedOnce_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("asDirectory");
    QTest::newRow("not JSON") << QByteArray("{\"rotationSpeed\": 3,") << false;
    QTest::newRow("not an object") << QByteArray("[1, 2]") << false;
    QTest::newRow("far too large") << QByteArray(70 * 1024, ' ') + "{}" << false;
    QTest::newRow("unreadable") << QByteArray() << true;
}

void tst_Settings::badFileIsKeptAndReportedOnce()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, asDirectory);
    const QString path = settingsPath();
    const QString kept = path + QLatin1String(".bad");
    if (asDirectory)
        QVERIFY(QDir().mkpath(path));
    else
        writeFile(path, content);

    QVERIFY(createUiAndOpen("plain", 3));
    QCOMPARE(item->property("loadCount").toInt(), 0);
    QCOMPARE(settingsWarnings, 1);
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(QFileInfo::exists(kept));
    if (!asDirectory)
        QCOMPARE(readFile(kept), content);

    item->setProperty("answer", QVariantMap{{"rotationSpeed", 1}, {"isLockTableWhenIdle", true}, {"rampUpDegrees", "1.00"}});
    QVERIFY(control->pluginUIFrameViewWillClose(item));
    QCOMPARE(settingsWarnings, 1);
    QCOMPARE(QJsonDocument::fromJson(readFile(path)).object().value("rotationSpeed").toDouble(), 1.0);
    if (!asDirectory)
        QCOMPARE(readFile(kept), content);
}

void tst_Settings::wronglyTypedValuesAreDropped()
{
    writeFile(settingsPath(), R"({"rotationSpeed": "fast", "isLockTableWhenIdle": 1, "rampUpDegrees": "1.50",
                                  "customTurntableAdvancedSettings": {"stepsPerRevolutionText": 6400,
                                                                      "isClockwiseActiveHigh": true}})");
    QVERIFY(createUiAndOpen("plain", 0));
    QCOMPARE(item->property("loadCount").toInt(), 1);
    const QVariantMap custom{{"isClockwiseActiveHigh", true}};
    QCOMPARE(plain(item->property("loaded")).toMap(),
             (QVariantMap{{"rampUpDegrees", "1.50"}, {"customTurntableAdvancedSettings", custom}}));
    QCOMPARE(settingsWarnings, 0);
    QVERIFY(!QFileInfo::exists(settingsPath() + QLatin1String(".bad")));
    QTRY_COMPARE(updates().size(), 2);
    QCOMPARE(updates()[1].toMap().value("settings").toMap(), custom);
}

QTEST_MAIN(tst_Settings)
#include "tst_settings.moc"
