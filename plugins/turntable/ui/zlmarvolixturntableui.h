#pragma once

#include "turntablesettingsui.h"

#include <functional>
#include <memory>
#include <mutex>

class QObject;
struct PluginUiRecord;

// The turntable's settings panel, "qrc:/qml/MarvolixTurntableUi.qml", with its bridge and its file
// "MarvolixTurntable-v3.json": built on the shared QML engine when the host asks for the panel,
// read when a spin starts, saved when it closes.
//
// Threads: the GUI thread, but for refresh(), which the motor's worker may call; the panel's
// record is held under one lock for it.
class ZLMarvolixTurntableUi : public TurntableSettingsUi
{
public:
    // Makes the panel's bridge; parent is the panel's root item, which the bridge is a child of.
    using BridgeFactory = std::function<QObject *(ZLMarvolixTurntableControl *control, QObject *parent)>;

    // Without a factory the panel gets the real bridge, ZLQmlTurntableControl.
    explicit ZLMarvolixTurntableUi(BridgeFactory bridgeFactory = {});
    ~ZLMarvolixTurntableUi() override;

    QQuickItem *create(ZLMarvolixTurntableControl *control, const QStringList &standardModels,
                       QString *error) override;
    void close(QQuickItem *item, int openRow) override;
    SpinSettings spinSettings(int openRow) override;
    void refresh(int index, const DeviceSettings &device) override;
    void setStandardModels(const QStringList &standardModels) override;

private:
    ZLMarvolixTurntableUi(const ZLMarvolixTurntableUi &) = delete;
    ZLMarvolixTurntableUi &operator=(const ZLMarvolixTurntableUi &) = delete;

    BridgeFactory m_bridgeFactory;
    // Guarded by m_mutex: the worker's end-of-rotation refresh reads it.
    std::unique_ptr<PluginUiRecord> m_record;
    std::mutex m_mutex;
};
