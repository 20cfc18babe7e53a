#include "zltetheredcameraplugin.h"

#include "zltetheredcamera.h"

ZLTetheredCameraPlugin::ZLTetheredCameraPlugin() = default;

ZLTetheredCameraPlugin::~ZLTetheredCameraPlugin() = default;

unsigned short ZLTetheredCameraPlugin::supportedPluginTypes()
{
    return CameraHardwarePlugin;
}

ZLAbstractPlugin *ZLTetheredCameraPlugin::createPluginObject(PluginType type)
{
    return type == CameraHardwarePlugin ? new ZLTetheredCamera : nullptr;
}
