#include "e2eprogram.h"
#include "vcdtrace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>

namespace {

// The custom turntable the scenarios set up: a short revolution keeps each spin brief.
constexpr int countsPerRevolution = 80;

QJsonObject readJsonObject(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace

// Starts the built program with the real turntable plug-in on a simulated board that carries
// no identity record, so that every model is offered, and lets the test plug-in play the user.
class tst_E2ESpin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fixedCountSpin();
    void customAnglesWithManualCapture();
    void stoppedSpinKeepsSettings();

private:
    E2ERun run(const QTemporaryDir &root, const QString &scenario, const QString &trace);
    static QString dataFile(const QTemporaryDir &root, const char *name)
    {
        return root.filePath(QStringLiteral("home/.local/share/Marvolix/Spinwright/")) + QLatin1String(name);
    }

    QTemporaryDir programDir;
};

void tst_E2ESpin::initTestCase()
{
    QVERIFY(programDir.isValid());
    QVERIFY(copyProgram(programDir.path(), QStringLiteral(SPINWRIGHT_PROGRAM), QStringLiteral(ZENLYTESDK_LIBRARY_FILE),
                        {QStringLiteral(TURNTABLE_PLUGIN), QStringLiteral(E2E_DRIVER_PLUGIN)}));
}

E2ERun tst_E2ESpin::run(const QTemporaryDir &root, const QString &scenario, const QString &trace)
{
    QProcessEnvironment env = e2eEnvironment(root.path(), scenario);
    env.insert(QStringLiteral("SPINWRIGHT_D2XX_SIM"), QStringLiteral("plain"));
    env.insert(QStringLiteral("SPINWRIGHT_D2XX_VCD"), root.filePath(trace));
    const E2ERun result = runE2EProgram(QDir(programDir.path()).filePath(QStringLiteral("Spinwright")), env);
    qInfo("%s took %lld ms", qPrintable(scenario), result.elapsedMs);
    return result;
}

void tst_E2ESpin::fixedCountSpin()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const E2ERun result = run(root, QStringLiteral("spin-360"), QStringLiteral("trace.vcd"));
    QVERIFY2(result.exitCode == 0, qPrintable(result.describe()));
    QCOMPARE(result.value(QStringLiteral("angles")),
             QStringLiteral("0.00 45.00 90.00 135.00 180.00 225.00 270.00 315.00"));
    QCOMPARE(result.value(QStringLiteral("dialog")), QStringLiteral("Process complete. | 360 Photography finished"));
    QCOMPARE(result.state().value(QStringLiteral("start")), QStringLiteral("true"));

    const VcdTrace trace = readStepperTrace(root.filePath(QStringLiteral("trace.vcd")), true, true);
    const QString differs = checkEvenSpin(trace, countsPerRevolution, 8, true);
    QVERIFY2(differs.isEmpty(), qPrintable(differs));
}

void tst_E2ESpin::customAnglesWithManualCapture()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const E2ERun result = run(root, QStringLiteral("spin-custom-manual"), QStringLiteral("trace.vcd"));
    QVERIFY2(result.exitCode == 0, qPrintable(result.describe()));
    QCOMPARE(result.value(QStringLiteral("angles")), QStringLiteral("30.00 90.00 200.00"));
    QCOMPARE(result.value(QStringLiteral("dialog")), QStringLiteral("Process complete. | 360 Photography finished"));
    QCOMPARE(result.state().value(QStringLiteral("manual")), QStringLiteral("true"));

    const VcdTrace trace = readStepperTrace(root.filePath(QStringLiteral("trace.vcd")), true, true);
    QVERIFY2(trace.valid, qPrintable(trace.error));
    QVERIFY2(trace.exposures.isEmpty(), qPrintable(QString::number(trace.exposures.size())));
    // The table still visits every angle and closes the turn.
    QVERIFY2(std::abs(trace.position + countsPerRevolution) <= 1, qPrintable(QString::number(trace.position)));
}

void tst_E2ESpin::stoppedSpinKeepsSettings()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const E2ERun stopped = run(root, QStringLiteral("spin-stop"), QStringLiteral("stopped.vcd"));
    QVERIFY2(stopped.exitCode == 0, qPrintable(stopped.describe()));
    QVERIFY2(stopped.value(QStringLiteral("dialog")).isEmpty(), qPrintable(stopped.describe()));

    // Every picture the page counted was taken, and none after the stop.
    const double progress = stopped.value(QStringLiteral("progress at stop")).toDouble();
    const int pictures = qRound(progress * 8);
    QVERIFY2(pictures >= 2 && pictures < 8, qPrintable(stopped.describe()));
    const VcdTrace trace = readStepperTrace(root.filePath(QStringLiteral("stopped.vcd")), true, true);
    QVERIFY2(trace.valid, qPrintable(trace.error));
    QCOMPARE(trace.exposures.size(), pictures);
    // Counterclockwise counts up.
    QVERIFY2(std::abs(trace.exposures.last() - (pictures - 1) * countsPerRevolution / 8) <= 1,
             qPrintable(QString::number(trace.exposures.last())));
    QVERIFY(trace.position < countsPerRevolution);

    const QJsonObject host = readJsonObject(dataFile(root, "Spinwright.json"));
    QVERIFY2(host.value(QStringLiteral("lastUsedTurntableIndex-v3")).isDouble(), "Spinwright.json");
    QCOMPARE(host.value(QStringLiteral("lastUsedTurntableIndex-v3")).toInt(-1), 0);
    const QJsonObject spins = readJsonObject(dataFile(root, "TurntableSpins.json"));
    QCOMPARE(spins.value(QStringLiteral("clockwise")), QJsonValue(false));
    QCOMPARE(spins.value(QStringLiteral("shootingAnglesList")).toArray().size(), 8);
    QVERIFY(qAbs(spins.value(QStringLiteral("postCaptureDelay")).toDouble() - 0.3) < 1e-6);
    const QJsonObject turntable = readJsonObject(dataFile(root, "MarvolixTurntable-v3.json"));
    QCOMPARE(turntable.value(QStringLiteral("rotationSpeed")).toInt(), 9);
    QCOMPARE(turntable.value(QStringLiteral("isLockTableWhenIdle")), QJsonValue(true));
    QCOMPARE(turntable.value(QStringLiteral("customTurntableAdvancedSettings")).toObject()
                 .value(QStringLiteral("stepsPerRevolutionText")).toString(),
             QString::number(countsPerRevolution));

    // The next start reopens the custom turntable by itself and shows the same values.
    const E2ERun reloaded = run(root, QStringLiteral("reload"), QStringLiteral("reloaded.vcd"));
    QVERIFY2(reloaded.exitCode == 0, qPrintable(reloaded.describe()));
    const QMap<QString, QString> before = stopped.state();
    QCOMPARE(before.value(QStringLiteral("counts")), QString::number(countsPerRevolution));
    QCOMPARE(before.value(QStringLiteral("clockwise")), QStringLiteral("false"));
    QCOMPARE(before.value(QStringLiteral("ramp")), QStringLiteral("250"));
    QCOMPARE(before.value(QStringLiteral("lock")), QStringLiteral("true"));
    QCOMPARE(reloaded.state(), before);
}

QTEST_GUILESS_MAIN(tst_E2ESpin)
#include "tst_e2e_spin.moc"
