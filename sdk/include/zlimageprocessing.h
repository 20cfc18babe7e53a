#pragma once

#include "zlimage.h"
#include "zlplugin.h"

#include <functional>
#include <sstream>
#include <string>

// Image-processing plug-ins: filters with parameter sections that render image rectangles.
class ZENLYTESDK_EXPORT ZLImageProcessing : public virtual ZLAbstractPlugin
{
public:
    struct ZENLYTESDK_EXPORT ImageProcessingPrivate
    {
        int32_t currentFilterSectionId = -1;

        // Process-wide, installed by the application before it uses objects of this kind.
        static std::function<unsigned short(ZLImageProcessing *, const std::string &)> addFilterSection;
        static std::function<void(ZLImageProcessing *, const std::stringstream &)> sectionParametersChanged;
        static std::function<void(ZLImageProcessing *, const ZLRect &, const void *)> imageRectProcessed;
        static std::function<bool(ZLImageProcessing *, const ZLRect &, ZLImagePixels *)> imageRectPixelsData;
    };

    ~ZLImageProcessing() override;

    ZLRegisterPlugin::PluginType pluginType() const override;

    // Called once the hooks are installed; the plug-in adds its sections with addFilterSection().
    virtual void setupFilterSections() = 0;
    // Renders rect of the current image; the result goes back through imageRectProcessed().
    virtual bool processImageRect(const ZLRect &rect) = 0;
    virtual void filterSectionChanged(int previousSectionId, int sectionId);
    virtual void renderedImagePixelsHaveChanged(const ZLImageInfo &info);
    virtual bool isProcessedImageInfoChanged(ZLImageInfo *info) const;
    virtual bool loadParameters(std::stringstream &&parameters);
    virtual bool saveParameters(std::stringstream *parameters);

    // Forwarders: an empty hook throws std::bad_function_call.
    unsigned short addFilterSection(const std::string &title);
    void sectionParametersChanged(const std::stringstream &parameters);
    void imageRectProcessed(const ZLRect &rect, const void *pixels);
    bool imageRectPixelsData(const ZLRect &rect, ZLImagePixels *pixels) const;

    int currentFilterSectionId() const;
    void setCurrentFilterSectionId(int sectionId);

    // The decoded file, or a null image when it cannot be read.
    static QImage acquireImageHandle(QString path);

protected:
    ZLImageProcessing();

private:
    Q_DISABLE_COPY(ZLImageProcessing)
    ImageProcessingPrivate *d;
};
