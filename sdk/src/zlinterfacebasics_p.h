#pragma once

#include "zlplugin.h"

#include <mutex>

// The members every plug-in interface class defines alike: its private part lives behind `d`, so
// that the interface can grow without changing the layout plug-ins were built against.
#define ZL_DEFINE_INTERFACE_BASICS(Class, Private, Type)                                          \
    Class::Class()                                                                                \
        : d(new Private)                                                                          \
    {                                                                                             \
    }                                                                                             \
    Class::~Class()                                                                               \
    {                                                                                             \
        delete d;                                                                                 \
    }                                                                                             \
    ZLRegisterPlugin::PluginType Class::pluginType() const                                        \
    {                                                                                             \
        return ZLRegisterPlugin::Type;                                                            \
    }

// The current device, tool and section indices are set by the host and may be read from a
// plug-in's own threads, so both go through the process-wide plug-in lock.
template <typename T>
T readUnderPluginLock(const T &field)
{
    std::lock_guard<std::mutex> lock(ZLAbstractPlugin::AbstractPluginPrivate::asyncMutex);
    return field;
}

template <typename T>
void writeUnderPluginLock(T &field, T value)
{
    std::lock_guard<std::mutex> lock(ZLAbstractPlugin::AbstractPluginPrivate::asyncMutex);
    field = value;
}
