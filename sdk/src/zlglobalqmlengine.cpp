#include "zlplugin.h"
#include "zlglobalqmlengine_p.h"

#include <QQmlEngine>

namespace {
// Created and deleted on the GUI thread only, before and after any plug-in thread.
QQmlEngine *sharedEngine = nullptr;
}

QQmlEngine *globalQmlEngine()
{
    if (!sharedEngine)
        sharedEngine = new QQmlEngine;
    return sharedEngine;
}

void ZLSdkPrivate::deleteGlobalQmlEngine()
{
    delete sharedEngine;
    sharedEngine = nullptr;
}
