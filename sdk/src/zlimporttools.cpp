#include "zlimporttools.h"

ZLImportTools::ZLImportTools()
    : d(new ImportToolsPrivate)
{
}

ZLImportTools::~ZLImportTools()
{
    delete d;
}

ZLRegisterPlugin::PluginType ZLImportTools::pluginType() const
{
    return ZLRegisterPlugin::ImportToolsPlugin;
}
