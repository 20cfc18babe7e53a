#include "panelfixture.h"

#include "d2xxsim.h"
#include "zlmarvolixturntablecontrol.h"

#include <QtTest>

#include <QFile>
#include <QQmlProperty>
#include <QQuickItem>
#include <QQuickView>

namespace {

constexpr uint8_t enableLine = 0x01;

} // namespace

class tst_TurntableUi : public PanelFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void startState();
    void iconsAreLoaded();
    void nudgeTurnsByTheFieldsAngle_data();
    void nudgeTurnsByTheFieldsAngle();
    void playTurnsUntilStopped_data();
    void playTurnsUntilStopped();
    void previewWithoutTurntableChangesNothing();
    void lockBoxDrivesTheEnableLine();
    void speedSliderSetsTheMotorsDelay();
    void rampSpinBoxSetsTheMotorsRamp();
    void decimalCommaRampReachesTheSpin();
    void storedRampWithAnotherSeparatorLoads_data();
    void storedRampWithAnotherSeparatorLoads();
    void deviceRowsSetTheControls();
    void customCountsFieldReachesTheBoard();
    void importMenuFillsTheCustomSettings();
    void triggerButtonExposes();

};

void tst_TurntableUi::initTestCase()
{
    setUpCase();
}

void tst_TurntableUi::cleanupTestCase()
{
    tearDownCase();
}

void tst_TurntableUi::init()
{
    setUpTest();
}

void tst_TurntableUi::cleanup()
{
    tearDownTest();
}

void tst_TurntableUi::startState()
{
    QVERIFY(d2xxsim::attach("plain"));
    QVERIFY(createPanel());

    QCOMPARE(find("tabBar")->property("currentIndex").toInt(), 0);
    QCOMPARE(find("rotationSpeedSlider")->property("value").toDouble(), 0.0);
    QCOMPARE(find("rampUpDegreesSpinBox")->property("value").toInt(), 100);
    QCOMPARE(find("rampUpDegreesSpinBox")->property("displayText").toString(), QString("1.00"));
    QVERIFY(!find("lockTableWhenIdleCheckBox")->property("checked").toBool());
    QCOMPARE(find("counterclockwiseAngleField")->property("text").toString(), QString("360"));
    QCOMPARE(find("clockwiseAngleField")->property("text").toString(), QString("360"));
    QVERIFY(!isEnabled("stopButton"));
    QVERIFY(isEnabled("clockwisePlayButton"));
    QCOMPARE(find("stepsPerRevolutionField")->property("text").toString(), QString());
    QVERIFY(find("clockwiseActiveLowButton")->property("checked").toBool());
    QVERIFY(find("motorEnableActiveLowButton")->property("checked").toBool());
    QVERIFY(isEnabled("advancedTurntableSettingsGroup"));

    // The nine standard models are offered for import, "Marvolix Essential" first.
    QObject *menu = panel->findChild<QObject *>("importMenu");
    QVERIFY(menu);
    QTRY_COMPARE(QQmlProperty::read(menu, "count").toInt(), 9);
    QQuickItem *first = nullptr;
    QVERIFY(QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem *, first), Q_ARG(int, 0)));
    QVERIFY(first);
    QCOMPARE(first->property("text").toString(), QString("Marvolix Essential"));
}

void tst_TurntableUi::iconsAreLoaded()
{
    QVERIFY(createPanel());
    for (const char *name : {"counterclockwiseNudgeButton", "counterclockwisePlayButton", "stopButton",
                             "clockwisePlayButton", "clockwiseNudgeButton"}) {
        QQuickItem *button = find(name);
        QVERIFY2(button, name);
        QQuickItem *image = nullptr;
        for (QQuickItem *child : button->findChildren<QQuickItem *>()) {
            if (child->property("status").isValid() && child->property("source").isValid())
                image = child;
        }
        QVERIFY2(image, name);
        // Image.Ready: the resource exists and decodes.
        QTRY_COMPARE(image->property("status").toInt(), 1);
        QCOMPARE(image->width(), 32.0);
        QVERIFY(button->implicitWidth() >= 36.0);
    }
}

void tst_TurntableUi::nudgeTurnsByTheFieldsAngle_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("angle");
    QTest::addColumn<int>("counts");

    // Row 2 has 6400 counts per turn.
    QTest::newRow("counterclockwise 90") << QByteArray("counterclockwiseNudgeButton")
                                         << QByteArray("counterclockwiseAngleField") << "90" << 1600;
    QTest::newRow("clockwise 45") << QByteArray("clockwiseNudgeButton") << QByteArray("clockwiseAngleField")
                                  << "45" << -800;
}

void tst_TurntableUi::nudgeTurnsByTheFieldsAngle()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArray, field);
    QFETCH(QString, angle);
    QFETCH(int, counts);

    QVERIFY(d2xxsim::attach("plain"));
    d2xxsim::setClockwiseActiveHigh(0, false);
    QVERIFY(createPanel());
    QVERIFY(openRow(2));

    typeInto(find(field.constData()), angle);
    click(find(button.constData()));

    QVERIFY(control->motor()->isRotating());
    QVERIFY(isEnabled("stopButton"));
    for (const char *start : {"counterclockwiseNudgeButton", "counterclockwisePlayButton", "clockwisePlayButton",
                              "clockwiseNudgeButton"})
        QVERIFY2(!isEnabled(start), start);

    // The end of the move re-enables the start buttons by itself.
    QTRY_VERIFY_WITH_TIMEOUT(!isEnabled("stopButton"), 30000);
    QVERIFY(isEnabled(button.constData()));
    QVERIFY(isEnabled("clockwisePlayButton"));
    QCOMPARE(d2xxsim::position(0), int64_t(counts));
}

void tst_TurntableUi::playTurnsUntilStopped_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArray>("emptiedField");
    QTest::addColumn<int>("sign");

    QTest::newRow("clockwise play") << QByteArray("clockwisePlayButton") << QByteArray() << -1;
    QTest::newRow("counterclockwise play") << QByteArray("counterclockwisePlayButton") << QByteArray() << 1;
    // An empty angle field has no number, which arrives as 0: a continuous rotation.
    QTest::newRow("nudge, empty field") << QByteArray("counterclockwiseNudgeButton")
                                        << QByteArray("counterclockwiseAngleField") << 1;
}

void tst_TurntableUi::playTurnsUntilStopped()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArray, emptiedField);
    QFETCH(int, sign);

    QVERIFY(d2xxsim::attach("plain"));
    d2xxsim::setClockwiseActiveHigh(0, false);
    QVERIFY(createPanel());
    QVERIFY(openRow(2));
    if (!emptiedField.isEmpty()) {
        typeInto(find(emptiedField.constData()), QString());
        QCOMPARE(find(emptiedField.constData())->property("text").toString(), QString());
    }

    click(find(button.constData()));
    QVERIFY(isEnabled("stopButton"));
    QCOMPARE(control->motor()->stepsToGo, 0u);
    QTRY_VERIFY_WITH_TIMEOUT(d2xxsim::position(0) * sign >= 200, 30000);
    QVERIFY(control->motor()->isRotating());

    click(find("stopButton"));
    QVERIFY(!control->motor()->isRotating());
    QVERIFY(!isEnabled("stopButton"));
    QVERIFY(isEnabled(button.constData()));
    const int64_t stoppedAt = d2xxsim::position(0);
    QCoreApplication::processEvents();
    QCOMPARE(d2xxsim::position(0), stoppedAt);
    QVERIFY(!isEnabled("stopButton"));
}

void tst_TurntableUi::previewWithoutTurntableChangesNothing()
{
    QVERIFY(createPanel());
    click(find("clockwisePlayButton"));
    QVERIFY(!isEnabled("stopButton"));
    QVERIFY(isEnabled("clockwisePlayButton"));
    QVERIFY(!control->motor());
}

void tst_TurntableUi::lockBoxDrivesTheEnableLine()
{
    QVERIFY(d2xxsim::attach("plain"));
    QVERIFY(createPanel());
    QVERIFY(openRow(2));
    QQuickItem *lockBox = find("lockTableWhenIdleCheckBox");
    QVERIFY(!lockBox->property("checked").toBool());
    QCOMPARE(d2xxsim::state(0).lines & enableLine, 0);

    click(lockBox);
    QVERIFY(lockBox->property("checked").toBool());
    QVERIFY(control->motor()->lockMotorWhenIdle);
    QCOMPARE(d2xxsim::state(0).lines & enableLine, enableLine);

    click(lockBox);
    QVERIFY(!control->motor()->lockMotorWhenIdle);
    QCOMPARE(d2xxsim::state(0).lines & enableLine, 0);
}

void tst_TurntableUi::speedSliderSetsTheMotorsDelay()
{
    QVERIFY(d2xxsim::attach("plain"));
    QVERIFY(createPanel());
    QVERIFY(openRow(2));

    QQuickItem *slider = find("rotationSpeedSlider");
    slider->forceActiveFocus();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(view.get(), Qt::Key_Right);
    QCOMPARE(slider->property("value").toDouble(), 3.0);
    QCOMPARE(control->motor()->pulseDelayMs.load(), 3u);

    // At spin start the slider position is a speed: 9 is the shortest delay.
    for (int i = 0; i < 10; ++i)
        QTest::keyClick(view.get(), Qt::Key_Right);
    QCOMPARE(slider->property("value").toDouble(), 9.0);
    QVERIFY(control->stepsSpinningWillStart());
    QCOMPARE(control->motor()->pulseDelayMs.load(), 1u);
}

void tst_TurntableUi::rampSpinBoxSetsTheMotorsRamp()
{
    QLocale::setDefault(QLocale::c());
    QVERIFY(d2xxsim::attach("plain"));
    QVERIFY(createPanel());
    QVERIFY(openRow(2));

    QQuickItem *spinBox = find("rampUpDegreesSpinBox");
    typeInto(spinBox->property("contentItem").value<QQuickItem *>(), "2.5");
    QCOMPARE(spinBox->property("value").toInt(), 250);
    QCOMPARE(spinBox->property("displayText").toString(), QString("2.50"));
    QCOMPARE(control->motor()->rampUpDegrees.load(), 2.5);

    QTest::keyClick(view.get(), Qt::Key_Up);
    QCOMPARE(spinBox->property("value").toInt(), 350);
    QCOMPARE(control->motor()->rampUpDegrees.load(), 3.5);

    QVERIFY(control->stepsSpinningWillStart());
    QCOMPARE(control->motor()->rampUpDegrees.load(), 3.5);
}

void tst_TurntableUi::decimalCommaRampReachesTheSpin()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QVERIFY(d2xxsim::attach("plain"));
    QVERIFY(createPanel());
    QVERIFY(openRow(2));

    QQuickItem *spinBox = find("rampUpDegreesSpinBox");
    QCOMPARE(spinBox->property("displayText").toString(), QString("1,00"));
    typeInto(spinBox->property("contentItem").value<QQuickItem *>(), "2,5");
    QCOMPARE(spinBox->property("value").toInt(), 250);
    QCOMPARE(spinBox->property("displayText").toString(), QString("2,50"));

    // The spin start reads the text back as the panel wrote it.
    control->motor()->rampUpDegrees = 0.0;
    QVERIFY(control->stepsSpinningWillStart());
    QCOMPARE(control->motor()->rampUpDegrees.load(), 2.5);
}

void tst_TurntableUi::storedRampWithAnotherSeparatorLoads_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("shown");

    QTest::newRow("comma under C") << "C" << "2,50" << 250 << "2.50";
    QTest::newRow("point under German") << "de_DE" << "2.50" << 250 << "2,50";
    QTest::newRow("comma under German") << "de_DE" << "12,25" << 1225 << "12,25";
    QTest::newRow("no number keeps the start value") << "C" << "ramp" << 100 << "1.00";
}

void tst_TurntableUi::storedRampWithAnotherSeparatorLoads()
{
    QFETCH(QString, locale);
    QFETCH(QString, stored);
    QFETCH(int, value);
    QFETCH(QString, shown);

    QLocale::setDefault(QLocale(locale));
    QFile file(settingsFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("{\"isLockTableWhenIdle\": true, \"rampUpDegrees\": \"%1\", \"rotationSpeed\": 4}")
                   .arg(stored)
                   .toUtf8());
    file.close();

    QVERIFY(createPanel());
    QQuickItem *spinBox = find("rampUpDegreesSpinBox");
    QCOMPARE(spinBox->property("value").toInt(), value);
    QCOMPARE(spinBox->property("displayText").toString(), shown);
    QCOMPARE(find("rotationSpeedSlider")->property("value").toDouble(), 4.0);
    QVERIFY(find("lockTableWhenIdleCheckBox")->property("checked").toBool());
}

void tst_TurntableUi::deviceRowsSetTheControls()
{
    QVERIFY(d2xxsim::attach("plain"));
    QVERIFY(createPanel());

    // "Marvolix Essential", the DC model: locked, and nothing to tune.
    QVERIFY(openRow(1));
    QTRY_VERIFY(!isEnabled("lockTableWhenIdleCheckBox"));
    QVERIFY(find("lockTableWhenIdleCheckBox")->property("checked").toBool());
    QVERIFY(!isEnabled("rotationSpeedSlider"));
    QVERIFY(!isEnabled("rampUpDegreesSpinBox"));
    QVERIFY(!isEnabled("advancedTurntableSettingsGroup"));
    QCOMPARE(find("stepsPerRevolutionField")->property("text").toString(), QString("72"));

    // The custom turntable after it: its own settings open up, the rest stays as it was.
    QVERIFY(openRow(0));
    QTRY_VERIFY(isEnabled("advancedTurntableSettingsGroup"));
    QCOMPARE(find("stepsPerRevolutionField")->property("text").toString(), QString());
    QVERIFY(find("clockwiseActiveLowButton")->property("checked").toBool());
    QVERIFY(find("motorEnableActiveLowButton")->property("checked").toBool());
    QVERIFY(!isEnabled("rotationSpeedSlider"));
    QVERIFY(!isEnabled("lockTableWhenIdleCheckBox"));

    // A stepper model: tunable again, released when idle.
    QVERIFY(openRow(2));
    QTRY_VERIFY(isEnabled("rotationSpeedSlider"));
    QVERIFY(isEnabled("rampUpDegreesSpinBox"));
    QVERIFY(isEnabled("lockTableWhenIdleCheckBox"));
    QVERIFY(!find("lockTableWhenIdleCheckBox")->property("checked").toBool());
    QVERIFY(!control->motor()->lockMotorWhenIdle);
    QCOMPARE(d2xxsim::state(0).lines & enableLine, 0);
    QVERIFY(!isEnabled("advancedTurntableSettingsGroup"));
    QCOMPARE(find("stepsPerRevolutionField")->property("text").toString(), QString("6400"));
    QVERIFY(find("motorEnableActiveHighButton")->property("checked").toBool());
    QVERIFY(find("clockwiseActiveLowButton")->property("checked").toBool());

    QVariant saved;
    QVERIFY(QMetaObject::invokeMethod(panel, "saveSettings", Q_RETURN_ARG(QVariant, saved), Q_ARG(QVariant, 3)));
    QVERIFY(!saved.toMap().contains("customTurntableAdvancedSettings"));
}

void tst_TurntableUi::customCountsFieldReachesTheBoard()
{
    QVERIFY(d2xxsim::attach("plain"));
    // Enable active low on the board, as the panel will say.
    d2xxsim::setEnableActiveHigh(0, false);
    QVERIFY(createPanel());
    QVERIFY(openRow(0));
    showAdvancedTab();

    QVERIFY(!control->stepsSpinningWillStart());
    QCOMPARE(control->lastError(), QString("Counts per revolution have not been set."));
    control->stepsSpinningWillStop();

    typeInto(find("stepsPerRevolutionField"), "6400");
    click(find("clockwiseActiveHighButton"));
    QVERIFY(find("clockwiseActiveHighButton")->property("checked").toBool());
    QVERIFY(find("motorEnableActiveLowButton")->property("checked").toBool());

    QVERIFY(control->stepsSpinningWillStart());
    QCOMPARE(control->motor()->countsPerRevolution, 6400u);
    QVERIFY(control->motor()->isClockwiseActiveHigh);
    QVERIFY(!control->motor()->isMotorEnableActiveHigh);

    QVERIFY(control->startAngleRotation(10.0f));
    QTRY_VERIFY_WITH_TIMEOUT(!control->motor()->isRotating(), 30000);
    control->stopAngleRotation();
    QCOMPARE(d2xxsim::position(0), int64_t(-178));
    QCOMPARE(d2xxsim::stepsWhileUnpowered(0), uint64_t(0));
}

void tst_TurntableUi::importMenuFillsTheCustomSettings()
{
    QVERIFY(d2xxsim::attach("plain"));
    QVERIFY(createPanel());
    QVERIFY(openRow(0));
    showAdvancedTab();

    click(find("importButton"));
    QObject *menu = panel->findChild<QObject *>("importMenu");
    QVERIFY(menu);
    QTRY_VERIFY(menu->property("opened").toBool());
    QQuickItem *gemline = nullptr;
    QVERIFY(QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem *, gemline), Q_ARG(int, 1)));
    QVERIFY(gemline);
    QCOMPARE(gemline->property("text").toString(), QString("Marvolix Gemline"));
    click(gemline);

    QTRY_COMPARE(find("stepsPerRevolutionField")->property("text").toString(), QString("6400"));
    QVERIFY(find("clockwiseActiveLowButton")->property("checked").toBool());
    QVERIFY(find("motorEnableActiveHighButton")->property("checked").toBool());
    QCOMPARE(control->currentTurntableIndex(), size_t(0));
    QCOMPARE(control->countsPerRevolution(), 0u);

    QVERIFY(control->stepsSpinningWillStart());
    QCOMPARE(control->motor()->countsPerRevolution, 6400u);
    QVERIFY(!control->motor()->isClockwiseActiveHigh);
    QVERIFY(control->motor()->isMotorEnableActiveHigh);
}

void tst_TurntableUi::triggerButtonExposes()
{
    QVERIFY(d2xxsim::attach("plain"));
    QVERIFY(createPanel());
    QVERIFY(openRow(2));
    showAdvancedTab();

    QVERIFY(d2xxsim::exposures(0).empty());
    click(find("triggerButton"));
    QCOMPARE(d2xxsim::exposures(0).size(), size_t(1));
    QCOMPARE(d2xxsim::state(0).lines & 0x30, 0);
}

QTEST_MAIN(tst_TurntableUi)

#include "tst_ui.moc"
