#pragma once

#include "zlspinexporttools.h"

#include <QVector>

// The hooks a host installs around the spin exports: tool ids from 100 on, progress recorded,
// cancelled once cancelAt frames are done.
struct ExportHost
{
    using Hooks = ZLToolsAction::ToolsActionPrivate;

    ZLSpinExportTools tools;
    QVector<unsigned> progress;
    unsigned cancelAt = 0;

    ExportHost()
    {
        unsigned short next = 100;
        Hooks::addActionTool = [next](ZLToolsAction *, const ZLToolsAction::ToolInfo &) mutable { return next++; };
        Hooks::itemsCountProcessed = [this](ZLToolsAction *, unsigned done, bool *cancel) {
            progress << done;
            *cancel = cancelAt && done >= cancelAt;
        };
        Hooks::selectedFileNames = [](const ZLToolsAction *, std::list<QString> *) { return false; };
        tools.setupActionTools();
    }
    ~ExportHost()
    {
        Hooks::addActionTool = nullptr;
        Hooks::itemsCountProcessed = nullptr;
        Hooks::selectedFileNames = nullptr;
    }
    bool run(int tool, const QVariantMap &arguments, QVariantMap *result)
    {
        return tools.runTool(100 + tool, arguments, result);
    }
};
