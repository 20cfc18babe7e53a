#include "zlpluginslist_p.h"
#include "zlglobalqmlengine_p.h"

#include "zlcamerahardware.h"
#include "zlimageprocessing.h"
#include "zlimageviewevent.h"
#include "zlimporttools.h"
#include "zltoolsaction.h"
#include "zlturntablehardware.h"

#include <QDir>
#include <QJsonObject>
#include <QPluginLoader>
#include <QQmlEngine>
#include <QQmlError>

#include <algorithm>

namespace {
const QString registerPluginIid = QStringLiteral("com.marvolix.ZLRegisterPlugin");

template<typename Interface>
void collect(ZLRegisterPlugin *root, unsigned short kinds, ZLRegisterPlugin::PluginType kind,
             std::list<Interface *> &into)
{
    if (!(kinds & kind))
        return;
    if (auto *object = dynamic_cast<Interface *>(root->createPluginObject(kind)))
        into.push_back(object);
}

template<typename Interface>
std::list<ZLAbstractPlugin *> asBase(const std::list<Interface *> &from)
{
    return std::list<ZLAbstractPlugin *>(from.begin(), from.end());
}
}

ZLPluginsList::ZLPluginsList()
    : d(new PluginsListPrivate)
{
    d->registeredPlugins.reset(new std::list<ZLRegisterPlugin *>);
}

ZLPluginsList::~ZLPluginsList()
{
    ZLSdkPrivate::deleteGlobalQmlEngine();
    for (ZLRegisterPlugin *root : *d->registeredPlugins)
        delete root;
    delete d;
}

void ZLPluginsList::addPluginLoadPath(QString path)
{
    globalQmlEngine()->addPluginPath(path);
}

bool ZLPluginsList::loadPlugins(std::list<QString> *errors)
{
    const QString savedDirectory = QDir::currentPath();
    QQmlEngine *engine = globalQmlEngine();
    const QStringList pluginPaths = engine->pluginPathList();
    for (const QString &entry : pluginPaths) {
        // A relative entry (the engine's own ".") would load whatever lies in the working folder.
        if (entry.isEmpty() || QDir::isRelativePath(entry))
            continue;
        const QDir directory(entry);
        QDir::setCurrent(directory.path());
        const QStringList fileNames = directory.entryList(QStringList{QStringLiteral("*.so")},
                                                          QDir::Files, QDir::Unsorted);
        for (const QString &fileName : fileNames) {
            const QString filePath = directory.absoluteFilePath(fileName);
            QList<QQmlError> importErrors;
            if (!engine->importPlugin(filePath, QString(), &importErrors)) {
                if (errors) {
                    // Carriage returns on purpose: the product family's hosts join these entries and break lines on them.
                    errors->push_back(fileName + QObject::tr(" not loaded:") + QChar(13));
                    for (const QQmlError &error : qAsConst(importErrors))
                        errors->push_back(error.toString());
                    errors->push_back(QString(QChar(13)));
                }
                continue;
            }
            QPluginLoader loader(filePath);
            if (!loader.isLoaded()) {
                if (errors)
                    errors->push_back(loader.errorString());
                continue;
            }
            const QJsonValue iid = loader.metaData().value(QStringLiteral("IID"));
            if (!iid.isString())
                continue;
            if (iid.toString() != registerPluginIid) {
                if (errors)
                    errors->push_back(QObject::tr("RegisterPluginIID not found."));
                continue;
            }
            auto *root = qobject_cast<ZLRegisterPlugin *>(loader.instance());
            // One file reached through two path entries must not be owned, and deleted, twice.
            if (root && std::find(d->registeredPlugins->begin(), d->registeredPlugins->end(), root)
                    == d->registeredPlugins->end())
                d->registeredPlugins->push_back(root);
        }
        QDir::setCurrent(savedDirectory);
    }
    return !d->registeredPlugins->empty();
}

void ZLPluginsList::createPluginsObjects()
{
    for (ZLRegisterPlugin *root : *d->registeredPlugins) {
        const unsigned short kinds = root->supportedPluginTypes();
        collect(root, kinds, ZLRegisterPlugin::CameraHardwarePlugin, d->cameraPlugins);
        collect(root, kinds, ZLRegisterPlugin::TurntableHardwarePlugin, d->turntablePlugins);
        collect(root, kinds, ZLRegisterPlugin::ToolsActionPlugin, d->toolsActionPlugins);
        collect(root, kinds, ZLRegisterPlugin::ImageProcessingPlugin, d->imageProcessingPlugins);
        collect(root, kinds, ZLRegisterPlugin::ImageViewEventPlugin, d->imageViewEventPlugins);
        collect(root, kinds, ZLRegisterPlugin::ImportToolsPlugin, d->importToolsPlugins);
    }
}

std::list<ZLAbstractPlugin *> ZLPluginsList::availablePluginsList(ZLRegisterPlugin::PluginType type) const
{
    switch (type) {
    case ZLRegisterPlugin::CameraHardwarePlugin:
        return asBase(d->cameraPlugins);
    case ZLRegisterPlugin::TurntableHardwarePlugin:
        return asBase(d->turntablePlugins);
    case ZLRegisterPlugin::ToolsActionPlugin:
        return asBase(d->toolsActionPlugins);
    case ZLRegisterPlugin::ImageProcessingPlugin:
        return asBase(d->imageProcessingPlugins);
    case ZLRegisterPlugin::ImageViewEventPlugin:
        return asBase(d->imageViewEventPlugins);
    case ZLRegisterPlugin::ImportToolsPlugin:
        return asBase(d->importToolsPlugins);
    default:
        return {};
    }
}

std::list<ZLAbstractPlugin *> ZLPluginsList::availablePluginsList() const
{
    std::list<ZLAbstractPlugin *> all = asBase(d->cameraPlugins);
    all.splice(all.end(), asBase(d->turntablePlugins));
    all.splice(all.end(), asBase(d->toolsActionPlugins));
    all.splice(all.end(), asBase(d->imageViewEventPlugins));
    all.splice(all.end(), asBase(d->imageProcessingPlugins));
    all.splice(all.end(), asBase(d->importToolsPlugins));
    return all;
}
