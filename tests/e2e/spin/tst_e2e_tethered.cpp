#include "e2eprogram.h"
#include "emulatedptpcamera.h"
#include "spinmanifest.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// Starts the built program as `scripts/run --demo-camera` does: the turntable simulated, a PTP
// camera emulated on the USB interface in this process, found and driven by the real
// TetheredCamera.so through libgphoto2 in the program.
class tst_E2ETethered : public QObject
{
    Q_OBJECT

private slots:
    void eightPicturesInTheSpinFolder();
};

void tst_E2ETethered::eightPicturesInTheSpinFolder()
{
    QVERIFY(EmulatedPtpCamera::available());
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString programDir = root.filePath(QStringLiteral("program"));
    QVERIFY(copyProgram(programDir, QStringLiteral(SPINWRIGHT_PROGRAM), QStringLiteral(ZENLYTESDK_LIBRARY_FILE),
                        {QStringLiteral(TURNTABLE_PLUGIN), QStringLiteral(TETHERED_PLUGIN),
                         QStringLiteral(E2E_DRIVER_PLUGIN)}));

    EmulatedPtpCamera &bus = EmulatedPtpCamera::instance();
    bus.reset();
    const int slot = bus.plug();
    // A camera that takes its time: the table must wait for every picture.
    bus.setTiming(slot, std::chrono::milliseconds(150), std::chrono::milliseconds(50));

    QProcessEnvironment env = e2eEnvironment(root.path(), QStringLiteral("spin-tethered"));
    env.insert(QStringLiteral("SPINWRIGHT_D2XX_SIM"), QStringLiteral("plain"));
    QVERIFY(env.contains(QStringLiteral("UMOCKDEV_DIR")));
    const E2ERun result = runE2EProgram(QDir(programDir).filePath(QStringLiteral("Spinwright")), env, 540000);
    qInfo("the spin took %lld ms", result.elapsedMs);
    QVERIFY2(result.exitCode == 0, qPrintable(result.describe()));
    QVERIFY2(result.value(QStringLiteral("camera")).contains(QLatin1String("(USB ")), qPrintable(result.describe()));
    QCOMPARE(result.value(QStringLiteral("dialog")), QStringLiteral("Process complete. | 360 Photography finished"));
    // "Show the spin" opened the viewer at the spin's first shot.
    QVERIFY2(result.value(QStringLiteral("viewer")).contains(QLatin1String("1 of 8")), qPrintable(result.describe()));

    const QDir pictures(root.filePath(QStringLiteral("home/Pictures/Spinwright")));
    const QStringList spins = pictures.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(spins.size(), 1);
    const QString folder = pictures.filePath(spins.first());
    SpinManifest::Spin spin;
    QString error;
    QVERIFY2(SpinManifest::read(folder, &spin, &error), qPrintable(error));
    QCOMPARE(spin.state, QStringLiteral("finished"));
    QCOMPARE(spin.cameraKind, QStringLiteral("tethered"));
    QCOMPARE(spin.shots.size(), 8);

    // The card keeps every picture; the folder holds each under its shot and angle, byte for byte.
    const std::vector<EmulatedPtpCamera::StoredObject> card = bus.objects(slot);
    QCOMPARE(card.size(), size_t(8));
    const QStringList stored = QDir(folder + QStringLiteral("/originalCapturedImages")).entryList(QDir::Files);
    QCOMPARE(stored.size(), 8);
    for (int i = 0; i < 8; ++i) {
        const SpinManifest::Shot &shot = spin.shots[i];
        QCOMPARE(shot.outcome, QStringLiteral("captured"));
        QCOMPARE(shot.angle, 45.0 * i);
        const QString name = SpinManifest::pictureStem(shot.shot, shot.angle, 8) + QStringLiteral(".jpg");
        QCOMPARE(shot.files, QStringList{QStringLiteral("originalCapturedImages/") + name});
        QFile file(folder + QStringLiteral("/originalCapturedImages/") + name);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(name));
        const QByteArray bytes = file.readAll();
        QVERIFY2(bytes == QByteArray(reinterpret_cast<const char *>(card[size_t(i)].bytes.data()),
                                     int(card[size_t(i)].bytes.size())),
                 qPrintable(name));
    }
}

QTEST_GUILESS_MAIN(tst_E2ETethered)
#include "tst_e2e_tethered.moc"
