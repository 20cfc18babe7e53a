#include "zlimageprocessing.h"
#include "zlinterfacebasics_p.h"

using ProcessingPrivate = ZLImageProcessing::ImageProcessingPrivate;

std::function<unsigned short(ZLImageProcessing *, const std::string &)> ProcessingPrivate::addFilterSection;
std::function<void(ZLImageProcessing *, const std::stringstream &)> ProcessingPrivate::sectionParametersChanged;
std::function<void(ZLImageProcessing *, const ZLRect &, const void *)> ProcessingPrivate::imageRectProcessed;
std::function<bool(ZLImageProcessing *, const ZLRect &, ZLImagePixels *)> ProcessingPrivate::imageRectPixelsData;

ZL_DEFINE_INTERFACE_BASICS(ZLImageProcessing, ImageProcessingPrivate, ImageProcessingPlugin)

void ZLImageProcessing::filterSectionChanged(int previousSectionId, int sectionId)
{
    Q_UNUSED(previousSectionId)
    Q_UNUSED(sectionId)
}

void ZLImageProcessing::renderedImagePixelsHaveChanged(const ZLImageInfo &info)
{
    Q_UNUSED(info)
}

bool ZLImageProcessing::isProcessedImageInfoChanged(ZLImageInfo *info) const
{
    Q_UNUSED(info)
    return false;
}

bool ZLImageProcessing::loadParameters(std::stringstream &&parameters)
{
    Q_UNUSED(parameters)
    return false;
}

bool ZLImageProcessing::saveParameters(std::stringstream *parameters)
{
    Q_UNUSED(parameters)
    return false;
}

unsigned short ZLImageProcessing::addFilterSection(const std::string &title)
{
    return ProcessingPrivate::addFilterSection(this, title);
}

void ZLImageProcessing::sectionParametersChanged(const std::stringstream &parameters)
{
    ProcessingPrivate::sectionParametersChanged(this, parameters);
}

void ZLImageProcessing::imageRectProcessed(const ZLRect &rect, const void *pixels)
{
    ProcessingPrivate::imageRectProcessed(this, rect, pixels);
}

bool ZLImageProcessing::imageRectPixelsData(const ZLRect &rect, ZLImagePixels *pixels) const
{
    // The hook takes a mutable object: the application answers on behalf of this one.
    return ProcessingPrivate::imageRectPixelsData(const_cast<ZLImageProcessing *>(this), rect, pixels);
}

int ZLImageProcessing::currentFilterSectionId() const
{
    return readUnderPluginLock(d->currentFilterSectionId);
}

void ZLImageProcessing::setCurrentFilterSectionId(int sectionId)
{
    writeUnderPluginLock(d->currentFilterSectionId, sectionId);
}

QImage ZLImageProcessing::acquireImageHandle(QString path)
{
    ZLImageIO imageIO;
    if (!imageIO.loadFromFilePath(path))
        return QImage();
    return imageIO.imageHandle();
}
