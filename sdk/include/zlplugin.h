#pragma once

#include "zenlytesdk_global.h"

#include <QQmlExtensionPlugin>
#include <QString>

#include <mutex>
#include <string>

class QQmlEngine;
class QQuickItem;
class ZLAbstractPlugin;

// Root object of every plug-in file; the plug-in list asks it for its objects kind by kind.
// A plug-in file declares its subclass with
// Q_PLUGIN_METADATA(IID "com.marvolix.ZLRegisterPlugin").
class ZENLYTESDK_EXPORT ZLRegisterPlugin : public QQmlExtensionPlugin
{
    Q_OBJECT

public:
    // Single bits, so that a set of kinds is their bitwise OR.
    enum PluginType : unsigned short {
        CameraHardwarePlugin = 1,
        TurntableHardwarePlugin = 2,
        ToolsActionPlugin = 4,
        ImageProcessingPlugin = 8,
        ImageViewEventPlugin = 16,
        ImportToolsPlugin = 32
    };

    ZLRegisterPlugin();
    ~ZLRegisterPlugin() override;

    // The kinds this file offers, OR-ed together.
    virtual unsigned short supportedPluginTypes() = 0;
    // A new object of the kind asked for, or null when the file does not offer it.
    // The caller owns the object.
    virtual ZLAbstractPlugin *createPluginObject(PluginType type) = 0;

protected:
    void registerTypes(const char *uri) override;
};

// Base of every object a plug-in contributes and virtual base of every interface class.
class ZENLYTESDK_EXPORT ZLAbstractPlugin
{
public:
    struct ZENLYTESDK_EXPORT AbstractPluginPrivate
    {
        QString lastErrorText;

        // The one process-wide lock: last-error texts, the project directory read with
        // lock = true, and the current device, tool and section indices.
        static std::mutex asyncMutex;
        // Assigned directly by whoever changes it, followed by projectDirectoryWasChanged().
        static QString currentProjectDirectory;
    };

    virtual ~ZLAbstractPlugin();

    virtual ZLRegisterPlugin::PluginType pluginType() const = 0;
    virtual void pluginDidInitialized();
    virtual void pluginWillClose();
    virtual void applicationDidBecomeActive();
    virtual void applicationDidEnterBackground();
    // The plug-in's own settings view, or null when it has none.
    virtual QQuickItem *createPluginUIFrameView();
    virtual bool pluginUIFrameViewWillClose(QQuickItem *item);
    virtual void projectDirectoryWasChanged() const;

    const QString lastError() const;
    void setLastError(QString text);

    static QString applicationLocalDataDirectory();
    static QString currentProjectDirectory(bool lock);
    // Always the backslash: stored paths use it on every platform.
    static char pathSeparator();
    static std::wstring utf8ToWideString(const std::string &text);
    static std::string wideToUtf8String(const std::wstring &text);
    static std::wstring nativeToWideString(QString text);
    static QString wideToNativeString(const std::wstring &text);

protected:
    ZLAbstractPlugin();

private:
    Q_DISABLE_COPY(ZLAbstractPlugin)
    AbstractPluginPrivate *d;
};

// The one QML engine of the process, created on first use; deleted by ~ZLPluginsList().
ZENLYTESDK_EXPORT QQmlEngine *globalQmlEngine();
