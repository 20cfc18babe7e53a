// Saves one settings file over and over through the program's own code, printing "saved" after
// each save, until it is killed. Argument: host, spins or turntable.
#include "chostappspinwright.h"
#include "recordinghost.h"
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

// The object writes its settings file each time its panel closes; returns only on failure.
int saveThroughPanel(ZLAbstractPlugin &plugin)
{
    for (;;) {
        QQuickItem *item = plugin.createPluginUIFrameView();
        if (!item)
            return 1;
        plugin.pluginUIFrameViewWillClose(item);
        delete item;
        saved();
    }
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
    RecordingHost host;
    host.install();
    ZLPluginsList plugins;  // owns the shared QML engine

    if (std::strcmp(mode, "turntable") == 0) {
        ZLMarvolixTurntableControl control;
        control.setSettingsUi(std::make_unique<ZLMarvolixTurntableUi>());
        return saveThroughPanel(control);
    }
    if (std::strcmp(mode, "spins") == 0) {
        ZLTurntableSpins spins;
        return saveThroughPanel(spins);
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
