#pragma once

#include <QPointer>
#include <QQmlContext>
#include <QQuickItem>
#include <QVariantMap>

// What the settings panel (ZLMarvolixTurntableUi) holds while the panel exists.
struct PluginUiRecord
{
    // Owned; a child context of the shared engine's root context.
    QQmlContext *context = nullptr;
    // The UI's root item; the host deletes it after the UI has been closed.
    QPointer<QQuickItem> item;
    // Owned, although its QObject parent is item (which may take it along first).
    QPointer<QObject> bridge;
    // The custom turntable's block, as last read from the file or from the UI.
    QVariantMap customAdvancedSettings;

    ~PluginUiRecord()
    {
        delete bridge.data();
        delete context;
    }
};
