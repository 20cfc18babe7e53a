#pragma once

#include "zltoolsaction.h"

#include <QCoreApplication>
#include <QVector>

// The exports of a finished spin, offered to the host as tools: "web-viewer", "gif", "webp"
// and "contact-sheet" (ToolInfo::iconPath carries the key, flags 1 = exports a spin). The tool
// ids are whatever the host's addActionTool answered; before setupActionTools() they are the
// tools' positions in keys().
class ZLSpinExportTools : public ZLToolsAction
{
    Q_DECLARE_TR_FUNCTIONS(ZLSpinExportTools)

public:
    enum Tool { WebViewer, Gif, WebP, ContactSheet, ToolCount };
    static const int exportsSpinFlag = 1;

    ZLSpinExportTools();
    ~ZLSpinExportTools() override;

    static QStringList keys();

    void setupActionTools() override;
    QVariantMap toolOptions(unsigned short toolId) const override;
    bool runTool(unsigned short toolId, const QVariantMap &arguments, QVariantMap *result) override;

private:
    int toolFor(unsigned short toolId) const;

    // Written on the GUI thread by setupActionTools() before any runTool(); read-only after.
    QVector<unsigned short> hostIds;
};
