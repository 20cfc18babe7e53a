#pragma once

#include "exportoptions.h"
#include "spinframeset.h"

// An animated GIF of the first row, looping forever, each frame quantised to its own palette.
class GifWriter
{
    Q_DECLARE_TR_FUNCTIONS(GifWriter)

public:
    static void declareOptions(ExportOptions *options);
    // Writes to path (a folder for the viewer, a file for the others); false with *error set.
    static bool write(const SpinFrameSet &frames, const ExportOptions &options, const QString &path,
                      const ExportProgress &progress, QString *error);
};
