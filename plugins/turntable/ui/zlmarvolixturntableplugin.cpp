#include "zlmarvolixturntableplugin.h"

#include "zlmarvolixturntablecontrol.h"
#include "zlmarvolixturntableui.h"
#include "zlshutterreleasecamera.h"

#include <atomic>
#include <memory>

namespace {

// The process's one control; cameras reach the motor through it.
std::atomic<ZLMarvolixTurntableControl *> turntableControl{nullptr};

// The host deletes the control it was given; cameras and later requests must not see it then.
class PluginTurntableControl : public ZLMarvolixTurntableControl
{
public:
    ~PluginTurntableControl() override
    {
        ZLMarvolixTurntableControl *self = this;
        turntableControl.compare_exchange_strong(self, nullptr);
    }
};

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
        auto *control = new PluginTurntableControl;
        control->setSettingsUi(std::make_unique<ZLMarvolixTurntableUi>());
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
