#include "zlturntablespins.h"

#include "spinwrightresources.h"
#include "stubhardware.h"
#include "testfiles.h"
#include "zlpluginslist.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

namespace {

// One spin-settings object with its editor, as the controller holds them.
struct Spins
{
    Spins()
    {
        table.counts = 3200;
        spins.setTurntable(&table);
        const bool firstStart = !QFile::exists(ZLTurntableSpins::settingsFilePath());
        item.reset(spins.createPluginUIFrameView());
        spins.removeVideoMode();
        // The cases build their lists from nothing, not from the first start's 24 images.
        if (item && firstStart)
            addAngle(QString());
    }

    QObject *control(const char *name) const { return item->findChild<QObject *>(QLatin1String(name)); }
    void chooseImagesCount(int n) { QMetaObject::invokeMethod(item.get(), "fixedImagesCountChanged", Q_ARG(int, n)); }
    void addAngle(const QString &text) { QMetaObject::invokeMethod(item.get(), "customAngleAdded", Q_ARG(QString, text)); }
    void save() { spins.pluginUIFrameViewWillClose(item.get()); }
    // What the user enters, in order: "#n" picks n pictures per revolution, anything else adds an angle.
    void enter(const QStringList &typed)
    {
        for (const QString &text : typed) {
            if (text.startsWith(QLatin1Char('#')))
                chooseImagesCount(text.mid(1).toInt());
            else
                addAngle(text);
        }
    }

    StubTurntable table;
    ZLTurntableSpins spins;
    std::unique_ptr<QQuickItem> item;
};

QStringList publishedAngles()
{
    return globalQmlEngine()->rootContext()->contextProperty(QStringLiteral("ShootingAnglesModel")).toStringList();
}

void writeSettingsFile(const QByteArray &content)
{
    QVERIFY(TestFiles::write(ZLTurntableSpins::settingsFilePath(), content));
}

QJsonObject readSettingsFile()
{
    return TestFiles::readJsonObject(ZLTurntableSpins::settingsFilePath());
}

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson();
}

using Steps = QList<SpinStepResult>;

} // namespace

Q_DECLARE_METATYPE(SpinStepResult)

class tst_TurntableSpins : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void evenlySpacedAngles_data();
    void evenlySpacedAngles();
    void hugeImagesCountStaysCountable();
    void customAngles_data();
    void customAngles();

    void spinSequence_data();
    void spinSequence();
    void refusedRotationAdvancesTheIndex();

    void settingsRoundTrip();
    void decimalCommaInDelayAndDegrees();
    void missingOptionalKeysLoadDefaults();
    void negativeDelaysReadAsZero();
    void removedVideoModeOpensAs360Photography_data();
    void removedVideoModeOpensAs360Photography();
    void unusableFileIsReportedOnceAndKept_data();
    void unusableFileIsReportedOnceAndKept();
    void unreadableFileIsReportedAndKept();
    void unwritableFileIsReported();
    void firstStartDefaults();
    void unreachablePositions_data();
    void unreachablePositions();

private:
    QString m_dataDir;
};

void tst_TurntableSpins::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY2(QLocale::system().decimalPoint() == QLatin1Char(','), "the test needs a decimal-comma system locale");
    m_dataDir = ZLAbstractPlugin::applicationLocalDataDirectory();
    QVERIFY(m_dataDir.contains(QLatin1String(".qttest")));
}

void tst_TurntableSpins::init()
{
    QDir(m_dataDir).removeRecursively();
    QVERIFY(QDir().mkpath(m_dataDir));
}

void tst_TurntableSpins::evenlySpacedAngles_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("angles");
    QTest::newRow("8") << 8 << QStringList{"0.00", "45.00", "90.00", "135.00", "180.00", "225.00", "270.00", "315.00"};
    QTest::newRow("7") << 7 << QStringList{"0.00", "51.43", "102.86", "154.29", "205.71", "257.14", "308.57"};
    QTest::newRow("1") << 1 << QStringList{"0.00"};
    QTest::newRow("0") << 0 << QStringList{"0.00"};
    QTest::newRow("negative") << -4 << QStringList{"0.00"};
}

void tst_TurntableSpins::hugeImagesCountStaysCountable()
{
    Spins s;
    s.table.counts = 720000;
    s.spins.updateTurntableStepsPerRevolution();
    // Above what two decimals can tell apart: refused as it stands, no longer cut to 36000.
    s.chooseImagesCount(70000);
    QVERIFY(s.spins.angleTexts().isEmpty());
    s.chooseImagesCount(36000);
    const QStringList angles = s.spins.angleTexts();
    QCOMPARE(angles.size(), 36000);
    QCOMPARE(angles.at(1), QStringLiteral("0.01"));
    QCOMPARE(angles.last(), QStringLiteral("359.99"));
}

void tst_TurntableSpins::evenlySpacedAngles()
{
    QFETCH(int, count);
    QFETCH(QStringList, angles);
    Spins s;
    QVERIFY(s.item);
    s.chooseImagesCount(count);
    QCOMPARE(s.spins.angleTexts(), angles);
    QCOMPARE(publishedAngles(), angles);
    QCOMPARE(s.control("angleView")->property("count").toInt(), angles.size());
}

void tst_TurntableSpins::customAngles_data()
{
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QStringList>("angles");
    QTest::newRow("ascending") << QStringList{"0", "45", "90"} << QStringList{"0.00", "45.00", "90.00"};
    QTest::newRow("smaller is dropped") << QStringList{"45", "30"} << QStringList{"45.00"};
    QTest::newRow("equal is dropped") << QStringList{"45", "45"} << QStringList{"45.00"};
    QTest::newRow("first is always taken") << QStringList{"0"} << QStringList{"0.00"};
    QTest::newRow("decimal comma") << QStringList{"12,5"} << QStringList{"12.50"};
    QTest::newRow("empty clears") << QStringList{"10", "20", ""} << QStringList{};
    QTest::newRow("after a count") << QStringList{"#4", "300"} << QStringList{"0.00", "90.00", "180.00", "270.00", "300.00"};
    QTest::newRow("below the last of a count") << QStringList{"#4", "200"} << QStringList{"0.00", "90.00", "180.00", "270.00"};
}

void tst_TurntableSpins::customAngles()
{
    QFETCH(QStringList, typed);
    QFETCH(QStringList, angles);
    Spins s;
    s.enter(typed);
    QCOMPARE(s.spins.angleTexts(), angles);
    QCOMPARE(publishedAngles(), angles);
}

void tst_TurntableSpins::spinSequence_data()
{
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<bool>("clockwise");
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QList<float>>("targets");

    const auto R = SpinStepResult::Rotating;
    const auto A = SpinStepResult::AtStartAngle;
    const auto F = SpinStepResult::Finished;
    QTest::newRow("0 90 180 270") << QStringList{"#4"} << true << Steps{A, R, R, R, R, F, F}
                                  << QList<float>{90, 180, 270, 360};
    QTest::newRow("counter-clockwise") << QStringList{"#4"} << false << Steps{A, R, R, R, R, F, F}
                                       << QList<float>{-90, -180, -270, -360};
    QTest::newRow("one image") << QStringList{"#1"} << true << Steps{A, R, F} << QList<float>{360};
    QTest::newRow("empty list") << QStringList{} << true << Steps{R, F, F} << QList<float>{360};
    QTest::newRow("empty list counter-clockwise") << QStringList{} << false << Steps{R, F} << QList<float>{-360};
    QTest::newRow("first angle 10") << QStringList{"10", "20"} << true << Steps{R, R, R, F}
                                    << QList<float>{10, 20, 360};
    QTest::newRow("first angle 10 counter-clockwise") << QStringList{"10", "20,5"} << false << Steps{R, R, R, F}
                                                      << QList<float>{-10, -20.5f, -360};
}

void tst_TurntableSpins::spinSequence()
{
    QFETCH(QStringList, typed);
    QFETCH(bool, clockwise);
    QFETCH(Steps, steps);
    QFETCH(QList<float>, targets);

    Spins s;
    s.enter(typed);
    s.control(clockwise ? "clockwiseButton" : "counterclockwiseButton")->setProperty("checked", true);
    s.spins.readSettingsFromUi();
    QCOMPARE(s.spins.direction(), clockwise ? 0 : 1);

    Steps results;
    for (int i = 0; i < steps.size(); ++i)
        results << s.spins.nextSpinStep();
    QCOMPARE(results, steps);
    QCOMPARE(s.table.targets, targets);
}

void tst_TurntableSpins::refusedRotationAdvancesTheIndex()
{
    Spins s;
    s.chooseImagesCount(4);
    s.spins.readSettingsFromUi();
    QCOMPARE(s.spins.nextSpinStep(), SpinStepResult::AtStartAngle);
    s.table.acceptRotations = false;
    QCOMPARE(s.spins.nextSpinStep(), SpinStepResult::RotationFailed);
    QCOMPARE(s.spins.stepIndex(), quint16(2));
    s.table.acceptRotations = true;
    QCOMPARE(s.spins.nextSpinStep(), SpinStepResult::Rotating);
    QCOMPARE(s.table.targets, (QList<float>{90, 180}));

    s.spins.setStepIndex(0);
    QCOMPARE(s.spins.nextSpinStep(), SpinStepResult::AtStartAngle);
    QCOMPARE(s.spins.nextSpinStep(), SpinStepResult::Rotating);
    QCOMPARE(s.table.targets.last(), 90.0f);
}

void tst_TurntableSpins::settingsRoundTrip()
{
    {
        Spins s;
        s.addAngle("10");
        s.addAngle("95,25");
        s.control("preDelayField")->setProperty("text", "2.5");
        s.control("postDelayField")->setProperty("text", "0.1");
        s.control("counterclockwiseButton")->setProperty("checked", true);
        s.control("manualButton")->setProperty("checked", true);
        s.control("shootingModeCombo")->setProperty("currentIndex", 1);
        s.save();
        QVERIFY(s.spins.angleTexts().isEmpty());
    }
    QVERIFY(!QFile::exists(ZLTurntableSpins::settingsFilePath() + ".bad"));

    const QJsonObject stored = readSettingsFile();
    QCOMPARE(stored.value("shootingAnglesList").toArray(), (QJsonArray{"10.00", "95.25"}));
    QCOMPARE(stored.value("shootingMode").toInt(-1), 1);
    QCOMPARE(stored.value("preCaptureDelay").toDouble(), 2.5);
    QCOMPARE(stored.value("postCaptureDelay").toDouble(), double(0.1f));
    QCOMPARE(stored.value("clockwise").toBool(true), false);
    QCOMPARE(stored.value("isManualCapture").toBool(), true);
    QCOMPARE(stored.value("videoDegrees").toDouble(), 360.0);

    Spins reloaded;
    QVERIFY(reloaded.spins.takeSettingsFileError().isEmpty());
    QCOMPARE(reloaded.spins.angleTexts(), (QStringList{"10.00", "95.25"}));
    // Shown in the user's notation (the decimal-comma locale of this test), stored in C's.
    QCOMPARE(reloaded.control("preDelayField")->property("text").toString(), QStringLiteral("2,50"));
    QCOMPARE(reloaded.control("postDelayField")->property("text").toString(), QStringLiteral("0,10"));
    QCOMPARE(reloaded.control("imagesCountCombo")->property("editText").toString(), QStringLiteral("2"));
    QCOMPARE(reloaded.control("shootingModeCombo")->property("currentIndex").toInt(), 1);
    reloaded.spins.readSettingsFromUi();
    QCOMPARE(reloaded.spins.shootingAngles(), (QList<float>{10.0f, 95.25f}));
    QCOMPARE(reloaded.spins.preCaptureDelay(), 2.5f);
    QCOMPARE(reloaded.spins.postCaptureDelay(), 0.1f);
    QCOMPARE(reloaded.spins.direction(), 1);
    QCOMPARE(reloaded.spins.isManualCapture(), true);
    QCOMPARE(reloaded.spins.shootingMode(), 1);
}

void tst_TurntableSpins::decimalCommaInDelayAndDegrees()
{
    Spins s;
    s.control("preDelayField")->setProperty("text", "1,5");
    s.control("postDelayField")->setProperty("text", "0,25");
    s.control("degreesField")->setProperty("text", "270,5");
    QVERIFY(s.control("preDelayField")->property("acceptableInput").toBool());
    s.spins.readSettingsFromUi();
    QCOMPARE(s.spins.preCaptureDelay(), 1.5f);
    QCOMPARE(s.spins.postCaptureDelay(), 0.25f);
    QCOMPARE(s.spins.videoDegrees(), 270.5f);
}

void tst_TurntableSpins::missingOptionalKeysLoadDefaults()
{
    writeSettingsFile(json({{"shootingAnglesList", QJsonArray{"0.00", "180.00"}},
                            {"shootingMode", 0},
                            {"preCaptureDelay", 1.0},
                            {"postCaptureDelay", 0.5},
                            {"clockwise", true}}));
    Spins s;
    QVERIFY(s.spins.takeSettingsFileError().isEmpty());
    s.spins.readSettingsFromUi();
    QCOMPARE(s.spins.isManualCapture(), false);
    QCOMPARE(s.spins.videoDegrees(), 360.0f);
    QCOMPARE(s.spins.shootingAngles(), (QList<float>{0.0f, 180.0f}));
    QCOMPARE(s.spins.direction(), 0);
    QCOMPARE(s.control("imagesCountCombo")->property("editText").toString(), QStringLiteral("2"));
}

void tst_TurntableSpins::negativeDelaysReadAsZero()
{
    writeSettingsFile(json({{"preCaptureDelay", -2.0}, {"postCaptureDelay", -0.5}}));
    Spins s;
    s.spins.readSettingsFromUi();
    QCOMPARE(s.spins.preCaptureDelay(), 0.0f);
    QCOMPARE(s.spins.postCaptureDelay(), 0.0f);

    s.control("preDelayField")->setProperty("text", "-3");
    s.spins.readSettingsFromUi();
    QCOMPARE(s.spins.preCaptureDelay(), 0.0f);
}

void tst_TurntableSpins::removedVideoModeOpensAs360Photography_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("opened");
    QTest::newRow("video mode") << 2 << 0;
    QTest::newRow("custom") << 1 << 1;
    QTest::newRow("out of range") << 7 << 0;
    QTest::newRow("negative") << -1 << 0;
}

void tst_TurntableSpins::removedVideoModeOpensAs360Photography()
{
    QFETCH(int, stored);
    QFETCH(int, opened);
    writeSettingsFile(json({{"shootingMode", stored}, {"shootingAnglesList", QJsonArray{"0.00"}}}));
    Spins s;
    QObject *mode = s.control("shootingModeCombo");
    QCOMPARE(mode->property("count").toInt(), 2);
    QCOMPARE(mode->property("currentIndex").toInt(), opened);
    QCOMPARE(s.control("degreesField")->property("visible").toBool(), false);
    QCOMPARE(s.control("angleView")->property("visible").toBool(), true);
    s.spins.readSettingsFromUi();
    QCOMPARE(s.spins.shootingMode(), opened);
}

void tst_TurntableSpins::unusableFileIsReportedOnceAndKept_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("not JSON") << QByteArray("{\"shootingMode\": 1,");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("array") << QByteArray("[1, 2, 3]");
    QTest::newRow("wrong value types") << json({{"shootingAnglesList", "45"}, {"preCaptureDelay", "soon"}});
    QTest::newRow("angle that is not a number") << json({{"shootingAnglesList", QJsonArray{"0.00", "abc"}}});
    QTest::newRow("too large") << QByteArray(1024 * 1024 + 10, ' ');
    QJsonArray tooManyAngles;
    for (int i = 0; i < 36002; ++i)
        tooManyAngles << QString::number(i / 100.0, 'f', 2);
    QTest::newRow("too many angles") << json({{"shootingAnglesList", tooManyAngles}});
}

void tst_TurntableSpins::unusableFileIsReportedOnceAndKept()
{
    QFETCH(QByteArray, content);
    writeSettingsFile(content);
    const QString path = ZLTurntableSpins::settingsFilePath();
    {
        Spins s;
        QVERIFY(s.item);
        const QString error = s.spins.takeSettingsFileError();
        QVERIFY2(error.contains(QLatin1String("TurntableSpins.json.bad")), qPrintable(error));
        QCOMPARE(s.spins.lastError(), error);
        QVERIFY(s.spins.takeSettingsFileError().isEmpty());

        // The defaults a spin can run with (they were an empty list and no delays).
        QCOMPARE(s.spins.angleTexts().size(), 24);
        s.spins.readSettingsFromUi();
        QCOMPARE(s.spins.preCaptureDelay(), 1.0f);
        QCOMPARE(s.spins.direction(), 0);
        QCOMPARE(s.spins.isManualCapture(), false);
        s.save();
    }
    QFile bad(path + ".bad");
    QVERIFY(bad.open(QIODevice::ReadOnly));
    QCOMPARE(bad.readAll(), content);
    QVERIFY(readSettingsFile().contains("shootingAnglesList"));

    Spins next;
    QVERIFY(next.spins.takeSettingsFileError().isEmpty());
}

void tst_TurntableSpins::unreadableFileIsReportedAndKept()
{
    const QString path = ZLTurntableSpins::settingsFilePath();
    QVERIFY(QDir().mkpath(path));
    Spins s;
    QVERIFY(s.item);
    QVERIFY(!s.spins.takeSettingsFileError().isEmpty());
    QVERIFY(QFileInfo(path + ".bad").isDir());
    QVERIFY(!QFileInfo::exists(path));
}

void tst_TurntableSpins::unwritableFileIsReported()
{
    const QString path = ZLTurntableSpins::settingsFilePath();
    Spins s;
    s.chooseImagesCount(4);
    QVERIFY(QDir().mkpath(path));
    // Reported as a failure (it used to answer true), and the editor stays for another try.
    QVERIFY(!s.spins.pluginUIFrameViewWillClose(s.item.get()));
    QVERIFY(s.spins.lastError().contains(QDir::toNativeSeparators(path)));
    QCOMPARE(s.spins.angleTexts().size(), 4);
    QVERIFY(QFileInfo(path).isDir());

    QVERIFY(QDir(path).removeRecursively());
    QVERIFY(s.spins.pluginUIFrameViewWillClose(s.item.get()));
    QCOMPARE(readSettingsFile().value(QStringLiteral("shootingAnglesList")).toArray().size(), 4);
    QVERIFY(s.spins.angleTexts().isEmpty());
}

void tst_TurntableSpins::firstStartDefaults()
{
    // Without a file the editor used to start with no angles and empty delays.
    ZLTurntableSpins spins;
    StubTurntable table;
    table.counts = 3200;
    spins.setTurntable(&table);
    std::unique_ptr<QQuickItem> item(spins.createPluginUIFrameView());
    QVERIFY(item);
    spins.readSettingsFromUi();
    QCOMPARE(spins.shootingAnglesCount(), 24);
    QCOMPARE(spins.shootingAngles().at(1), 15.0f);
    QCOMPARE(spins.preCaptureDelay(), 1.0f);
    QCOMPARE(spins.postCaptureDelay(), 1.0f);
    QCOMPARE(spins.isManualCapture(), false);
    QCOMPARE(item->findChild<QObject *>(QStringLiteral("imagesCountCombo"))->property("editText").toString(),
             QStringLiteral("24"));
}

void tst_TurntableSpins::unreachablePositions_data()
{
    QTest::addColumn<unsigned int>("counts");
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QString>("problem");
    QTest::newRow("360 images on a 72-count table") << 72u << QStringList{"#360"} << "72 counts";
    QTest::newRow("72 images on a 72-count table") << 72u << QStringList{"#72"} << QString();
    QTest::newRow("8 images on 3 counts") << 3u << QStringList{"#8"} << "3 counts";
    QTest::newRow("3 images on 3 counts") << 3u << QStringList{"#3"} << QString();
    QTest::newRow("start and a full turn") << 72u << QStringList{"0", "180", "360"} << "one turn apart";
    QTest::newRow("counts not known") << 0u << QStringList{"#360"} << QString();
}

void tst_TurntableSpins::unreachablePositions()
{
    QFETCH(unsigned int, counts);
    QFETCH(QStringList, typed);
    QFETCH(QString, problem);
    // The list is built while the counts are not known, as one built for another table.
    Spins s;
    s.table.counts = 0;
    s.spins.updateTurntableStepsPerRevolution();
    s.enter(typed);
    s.spins.readSettingsFromUi();
    const QString found = s.spins.unreachablePositions(counts);
    if (problem.isEmpty())
        QVERIFY2(found.isEmpty(), qPrintable(found));
    else
        QVERIFY2(found.contains(problem), qPrintable(found));
}

int main(int argc, char **argv)
{
    // A decimal-comma system locale shows that typed numbers follow it and stored ones do not.
    qunsetenv("LC_ALL");
    qputenv("LC_NUMERIC", "de_DE.UTF-8");
    QGuiApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Marvolix"));
    QCoreApplication::setApplicationName(QStringLiteral("Spinwright"));
    initSpinwrightResources();
    // Owns the shared QML engine, as in the program, and deletes it last.
    ZLPluginsList plugins;
    tst_TurntableSpins test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_turntablespins.moc"
