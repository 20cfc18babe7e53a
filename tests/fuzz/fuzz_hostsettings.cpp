// "Spinwright.json" as the controller reads it at start-up to reselect the last turntable.
#include "chostappspinwright.h"
#include "d2xxsim.h"
#include "fuzzapplication.h"
#include "spinwrightresources.h"
#include "zlmarvolixturntablecontrol.h"
#include "zlmarvolixturntableui.h"
#include "zlshutterreleasecamera.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickView>

#include <atomic>

// Outside the C-linkage entry point and any unnamed namespace, so that the resource function
// keeps its C++ name and external linkage.
static void initFixture()
{
    Q_INIT_RESOURCE(savefixture);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QQuickView *view = [] {
        fuzzDataDirectory();
        initSpinwrightResources();
        initFixture();
        d2xxsim::reset();
        d2xxsim::attach("turntable:2,plain");
        globalQmlEngine()->rootContext()->setContextProperty(QStringLiteral("TurntableDevicesModel"), QStringList());
        auto *page = new QQuickView(globalQmlEngine(), nullptr);
        page->setSource(QUrl(QStringLiteral("qrc:/qml/Spinwright.qml")));
        return page;
    }();
    if (view->status() != QQuickView::Ready)
        __builtin_trap();
    writeFuzzFile("Spinwright.json", data, size);
    static std::atomic<ZLMarvolixTurntableControl *> cameraControl{nullptr};
    auto *control = new ZLMarvolixTurntableControl;
    control->setSettingsUi(std::make_unique<ZLMarvolixTurntableUi>());
    cameraControl = control;
    auto *controller = new CHostAppSpinwright(control, new ZLShutterReleaseCamera(cameraControl), view);
    // Lets the page's reselection of the stored device reach the controller.
    QCoreApplication::processEvents();
    delete controller;
    cameraControl = nullptr;
    return 0;
}
