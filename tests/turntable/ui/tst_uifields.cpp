#include "panelfixture.h"

#include "d2xxsim.h"
#include "zlmarvolixturntablecontrol.h"

#include <QtTest>

#include <QQmlProperty>
#include <QQuickItem>

// What the panel's fields take, refuse and show: a field never stores another value than it
// shows, and what it cannot use is named with the allowed range.
class tst_TurntableUiFields : public PanelFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void cleanupTestCase() { tearDownCase(); }
    void init() { setUpTest(); }
    void cleanup() { tearDownTest(); }

    void customCountsAreTakenOrRefusedAsShown_data();
    void customCountsAreTakenOrRefusedAsShown();
    void rampTakesWhatItShows_data();
    void rampTakesWhatItShows();
    void refusedNudgeAngleMovesNothing_data();
    void refusedNudgeAngleMovesNothing();
    void importMenuFollowsTheBoards();
};

void tst_TurntableUiFields::customCountsAreTakenOrRefusedAsShown_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<uint>("counts");
    QTest::addColumn<QString>("refusal");

    const QString range = "Counts per revolution must be a whole number from 24 to 1000000.";
    QTest::newRow("model counts") << "6400" << 6400u << QString();
    QTest::newRow("smallest") << "24" << 24u << QString();
    QTest::newRow("largest") << "1000000" << 1000000u << QString();
    QTest::newRow("beyond an int") << "9999999999" << 0u << range;
    QTest::newRow("one past the largest") << "1000001" << 0u << range;
    QTest::newRow("negative") << "-100" << 0u << range;
    QTest::newRow("decimal") << "6400,5" << 0u << range;
    QTest::newRow("letters") << "abc" << 0u << range;
    QTest::newRow("too few to stop at each picture")
        << "3" << 0u
        << "With 3 counts per revolution the table cannot stop at each picture of a spin: at least 24 are needed.";
    QTest::newRow("zero") << "0" << 0u
                          << "With 0 counts per revolution the table cannot stop at each picture of a spin: at "
                             "least 24 are needed.";
}

void tst_TurntableUiFields::customCountsAreTakenOrRefusedAsShown()
{
    QFETCH(QString, typed);
    QFETCH(uint, counts);
    QFETCH(QString, refusal);

    QVERIFY(d2xxsim::attach("plain"));
    QVERIFY(createPanel());
    QVERIFY(openRow(0));
    showAdvancedTab();

    QQuickItem *field = find("stepsPerRevolutionField");
    typeInto(field, typed);
    // Kept as typed, never cut to what a validator lets through.
    QCOMPARE(field->property("text").toString(), typed);
    QQuickItem *named = find("stepsPerRevolutionRefusal");
    QVERIFY(named);
    QCOMPARE(named->isVisible(), !refusal.isEmpty());
    QCOMPARE(named->property("text").toString(), refusal);

    // The spin start refuses with the same reason the field shows, never "not set".
    QCOMPARE(control->stepsSpinningWillStart(), refusal.isEmpty());
    if (refusal.isEmpty())
        QCOMPARE(control->motor()->countsPerRevolution, counts);
    else
        QCOMPARE(control->lastError(), refusal);
    control->stepsSpinningWillStop();
}

void tst_TurntableUiFields::rampTakesWhatItShows_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("refusal");

    QTest::newRow("point under C") << "C" << "2.5" << 250 << "2.50" << QString();
    QTest::newRow("comma under C") << "C" << "2,5" << 250 << "2.50" << QString();
    QTest::newRow("point under German") << "de_DE" << "2.5" << 250 << "2,50" << QString();
    QTest::newRow("whole range") << "C" << "360" << 36000 << "360.00" << QString();
    QTest::newRow("past the range") << "C" << "500" << 100 << "1.00"
                                    << "\"500\" cannot be used: ramp up degrees go from 0.00 to 360.00.";
    QTest::newRow("negative") << "C" << "-1" << 100 << "1.00"
                              << "\"-1\" cannot be used: ramp up degrees go from 0.00 to 360.00.";
    QTest::newRow("no number, German") << "de_DE" << "abc" << 100 << "1,00"
                                        << "\"abc\" cannot be used: ramp up degrees go from 0,00 to 360,00.";
}

void tst_TurntableUiFields::rampTakesWhatItShows()
{
    QFETCH(QString, locale);
    QFETCH(QString, typed);
    QFETCH(int, value);
    QFETCH(QString, shown);
    QFETCH(QString, refusal);

    QLocale::setDefault(QLocale(locale));
    QVERIFY(d2xxsim::attach("plain"));
    QVERIFY(createPanel());
    QVERIFY(openRow(2));
    control->setRampUpDegrees(1.0f);

    QQuickItem *spinBox = find("rampUpDegreesSpinBox");
    QQuickItem *input = spinBox->property("contentItem").value<QQuickItem *>();
    typeInto(input, typed);
    QCOMPARE(spinBox->property("value").toInt(), value);
    QCOMPARE(spinBox->property("displayText").toString(), shown);
    QCOMPARE(input->property("text").toString(), shown);
    QCOMPARE(control->motor()->rampUpDegrees.load(), value / 100.0);
    QQuickItem *named = find("rampUpDegreesRefusal");
    QVERIFY(named);
    QCOMPARE(named->isVisible(), !refusal.isEmpty());
    if (!refusal.isEmpty())
        QCOMPARE(named->property("text").toString(), refusal);

    // The spin reads back the text the box shows.
    control->motor()->rampUpDegrees = 0.0;
    QVERIFY(control->stepsSpinningWillStart());
    QCOMPARE(control->motor()->rampUpDegrees.load(), value / 100.0);
    control->stepsSpinningWillStop();
}

void tst_TurntableUiFields::refusedNudgeAngleMovesNothing_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("typed");

    QTest::newRow("negative") << QByteArray("clockwiseNudgeButton") << QByteArray("clockwiseAngleField") << "-45";
    QTest::newRow("past a turn") << QByteArray("counterclockwiseNudgeButton")
                                 << QByteArray("counterclockwiseAngleField") << "720";
    QTest::newRow("decimal comma") << QByteArray("clockwiseNudgeButton") << QByteArray("clockwiseAngleField")
                                   << "12,5";
    QTest::newRow("letters") << QByteArray("counterclockwiseNudgeButton")
                             << QByteArray("counterclockwiseAngleField") << "abc";
}

void tst_TurntableUiFields::refusedNudgeAngleMovesNothing()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArray, field);
    QFETCH(QString, typed);

    QVERIFY(d2xxsim::attach("plain"));
    QVERIFY(createPanel());
    QVERIFY(openRow(2));

    typeInto(find(field.constData()), typed);
    QCOMPARE(find(field.constData())->property("text").toString(), typed);
    QQuickItem *named = find("nudgeAngleRefusal");
    QVERIFY(named);
    QVERIFY(named->isVisible());
    QCOMPARE(named->property("text").toString(),
             QString("\"%1\" cannot be used: a nudge turns by whole degrees from 0 to 360.").arg(typed));

    click(find(button.constData()));
    QVERIFY(!control->motor()->isRotating());
    QVERIFY(!isEnabled("stopButton"));
    QCOMPARE(d2xxsim::position(0), int64_t(0));

    // A usable angle clears the refusal and nudges.
    typeInto(find(field.constData()), "10");
    QVERIFY(!named->isVisible());
    click(find(button.constData()));
    QVERIFY(control->motor()->isRotating());
    QTRY_VERIFY_WITH_TIMEOUT(!control->motor()->isRotating(), 30000);
}

// A board plugged in after the panel was built brings the standard models to import with it.
void tst_TurntableUiFields::importMenuFollowsTheBoards()
{
    QVERIFY(createPanel());
    QObject *menu = panel->findChild<QObject *>("importMenu");
    QVERIFY(menu);
    QCOMPARE(QQmlProperty::read(menu, "count").toInt(), 0);

    QVERIFY(d2xxsim::attach("plain"));
    QCOMPARE(control->availableTurntables().size(), size_t(10));
    QTRY_COMPARE(QQmlProperty::read(menu, "count").toInt(), 9);

    d2xxsim::unplug(0);
    QVERIFY(control->availableTurntables().empty());
    QTRY_COMPARE(QQmlProperty::read(menu, "count").toInt(), 0);
}

QTEST_MAIN(tst_TurntableUiFields)
#include "tst_uifields.moc"
