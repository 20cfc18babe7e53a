#include "zlmarvolixturntableplugin.h"

#include "zlmarvolixturntablecontrol.h"
#include "zlqmlturntablecontrol.h"
#include "zlshutterreleasecamera.h"

#include <atomic>

namespace {

// The process's one control, set once and never cleared; cameras reach the motor through it.
std::atomic<ZLMarvolixTurntableControl *> turntableControl{nullptr};

} // namespace

ZLMarvolixTurntablePlugin::ZLMarvolixTurntablePlugin() = default;

ZLMarvolixTurntablePlugin::~ZLMarvolixTurntablePlugin() = default;

unsigned short ZLMarvolixTurntablePlugin::supportedPluginTypes()
{
    return CameraHardwarePlugin | TurntableHardwarePlugin;
}

ZLAbstractPlugin *ZLMarvolixTurntablePlugin::createPluginObject(PluginType type)
{
    if (!turntableControl.load()) {
        auto *control = new ZLMarvolixTurntableControl;
        control->setUiBridgeFactory([](ZLMarvolixTurntableControl *owner, QObject *parent) -> QObject * {
            return new ZLQmlTurntableControl(owner, parent);
        });
        turntableControl.exchange(control);
    }
    switch (type) {
    case TurntableHardwarePlugin:
        return turntableControl.load();
    case CameraHardwarePlugin:
        return new ZLShutterReleaseCamera(turntableControl);
    default:
        return nullptr;
    }
}
