#pragma once

#include "zlplugin.h"

// Root object of TetheredCamera.so: hands out, on each request, a new tethered camera.
class ZLTetheredCameraPlugin : public ZLRegisterPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.marvolix.ZLRegisterPlugin")

public:
    ZLTetheredCameraPlugin();
    ~ZLTetheredCameraPlugin() override;

    unsigned short supportedPluginTypes() override;
    // The caller owns what it gets.
    ZLAbstractPlugin *createPluginObject(PluginType type) override;
};
