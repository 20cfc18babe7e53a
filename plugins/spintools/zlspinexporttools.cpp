#include "zlspinexporttools.h"

#include "contactsheetwriter.h"
#include "exportstaging.h"
#include "gifwriter.h"
#include "spinframeset.h"
#include "webpwriter.h"
#include "webviewerwriter.h"

#include <QDir>
#include <QFileInfo>

namespace {

struct ToolDescription
{
    const char *key;
    const char *title;
    const char *suffix; // empty: the export is a folder
    void (*declareOptions)(ExportOptions *);
    bool (*write)(const SpinFrameSet &, const ExportOptions &, const QString &,
                  const ExportProgress &, QString *);
};

const ToolDescription tools[ZLSpinExportTools::ToolCount] = {
    {"web-viewer", QT_TRANSLATE_NOOP("ZLSpinExportTools", "Web 360 viewer"), "",
     &WebViewerWriter::declareOptions, &WebViewerWriter::write},
    {"gif", QT_TRANSLATE_NOOP("ZLSpinExportTools", "Animated GIF"), "gif",
     &GifWriter::declareOptions, &GifWriter::write},
    {"webp", QT_TRANSLATE_NOOP("ZLSpinExportTools", "Animated WebP"), "webp",
     &WebPWriter::declareOptions, &WebPWriter::write},
    {"contact-sheet", QT_TRANSLATE_NOOP("ZLSpinExportTools", "Contact sheet"), "png",
     &ContactSheetWriter::declareOptions, &ContactSheetWriter::write},
};

ExportOptions optionsOf(int tool)
{
    ExportOptions options;
    tools[tool].declareOptions(&options);
    return options;
}

} // namespace

ZLSpinExportTools::ZLSpinExportTools() = default;

ZLSpinExportTools::~ZLSpinExportTools() = default;

QStringList ZLSpinExportTools::keys()
{
    QStringList all;
    for (const ToolDescription &tool : tools)
        all << QLatin1String(tool.key);
    return all;
}

void ZLSpinExportTools::setupActionTools()
{
    hostIds.clear();
    for (const ToolDescription &tool : tools) {
        ToolInfo info;
        info.iconPath = tool.key;
        info.title = tr(tool.title);
        info.flags = exportsSpinFlag;
        hostIds.append(addActionTool(info));
    }
}

int ZLSpinExportTools::toolFor(unsigned short toolId) const
{
    if (hostIds.isEmpty())
        return toolId < ToolCount ? int(toolId) : -1;
    return hostIds.indexOf(toolId);
}

QVariantMap ZLSpinExportTools::toolOptions(unsigned short toolId) const
{
    const int tool = toolFor(toolId);
    return tool < 0 ? QVariantMap() : optionsOf(tool).describe();
}

bool ZLSpinExportTools::runTool(unsigned short toolId, const QVariantMap &arguments, QVariantMap *result)
{
    const int tool = toolFor(toolId);
    if (tool < 0) {
        setLastError(tr("There is no export with the number %1.").arg(toolId));
        return false;
    }
    QString error;
    ExportOptions options = optionsOf(tool);
    if (!options.take(arguments, &error)) {
        setLastError(error);
        return false;
    }
    const QVariant folders = arguments.value(QStringLiteral("spinFolders"));
    SpinFrameSet frames;
    if (!frames.open(folders.toStringList(), &error)) {
        setLastError(error);
        return false;
    }
    ExportStaging staging;
    if (!staging.begin(arguments.value(QStringLiteral("target")).toString(), &error)) {
        setLastError(error);
        return false;
    }

    const ExportProgress progress = [this](int done) {
        bool cancel = false;
        itemsCountProcessed(unsigned(done), &cancel);
        return !cancel;
    };
    const QString baseName = QFileInfo(QDir::cleanPath(folders.toStringList().first())).fileName();
    const QString suffix = QLatin1String(tools[tool].suffix);
    const bool isFolder = suffix.isEmpty();
    const QString name = isFolder ? baseName + QStringLiteral("-web") : baseName + QLatin1Char('.') + suffix;
    const QString written = isFolder ? staging.path() : staging.filePath(name);
    if (!tools[tool].write(frames, options, written, progress, &error)) {
        const QString full = staging.fullDiskMessage();
        setLastError(full.isEmpty() ? error : full);
        return false;
    }
    const QString final = isFolder ? staging.commitFolder(name, &error)
                                   : staging.commitFile(name, name, &error);
    if (final.isEmpty()) {
        setLastError(error);
        return false;
    }
    if (result) {
        result->insert(QStringLiteral("path"), final);
        result->insert(QStringLiteral("frames"), frames.columnCount() * frames.rowCount());
        result->insert(QStringLiteral("gaps"), frames.gaps());
    }
    return true;
}
