#pragma once

#include "exportoptions.h"
#include "spinframeset.h"

// One PNG of all frames in a grid, each labelled with its shot number and angle.
class ContactSheetWriter
{
    Q_DECLARE_TR_FUNCTIONS(ContactSheetWriter)

public:
    static void declareOptions(ExportOptions *options);
    // Writes to path (a folder for the viewer, a file for the others); false with *error set.
    static bool write(const SpinFrameSet &frames, const ExportOptions &options, const QString &path,
                      const ExportProgress &progress, QString *error);
};
