#include "panelfixture.h"

#include "d2xxsim.h"
#include "spinwrightpalette.h"
#include "zlmarvolixturntableui.h"
#include "zlplugin.h"

#include <QtTest>

#include <QFile>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickItem>

QString PanelFixture::settingsFile()
{
    return ZLAbstractPlugin::applicationLocalDataDirectory() + QStringLiteral("/MarvolixTurntable-v3.json");
}

void PanelFixture::setUpCase()
{
    QVERIFY(dataHome.isValid());
    // Keeps the settings file away from the user's own.
    qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
    QVERIFY(ZLAbstractPlugin::applicationLocalDataDirectory().startsWith(dataHome.path()));
    // The host's palette, under which the panel is shown.
    QGuiApplication::setPalette(spinwrightPalette(QGuiApplication::palette()));
    plugins = std::make_unique<ZLPluginsList>();

    host.install();
}

void PanelFixture::tearDownCase()
{
    plugins.reset();
}

void PanelFixture::setUpTest()
{
    d2xxsim::reset();
    QFile::remove(settingsFile());
    startLocale = QLocale();
    control = std::make_unique<ZLMarvolixTurntableControl>();
    control->setSettingsUi(std::make_unique<ZLMarvolixTurntableUi>());
}

void PanelFixture::tearDownTest()
{
    control->stopAngleRotation();
    if (panel) {
        control->pluginUIFrameViewWillClose(panel);
        delete panel;
        panel = nullptr;
    }
    view.reset();
    control->closeHardware();
    control.reset();
    QLocale::setDefault(startLocale);
}

bool PanelFixture::createPanel()
{
    view = std::make_unique<QQuickView>(globalQmlEngine(), nullptr);
    panel = control->createPluginUIFrameView();
    if (!panel)
        return false;
    panel->setParentItem(view->contentItem());
    view->resize(int(panel->implicitWidth()) + 16, int(panel->implicitHeight()) + 16);
    view->show();
    view->requestActivate();
    return QTest::qWaitForWindowExposed(view.get());
}

bool PanelFixture::openRow(size_t row)
{
    control->closeHardware();
    control->openHardware(row);
    if (!control->motor())
        return false;
    // The panel hears of the device through a queued refresh.
    QCoreApplication::processEvents();
    return true;
}

QQuickItem *PanelFixture::find(const char *objectName) const
{
    return panel ? panel->findChild<QQuickItem *>(QLatin1String(objectName)) : nullptr;
}

void PanelFixture::click(QQuickItem *target)
{
    QVERIFY(target);
    const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
    QTest::mouseClick(view.get(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
}

void PanelFixture::typeInto(QQuickItem *input, const QString &text)
{
    QVERIFY(input);
    input->forceActiveFocus();
    QVERIFY(input->hasActiveFocus());
    QTest::keyClick(view.get(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(view.get(), Qt::Key_Delete);
    for (const QChar c : text)
        QTest::keyClick(view.get(), c.toLatin1());
    QTest::keyClick(view.get(), Qt::Key_Return);
}

bool PanelFixture::isEnabled(const char *objectName) const
{
    QQuickItem *item = find(objectName);
    return item && item->isEnabled();
}

void PanelFixture::showAdvancedTab()
{
    QQuickItem *tabBar = find("tabBar");
    QVERIFY(tabBar);
    tabBar->setProperty("currentIndex", 1);
    QTRY_VERIFY(find("stepsPerRevolutionField")->isVisible());
}

