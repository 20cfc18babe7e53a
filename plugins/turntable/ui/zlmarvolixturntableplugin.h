#pragma once

#include "zlplugin.h"

// Root object of MarvolixTurntable.so: hands out the one turntable control and, on each request,
// a new shutter-release camera.
class ZLMarvolixTurntablePlugin : public ZLRegisterPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.marvolix.ZLRegisterPlugin")

public:
    ZLMarvolixTurntablePlugin();
    ~ZLMarvolixTurntablePlugin() override;

    unsigned short supportedPluginTypes() override;
    // The caller owns what it gets; the control is created on the first call, whatever the kind.
    ZLAbstractPlugin *createPluginObject(PluginType type) override;
};
