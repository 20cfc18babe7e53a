// "MarvolixTurntable-v3.json" as the turntable control loads it for its settings UI, and the
// save that merges its custom block back.
#include "d2xxsim.h"
#include "fuzzapplication.h"
#include "zlmarvolixturntablecontrol.h"
#include "zlmarvolixturntableui.h"

#include <QQuickItem>

// Outside the C-linkage entry point and any unnamed namespace, so that the resource function
// keeps its C++ name and external linkage.
static void initFixture()
{
    Q_INIT_RESOURCE(savefixture);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool resources = [] {
        fuzzDataDirectory();
        initFixture();
        ZLTurntableHardware::TurntableHardwarePrivate::hardwareOpenSucceeded = [](ZLTurntableHardware *, size_t, bool) {};
        ZLTurntableHardware::TurntableHardwarePrivate::hardwareDisconnected = [](ZLTurntableHardware *, size_t) {};
        ZLTurntableHardware::TurntableHardwarePrivate::turntableRotationStopped = [](ZLTurntableHardware *) {};
        d2xxsim::reset();
        return true;
    }();
    (void)resources;
    writeFuzzFile("MarvolixTurntable-v3.json", data, size);
    ZLMarvolixTurntableControl control;
    control.setSettingsUi(std::make_unique<ZLMarvolixTurntableUi>());
    QQuickItem *item = control.createPluginUIFrameView();
    if (item)
        control.pluginUIFrameViewWillClose(item);
    delete item;
    return 0;
}
