#include "zlturntablespins.h"

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
    void pickedImagesCountIgnoresTheUpperBound();
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
    QTest::newRow("in the list") << 3200u << "12" << 12;
    QTest::newRow("not in the list") << 3200u << "17" << 17;
    QTest::newRow("below 2") << 3200u << "0" << -1;
    QTest::newRow("above the counts per revolution") << 200u << "240" << -1;
    QTest::newRow("at the counts per revolution") << 200u << "200" << 200;
}

void tst_SpinsEditor::typedImagesCount()
{
    QFETCH(unsigned int, countsPerRevolution);
    QFETCH(QString, typed);
    QFETCH(int, emitted);
    m_table.counts = countsPerRevolution;
    m_spins->updateTurntableStepsPerRevolution();

    QSignalSpy chosen(m_item.get(), SIGNAL(fixedImagesCountChanged(int)));
    typeIntoImagesCount(typed);
    if (emitted < 0) {
        QCOMPARE(chosen.count(), 0);
        QCOMPARE(angleCount(), 0);
    } else {
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.at(0).at(0).toInt(), emitted);
        QCOMPARE(angleCount(), emitted);
    }
}

void tst_SpinsEditor::pickedImagesCountIgnoresTheUpperBound()
{
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

    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.at(0).at(0).toInt(), 240);
    QCOMPARE(angleCount(), 240);
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
