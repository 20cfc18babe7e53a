#pragma once

#include "zlplugin.h"

// Root object of SpinTools.so: hands out, on each request, a new spin export tools object
// (tools action) or a new card import object (import tools).
class ZLSpinToolsPlugin : public ZLRegisterPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.marvolix.ZLRegisterPlugin")

public:
    ZLSpinToolsPlugin();
    ~ZLSpinToolsPlugin() override;

    unsigned short supportedPluginTypes() override;
    // The caller owns what it gets.
    ZLAbstractPlugin *createPluginObject(PluginType type) override;
};
