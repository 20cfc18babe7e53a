#include "zltoolsaction.h"
#include "zlinterfacebasics_p.h"
#include "zlrounding_p.h"

#include <memory>

using ToolsPrivate = ZLToolsAction::ToolsActionPrivate;

std::function<unsigned short(ZLToolsAction *, const ZLToolsAction::ToolInfo &)> ToolsPrivate::addActionTool;
std::function<void(ZLToolsAction *, unsigned int, bool *)> ToolsPrivate::itemsCountProcessed;
std::function<bool(const ZLToolsAction *, std::list<QString> *)> ToolsPrivate::selectedFileNames;

struct ZLToolsAction::ImageIOHandle
{
    ZLImageIO imageIO;
};

ZL_DEFINE_INTERFACE_BASICS(ZLToolsAction, ToolsActionPrivate, ToolsActionPlugin)

void ZLToolsAction::toolToggled(unsigned short toolId, bool checked)
{
    Q_UNUSED(toolId)
    Q_UNUSED(checked)
}

void ZLToolsAction::processPreviewFrameAsync(const ZLImageInfo &info, const ZLImagePixels &pixels)
{
    Q_UNUSED(info)
    Q_UNUSED(pixels)
}

QVariantMap ZLToolsAction::toolOptions(unsigned short toolId) const
{
    Q_UNUSED(toolId)
    return {};
}

bool ZLToolsAction::runTool(unsigned short toolId, const QVariantMap &arguments, QVariantMap *result)
{
    Q_UNUSED(toolId)
    Q_UNUSED(arguments)
    Q_UNUSED(result)
    return false;
}

unsigned short ZLToolsAction::addActionTool(const ToolInfo &info)
{
    return ToolsPrivate::addActionTool(this, info);
}

void ZLToolsAction::itemsCountProcessed(unsigned int count, bool *cancel)
{
    ToolsPrivate::itemsCountProcessed(this, count, cancel);
}

bool ZLToolsAction::selectedFileNames(std::list<QString> *fileNames) const
{
    return ToolsPrivate::selectedFileNames(this, fileNames);
}

int ZLToolsAction::currentToolId() const
{
    return readUnderPluginLock(d->currentToolId);
}

void ZLToolsAction::setCurrentToolId(int toolId)
{
    writeUnderPluginLock(d->currentToolId, toolId);
}

ZLToolsAction::ImageIOHandle *ZLToolsAction::acquireImageIO()
{
    return new ImageIOHandle;
}

ZLToolsAction::ImageIOHandle *ZLToolsAction::acquireImageIO(QString path, ZLImageInfo *info, ZLImagePixels *pixels)
{
    std::unique_ptr<ImageIOHandle> handle(new ImageIOHandle);
    if (!handle->imageIO.loadFromFilePath(path))
        return nullptr;
    if (info && !handle->imageIO.imageHandle().isNull())
        handle->imageIO.imageInformation(info);
    // A file that opened but did not decode leaves no pixels to point at.
    if (pixels)
        *pixels = ZLImagePixels();
    handle->imageIO.lockImagePixels(pixels, ZLRect());
    return handle.release();
}

void ZLToolsAction::releaseImageIO(ImageIOHandle *handle)
{
    if (!handle)
        return;
    handle->imageIO.unlockImagePixels(nullptr);
    delete handle;
}

bool ZLToolsAction::releaseImageIO(ImageIOHandle *handle, QString path, const ZLImageInfo &info,
                                   const ZLImagePixels &pixels)
{
    if (!handle)
        return false;
    const std::unique_ptr<ImageIOHandle> owner(handle);
    ZLImageIO &imageIO = owner->imageIO;

    ZLImageInfo current;
    if (imageIO.imageInformation(&current) && current == info) {
        imageIO.unlockImagePixels(pixels.data);
        return imageIO.writeImagePixelsToFilePath(path);
    }

    imageIO.unlockImagePixels(nullptr);
    // A copy: the caller handed its description in as const.
    ZLImagePixels rebuilt = pixels;
    // Without pixels of the caller's there is nothing to write but uninitialised memory.
    if (!rebuilt.data)
        return false;
    if (rebuilt.bytesPerLine == 0) {
        if (rebuilt.byteCount == 0)
            return false;
        const int rows = ZLSdkPrivate::roundToInt(info.height);
        if (rows <= 0)
            return false;
        rebuilt.bytesPerLine = int32_t(rebuilt.byteCount / unsigned(rows));
    }
    if (!imageIO.initFromRawPixelsData(rebuilt, info))
        return false;
    return imageIO.writeImagePixelsToFilePath(path);
}
