#include "spinwrightpalette.h"
#include "spinwrightresources.h"

#include <QDesktopServices>
#include <QApplication>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickView>
#include <QtQuickTest/quicktest.h>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// Records every address the page hands to the desktop shell.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};

class tst_MainPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsDisabledAndHidden();
    void syncLastUsedIndexSelectsAndReportsOnce();
    void activatingADeviceReports();
    void listShowsOnlyAnOpenTurntable_data();
    void listShowsOnlyAnOpenTurntable();
    void rescanIsOfferedWhileNothingIsFound();
    void startShowsTheSpinControls();
    void startUnchecksALeftoverPause();
    void pauseTogglesBetweenZeroAndOne();
    void stopAndReset_data();
    void stopAndReset();
    void driverLinkSendsOneHundredAndOpensNothing();
    void exitAsksTheController();
    void modeButtonsSwitchTheStack();
    void panelsAndVersion();

    void dialogIsCentred();
    void dialogWidensForALink_data();
    void dialogWidensForALink();
    void dialogClosesOnEscapeOnlyAndDestroysItself();
    void dialogOkButtonClosesAndDestroysIt();
    void returnToStartIsOfferedAfterStop();
    void tabFollowsThePageFromTheTop();
    void disabledTextLooksDisabled();
    void ctrlQAsksTheController();
    void dialogsPrintNothing_data();
    void dialogsPrintNothing();
    void spinShotsAndNext();

private:
    QQuickItem *control(const char *name) const { return m_page->findChild<QQuickItem *>(QLatin1String(name)); }
    bool visible(const char *name) const { return control(name)->isVisible(); }
    bool enabled(const char *name) const { return control(name)->isEnabled(); }
    void call(const char *function, const QVariant &argument = QVariant());
    void press(QQuickItem *item);
    void click(QQuickItem *item);
    QPoint centreOf(QQuickItem *item);
    QObject *createDialog(const QString &text);
    static QString evaluate(QObject *object, const QString &expression);

    std::unique_ptr<QQmlEngine> m_engine;
    std::unique_ptr<QQuickView> m_view;
    QQuickItem *m_page = nullptr;
    std::unique_ptr<QSignalSpy> m_deviceChanged;
    std::unique_ptr<QSignalSpy> m_spinState;
    std::unique_ptr<QSignalSpy> m_willClose;
};

void tst_MainPage::initTestCase()
{
    qRegisterMetaType<QQuickItem *>();
}

void tst_MainPage::init()
{
    m_engine.reset(new QQmlEngine);
    m_engine->rootContext()->setContextProperty(QStringLiteral("TurntableDevicesModel"),
                                                QStringList{"Model A", "Model B", "Model C"});
    m_view.reset(new QQuickView(m_engine.get(), nullptr));
    m_view->setSource(QUrl(QStringLiteral("qrc:/qml/Spinwright.qml")));
    QCOMPARE(m_view->status(), QQuickView::Ready);
    m_page = m_view->rootObject();
    QVERIFY(m_page);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    m_deviceChanged.reset(new QSignalSpy(m_page, SIGNAL(turntableDeviceChanged(int))));
    m_spinState.reset(new QSignalSpy(m_page, SIGNAL(turntableSpinStateChanged(int))));
    m_willClose.reset(new QSignalSpy(m_page, SIGNAL(applicationWillClose())));
}

void tst_MainPage::cleanup()
{
    m_deviceChanged.reset();
    m_spinState.reset();
    m_willClose.reset();
    m_view.reset();
    m_engine.reset();
}

void tst_MainPage::call(const char *function, const QVariant &argument)
{
    if (argument.isValid())
        QVERIFY(QMetaObject::invokeMethod(m_page, function, Q_ARG(QVariant, argument)));
    else
        QVERIFY(QMetaObject::invokeMethod(m_page, function));
}

QPoint tst_MainPage::centreOf(QQuickItem *item)
{
    // A control that has just been shown is placed by its layout's next polish.
    for (QQuickItem *i = item; i; i = i->parentItem()) {
        if (QQuickTest::qIsPolishScheduled(i))
            QQuickTest::qWaitForItemPolished(i);
    }
    return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
}

void tst_MainPage::press(QQuickItem *item)
{
    QVERIFY(item && item->isVisible());
    QTest::mousePress(m_view.get(), Qt::LeftButton, Qt::NoModifier, centreOf(item));
}

void tst_MainPage::click(QQuickItem *item)
{
    QVERIFY(item && item->isVisible());
    QTest::mouseClick(m_view.get(), Qt::LeftButton, Qt::NoModifier, centreOf(item));
}

QString tst_MainPage::evaluate(QObject *object, const QString &expression)
{
    QQmlExpression e(qmlContext(object), object, expression);
    return e.evaluate().toString();
}

QObject *tst_MainPage::createDialog(const QString &text)
{
    QQmlComponent component(m_engine.get(), QUrl(QStringLiteral("qrc:/qml/ErrorDialog.qml")));
    QObject *dialog = component.create();
    if (!dialog) {
        qWarning() << component.errorString();
        return nullptr;
    }
    dialog->setProperty("parent", QVariant::fromValue(static_cast<QQuickItem *>(m_page)));
    dialog->setProperty("errorText", text);
    dialog->setProperty("title", QStringLiteral("Device disconnected"));
    // As the controller does: the page keeps the dialog until it destroys itself.
    QQmlEngine::setObjectOwnership(dialog, QQmlEngine::JavaScriptOwnership);
    dialog->setParent(m_page);
    QMetaObject::invokeMethod(dialog, "open");
    return dialog;
}

void tst_MainPage::startsDisabledAndHidden()
{
    QVERIFY(!enabled("startButton"));
    QVERIFY(!enabled("stopButton"));
    QVERIFY(!visible("progressBar"));
    QVERIFY(!visible("stateButton"));
    QCOMPARE(control("stackLayout")->property("currentIndex").toInt(), 0);
    QCOMPARE(control("turntableDevicesList")->property("count").toInt(), 3);
    // No model is shown until one is open: none is at the start.
    QCOMPARE(control("turntableDevicesList")->property("currentIndex").toInt(), -1);
    QCOMPARE(control("turntableDevicesList")->property("displayText").toString(), QStringLiteral("No turntable chosen"));
    QVERIFY(!visible("rescanButton"));
    QVERIFY(control("versionLabel")->property("text").toString().isEmpty());
}

void tst_MainPage::syncLastUsedIndexSelectsAndReportsOnce()
{
    call("syncLastUsedTurntableIndexUI", 2);
    QCOMPARE(control("turntableDevicesList")->property("currentIndex").toInt(), 2);
    QCOMPARE(control("turntableDevicesList")->property("currentText").toString(), QStringLiteral("Model C"));
    QCOMPARE(m_deviceChanged->count(), 1);
    QCOMPARE(m_deviceChanged->at(0).at(0).toInt(), 2);
}

void tst_MainPage::activatingADeviceReports()
{
    QQuickItem *list = control("turntableDevicesList");
    list->forceActiveFocus();
    // From no choice at all (it used to start on the first model, then Down chose the second).
    QTest::keyClick(m_view.get(), Qt::Key_Down);
    QCOMPARE(list->property("currentIndex").toInt(), 0);
    QCOMPARE(m_deviceChanged->count(), 1);
    QCOMPARE(m_deviceChanged->at(0).at(0).toInt(), 0);
}

void tst_MainPage::listShowsOnlyAnOpenTurntable_data()
{
    QTest::addColumn<QStringList>("devices");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("shown");

    const QStringList three{"Model A", "Model B", "Model C"};
    QTest::newRow("an entry") << three << 1 << "Model B";
    QTest::newRow("none") << three << -1 << "No turntable chosen";
    QTest::newRow("a row no entry has") << three << 7 << "No turntable chosen";
    // An identified board is its list's one entry, opened as its own model row.
    QTest::newRow("row of the one entry") << QStringList{"Model F"} << 5 << "Model F";
    QTest::newRow("nothing found") << QStringList() << -1 << "No turntable found";
}

void tst_MainPage::listShowsOnlyAnOpenTurntable()
{
    QFETCH(QStringList, devices);
    QFETCH(int, index);
    QFETCH(QString, shown);

    call("setTurntableListIndex", 0);
    m_engine->rootContext()->setContextProperty(QStringLiteral("TurntableDevicesModel"), devices);
    // A new list chooses nothing by itself, as the combo box would (its first entry): what was
    // chosen stays, where the new list has it.
    QTRY_COMPARE(control("turntableDevicesList")->property("currentIndex").toInt(), devices.isEmpty() ? -1 : 0);
    call("setTurntableListIndex", -1);
    m_engine->rootContext()->setContextProperty(QStringLiteral("TurntableDevicesModel"), QStringList(devices) << "Model Z");
    QTRY_COMPARE(control("turntableDevicesList")->property("count").toInt(), devices.size() + 1);
    QTRY_COMPARE(control("turntableDevicesList")->property("currentIndex").toInt(), -1);
    m_engine->rootContext()->setContextProperty(QStringLiteral("TurntableDevicesModel"), devices);
    call("setTurntableListIndex", index);
    QCOMPARE(control("turntableDevicesList")->property("displayText").toString(), shown);
    // Shown, not reported: the controller calls this for what it has opened already.
    QCOMPARE(m_deviceChanged->count(), 0);
}

void tst_MainPage::rescanIsOfferedWhileNothingIsFound()
{
    QSignalSpy rescan(m_page, SIGNAL(turntableRescanRequested()));
    m_engine->rootContext()->setContextProperty(QStringLiteral("TurntableDevicesModel"), QStringList());
    QTRY_VERIFY(visible("rescanButton"));
    click(control("rescanButton"));
    QCOMPARE(rescan.count(), 1);
    m_engine->rootContext()->setContextProperty(QStringLiteral("TurntableDevicesModel"), QStringList{"Model A"});
    QTRY_VERIFY(!visible("rescanButton"));
}

void tst_MainPage::startShowsTheSpinControls()
{
    call("resetDefaultUi", true);
    QVERIFY(enabled("startButton"));
    QVERIFY(!enabled("stopButton"));

    press(control("startButton"));
    QCOMPARE(m_spinState->count(), 1);
    QCOMPARE(m_spinState->at(0).at(0).toInt(), 1);
    QVERIFY(visible("progressBar"));
    QVERIFY(visible("stateButton"));
    QVERIFY(!enabled("startButton"));
    QVERIFY(enabled("stopButton"));
    // The model no longer changes under a spin (picking one used to end it without a word).
    QVERIFY(!enabled("turntableDevicesList"));
    QVERIFY(!control("stateButton")->property("checked").toBool());
}

void tst_MainPage::startUnchecksALeftoverPause()
{
    control("stateButton")->setProperty("checked", true);
    call("resetDefaultUi", true);
    press(control("startButton"));
    QObject *state = control("stateButton");
    QVERIFY(!state->property("checked").toBool());
    QCOMPARE(evaluate(state, "ToolTip.text"), QStringLiteral("Pause"));
    QCOMPARE(evaluate(state, "icon.source.toString()"), QStringLiteral("qrc:/icons/Stop.png"));
    QCOMPARE(m_spinState->count(), 1);
    QCOMPARE(m_spinState->at(0).at(0).toInt(), 1);
}

void tst_MainPage::pauseTogglesBetweenZeroAndOne()
{
    call("resetDefaultUi", true);
    press(control("startButton"));
    QTest::mouseRelease(m_view.get(), Qt::LeftButton, Qt::NoModifier, centreOf(control("startButton")));
    m_spinState->clear();

    QQuickItem *state = control("stateButton");
    click(state);
    QVERIFY(state->property("checked").toBool());
    QCOMPARE(evaluate(state, "ToolTip.text"), QStringLiteral("Play"));
    QCOMPARE(evaluate(state, "icon.source.toString()"), QStringLiteral("qrc:/icons/Play.png"));
    click(state);
    QVERIFY(!state->property("checked").toBool());
    QCOMPARE(m_spinState->count(), 2);
    QCOMPARE(m_spinState->at(0).at(0).toInt(), 0);
    QCOMPARE(m_spinState->at(1).at(0).toInt(), 1);
}

void tst_MainPage::stopAndReset_data()
{
    QTest::addColumn<bool>("connected");
    QTest::newRow("device still there") << true;
    QTest::newRow("device lost") << false;
}

void tst_MainPage::stopAndReset()
{
    QFETCH(bool, connected);
    call("resetDefaultUi", true);
    press(control("startButton"));
    call("setProgressValue", 0.5);
    QCOMPARE(control("progressBar")->property("value").toDouble(), 0.5);
    m_spinState->clear();

    press(control("stopButton"));
    QCOMPARE(m_spinState->count(), 1);
    QCOMPARE(m_spinState->at(0).at(0).toInt(), -1);

    call("resetDefaultUi", connected);
    QVERIFY(!visible("progressBar"));
    QCOMPARE(control("progressBar")->property("value").toDouble(), 0.0);
    QVERIFY(!visible("stateButton"));
    QVERIFY(!enabled("stopButton"));
    QCOMPARE(enabled("startButton"), connected);
    QVERIFY(enabled("turntableDevicesList"));
}

void tst_MainPage::returnToStartIsOfferedAfterStop()
{
    QVERIFY(!visible("returnButton"));
    call("resetDefaultUi", true);
    call("offerReturnToStart", true);
    QVERIFY(visible("returnButton"));
    m_spinState->clear();
    click(control("returnButton"));
    QCOMPARE(m_spinState->count(), 1);
    QCOMPARE(m_spinState->at(0).at(0).toInt(), 2);
    QVERIFY(!visible("returnButton"));

    // A new spin or a reset withdraws the offer.
    call("offerReturnToStart", true);
    press(control("startButton"));
    QVERIFY(!visible("returnButton"));
    call("offerReturnToStart", true);
    call("resetDefaultUi", true);
    QVERIFY(!visible("returnButton"));
}

void tst_MainPage::tabFollowsThePageFromTheTop()
{
    // The first Tab used to land on Start, below everything else.
    call("resetDefaultUi", true);
    QStringList order;
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(m_view.get(), Qt::Key_Tab);
        QQuickItem *focused = m_view->activeFocusItem();
        QVERIFY(focused);
        QVERIFY2(focused->property("visualFocus").toBool(), qPrintable(focused->objectName()));
        order << focused->objectName();
    }
    QCOMPARE(order, (QStringList{"turntableDevicesList", "spinsPageButton", "pluginPageButton",
                                 "changePicturesFolderButton", "startButton", "exitButton", "turntableDevicesList"}));
}

void tst_MainPage::disabledTextLooksDisabled()
{
    const QPalette palette = spinwrightPalette(QPalette());
    for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
        const QColor disabled = palette.color(QPalette::Disabled, role);
        QVERIFY2(disabled.isValid(), qPrintable(QString::number(role)));
        QVERIFY(disabled != palette.color(QPalette::Active, role));
        // Still readable on the window's grey.
        QVERIFY(qAbs(disabled.lightness() - palette.color(QPalette::Window).lightness()) > 40);
    }
}

void tst_MainPage::ctrlQAsksTheController()
{
    QTest::keyClick(m_view.get(), Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(m_willClose->count(), 1);
}

namespace {
QStringList warnings;
void recordWarning(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg)
        warnings << message;
}
} // namespace

void tst_MainPage::dialogsPrintNothing_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << "360 Photography finished";
    QTest::newRow("link") << "<a href=\"https://www.marvolix.example/download\">Download latest version</a>";
}

void tst_MainPage::dialogsPrintNothing()
{
    // They printed a binding loop for "x" when shown and "destroy is not defined" when the page
    // went with them open.
    QFETCH(QString, text);
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(recordWarning);
    QPointer<QObject> dialog = createDialog(text);
    QVERIFY(dialog);
    QTRY_VERIFY(dialog->property("opened").toBool());
    m_view.reset();
    QVERIFY(dialog.isNull());
    qInstallMessageHandler(previous);
    QCOMPARE(warnings, QStringList());
}

void tst_MainPage::driverLinkSendsOneHundredAndOpensNothing()
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");

    QQuickItem *link = control("aboutLabel");
    QVERIFY(link->property("text").toString().contains(QLatin1String("Install Driver")));
    click(link);
    QCOMPARE(m_spinState->count(), 1);
    QCOMPARE(m_spinState->at(0).at(0).toInt(), 100);
    QCoreApplication::processEvents();
    QVERIFY(recorder.opened.isEmpty());

    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
}

void tst_MainPage::exitAsksTheController()
{
    press(m_page->findChild<QQuickItem *>(QStringLiteral("exitButton")));
    QCOMPARE(m_willClose->count(), 1);
    QVERIFY(m_view->isVisible());
}

void tst_MainPage::modeButtonsSwitchTheStack()
{
    QQuickItem *stack = control("stackLayout");
    click(control("pluginPageButton"));
    QCOMPARE(stack->property("currentIndex").toInt(), 1);
    QVERIFY(!control("spinsPageButton")->property("checked").toBool());
    click(control("spinsPageButton"));
    QCOMPARE(stack->property("currentIndex").toInt(), 0);
    QCOMPARE(m_spinState->count(), 0);
}

void tst_MainPage::panelsAndVersion()
{
    QQmlComponent panel(m_engine.get());
    panel.setData("import QtQuick 2.11\nRectangle { implicitWidth: 900; implicitHeight: 500; color: 'teal' }", QUrl());
    auto *spinsPanel = qobject_cast<QQuickItem *>(panel.create());
    auto *pluginPanel = qobject_cast<QQuickItem *>(panel.create());
    QVERIFY(spinsPanel && pluginPanel);

    call("setTurntableSpinsUiItem", QVariant::fromValue(spinsPanel));
    call("setPluginUiItem", QVariant::fromValue(pluginPanel));
    QCOMPARE(control("turntableSpinsUiContainer")->property("contentItem").value<QQuickItem *>(), spinsPanel);
    QCOMPARE(control("pluginUiContainer")->property("contentItem").value<QQuickItem *>(), pluginPanel);
    // The page, and with it the window, grows to hold the panels.
    QTRY_VERIFY(m_page->width() >= 900);
    QTRY_VERIFY(m_page->height() >= 500);

    call("setAppVersion", QStringLiteral("v.3.0.30108"));
    QCOMPARE(control("versionLabel")->property("text").toString(), QStringLiteral("v.3.0.30108"));

    // The controller deletes the panels at closing, before the page goes.
    delete spinsPanel;
    delete pluginPanel;
    QVERIFY(!control("turntableSpinsUiContainer")->property("contentItem").value<QQuickItem *>());
}

void tst_MainPage::dialogIsCentred()
{
    QPointer<QObject> dialog = createDialog(QStringLiteral("The turntable was unplugged."));
    QVERIFY(dialog);
    QTRY_VERIFY(dialog->property("opened").toBool());
    QCOMPARE(dialog->property("title").toString(), QStringLiteral("Device disconnected"));
    const qreal width = dialog->property("width").toReal();
    const qreal height = dialog->property("height").toReal();
    // Anchored to the centre, on whole pixels.
    QVERIFY(qAbs(dialog->property("x").toReal() - (m_page->width() - width) / 2) <= 1);
    QVERIFY(qAbs(dialog->property("y").toReal() - (m_page->height() - height) / 2) <= 1);
    QVERIFY(dialog->property("modal").toBool());
    auto *label = dialog->findChild<QQuickItem *>(QStringLiteral("textLabel"));
    QVERIFY(label);
    QCOMPARE(label->property("text").toString(), QStringLiteral("The turntable was unplugged."));
}

void tst_MainPage::dialogWidensForALink_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("widened");
    QTest::newRow("link") << "<a href=\"https://www.marvolix.example/download\">Download latest version</a>" << true;
    QTest::newRow("plain") << "360 Photography finished" << false;
}

void tst_MainPage::dialogWidensForALink()
{
    QFETCH(QString, text);
    QFETCH(bool, widened);
    QPointer<QObject> dialog = createDialog(text);
    QVERIFY(dialog);
    QTRY_VERIFY(dialog->property("opened").toBool());
    const qreal width = dialog->property("width").toReal();
    if (widened)
        QCOMPARE(width, m_page->width() / 2);
    else
        QCOMPARE(width, dialog->property("implicitWidth").toReal());
    QVERIFY(qAbs(dialog->property("x").toReal() - (m_page->width() - width) / 2) <= 1);
}

void tst_MainPage::dialogClosesOnEscapeOnlyAndDestroysItself()
{
    QPointer<QObject> dialog = createDialog(QStringLiteral("Turntable is still rotating. Please wait until it stops."));
    QVERIFY(dialog);
    QTRY_VERIFY(dialog->property("opened").toBool());

    QTest::mouseClick(m_view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    QVERIFY(dialog->property("visible").toBool());

    QTest::keyClick(m_view.get(), Qt::Key_Escape);
    QTRY_VERIFY(!dialog->property("visible").toBool());
    // It is gone 255 ms after closing, once the engine's deferred deletion has run.
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 10000);
}

void tst_MainPage::dialogOkButtonClosesAndDestroysIt()
{
    QPointer<QObject> dialog = createDialog(QStringLiteral("360 Photography finished"));
    QVERIFY(dialog);
    QTRY_VERIFY(dialog->property("opened").toBool());
    auto *ok = dialog->findChild<QQuickItem *>(QStringLiteral("okButton"));
    QVERIFY(ok);
    QCOMPARE(ok->property("text").toString(), QStringLiteral("OK"));
    click(ok);
    QTRY_VERIFY(!dialog->property("visible").toBool());
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 10000);
}

void tst_MainPage::spinShotsAndNext()
{
    QTemporaryDir dir;
    QImage picture(600, 400, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const QString path = dir.filePath(QStringLiteral("01_0.0.jpg"));
    QVERIFY(picture.save(path, "JPG"));
    QSignalSpy next(m_page, SIGNAL(nextShotRequested()));
    // As the program's window, which the panels make wider than this bare page: the page follows it.
    m_view->setResizeMode(QQuickView::SizeRootObjectToView);
    m_view->resize(800, m_view->height());

    call("setPicturesFolder", QStringLiteral("/home/user/Pictures/Spinwright"));
    QCOMPARE(control("picturesFolderLabel")->property("text").toString(), QStringLiteral("/home/user/Pictures/Spinwright"));
    call("resetDefaultUi", true);
    press(control("startButton"));
    QVERIFY(!visible("changePicturesFolderButton"));
    call("setShotsTaken", QVariantList{3, 8});
    QVERIFY(visible("shotsLabel"));
    QCOMPARE(control("shotsLabel")->property("text").toString(), QStringLiteral("3 of 8"));
    call("setLastPicture", QUrl::fromLocalFile(path));
    QQuickItem *image = control("lastPictureImage");
    QTRY_COMPARE(image->property("status").toInt(), 1); // Image.Ready
    QVERIFY(image->isVisible());
    // Read scaled, never at the camera's size.
    QVERIFY(image->property("implicitWidth").toInt() <= 48);

    // Space and Next count only while the spin waits for the user.
    QVERIFY(!visible("nextButton"));
    QTest::keyClick(m_view.get(), Qt::Key_Space);
    QCOMPARE(next.size(), 0);
    call("setWaitingForNext", true);
    click(control("nextButton"));
    QCOMPARE(next.size(), 1);
    QTest::keyClick(m_view.get(), Qt::Key_Space);
    QCOMPARE(next.size(), 2);
    call("setWaitingForNext", false);
    QVERIFY(!visible("nextButton"));
    QTest::keyClick(m_view.get(), Qt::Key_Space);
    QCOMPARE(next.size(), 2);

    call("setWaitingForNext", true);
    call("resetDefaultUi", true);
    QVERIFY(!visible("nextButton"));
    QVERIFY(!visible("shotsLabel"));
    QVERIFY(!image->isVisible());
    QVERIFY(visible("changePicturesFolderButton"));
}

int main(int argc, char **argv)
{
    // The polish helpers bring in Qt Widgets, whose presence QtTest's key events assume.
    QApplication app(argc, argv);
    initSpinwrightResources();
    tst_MainPage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainpage.moc"
