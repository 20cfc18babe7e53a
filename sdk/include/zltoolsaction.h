#pragma once

#include "zlimage.h"
#include "zlplugin.h"

#include <QVariantMap>

#include <functional>
#include <list>
#include <string>

// Tools-action plug-ins: tools the application shows as actions and runs on picture files.
class ZENLYTESDK_EXPORT ZLToolsAction : public virtual ZLAbstractPlugin
{
public:
    struct ToolInfo
    {
        std::string iconPath;
        QString title;
        int32_t flags = 0;
    };

    // Owns one ZLImageIO; opaque to plug-ins.
    struct ImageIOHandle;

    struct ZENLYTESDK_EXPORT ToolsActionPrivate
    {
        int32_t currentToolId = -1;

        // Process-wide, installed by the application before it uses objects of this kind.
        static std::function<unsigned short(ZLToolsAction *, const ToolInfo &)> addActionTool;
        static std::function<void(ZLToolsAction *, unsigned int, bool *)> itemsCountProcessed;
        static std::function<bool(const ZLToolsAction *, std::list<QString> *)> selectedFileNames;
    };

    ~ZLToolsAction() override;

    ZLRegisterPlugin::PluginType pluginType() const override;

    // Called once the hooks are installed; the plug-in adds its tools with addActionTool().
    virtual void setupActionTools() = 0;
    virtual void toolToggled(unsigned short toolId, bool checked);
    virtual void processPreviewFrameAsync(const ZLImageInfo &info, const ZLImagePixels &pixels);
    // Appended after the original operations so that plug-ins built against the older layout
    // keep their table of virtual operations.
    // The tool's options for the host's dialog: key -> {"value", "min", "max"} (or "choices").
    // Empty by default: the tool has none.
    virtual QVariantMap toolOptions(unsigned short toolId) const;
    // Runs a tool that exports spins on the calling thread (never the GUI thread): arguments
    // "spinFolders" (QStringList, top row first), "target" (a folder) and option values by key.
    // Progress goes through itemsCountProcessed(); a cancel flag set by the host stops the tool.
    // True with (*result)["path"] the written file or folder; false with lastError() set.
    // False by default.
    virtual bool runTool(unsigned short toolId, const QVariantMap &arguments, QVariantMap *result);

    // Forwarders: an empty hook throws std::bad_function_call.
    unsigned short addActionTool(const ToolInfo &info);
    void itemsCountProcessed(unsigned int count, bool *cancel);
    bool selectedFileNames(std::list<QString> *fileNames) const;

    int currentToolId() const;
    void setCurrentToolId(int toolId);

    static ImageIOHandle *acquireImageIO();
    // Loads path and locks the whole image: pixels then points at the image's own memory,
    // which the tool may change in place. Null when the file cannot be read.
    static ImageIOHandle *acquireImageIO(QString path, ZLImageInfo *info, ZLImagePixels *pixels);
    static void releaseImageIO(ImageIOHandle *handle);
    // Writes the tool's result to path and frees the handle in every case.
    static bool releaseImageIO(ImageIOHandle *handle, QString path, const ZLImageInfo &info,
                               const ZLImagePixels &pixels);

protected:
    ZLToolsAction();

private:
    Q_DISABLE_COPY(ZLToolsAction)
    ToolsActionPrivate *d;
};
