#include "chostappspinwright.h"
#include "fakecamera.h"
#include "faketurntable.h"
#include "fixturelog.h"
#include "hosttestenvironment.h"
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

// What the stand-in dialogs are asked to show; a question passes itself, to be answered.
class MessageRecorder : public QObject
{
    Q_OBJECT

public:
    QStringList titles, texts;
    QList<QObject *> senders;

    Q_INVOKABLE void record(const QString &title, const QString &text, QObject *sender)
    {
        titles << title;
        texts << text;
        senders << sender;
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
    void cleanupTestCase() { pluginsList.reset(); }

    void spinRecord_data();
    void spinRecord();
    void tableWaitsForSlowCamera();
    void cameraFaultEndsSpin_data();
    void cameraFaultEndsSpin();
    void stopWhileCameraWorks();
    void spinEndIsRecorded_data();
    void spinEndIsRecorded();
    void startRefusedWithoutAngles_data();
    void startRefusedWithoutAngles();
    void manualCaptureWaitsForNext();
    void spinFolderCannotBeMade();
    void recordLostMidSpin();
    void chosenPicturesFolderIsUsedAndKept();
    void startAfterAMoveRefusedWhilePaused();

private:
    void createController(bool tethered, bool holdRotations = false);
    void writeSpinSettings(const QStringList &angles, bool manual = false, bool clockwise = true);
    void send(const char *signal, int value = 1);
    void waitFor(int ms);
    // The last value the stand-in page recorded under property.
    QVariant pageLast(const char *property) const
    {
        const QVariantList values = view->rootObject()->property(property).toList();
        return values.isEmpty() ? QVariant() : values.last();
    }
    SpinManifest::Spin manifest() const;
    QStringList spinFolders() const { return QDir(pictures.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot); }
    void finishSpin() { QTRY_VERIFY_WITH_TIMEOUT(recorder.titles.contains(QStringLiteral("Process complete.")), 20000); }

    QTemporaryDir home;
    QTemporaryDir pictures;
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
    setUpHostTestEnvironment(home.path());
    pluginsList.reset(new ZLPluginsList);
    globalQmlEngine()->rootContext()->setContextProperty(QStringLiteral("MessageRecorder"), &recorder);
}

void tst_SpinRun::init()
{
    QDir(ZLAbstractPlugin::applicationLocalDataDirectory()).removeRecursively();
    QDir(pictures.path()).removeRecursively();
    QVERIFY(QDir().mkpath(pictures.path()));
    log.clear();
    recorder.titles.clear();
    recorder.texts.clear();
    recorder.senders.clear();
}

void tst_SpinRun::cleanup()
{
    // The controller, a child of the view, deletes the fakes.
    view.reset();
    camera = nullptr;
}

void tst_SpinRun::createController(bool tethered, bool holdRotations)
{
    view.reset(new QQuickView(globalQmlEngine(), nullptr));
    view->setSource(QUrl(QStringLiteral("qrc:/test/TestPage.qml")));
    QCOMPARE(view->status(), QQuickView::Ready);
    view->create();
    turntable = new FakeTurntable(&log);
    turntable->setHoldRotations(holdRotations);
    ZLCameraHardware *spinCamera = tethered ? static_cast<ZLCameraHardware *>(camera = new ReportingFakeCamera(&log))
                                            : new FakeCamera(&log);
    controller = new CHostAppSpinwright(turntable, spinCamera, view.get());
    controller->programSettings().picturesFolder = pictures.path();
    send("turntableDeviceChanged", 0);
}

void tst_SpinRun::writeSpinSettings(const QStringList &angles, bool manual, bool clockwise)
{
    const QJsonObject settings{{"shootingAnglesList", QJsonArray::fromStringList(angles)}, {"shootingMode", 1},
                               {"preCaptureDelay", 0}, {"postCaptureDelay", 0}, {"clockwise", clockwise},
                               {"isManualCapture", manual}, {"videoDegrees", 360}};
    QVERIFY(TestFiles::write(QDir(ZLAbstractPlugin::applicationLocalDataDirectory()).filePath("TurntableSpins.json"),
                             QJsonDocument(settings).toJson()));
}

void tst_SpinRun::send(const char *signal, int value)
{
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), signal, Q_ARG(int, value)));
}

void tst_SpinRun::waitFor(int ms)
{
    bool over = false;
    QTimer::singleShot(ms, this, [&over] { over = true; });
    QTRY_VERIFY(over);
}

SpinManifest::Spin tst_SpinRun::manifest() const
{
    SpinManifest::Spin spin;
    QString error;
    if (!SpinManifest::read(controller->lastSpinFolder(), &spin, &error))
        qWarning("%s", qPrintable(error));
    return spin;
}

void tst_SpinRun::spinRecord_data()
{
    QTest::addColumn<QStringList>("angles");
    QTest::addColumn<bool>("clockwise");
    QTest::addColumn<bool>("tethered");
    QTest::addColumn<bool>("raw");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("8 pictures") << QStringList{"0.00", "45.00", "90.00", "135.00", "180.00", "225.00", "270.00", "315.00"}
                                << true << true << false
                                << QStringList{"01_0.0", "02_45.0", "03_90.0", "04_135.0", "05_180.0", "06_225.0", "07_270.0", "08_315.0"};
    // No picture at the start; a list ending where the spin began keeps its angle within one turn.
    QTest::newRow("from 10, counter-clockwise, ending at 360") << QStringList{"10.00", "130.00", "360.00"} << false
                                                                << true << false << QStringList{"01_10.0", "02_130.0", "03_0.0"};
    // The JPEG stays the thumbnail: the page cannot show the raw file.
    QTest::newRow("raw and JPEG") << QStringList{"0.00", "180.00"} << true << true << true << QStringList{"01_0.0", "02_180.0"};
    // The pictures stay on the card; the record keeps the times for the import.
    QTest::newRow("cable") << QStringList{"0.00", "90.00", "180.00"} << true << false << false << QStringList{"01_0.0", "02_90.0", "03_180.0"};
}

void tst_SpinRun::spinRecord()
{
    QFETCH(QStringList, angles);
    QFETCH(bool, clockwise);
    QFETCH(bool, tethered);
    QFETCH(bool, raw);
    QFETCH(QStringList, names);

    writeSpinSettings(angles, false, clockwise);
    createController(tethered);
    if (camera) {
        camera->delayMs = 20;
        camera->alsoRaw = raw;
    }
    QSignalSpy finished(controller, &CHostAppSpinwright::spinFinished);
    send("turntableSpinStateChanged");
    finishSpin();
    QCOMPARE(recorder.titles, QStringList{"Process complete."});
    const QString folder = controller->lastSpinFolder();
    QCOMPARE(finished.value(0).value(0).toString(), folder);
    QCOMPARE(QFileInfo(folder).absolutePath(), QFileInfo(pictures.path()).absoluteFilePath());

    const QDir images(folder + "/originalCapturedImages");
    QStringList stems;
    for (const QString &name : names)
        stems << images.filePath(name);
    QCOMPARE(images.entryList(QDir::Files).size(), tethered ? names.size() * (raw ? 2 : 1) : 0);
    if (camera) {
        QCOMPARE(camera->stems(), stems);
        for (const QString &stem : stems)
            QCOMPARE(TestFiles::read(stem + ".jpg"), camera->pictureBytes);
        QCOMPARE(pageLast("pictures").toString(), QUrl::fromLocalFile(stems.last() + ".jpg").toString());
    }
    QCOMPARE(pageLast("shotsTaken").toString(), QStringLiteral("%1/%1").arg(names.size()));

    const SpinManifest::Spin spin = manifest();
    QCOMPARE(spin.state, QStringLiteral("finished"));
    QCOMPARE(spin.stateText, QStringLiteral("360 Photography finished"));
    QVERIFY(spin.ended >= spin.created);
    QCOMPARE(spin.cameraKind, tethered ? QStringLiteral("tethered") : QStringLiteral("cable"));
    QCOMPARE(spin.turntableModel, QStringLiteral("Fake table A"));
    QCOMPARE(spin.countsPerRevolution, 3200);
    QCOMPARE(spin.direction, clockwise ? QStringLiteral("clockwise") : QStringLiteral("counterclockwise"));
    QVERIFY(spin.program.startsWith(QLatin1String("Spinwright v.3.0.")));
    QCOMPARE(spin.plannedAngles.size(), names.size());
    QCOMPARE(spin.shots.size(), names.size());
    for (int k = 0; k < names.size(); ++k) {
        const SpinManifest::Shot &shot = spin.shots[k];
        QStringList files;
        if (tethered)
            files << "originalCapturedImages/" + names[k] + ".jpg";
        if (raw)
            files << "originalCapturedImages/" + names[k] + ".cr3";
        QCOMPARE(shot.shot, k + 1);
        QCOMPARE(shot.angle, spin.plannedAngles[k]);
        QCOMPARE(shot.outcome, tethered ? QStringLiteral("captured") : QStringLiteral("triggered"));
        QCOMPARE(shot.files, files);
        QVERIFY(shot.time >= (k ? spin.shots[k - 1].time : spin.created));
    }
}

void tst_SpinRun::tableWaitsForSlowCamera()
{
    writeSpinSettings({"0.00", "90.00", "180.00"});
    createController(true);
    camera->setHold(true);
    send("turntableSpinStateChanged");
    QTRY_COMPARE(camera->stems().size(), 1);

    // However long the camera works, the table stays; a pause and resume adds no second cycle.
    waitFor(300);
    send("turntableSpinStateChanged", 0);
    send("turntableSpinStateChanged", 1);
    QVERIFY(turntable->rotationTargets().isEmpty());
    QCOMPARE(camera->stems().size(), 1);
    QVERIFY(controller->isSpinRunning());

    camera->releaseCapture();
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

    QTest::newRow("capture refused") << ReportingFakeCamera::Fault::Refuse << "Capture failed" << "Fake camera busy" << "failed";
    QTest::newRow("capture failed") << ReportingFakeCamera::Fault::Fail << "Capture failed" << "Fake card full" << "failed";
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
    send("turntableSpinStateChanged");
    QTRY_VERIFY(!recorder.titles.isEmpty());
    QCOMPARE(recorder.titles, QStringList{title});
    QCOMPARE(recorder.texts, QStringList{text});

    // Ended as Stop ends it: nothing turns on, the page and the panels are back.
    QTRY_COMPARE(pageLast("resets"), QVariant(true));
    QCOMPARE(log.snapshot().last(), QStringLiteral("stopRotation"));
    QCOMPARE(turntable->rotationTargets(), QList<float>{90});
    QCOMPARE(camera->stems().size(), 2);
    QVERIFY(!controller->isSpinRunning());

    // The record says which shots exist; the failed one's reason is kept even after the end.
    QTRY_COMPARE(manifest().shots.value(1).outcome, QStringLiteral("failed"));
    const SpinManifest::Spin spin = manifest();
    QCOMPARE(spin.state, state);
    QCOMPARE(spin.stateText, text);
    QCOMPARE(spin.shots.size(), 2);
    QCOMPARE(spin.shots[0].files, QStringList{"originalCapturedImages/01_0.0.jpg"});
    QCOMPARE(spin.shots[1].error, text);
    QCOMPARE(QDir(controller->lastSpinFolder() + "/originalCapturedImages").entryList(QDir::Files),
             QStringList{"01_0.0.jpg"});
}

void tst_SpinRun::stopWhileCameraWorks()
{
    writeSpinSettings({"0.00", "90.00"});
    createController(true);
    camera->setHold(true);
    send("turntableSpinStateChanged");
    QTRY_COMPARE(camera->stems().size(), 1);

    send("turntableSpinStateChanged", -1);
    QVERIFY(!controller->isSpinRunning());
    QCOMPARE(manifest().state, QStringLiteral("stopped"));
    QCOMPARE(manifest().shots.value(0).outcome, QStringLiteral("triggered"));

    // The picture that comes late is recorded, and starts nothing.
    camera->releaseCapture();
    QTRY_COMPARE(manifest().shots.value(0).files, QStringList{"originalCapturedImages/01_0.0.jpg"});
    QCOMPARE(manifest().shots.value(0).outcome, QStringLiteral("captured"));
    QCOMPARE(manifest().state, QStringLiteral("stopped"));
    waitFor(50);
    QVERIFY(turntable->rotationTargets().isEmpty());
    QCOMPARE(camera->stems().size(), 1);
    QVERIFY(recorder.titles.isEmpty());
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
    createController(false, how != "refuse");
    turntable->refuseRotationNumber = how == "refuse" ? 2 : 0;
    send("turntableSpinStateChanged");
    if (how == "refuse") {
        QTRY_VERIFY(recorder.titles.contains("Error occured."));
    } else {
        QTRY_COMPARE(turntable->rotationTargets(), QList<float>{90});
        if (how == "unplug") {
            turntable->disconnect();
        } else {
            QVERIFY(!view->close());
            QCOMPARE(recorder.titles, QStringList{"Stop the spin?"});
            QVERIFY(QMetaObject::invokeMethod(recorder.senders.first(), "answered", Q_ARG(bool, true)));
        }
    }
    QTRY_COMPARE(manifest().state, state);
    QCOMPARE(manifest().stateText, stateText);
    QVERIFY(manifest().ended.isValid());
    QCOMPARE(manifest().shots.size(), shots);
    QVERIFY(!recorder.titles.contains("Process complete."));
}

void tst_SpinRun::startRefusedWithoutAngles_data()
{
    QTest::addColumn<QStringList>("angles");
    QTest::addColumn<bool>("manual");

    QTest::newRow("empty custom list") << QStringList() << false;
    QTest::newRow("custom list emptied by hand") << QStringList{"0.00", "90.00"} << false;
    QTest::newRow("manual capture, empty list") << QStringList() << true;
}

void tst_SpinRun::startRefusedWithoutAngles()
{
    QFETCH(QStringList, angles);
    QFETCH(bool, manual);

    writeSpinSettings(angles, manual);
    createController(true);
    if (!angles.isEmpty()) {
        // The editor's delete button.
        auto *editor = qvariant_cast<QQuickItem *>(view->rootObject()->property("spinsUiItem"));
        QVERIFY(editor && QMetaObject::invokeMethod(editor, "customAngleAdded", Q_ARG(QString, QString())));
    }
    send("turntableSpinStateChanged");

    QCOMPARE(recorder.titles, QStringList{"Wrong settings."});
    QVERIFY2(recorder.texts.first().contains("angle"), qPrintable(recorder.texts.first()));
    QTRY_COMPARE(pageLast("resets"), QVariant(true));
    QVERIFY(turntable->rotationTargets().isEmpty());
    QCOMPARE(log.count("spinStart"), 0);
    QVERIFY(!controller->isSpinRunning());
    QVERIFY(spinFolders().isEmpty());
}

void tst_SpinRun::manualCaptureWaitsForNext()
{
    writeSpinSettings({"0.00", "90.00", "180.00"}, true);
    createController(true);
    send("turntableSpinStateChanged");
    for (int shot = 1; shot <= 3; ++shot) {
        QTRY_COMPARE(view->rootObject()->property("nextWaits").toList().size(), 2 * shot - 1);
        QCOMPARE(pageLast("nextWaits"), QVariant(true));
        // Standing at the angle until the user says Next.
        waitFor(50);
        QCOMPARE(turntable->rotationTargets().size(), shot - 1);
        QVERIFY(controller->isSpinRunning());
        QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "nextShotRequested"));
        QCOMPARE(pageLast("nextWaits"), QVariant(false));
        QCOMPARE(pageLast("shotsTaken").toString(), QStringLiteral("%1/3").arg(shot));
    }
    finishSpin();
    QCOMPARE(turntable->rotationTargets(), (QList<float>{90, 180, 360}));
    QVERIFY(camera->stems().isEmpty());
    QVERIFY(manifest().manualCapture);
    QCOMPARE(manifest().shots.size(), 3);

    // A Next with nothing to wait for does nothing.
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "nextShotRequested"));
    QCOMPARE(turntable->rotationTargets().size(), 3);
}

void tst_SpinRun::spinFolderCannotBeMade()
{
    writeSpinSettings({"0.00", "90.00"});
    createController(true);
    const QString blocker = pictures.filePath("not a folder");
    QVERIFY(TestFiles::write(blocker, "x"));
    controller->programSettings().picturesFolder = blocker + "/Spinwright";
    send("turntableSpinStateChanged");

    QCOMPARE(recorder.titles, QStringList{"Spin folder"});
    QVERIFY2(recorder.texts.first().contains(blocker + "/Spinwright") && recorder.texts.first().contains("is a file"),
             qPrintable(recorder.texts.first()));
    QTRY_COMPARE(pageLast("resets"), QVariant(true));
    QVERIFY(turntable->rotationTargets().isEmpty());
    QVERIFY(camera->stems().isEmpty());
    QVERIFY(!controller->isSpinRunning());
}

void tst_SpinRun::recordLostMidSpin()
{
    writeSpinSettings({"0.00", "90.00", "180.00"});
    createController(false, true);
    send("turntableSpinStateChanged");
    QTRY_COMPARE(turntable->rotationTargets(), QList<float>{90});
    QVERIFY(QDir(controller->lastSpinFolder()).removeRecursively());

    // The next shot cannot be recorded: the spin ends rather than go on without a record.
    turntable->releaseRotation();
    QTRY_COMPARE(recorder.titles, QStringList{"Spin record"});
    QVERIFY2(recorder.texts.first().contains("spin.json"), qPrintable(recorder.texts.first()));
    QCOMPARE(log.count("capture"), 1);
    QVERIFY(!controller->isSpinRunning());
    QCOMPARE(turntable->rotationTargets(), QList<float>{90});
}

void tst_SpinRun::chosenPicturesFolderIsUsedAndKept()
{
    writeSpinSettings({"0.00"});
    QVERIFY(TestFiles::write(CHostAppSpinwright::settingsFilePath(),
                             QJsonDocument(QJsonObject{{"picturesFolder", pictures.path()}}).toJson()));
    createController(false);
    QCOMPARE(view->rootObject()->property("picturesFolder").toString(), pictures.path());
    const QString chosen = pictures.filePath("chosen/spins");
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "picturesFolderChosen", Q_ARG(QUrl, QUrl::fromLocalFile(chosen))));
    QCOMPARE(view->rootObject()->property("picturesFolder").toString(), chosen);
    send("turntableSpinStateChanged");
    finishSpin();
    QCOMPARE(QFileInfo(controller->lastSpinFolder()).absolutePath(), chosen);

    controller->applicationClosing();
    QCOMPARE(TestFiles::readJsonObject(CHostAppSpinwright::settingsFilePath()).value("picturesFolder").toString(), chosen);
}

void tst_SpinRun::startAfterAMoveRefusedWhilePaused()
{
    writeSpinSettings({"0.00", "90.00", "180.00"});
    createController(true);
    turntable->refuseRotationNumber = 2;
    camera->setHold(true);
    send("turntableSpinStateChanged");
    camera->releaseCapture();
    QTRY_COMPARE(camera->stems().size(), 2);
    // Paused while the camera works at 90: the refused move to 180 leaves the spin paused.
    send("turntableSpinStateChanged", 0);
    camera->releaseCapture();
    QTRY_COMPARE(manifest().state, QStringLiteral("failed"));
    const QString refusedSpin = controller->lastSpinFolder();

    // Start then begins a spin with a record of its own. The table stood at 90: that picture is
    // named by 90, and the refused move is asked for again.
    camera->setHold(false);
    send("turntableSpinStateChanged");
    finishSpin();
    QVERIFY(controller->lastSpinFolder() != refusedSpin);
    const QString images = controller->lastSpinFolder() + "/originalCapturedImages/";
    QCOMPARE(camera->stems().mid(2), (QStringList{images + "02_90.0", images + "03_180.0"}));
    QCOMPARE(turntable->rotationTargets(), (QList<float>{90, 180, 180, 360}));
    QCOMPARE(manifest().state, QStringLiteral("finished"));
}

QTEST_MAIN(tst_SpinRun)
#include "tst_spinrun.moc"
