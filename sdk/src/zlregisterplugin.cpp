#include "zlplugin.h"

ZLRegisterPlugin::ZLRegisterPlugin()
    : QQmlExtensionPlugin(nullptr)
{
}

ZLRegisterPlugin::~ZLRegisterPlugin() = default;

void ZLRegisterPlugin::registerTypes(const char *uri)
{
    Q_UNUSED(uri)
}
