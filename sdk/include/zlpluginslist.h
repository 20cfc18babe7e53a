#pragma once

#include "zlplugin.h"

#include <list>

// Loads the plug-in files of the shared QML engine's plug-in path and hands out their objects
// by kind. Lives on the GUI thread from start-up to program end.
class ZENLYTESDK_EXPORT ZLPluginsList
{
public:
    struct PluginsListPrivate;

    ZLPluginsList();
    // Deletes the shared QML engine, then the root objects; the plug-in objects handed out
    // belong to whoever took them.
    ~ZLPluginsList();

    void addPluginLoadPath(QString path);
    // Appends one text per problem to errors (may be null); true when any file was accepted.
    bool loadPlugins(std::list<QString> *errors);
    void createPluginsObjects();
    // type must be exactly one of 1, 2, 4, 8, 16, 32; anything else gives an empty list.
    std::list<ZLAbstractPlugin *> availablePluginsList(ZLRegisterPlugin::PluginType type) const;
    // Kinds in the order camera, turntable, tools action, image view event, image processing,
    // import tools.
    std::list<ZLAbstractPlugin *> availablePluginsList() const;

private:
    Q_DISABLE_COPY(ZLPluginsList)
    PluginsListPrivate *d;
};
