#include "zlspintoolsplugin.h"

#include "zlcardimporttools.h"
#include "zlspinexporttools.h"

ZLSpinToolsPlugin::ZLSpinToolsPlugin() = default;

ZLSpinToolsPlugin::~ZLSpinToolsPlugin() = default;

unsigned short ZLSpinToolsPlugin::supportedPluginTypes()
{
    return ToolsActionPlugin | ImportToolsPlugin;
}

ZLAbstractPlugin *ZLSpinToolsPlugin::createPluginObject(PluginType type)
{
    switch (type) {
    case ToolsActionPlugin:
        return new ZLSpinExportTools;
    case ImportToolsPlugin:
        return new ZLCardImportTools;
    default:
        return nullptr;
    }
}
