#pragma once

#include "exportoptions.h"
#include "spinframeset.h"

// The web 360 viewer: index.html with its script and style inline, the frames as progressive
// JPEG beside it (and larger ones for zoom), a README with the embedding snippet. Writes into
// folder, which the caller renames when done.
class WebViewerWriter
{
    Q_DECLARE_TR_FUNCTIONS(WebViewerWriter)

public:
    static void declareOptions(ExportOptions *options);
    // Writes to path (a folder for the viewer, a file for the others); false with *error set.
    static bool write(const SpinFrameSet &frames, const ExportOptions &options, const QString &path,
                      const ExportProgress &progress, QString *error);
};
