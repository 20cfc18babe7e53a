#include "zlturntablespins.h"

#include "decimaltext.h"

#include "spinwrightresources.h"
#include "stubhardware.h"
#include "zlpluginslist.h"

#include <QDir>
#include <QElapsedTimer>
#include <QApplication>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QStandardPaths>
#include <QtQuickTest/quicktest.h>
#include <QtTest>

#include <memory>

namespace {

const char notAddedMessage[] = "The value entered must be greater than the last angle in the list";

} // namespace

class tst_SpinsEditor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void typedImagesCount_data();
    void typedImagesCount();
    void pickedImagesCountAboveTheCounts();
    void typedAngle_data();
    void typedAngle();
    void typedDelay_data();
    void typedDelay();
    void addAngleRule();
    void firstAngleAlwaysCounts();
    void clearEmptiesTheList();
    void modeLayouts();
    void manualCaptureDisablesTheDelays();

private:
    QQuickItem *control(const char *name) const { return m_item->findChild<QQuickItem *>(QLatin1String(name)); }
    QObject *object(const char *name) const { return m_item->findChild<QObject *>(QLatin1String(name)); }
    void click(QQuickItem *item);
    void typeText(const QString &text);
    void typeIntoImagesCount(const QString &text);
    void addAngle(const QString &text);
    int angleCount() const { return object("angleView")->property("count").toInt(); }
    QString imagesCountText() const { return object("imagesCountCombo")->property("editText").toString(); }

    StubTurntable m_table;
    std::unique_ptr<ZLTurntableSpins> m_spins;
    std::unique_ptr<QQuickView> m_view;
    std::unique_ptr<QQuickItem> m_item;
};

void tst_SpinsEditor::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QDir(ZLAbstractPlugin::applicationLocalDataDirectory()).removeRecursively();
}

void tst_SpinsEditor::init()
{
    m_table.counts = 3200;
    m_spins.reset(new ZLTurntableSpins);
    m_spins->setTurntable(&m_table);
    m_item.reset(m_spins->createPluginUIFrameView());
    QVERIFY(m_item);
    // The cases build their lists from nothing, not from the first start's 24 images.
    QMetaObject::invokeMethod(m_item.get(), "customAngleAdded", Q_ARG(QString, QString()));
    m_view.reset(new QQuickView(globalQmlEngine(), nullptr));
    m_item->setParentItem(m_view->contentItem());
    m_view->resize(int(m_item->implicitWidth()), int(m_item->implicitHeight()) + 120);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
}

void tst_SpinsEditor::cleanup()
{
    m_item.reset();
    m_view.reset();
    m_spins.reset();
}

void tst_SpinsEditor::click(QQuickItem *item)
{
    QVERIFY(item);
    QVERIFY(item->isVisible());
    // A control that has just been shown is placed by its layout's next polish.
    for (QQuickItem *i = item; i; i = i->parentItem())
        QTRY_VERIFY(!QQuickTest::qIsPolishScheduled(i));
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(m_view.get(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
}

void tst_SpinsEditor::typeText(const QString &text)
{
    for (const QChar c : text)
        QTest::keyClick(m_view.get(), c.toLatin1());
}

void tst_SpinsEditor::typeIntoImagesCount(const QString &text)
{
    auto *field = control("imagesCountCombo")->property("contentItem").value<QQuickItem *>();
    QVERIFY(field);
    field->forceActiveFocus();
    QTest::keyClick(m_view.get(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(m_view.get(), Qt::Key_Delete);
    typeText(text);
    QTest::keyClick(m_view.get(), Qt::Key_Return);
}

void tst_SpinsEditor::addAngle(const QString &text)
{
    click(control("addAngleButton"));
    QTRY_VERIFY(object("anglePopup")->property("opened").toBool());
    QVERIFY(control("angleField")->hasActiveFocus());
    typeText(text);
    QTest::keyClick(m_view.get(), Qt::Key_Return);
}

void tst_SpinsEditor::typedImagesCount_data()
{
    QTest::addColumn<unsigned int>("countsPerRevolution");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("emitted");
    QTest::addColumn<QString>("refusal");
    const QString range3200 = QStringLiteral("from 2 to 3200");
    QTest::newRow("in the list") << 3200u << "12" << 12 << QString();
    QTest::newRow("not in the list") << 3200u << "17" << 17 << QString();
    QTest::newRow("below 2") << 3200u << "0" << -1 << range3200;
    QTest::newRow("above the counts per revolution") << 200u << "240" << -1 << QStringLiteral("from 2 to 200");
    QTest::newRow("at the counts per revolution") << 200u << "200" << 200 << QString();
    QTest::newRow("far above") << 3200u << "100000" << -1 << range3200;
    QTest::newRow("not a number") << 3200u << "abc" << -1 << range3200;
    QTest::newRow("not whole") << 3200u << "12,5" << -1 << range3200;
    QTest::newRow("DC table") << 72u << "90" << -1 << QStringLiteral("from 2 to 72");
}

void tst_SpinsEditor::typedImagesCount()
{
    QFETCH(unsigned int, countsPerRevolution);
    QFETCH(QString, typed);
    QFETCH(int, emitted);
    QFETCH(QString, refusal);
    m_table.counts = countsPerRevolution;
    m_spins->updateTurntableStepsPerRevolution();
    typeIntoImagesCount("8");
    QCOMPARE(angleCount(), 8);

    QSignalSpy chosen(m_item.get(), SIGNAL(fixedImagesCountChanged(int)));
    QObject *tip = object("messageToolTip");
    typeIntoImagesCount(typed);
    if (emitted < 0) {
        QCOMPARE(chosen.count(), 0);
        // The field goes back to the count the list was built from, and says why.
        QCOMPARE(angleCount(), 8);
        QCOMPARE(imagesCountText(), QStringLiteral("8"));
        QVERIFY(tip->property("visible").toBool());
        QVERIFY2(tip->property("text").toString().contains(refusal), qPrintable(tip->property("text").toString()));
    } else {
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.at(0).at(0).toInt(), emitted);
        QCOMPARE(angleCount(), emitted);
        QCOMPARE(imagesCountText(), QString::number(emitted));
    }
}

void tst_SpinsEditor::pickedImagesCountAboveTheCounts()
{
    // A list entry above the table's counts used to be taken as it stood.
    m_table.counts = 200;
    m_spins->updateTurntableStepsPerRevolution();
    QSignalSpy chosen(m_item.get(), SIGNAL(fixedImagesCountChanged(int)));

    QObject *popup = object("imagesCountCombo")->property("popup").value<QObject *>();
    QVERIFY(popup);
    QMetaObject::invokeMethod(popup, "open");
    QTRY_VERIFY(popup->property("opened").toBool());
    auto *list = popup->property("contentItem").value<QQuickItem *>();
    QVERIFY(list);
    const int index = 10; // "240"
    QMetaObject::invokeMethod(list, "positionViewAtIndex", Q_ARG(int, index), Q_ARG(int, 1));
    QQuickItem *entry = nullptr;
    QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, entry), Q_ARG(int, index));
    click(entry);

    QCOMPARE(chosen.count(), 0);
    QCOMPARE(angleCount(), 0);
    QCOMPARE(imagesCountText(), QStringLiteral("0"));
    QVERIFY(object("messageToolTip")->property("text").toString().contains(QLatin1String("from 2 to 200")));
}

void tst_SpinsEditor::typedAngle_data()
{
    QTest::addColumn<unsigned int>("countsPerRevolution");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("angles");
    QTest::addColumn<QString>("refusal");
    const QString range = QStringLiteral("from 0 to 360 degrees");
    QTest::newRow("decimal comma") << 3200u << "12,5" << QStringList{"10.00", "12.50"} << QString();
    QTest::newRow("decimal point") << 3200u << "12.5" << QStringList{"10.00", "12.50"} << QString();
    QTest::newRow("above a turn") << 3200u << "720" << QStringList{"10.00"} << range;
    QTest::newRow("negative") << 3200u << "-45" << QStringList{"10.00"} << range;
    QTest::newRow("not a number") << 3200u << "abc" << QStringList{"10.00"} << range;
    QTest::newRow("on the same count") << 72u << "12" << QStringList{"10.00"} << QStringLiteral("72 counts");
    QTest::newRow("next count") << 72u << "15" << QStringList{"10.00", "15.00"} << QString();
}

void tst_SpinsEditor::typedAngle()
{
    QFETCH(unsigned int, countsPerRevolution);
    QFETCH(QString, typed);
    QFETCH(QStringList, angles);
    QFETCH(QString, refusal);
    m_table.counts = countsPerRevolution;
    m_spins->updateTurntableStepsPerRevolution();
    object("shootingModeCombo")->setProperty("currentIndex", 1);
    addAngle("10");
    QCOMPARE(m_spins->angleTexts(), QStringList{"10.00"});

    addAngle(typed);
    QObject *tip = object("messageToolTip");
    QCOMPARE(m_spins->angleTexts(), angles);
    QCOMPARE(imagesCountText(), QString::number(angles.size()));
    if (refusal.isEmpty()) {
        QVERIFY(!tip->property("visible").toBool());
        return;
    }
    QVERIFY(tip->property("visible").toBool());
    QVERIFY2(tip->property("text").toString().contains(refusal), qPrintable(tip->property("text").toString()));

    // Whatever was refused, the next text stands alone, and Escape leaves the popup.
    QObject *popup = object("anglePopup");
    if (!popup->property("opened").toBool()) {
        click(control("addAngleButton"));
        QTRY_VERIFY(popup->property("opened").toBool());
    }
    typeText("20");
    QCOMPARE(control("angleField")->property("text").toString(), QStringLiteral("20"));
    QTest::keyClick(m_view.get(), Qt::Key_Escape);
    QTRY_VERIFY(!popup->property("visible").toBool());
    QCOMPARE(m_spins->angleTexts(), angles);
}

void tst_SpinsEditor::typedDelay_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("refused");
    QTest::newRow("decimal comma") << "2,5" << "2.50" << false;
    QTest::newRow("a day") << "86400" << "86400.00" << false;
    QTest::newRow("exponent") << "1e9" << "1.00" << true;
    QTest::newRow("negative") << "-1" << "1.00" << true;
    QTest::newRow("beyond a day") << "99999999999999" << "1.00" << true;
    QTest::newRow("not a number") << "abc" << "1.00" << true;
    QTest::newRow("empty") << "" << "0.00" << false;
}

void tst_SpinsEditor::typedDelay()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(bool, refused);
    QQuickItem *field = control("postDelayField");
    QCOMPARE(field->property("text").toString(), QStringLiteral("1.00"));
    field->forceActiveFocus();
    QTest::keyClick(m_view.get(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(m_view.get(), Qt::Key_Delete);
    typeText(typed);
    QCOMPARE(field->property("text").toString(), typed);
    QTest::keyClick(m_view.get(), Qt::Key_Return);

    // What the field shows is what a spin and the file get.
    QCOMPARE(field->property("text").toString(), shown);
    m_spins->readSettingsFromUi();
    QCOMPARE(double(m_spins->postCaptureDelay()), DecimalText::parse(shown));
    QObject *tip = object("messageToolTip");
    QCOMPARE(tip->property("visible").toBool(), refused);
    if (refused)
        QVERIFY(tip->property("text").toString().contains(QLatin1String("from 0 to 86400")));
}

void tst_SpinsEditor::addAngleRule()
{
    object("shootingModeCombo")->setProperty("currentIndex", 1);
    QObject *tip = object("messageToolTip");
    QVERIFY(tip);

    addAngle("45");
    QCOMPARE(m_spins->angleTexts(), QStringList{"45.00"});
    QCOMPARE(imagesCountText(), QStringLiteral("1"));
    QTRY_VERIFY(!object("anglePopup")->property("visible").toBool());
    QCOMPARE(control("angleField")->property("text").toString(), QString());
    QVERIFY(!tip->property("visible").toBool());

    QElapsedTimer shown;
    addAngle("30");
    shown.start();
    QCOMPARE(m_spins->angleTexts(), QStringList{"45.00"});
    QCOMPARE(imagesCountText(), QStringLiteral("1"));
    QVERIFY(tip->property("visible").toBool());
    QCOMPARE(tip->property("text").toString(), QLatin1String(notAddedMessage));
    QCOMPARE(tip->property("timeout").toInt(), 1250);
    QTRY_VERIFY_WITH_TIMEOUT(!tip->property("visible").toBool(), 10000);
    // A coarse timer may fire up to 5 % early.
    QVERIFY2(shown.elapsed() >= 1187, qPrintable(QString::number(shown.elapsed())));

    addAngle("45");
    QCOMPARE(m_spins->angleTexts(), QStringList{"45.00"});
    QVERIFY(tip->property("visible").toBool());

    addAngle("90.5");
    QCOMPARE(m_spins->angleTexts(), (QStringList{"45.00", "90.50"}));
    QCOMPARE(imagesCountText(), QStringLiteral("2"));
}

void tst_SpinsEditor::firstAngleAlwaysCounts()
{
    object("shootingModeCombo")->setProperty("currentIndex", 1);
    addAngle("0");
    QCOMPARE(m_spins->angleTexts(), QStringList{"0.00"});
    QCOMPARE(imagesCountText(), QStringLiteral("1"));
    QVERIFY(!object("messageToolTip")->property("visible").toBool());
}

void tst_SpinsEditor::clearEmptiesTheList()
{
    object("shootingModeCombo")->setProperty("currentIndex", 1);
    addAngle("10");
    addAngle("20");
    QCOMPARE(angleCount(), 2);
    QSignalSpy added(m_item.get(), SIGNAL(customAngleAdded(QString)));
    click(control("clearAnglesButton"));
    QCOMPARE(added.count(), 1);
    QCOMPARE(added.at(0).at(0).toString(), QString());
    QCOMPARE(angleCount(), 0);
    QCOMPARE(imagesCountText(), QStringLiteral("0"));
}

void tst_SpinsEditor::modeLayouts()
{
    QObject *mode = object("shootingModeCombo");
    QCOMPARE(mode->property("currentIndex").toInt(), 0);
    QCOMPARE(mode->property("count").toInt(), 3);
    QVERIFY(control("imagesCountCombo")->isEnabled());
    QVERIFY(!control("addAngleButton")->isVisible());
    QVERIFY(!control("degreesField")->isVisible());
    QCOMPARE(control("degreesField")->property("text").toString(), QStringLiteral("360.00"));
    QVERIFY(control("clockwiseButton")->property("checked").toBool());
    QVERIFY(control("autoButton")->property("checked").toBool());

    typeIntoImagesCount("8");
    QCOMPARE(angleCount(), 8);
    // A count typed but never confirmed is undone by the custom mode.
    auto *field = control("imagesCountCombo")->property("contentItem").value<QQuickItem *>();
    field->setProperty("text", "77");
    mode->setProperty("currentIndex", 1);
    QVERIFY(!control("imagesCountCombo")->isEnabled());
    QCOMPARE(imagesCountText(), QStringLiteral("8"));
    QVERIFY(control("addAngleButton")->isVisible());
    QVERIFY(control("clearAnglesButton")->isVisible());

    mode->setProperty("currentIndex", 0);
    QCOMPARE(angleCount(), 8);
    QVERIFY(control("imagesCountCombo")->isEnabled());
    QVERIFY(!control("clearAnglesButton")->isVisible());

    mode->setProperty("currentIndex", 2);
    QVERIFY(control("degreesField")->isVisible());
    QVERIFY(!control("angleView")->isVisible());
    QVERIFY(control("angleView")->parentItem()->isVisible());
    QVERIFY(!control("imagesCountCombo")->isVisible());
    QVERIFY(!control("manualButton")->isVisible());
}

void tst_SpinsEditor::manualCaptureDisablesTheDelays()
{
    QVERIFY(control("preDelayField")->isEnabled());
    click(control("manualButton"));
    QVERIFY(control("manualButton")->property("checked").toBool());
    QVERIFY(!control("autoButton")->property("checked").toBool());
    QVERIFY(!control("preDelayField")->isEnabled());
    QVERIFY(!control("postDelayField")->isEnabled());

    click(control("autoButton"));
    QVERIFY(!control("manualButton")->property("checked").toBool());
    QVERIFY(control("postDelayField")->isEnabled());
    m_spins->readSettingsFromUi();
    QVERIFY(!m_spins->isManualCapture());
}

int main(int argc, char **argv)
{
    // The polish helpers bring in Qt Widgets, whose presence QtTest's key events assume.
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Marvolix"));
    QCoreApplication::setApplicationName(QStringLiteral("Spinwright"));
    initSpinwrightResources();
    // Owns the shared QML engine, as in the program, and deletes it last.
    ZLPluginsList plugins;
    tst_SpinsEditor test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_spinseditor.moc"
