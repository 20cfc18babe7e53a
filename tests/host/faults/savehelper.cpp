// Saves one settings file over and over through the program's own code, printing "saved" after
// each save, until it is killed. Argument: host, spins or turntable.
#include "chostappspinwright.h"
#include "spinwrightresources.h"
#include "zlmarvolixturntablecontrol.h"
#include "zlmarvolixturntableui.h"
#include "zlpluginslist.h"
#include "zlshutterreleasecamera.h"
#include "zlturntablespins.h"

#include <QGuiApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

void saved()
{
    std::fputs("saved\n", stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2)
        return 2;
    const char *mode = argv[1];
    initSpinwrightResources();
    Q_INIT_RESOURCE(savefixture);
    QCoreApplication::setOrganizationName(QStringLiteral("SpinwrightTests"));
    QCoreApplication::setApplicationName(QStringLiteral("savehelper"));
    QGuiApplication app(argc, argv);
    ZLTurntableHardware::TurntableHardwarePrivate::hardwareOpenSucceeded = [](ZLTurntableHardware *, size_t, bool) {};
    ZLTurntableHardware::TurntableHardwarePrivate::hardwareDisconnected = [](ZLTurntableHardware *, size_t) {};
    ZLTurntableHardware::TurntableHardwarePrivate::turntableRotationStopped = [](ZLTurntableHardware *) {};
    ZLPluginsList plugins;  // owns the shared QML engine

    if (std::strcmp(mode, "turntable") == 0) {
        ZLMarvolixTurntableControl control;
        control.setSettingsUi(std::make_unique<ZLMarvolixTurntableUi>());
        for (;;) {
            QQuickItem *item = control.createPluginUIFrameView();
            if (!item)
                return 1;
            control.pluginUIFrameViewWillClose(item);
            delete item;
            saved();
        }
    }
    if (std::strcmp(mode, "spins") == 0) {
        ZLTurntableSpins spins;
        for (;;) {
            QQuickItem *item = spins.createPluginUIFrameView();
            if (!item)
                return 1;
            spins.pluginUIFrameViewWillClose(item);
            delete item;
            saved();
        }
    }
    if (std::strcmp(mode, "host") == 0) {
        globalQmlEngine()->rootContext()->setContextProperty(QStringLiteral("TurntableDevicesModel"), QStringList());
        std::atomic<ZLMarvolixTurntableControl *> cameraControl{nullptr};
        for (;;) {
            auto *control = new ZLMarvolixTurntableControl;
            control->setSettingsUi(std::make_unique<ZLMarvolixTurntableUi>());
            cameraControl = control;
            QQuickView view(globalQmlEngine(), nullptr);
            view.setSource(QUrl(QStringLiteral("qrc:/qml/Spinwright.qml")));
            if (view.status() != QQuickView::Ready)
                return 1;
            auto *controller = new CHostAppSpinwright(control, new ZLShutterReleaseCamera(cameraControl), &view);
            controller->applicationClosing();
            delete controller;
            saved();
        }
    }
    return 2;
}
