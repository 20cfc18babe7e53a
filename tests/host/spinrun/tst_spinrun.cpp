#include "chostappspinwright.h"
#include "fakecamera.h"
#include "faketurntable.h"
#include "fixturelog.h"
#include "reportingfakecamera.h"
#include "spinmanifest.h"
#include "testfiles.h"

#include "zlpluginslist.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// What the stand-in message dialog is asked to show.
class MessageRecorder : public QObject
{
    Q_OBJECT

public:
    QStringList titles;
    QStringList texts;
    // The stand-in question passes itself, so that a test can answer it.
    QList<QObject *> senders;

    Q_INVOKABLE void record(const QString &title, const QString &text, QObject *sender)
    {
        titles.append(title);
        texts.append(text);
        senders.append(sender);
    }
    QString textOf(const QString &title) const { return texts.value(titles.indexOf(title)); }
};

Q_DECLARE_METATYPE(ReportingFakeCamera::Fault)

// A spin's pictures and record, driven through the controller as the page drives it.
class tst_SpinRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void tetheredSpin_data();
    void tetheredSpin();
    void tableWaitsForSlowCamera();
    void cameraFaultEndsSpin_data();
    void cameraFaultEndsSpin();
    void stopWhileCameraWorks();
    void cableSpin();
    void startRefusedWithoutAngles_data();
    void startRefusedWithoutAngles();
    void manualCaptureWaitsForNext();
    void spinFolderCannotBeMade();
    void recordLostMidSpin();
    void chosenPicturesFolderIsUsedAndKept();
    void spinEndIsRecorded_data();
    void spinEndIsRecorded();
    void startAfterAMoveRefusedWhilePaused();

private:
    void createController(bool tethered, bool holdRotations = false);
    void writeSpinSettings(const QStringList &angles, bool manual = false, bool clockwise = true);
    void start();
    void send(const char *signal, int value);
    QVariantList pageList(const char *property) const;
    SpinManifest::Spin manifest() const;
    QStringList spinFolders() const;
    void finishSpin();

    QTemporaryDir home;
    QTemporaryDir picturesRoot;
    std::unique_ptr<ZLPluginsList> pluginsList;
    MessageRecorder recorder;
    FixtureLog log;
    std::unique_ptr<QQuickView> view;
    FakeTurntable *turntable = nullptr;
    ReportingFakeCamera *camera = nullptr;
    CHostAppSpinwright *controller = nullptr;
};

void tst_SpinRun::initTestCase()
{
    QVERIFY(home.isValid());
    qputenv("HOME", QFile::encodeName(home.path()));
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Marvolix"));
    QCoreApplication::setApplicationName(QStringLiteral("Spinwright"));
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), 9));
    pluginsList.reset(new ZLPluginsList);
    globalQmlEngine()->rootContext()->setContextProperty(QStringLiteral("MessageRecorder"), &recorder);
}

void tst_SpinRun::init()
{
    QDir(ZLAbstractPlugin::applicationLocalDataDirectory()).removeRecursively();
    QDir(picturesRoot.path()).removeRecursively();
    QVERIFY(QDir().mkpath(picturesRoot.path()));
    log.clear();
    recorder.titles.clear();
    recorder.texts.clear();
    recorder.senders.clear();
}

void tst_SpinRun::cleanup()
{
    view.reset();
    turntable = nullptr;
    camera = nullptr;
    controller = nullptr;
}

void tst_SpinRun::cleanupTestCase()
{
    pluginsList.reset();
}

void tst_SpinRun::createController(bool tethered, bool holdRotations)
{
    view.reset(new QQuickView(globalQmlEngine(), nullptr));
    view->setSource(QUrl(QStringLiteral("qrc:/test/TestPage.qml")));
    QCOMPARE(view->status(), QQuickView::Ready);
    view->create();
    turntable = new FakeTurntable(&log);
    turntable->setHoldRotations(holdRotations);
    ZLCameraHardware *spinCamera = nullptr;
    if (tethered)
        spinCamera = camera = new ReportingFakeCamera(&log);
    else
        spinCamera = new FakeCamera(&log);
    controller = new CHostAppSpinwright(turntable, spinCamera, view.get());
    controller->programSettings().picturesFolder = picturesRoot.path();
    send("turntableDeviceChanged", 0);
}

void tst_SpinRun::writeSpinSettings(const QStringList &angles, bool manual, bool clockwise)
{
    const QJsonObject settings{{QStringLiteral("shootingAnglesList"), QJsonArray::fromStringList(angles)},
                               {QStringLiteral("shootingMode"), 1},
                               {QStringLiteral("preCaptureDelay"), 0},
                               {QStringLiteral("postCaptureDelay"), 0},
                               {QStringLiteral("clockwise"), clockwise},
                               {QStringLiteral("isManualCapture"), manual},
                               {QStringLiteral("videoDegrees"), 360}};
    QVERIFY(TestFiles::write(QDir(ZLAbstractPlugin::applicationLocalDataDirectory()).filePath(QStringLiteral("TurntableSpins.json")),
                             QJsonDocument(settings).toJson()));
}

void tst_SpinRun::send(const char *signal, int value)
{
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), signal, Q_ARG(int, value)));
}

void tst_SpinRun::start()
{
    send("turntableSpinStateChanged", 1);
}

QVariantList tst_SpinRun::pageList(const char *property) const
{
    return view->rootObject()->property(property).toList();
}

QStringList tst_SpinRun::spinFolders() const
{
    return QDir(picturesRoot.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

SpinManifest::Spin tst_SpinRun::manifest() const
{
    SpinManifest::Spin spin;
    QString error;
    if (!SpinManifest::read(controller->lastSpinFolder(), &spin, &error))
        qWarning("%s", qPrintable(error));
    return spin;
}

void tst_SpinRun::finishSpin()
{
    QTRY_VERIFY_WITH_TIMEOUT(recorder.titles.contains(QStringLiteral("Process complete.")), 20000);
}

void tst_SpinRun::tetheredSpin_data()
{
    QTest::addColumn<QStringList>("angles");
    QTest::addColumn<bool>("clockwise");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<bool>("raw");

    QTest::newRow("8 pictures")
        << QStringList{"0.00", "45.00", "90.00", "135.00", "180.00", "225.00", "270.00", "315.00"} << true
        << QStringList{"01_0.0", "02_45.0", "03_90.0", "04_135.0", "05_180.0", "06_225.0", "07_270.0", "08_315.0"}
        << false;
    // No picture at the start; a list ending where the spin began keeps its angle within one turn.
    QTest::newRow("from 10, counter-clockwise, ending at 360")
        << QStringList{"10.00", "130.00", "360.00"} << false << QStringList{"01_10.0", "02_130.0", "03_0.0"} << false;
    QTest::newRow("raw and JPEG") << QStringList{"0.00", "180.00"} << true << QStringList{"01_0.0", "02_180.0"} << true;
}

void tst_SpinRun::tetheredSpin()
{
    QFETCH(QStringList, angles);
    QFETCH(bool, clockwise);
    QFETCH(QStringList, names);
    QFETCH(bool, raw);

    writeSpinSettings(angles, false, clockwise);
    createController(true);
    camera->delayMs = 20;
    camera->alsoRaw = raw;
    QSignalSpy finished(controller, &CHostAppSpinwright::spinFinished);
    start();
    finishSpin();

    QCOMPARE(recorder.titles, QStringList{QStringLiteral("Process complete.")});
    QCOMPARE(finished.size(), 1);
    const QString folder = controller->lastSpinFolder();
    QCOMPARE(finished.first().first().toString(), folder);
    QCOMPARE(QFileInfo(folder).absolutePath(), QFileInfo(picturesRoot.path()).absoluteFilePath());

    const QDir images(QDir(folder).filePath(QStringLiteral("originalCapturedImages")));
    QStringList stems, files;
    for (const QString &name : names) {
        stems << images.filePath(name);
        files << QStringLiteral("originalCapturedImages/%1.jpg").arg(name);
        QCOMPARE(TestFiles::read(images.filePath(name + QStringLiteral(".jpg"))), camera->pictureBytes);
    }
    QCOMPARE(camera->stems(), stems);
    QCOMPARE(images.entryList(QDir::Files).size(), names.size() * (raw ? 2 : 1));

    const SpinManifest::Spin spin = manifest();
    QCOMPARE(spin.state, QStringLiteral("finished"));
    QCOMPARE(spin.stateText, QStringLiteral("360 Photography finished"));
    QVERIFY(spin.ended >= spin.created);
    QCOMPARE(spin.cameraKind, QStringLiteral("tethered"));
    QCOMPARE(spin.turntableModel, QStringLiteral("Fake table A"));
    QCOMPARE(spin.countsPerRevolution, 3200);
    QCOMPARE(spin.direction, clockwise ? QStringLiteral("clockwise") : QStringLiteral("counterclockwise"));
    QVERIFY(spin.program.startsWith(QLatin1String("Spinwright v.3.0.")));
    QCOMPARE(spin.plannedAngles.size(), names.size());
    QCOMPARE(spin.shots.size(), names.size());
    for (int k = 0; k < spin.shots.size(); ++k) {
        const SpinManifest::Shot &shot = spin.shots[k];
        QCOMPARE(shot.shot, k + 1);
        QCOMPARE(shot.angle, spin.plannedAngles[k]);
        QCOMPARE(shot.outcome, QStringLiteral("captured"));
        QStringList shotFiles{files[k]};
        if (raw)
            shotFiles << QString(files[k]).replace(QLatin1String(".jpg"), QLatin1String(".cr3"));
        QCOMPARE(shot.files, shotFiles);
        QVERIFY(shot.time.isValid() && shot.time >= spin.created);
        if (k > 0)
            QVERIFY(shot.time >= spin.shots[k - 1].time);
    }
    // Each rotation after a picture waited for the camera's report of it.
    const QStringList events = log.snapshot();
    for (int k = 0; k + 1 < stems.size(); ++k) {
        const int captured = events.indexOf(QStringLiteral("captured ") + stems[k]);
        const int nextCapture = events.indexOf(QStringLiteral("capture ") + stems[k + 1]);
        QVERIFY(captured >= 0);
        bool rotatedBetween = false;
        for (int e = captured; e < nextCapture; ++e)
            rotatedBetween = rotatedBetween || events[e].startsWith(QLatin1String("rotate "));
        QVERIFY2(rotatedBetween, qPrintable(events.join(QLatin1String(", "))));
        for (int e = events.indexOf(QStringLiteral("capture ") + stems[k]); e < captured; ++e)
            QVERIFY2(!events[e].startsWith(QLatin1String("rotate ")), qPrintable(events.join(QLatin1String(", "))));
    }
    QCOMPARE(pageList("shotsTaken").last().toString(), QStringLiteral("%1/%1").arg(names.size()));
    QCOMPARE(pageList("pictures").last().toString(),
             QUrl::fromLocalFile(stems.last() + QStringLiteral(".jpg")).toString());
}

void tst_SpinRun::tableWaitsForSlowCamera()
{
    writeSpinSettings({"0.00", "90.00", "180.00"});
    createController(true);
    camera->setHold(true);
    start();
    QTRY_COMPARE(camera->stems().size(), 1);

    // However long the camera works, the table stays where it is.
    bool over = false;
    QTimer::singleShot(300, this, [&over] { over = true; });
    QTRY_VERIFY(over);
    QVERIFY(turntable->rotationTargets().isEmpty());
    QVERIFY(pageList("shotsTaken").endsWith(QVariant(QStringLiteral("0/3"))));
    QCOMPARE(controller->spinRunState(), CHostAppSpinwright::RunAtRest);
    QVERIFY(controller->isSpinRunning());

    // A pause and resume meanwhile starts no second cycle beside the one waiting.
    send("turntableSpinStateChanged", 0);
    send("turntableSpinStateChanged", 1);
    QCOMPARE(camera->stems().size(), 1);

    camera->releaseCapture();
    QTRY_COMPARE(turntable->rotationTargets(), QList<float>{90});
    QTRY_COMPARE(camera->stems().size(), 2);
    QCOMPARE(turntable->rotationTargets(), QList<float>{90});
    camera->setHold(false);
    finishSpin();
    QCOMPARE(turntable->rotationTargets(), (QList<float>{90, 180, 360}));
    QCOMPARE(camera->stems().size(), 3);
}

void tst_SpinRun::cameraFaultEndsSpin_data()
{
    QTest::addColumn<ReportingFakeCamera::Fault>("fault");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("state");

    QTest::newRow("capture refused") << ReportingFakeCamera::Fault::Refuse << "Capture failed"
                                     << "Fake camera busy" << "failed";
    QTest::newRow("capture failed") << ReportingFakeCamera::Fault::Fail << "Capture failed"
                                    << "Fake card full" << "failed";
    QTest::newRow("camera unplugged") << ReportingFakeCamera::Fault::Disconnect << "Camera disconnected"
                                      << "Fake camera unplugged" << "disconnected";
}

void tst_SpinRun::cameraFaultEndsSpin()
{
    QFETCH(ReportingFakeCamera::Fault, fault);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(QString, state);

    writeSpinSettings({"0.00", "90.00", "180.00", "270.00"});
    createController(true);
    camera->fault = fault;
    camera->faultOnCapture = 2;
    start();
    QTRY_VERIFY(recorder.titles.contains(title));
    QCOMPARE(recorder.titles, QStringList{title});
    QCOMPARE(recorder.textOf(title), text);

    // Ended as Stop ends it: nothing turns on, the page and the panels are back.
    QTRY_COMPARE(pageList("resets").last(), QVariant(true));
    QCOMPARE(turntable->rotationTargets(), QList<float>{90});
    QVERIFY(!controller->isSpinRunning());
    QCOMPARE(camera->stems().size(), 2);
    QCOMPARE(log.snapshot().last(), QStringLiteral("stopRotation"));

    // The record says which shots exist; the failed one's reason comes even after the end.
    QTRY_COMPARE(manifest().shots.value(1).outcome, QStringLiteral("failed"));
    const SpinManifest::Spin spin = manifest();
    QCOMPARE(spin.state, state);
    QCOMPARE(spin.stateText, text);
    QCOMPARE(spin.shots.size(), 2);
    QCOMPARE(spin.shots[0].outcome, QStringLiteral("captured"));
    QCOMPARE(spin.shots[0].files, QStringList{QStringLiteral("originalCapturedImages/01_0.0.jpg")});
    QCOMPARE(spin.shots[1].error, text);
    QVERIFY(spin.shots[1].files.isEmpty());
    QCOMPARE(QDir(controller->lastSpinFolder()).entryList({QStringLiteral("*.jpg")}, QDir::Files).size(), 0);
    QCOMPARE(QDir(controller->lastSpinFolder() + QStringLiteral("/originalCapturedImages")).entryList(QDir::Files),
             QStringList{QStringLiteral("01_0.0.jpg")});
}

void tst_SpinRun::stopWhileCameraWorks()
{
    writeSpinSettings({"0.00", "90.00"});
    createController(true);
    camera->setHold(true);
    start();
    QTRY_COMPARE(camera->stems().size(), 1);

    send("turntableSpinStateChanged", -1);
    QVERIFY(!controller->isSpinRunning());
    SpinManifest::Spin spin = manifest();
    QCOMPARE(spin.state, QStringLiteral("stopped"));
    QCOMPARE(spin.shots.size(), 1);
    QCOMPARE(spin.shots[0].outcome, QStringLiteral("triggered"));

    // The picture that comes late is recorded, and starts nothing.
    camera->releaseCapture();
    QTRY_COMPARE(manifest().shots.value(0).outcome, QStringLiteral("captured"));
    spin = manifest();
    QCOMPARE(spin.state, QStringLiteral("stopped"));
    QCOMPARE(spin.shots[0].files, QStringList{QStringLiteral("originalCapturedImages/01_0.0.jpg")});
    bool over = false;
    QTimer::singleShot(50, this, [&over] { over = true; });
    QTRY_VERIFY(over);
    QVERIFY(turntable->rotationTargets().isEmpty());
    QCOMPARE(camera->stems().size(), 1);
    QVERIFY(recorder.titles.isEmpty());
}

void tst_SpinRun::cableSpin()
{
    writeSpinSettings({"0.00", "90.00", "180.00", "270.00"});
    createController(false);
    start();
    finishSpin();

    QCOMPARE(log.count(QStringLiteral("capture")), 4);
    const SpinManifest::Spin spin = manifest();
    QCOMPARE(spin.state, QStringLiteral("finished"));
    QCOMPARE(spin.cameraKind, QStringLiteral("cable"));
    QCOMPARE(spin.cameraName, QStringLiteral("Shutter-release cable"));
    QCOMPARE(spin.plannedAngles, (QVector<double>{0, 90, 180, 270}));
    QCOMPARE(spin.shots.size(), 4);
    for (const SpinManifest::Shot &shot : spin.shots) {
        QCOMPARE(shot.outcome, QStringLiteral("triggered"));
        QVERIFY(shot.time.isValid());
        QVERIFY(shot.files.isEmpty());
    }
    QVERIFY(QDir(controller->lastSpinFolder() + QStringLiteral("/originalCapturedImages")).exists());
    QCOMPARE(spinFolders(), QStringList{QFileInfo(controller->lastSpinFolder()).fileName()});
}

void tst_SpinRun::startRefusedWithoutAngles_data()
{
    QTest::addColumn<QStringList>("angles");
    QTest::addColumn<bool>("manual");
    QTest::addColumn<bool>("emptiedByHand");

    QTest::newRow("empty custom list") << QStringList() << false << false;
    QTest::newRow("custom list emptied by hand") << QStringList{"0.00", "90.00"} << false << true;
    QTest::newRow("manual capture, empty list") << QStringList() << true << false;
}

void tst_SpinRun::startRefusedWithoutAngles()
{
    QFETCH(QStringList, angles);
    QFETCH(bool, manual);
    QFETCH(bool, emptiedByHand);

    writeSpinSettings(angles, manual);
    createController(true);
    if (emptiedByHand) {
        auto *editor = qvariant_cast<QQuickItem *>(view->rootObject()->property("spinsUiItem"));
        QVERIFY(editor);
        // The editor's delete button.
        QVERIFY(QMetaObject::invokeMethod(editor, "customAngleAdded", Q_ARG(QString, QString())));
    }
    log.clear();
    start();

    QCOMPARE(recorder.titles, QStringList{QStringLiteral("Wrong settings.")});
    QVERIFY2(recorder.texts.first().contains(QLatin1String("angle")), qPrintable(recorder.texts.first()));
    QTRY_COMPARE(pageList("resets").last(), QVariant(true));
    QVERIFY(turntable->rotationTargets().isEmpty());
    QCOMPARE(log.count(QStringLiteral("spinStart")), 0);
    QVERIFY(!controller->isSpinRunning());
    QVERIFY(spinFolders().isEmpty());
    QVERIFY(controller->lastSpinFolder().isEmpty());
}

void tst_SpinRun::manualCaptureWaitsForNext()
{
    writeSpinSettings({"0.00", "90.00", "180.00"}, true);
    createController(true);
    start();

    for (int shot = 1; shot <= 3; ++shot) {
        QTRY_COMPARE(pageList("nextWaits").size(), 2 * shot - 1);
        QCOMPARE(pageList("nextWaits").last(), QVariant(true));
        bool over = false;
        QTimer::singleShot(50, this, [&over] { over = true; });
        QTRY_VERIFY(over);
        // Standing at the angle until the user says Next.
        QCOMPARE(turntable->rotationTargets().size(), shot - 1);
        QVERIFY(controller->isSpinRunning());
        QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "nextShotRequested"));
        QCOMPARE(pageList("nextWaits").last(), QVariant(false));
        QCOMPARE(pageList("shotsTaken").last().toString(), QStringLiteral("%1/3").arg(shot));
    }
    finishSpin();
    QCOMPARE(turntable->rotationTargets(), (QList<float>{90, 180, 360}));
    QVERIFY(camera->stems().isEmpty());
    const SpinManifest::Spin spin = manifest();
    QCOMPARE(spin.manualCapture, true);
    QCOMPARE(spin.shots.size(), 3);
    QCOMPARE(spin.shots[2].outcome, QStringLiteral("triggered"));

    // A Next with nothing to wait for does nothing.
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "nextShotRequested"));
    QCOMPARE(turntable->rotationTargets().size(), 3);
}

void tst_SpinRun::spinFolderCannotBeMade()
{
    writeSpinSettings({"0.00", "90.00"});
    createController(true);
    const QString blocker = QDir(picturesRoot.path()).filePath(QStringLiteral("not a folder"));
    QVERIFY(TestFiles::write(blocker, "x"));
    controller->programSettings().picturesFolder = blocker + QStringLiteral("/Spinwright");
    start();

    QCOMPARE(recorder.titles, QStringList{QStringLiteral("Spin folder")});
    const QString text = recorder.texts.first();
    QVERIFY2(text.contains(QDir::toNativeSeparators(blocker + QStringLiteral("/Spinwright")))
                 && text.contains(QLatin1String("is a file")), qPrintable(text));
    QTRY_COMPARE(pageList("resets").last(), QVariant(true));
    QVERIFY(turntable->rotationTargets().isEmpty());
    QVERIFY(camera->stems().isEmpty());
    QVERIFY(!controller->isSpinRunning());
}

void tst_SpinRun::recordLostMidSpin()
{
    writeSpinSettings({"0.00", "90.00", "180.00"});
    createController(false, true);
    start();
    QTRY_COMPARE(turntable->rotationTargets(), QList<float>{90});
    QVERIFY(QDir(controller->lastSpinFolder()).removeRecursively());

    // The next shot cannot be recorded: the spin ends rather than go on without a record.
    turntable->releaseRotation();
    QTRY_VERIFY(recorder.titles.contains(QStringLiteral("Spin record")));
    QVERIFY2(recorder.textOf(QStringLiteral("Spin record")).contains(QLatin1String("spin.json")),
             qPrintable(recorder.textOf(QStringLiteral("Spin record"))));
    QCOMPARE(log.count(QStringLiteral("capture")), 1);
    QVERIFY(!controller->isSpinRunning());
    QCOMPARE(turntable->rotationTargets(), QList<float>{90});
}

void tst_SpinRun::chosenPicturesFolderIsUsedAndKept()
{
    writeSpinSettings({"0.00"});
    QVERIFY(TestFiles::write(CHostAppSpinwright::settingsFilePath(),
                             QJsonDocument(QJsonObject{{QStringLiteral("picturesFolder"), picturesRoot.path()}}).toJson()));
    createController(false);
    QCOMPARE(view->rootObject()->property("picturesFolder").toString(), QDir::toNativeSeparators(picturesRoot.path()));
    const QString chosen = QDir(picturesRoot.path()).filePath(QStringLiteral("chosen/spins"));
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "picturesFolderChosen",
                                      Q_ARG(QUrl, QUrl::fromLocalFile(chosen))));
    QCOMPARE(view->rootObject()->property("picturesFolder").toString(), QDir::toNativeSeparators(chosen));
    start();
    finishSpin();
    QCOMPARE(QFileInfo(controller->lastSpinFolder()).absolutePath(), chosen);

    controller->applicationClosing();
    const QJsonObject saved = QJsonDocument::fromJson(TestFiles::read(CHostAppSpinwright::settingsFilePath())).object();
    QCOMPARE(saved.value(QStringLiteral("picturesFolder")).toString(), chosen);
}

void tst_SpinRun::spinEndIsRecorded_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("stateText");
    QTest::addColumn<int>("shots");

    QTest::newRow("window closed, stop confirmed") << "close" << "stopped" << "" << 1;
    QTest::newRow("turntable unplugged") << "unplug" << "disconnected" << "Fake turntable unplugged" << 1;
    QTest::newRow("rotation refused") << "refuse" << "failed" << "Fake rotation refused" << 2;
}

void tst_SpinRun::spinEndIsRecorded()
{
    QFETCH(QString, how);
    QFETCH(QString, state);
    QFETCH(QString, stateText);
    QFETCH(int, shots);

    writeSpinSettings({"0.00", "90.00", "180.00"});
    createController(false, how != QLatin1String("refuse"));
    if (how == QLatin1String("refuse"))
        turntable->refuseRotationNumber = 2;
    start();
    if (how == QLatin1String("close")) {
        QTRY_COMPARE(turntable->rotationTargets(), QList<float>{90});
        QVERIFY(!view->close());
        const int question = recorder.titles.indexOf(QStringLiteral("Stop the spin?"));
        QVERIFY(question >= 0);
        QVERIFY(QMetaObject::invokeMethod(recorder.senders[question], "answered", Q_ARG(bool, true)));
    } else if (how == QLatin1String("unplug")) {
        QTRY_COMPARE(turntable->rotationTargets(), QList<float>{90});
        turntable->disconnect();
    } else {
        QTRY_VERIFY(recorder.titles.contains(QStringLiteral("Error occured.")));
    }

    QTRY_COMPARE(manifest().state, state);
    const SpinManifest::Spin spin = manifest();
    QCOMPARE(spin.stateText, stateText);
    QVERIFY(spin.ended.isValid());
    QCOMPARE(spin.shots.size(), shots);
    QVERIFY(!recorder.titles.contains(QStringLiteral("Process complete.")));
}

void tst_SpinRun::startAfterAMoveRefusedWhilePaused()
{
    writeSpinSettings({"0.00", "90.00", "180.00"});
    createController(true);
    turntable->refuseRotationNumber = 2;
    camera->setHold(true);
    start();
    camera->releaseCapture();
    QTRY_COMPARE(camera->stems().size(), 2);
    // Paused while the camera works at 90: the refused move to 180 leaves the spin paused.
    send("turntableSpinStateChanged", 0);
    camera->releaseCapture();
    QTRY_VERIFY(recorder.titles.contains(QStringLiteral("Error occured.")));
    QTRY_COMPARE(manifest().state, QStringLiteral("failed"));
    const QString refusedSpin = controller->lastSpinFolder();

    // Start then begins a spin of its own, with a record, from the refused angle on.
    camera->setHold(false);
    start();
    finishSpin();
    QVERIFY(controller->lastSpinFolder() != refusedSpin);
    QCOMPARE(spinFolders().size(), 2);
    // The table stood at 90: that picture is named by 90, and the refused move is asked again.
    QCOMPARE(camera->stems().size(), 4);
    const QString images = controller->lastSpinFolder() + QStringLiteral("/originalCapturedImages/");
    QCOMPARE(camera->stems().mid(2), (QStringList{images + "02_90.0", images + "03_180.0"}));
    QCOMPARE(turntable->rotationTargets(), (QList<float>{90, 180, 180, 360}));
    QCOMPARE(manifest().state, QStringLiteral("finished"));
    QCOMPARE(log.count(QStringLiteral("spinStart")), 2);
}

QTEST_MAIN(tst_SpinRun)
#include "tst_spinrun.moc"
