#pragma once

#include "zlplugin.h"

// Import-tools plug-ins: a kind of its own, with no operations beyond ZLAbstractPlugin's.
class ZENLYTESDK_EXPORT ZLImportTools : public virtual ZLAbstractPlugin
{
public:
    struct ImportToolsPrivate
    {
    };

    ~ZLImportTools() override;

    ZLRegisterPlugin::PluginType pluginType() const override;

protected:
    ZLImportTools();

private:
    Q_DISABLE_COPY(ZLImportTools)
    ImportToolsPrivate *d;
};
