#pragma once

#include "exportoptions.h"
#include "spinframeset.h"

// An animated WebP of the first row, looping forever.
class WebPWriter
{
    Q_DECLARE_TR_FUNCTIONS(WebPWriter)

public:
    static void declareOptions(ExportOptions *options);
    // Writes to path (a folder for the viewer, a file for the others); false with *error set.
    static bool write(const SpinFrameSet &frames, const ExportOptions &options, const QString &path,
                      const ExportProgress &progress, QString *error);
};
