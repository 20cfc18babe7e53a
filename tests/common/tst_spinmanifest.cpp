#include "spinmanifest.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

class tst_SpinManifest : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip();
    void refusesHandEdits_data();
    void refusesHandEdits();
    void pictureStem_data();
    void pictureStem();
    void spinFoldersNeverShared();
};

namespace {

SpinManifest::Spin sampleSpin()
{
    SpinManifest::Spin spin;
    spin.program = QStringLiteral("Spinwright v.3.0.1");
    spin.created = QDateTime(QDate(2026, 12, 10), QTime(17, 30, 5, 120), Qt::OffsetFromUTC, 3600);
    spin.turntableModel = QStringLiteral("Gemline");
    spin.countsPerRevolution = 3200;
    spin.cameraName = QStringLiteral("Test Camera (USB 001,004)");
    spin.cameraKind = QStringLiteral("tethered");
    spin.direction = QStringLiteral("counterclockwise");
    spin.speed = 9;
    spin.preCaptureDelay = 0.5;
    spin.postCaptureDelay = 1.25;
    spin.plannedAngles = {0.0, 22.5, 45.0};
    SpinManifest::Shot shot;
    shot.shot = 2;
    shot.angle = 22.5;
    shot.time = spin.created.addMSecs(2500);
    shot.files = QStringList{QStringLiteral("originalCapturedImages/02_22.5.jpg"),
                             QStringLiteral("originalCapturedImages/02_22.5.cr3")};
    shot.outcome = QStringLiteral("captured");
    spin.shots.append(shot);
    return spin;
}

} // namespace

void tst_SpinManifest::roundTrip()
{
    QTemporaryDir dir;
    const SpinManifest::Spin spin = sampleSpin();
    QString error;
    QVERIFY2(SpinManifest::write(dir.path(), spin, &error), qPrintable(error));
    SpinManifest::Spin back;
    QVERIFY2(SpinManifest::read(dir.path(), &back, &error), qPrintable(error));
    QCOMPARE(SpinManifest::toJson(back), SpinManifest::toJson(spin));
    QCOMPARE(back.shots.value(0).time, spin.shots[0].time);
    QCOMPARE(back.shots.value(0).time.offsetFromUtc(), 3600);
}

void tst_SpinManifest::refusesHandEdits_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("json");
    QTest::newRow("newer format") << "format" << R"({"format": 2})";
    QTest::newRow("fractional format") << "format" << R"({"format": 1.5})";
    QTest::newRow("unknown state") << "state" << R"({"state": "done"})";
    QTest::newRow("speed beyond bounds") << "speed" << R"({"speed": 1e300})";
    QTest::newRow("negative delay") << "preCaptureDelay" << R"({"preCaptureDelay": -1})";
    QTest::newRow("delay as text") << "postCaptureDelay" << R"({"postCaptureDelay": "1"})";
    QTest::newRow("angle of a full turn") << "plannedAngles" << R"({"plannedAngles": [0, 360]})";
    QTest::newRow("shot angle negative") << "angle" << R"({"shots": [{"shot": 1, "angle": -45}]})";
    QTest::newRow("shot without number") << "shot" << R"({"shots": [{"angle": 0}]})";
    QTest::newRow("bad time") << "time" << R"({"shots": [{"shot": 1, "time": "yesterday"}]})";
    QTest::newRow("file escaping the folder") << "files"
        << R"({"shots": [{"shot": 1, "files": ["originalCapturedImages/../../etc/passwd"]}]})";
    QTest::newRow("absolute file") << "files" << R"({"shots": [{"shot": 1, "files": ["/etc/passwd"]}]})";
    QTest::newRow("file beside the pictures") << "files" << R"({"shots": [{"shot": 1, "files": ["spin.json"]}]})";
    QTest::newRow("backslash in a file") << "files"
        << R"({"shots": [{"shot": 1, "files": ["originalCapturedImages\\..\\x.jpg"]}]})";
    QTest::newRow("turntable not an object") << "turntable" << R"({"turntable": 3})";
    QTest::newRow("camera kind") << "kind" << R"({"camera": {"kind": "phone"}})";
}

void tst_SpinManifest::refusesHandEdits()
{
    QFETCH(QString, key);
    QFETCH(QString, json);
    QTemporaryDir dir;
    QFile file(QDir(dir.path()).filePath(QStringLiteral("spin.json")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(json.toUtf8());
    file.close();
    SpinManifest::Spin spin;
    QString error;
    QVERIFY(!SpinManifest::read(dir.path(), &spin, &error));
    QVERIFY2(error.contains(QLatin1Char('"') + key + QLatin1Char('"')), qPrintable(error));
}

void tst_SpinManifest::pictureStem_data()
{
    QTest::addColumn<int>("shot");
    QTest::addColumn<double>("angle");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("stem");
    QTest::newRow("two digits") << 7 << 135.0 << 8 << "07_135.0";
    QTest::newRow("fraction") << 2 << 22.5 << 16 << "02_22.5";
    QTest::newRow("three digits") << 7 << 6.0 << 360 << "007_6.0";
}

void tst_SpinManifest::pictureStem()
{
    QFETCH(int, shot);
    QFETCH(double, angle);
    QFETCH(int, count);
    QFETCH(QString, stem);
    QCOMPARE(SpinManifest::pictureStem(shot, angle, count), stem);
}

void tst_SpinManifest::spinFoldersNeverShared()
{
    QTemporaryDir root;
    const QDateTime start(QDate(2026, 12, 10), QTime(9, 5, 7));
    QString error;
    const QString first = SpinManifest::makeSpinFolder(root.path() + QStringLiteral("/Spinwright"), start, &error);
    const QString second = SpinManifest::makeSpinFolder(root.path() + QStringLiteral("/Spinwright"), start, &error);
    QVERIFY2(!first.isEmpty() && !second.isEmpty(), qPrintable(error));
    QVERIFY(first != second);
    QCOMPARE(QFileInfo(first).fileName(), QStringLiteral("2026-12-10_09-05-07"));
    QCOMPARE(QFileInfo(second).fileName(), QStringLiteral("2026-12-10_09-05-07-2"));
    QVERIFY(QDir(second).exists(QStringLiteral("originalCapturedImages")));

    SpinManifest::Spin spin;
    QVERIFY(!SpinManifest::read(first, &spin, &error));
    QVERIFY2(error.contains(QStringLiteral("not a spin folder")), qPrintable(error));
}

QTEST_GUILESS_MAIN(tst_SpinManifest)
#include "tst_spinmanifest.moc"
