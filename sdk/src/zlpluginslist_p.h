#pragma once

#include "zlpluginslist.h"

#include <list>
#include <memory>

class ZLCameraHardware;
class ZLTurntableHardware;
class ZLToolsAction;
class ZLImageViewEvent;
class ZLImageProcessing;
class ZLImportTools;

struct ZLPluginsList::PluginsListPrivate
{
    // Typed views on the plug-in objects; they own nothing.
    std::list<ZLCameraHardware *> cameraPlugins;
    std::list<ZLTurntableHardware *> turntablePlugins;
    std::list<ZLToolsAction *> toolsActionPlugins;
    std::list<ZLImageViewEvent *> imageViewEventPlugins;
    std::list<ZLImageProcessing *> imageProcessingPlugins;
    std::list<ZLImportTools *> importToolsPlugins;
    // Owns the root objects, in load order.
    std::unique_ptr<std::list<ZLRegisterPlugin *>> registeredPlugins;
};
