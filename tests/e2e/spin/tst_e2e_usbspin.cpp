#include "e2eprogram.h"
#include "emulatedft245r.h"
#include "vcdtrace.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// The Gemline, row 2 of the model table: 6400 counts a turn, enable high, clockwise low.
constexpr int gemlineRow = 2;
constexpr int countsPerRevolution = 6400;

} // namespace

// Starts the built program as `scripts/run --hardware` does, on the libftdi1 back end, with an
// identified Gemline on an FT245R emulated in this process; the board's line dump is written
// here, where the board is, and read as the simulated spin's is.
class tst_E2EUsbSpin : public QObject
{
    Q_OBJECT

private slots:
    void identifiedGemlineSpin();
};

void tst_E2EUsbSpin::identifiedGemlineSpin()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString programDir = root.filePath(QStringLiteral("program"));
    QVERIFY(copyProgram(programDir, QStringLiteral(SPINWRIGHT_PROGRAM), QStringLiteral(ZENLYTESDK_LIBRARY_FILE),
                        {QStringLiteral(TURNTABLE_PLUGIN), QStringLiteral(E2E_DRIVER_PLUGIN)}));

    d2xxsim::reset();
    QVERIFY(d2xxsim::attach("turntable:" + std::to_string(gemlineRow)));
    d2xxsim::setClockwiseActiveHigh(0, false);
    const QString dump = root.filePath(QStringLiteral("trace.vcd"));
    QVERIFY(d2xxsim::setVcdFile(dump.toStdString()));

    // The child inherits the testbed (UMOCKDEV_DIR) and the preload, so it reaches this chip.
    QProcessEnvironment env = e2eEnvironment(root.path(), QStringLiteral("spin-identified"));
    env.remove(QStringLiteral("SPINWRIGHT_D2XX_SIM"));
    QVERIFY(env.contains(QStringLiteral("UMOCKDEV_DIR")));
    const E2ERun result = runE2EProgram(QDir(programDir).filePath(QStringLiteral("Spinwright")), env, 540000);
    qInfo("the spin took %lld ms", result.elapsedMs);
    d2xxsim::flushVcd();
    QVERIFY2(result.exitCode == 0, qPrintable(result.describe()));
    QCOMPARE(result.value(QStringLiteral("angles")),
             QStringLiteral("0.00 45.00 90.00 135.00 180.00 225.00 270.00 315.00"));
    QCOMPARE(result.value(QStringLiteral("dialog")), QStringLiteral("Process complete. | 360 Photography finished"));
    QCOMPARE(result.state().value(QStringLiteral("device")), QStringLiteral("Marvolix Gemline"));

    const QString differs = checkEvenSpin(readStepperTrace(dump, true, false), countsPerRevolution, 8, true);
    QVERIFY2(differs.isEmpty(), qPrintable(differs));
}

QTEST_GUILESS_MAIN(tst_E2EUsbSpin)
#include "tst_e2e_usbspin.moc"
