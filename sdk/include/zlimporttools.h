#pragma once

#include "zlplugin.h"

#include <QVariantMap>

// Import-tools plug-ins: bring pictures taken elsewhere (a camera's card) into a spin.
class ZENLYTESDK_EXPORT ZLImportTools : public virtual ZLAbstractPlugin
{
public:
    struct ImportToolsPrivate
    {
    };

    ~ZLImportTools() override;

    ZLRegisterPlugin::PluginType pluginType() const override;

    // What the host's menu shows; empty by default.
    virtual QString importTitle() const;
    // Copies pictures from sourceFolder into the spin at spinFolder and records them in its
    // manifest, on the calling thread (never the GUI thread). The report lists "imported"
    // ({"shot", "file", "source"} maps), "missingShots", "unmatched", "ambiguous",
    // "skippedExisting" and "offsetSeconds". False with lastError() set when nothing could be
    // done; false by default.
    virtual bool importIntoSpin(const QString &sourceFolder, const QString &spinFolder,
                                QVariantMap *report);

protected:
    ZLImportTools();

private:
    Q_DISABLE_COPY(ZLImportTools)
    ImportToolsPrivate *d;
};
