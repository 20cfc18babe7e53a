#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class QQuickItem;
class ZLMarvolixTurntableControl;

// The turntable's settings panel as the control sees it. The plug-in's ui layer installs one, so
// that the drivers neither build QML nor know the settings file.
//
// Threads: refresh() may come from the motor's worker; everything else runs on the GUI thread.
class TurntableSettingsUi
{
public:
    // What the panel holds when a spin starts; a value the panel did not give stays unset.
    struct SpinSettings
    {
        std::optional<int> rotationSpeed;      // the slider, 0 to 9 (9 is the fastest spin)
        std::optional<double> rampUpDegrees;
        std::optional<bool> lockMotorWhenIdle;
        // The custom turntable's values, read only while its row is open; 0 counts: not set.
        uint32_t customCountsPerRevolution = 0;
        // The counts as the panel shows them, so that a refusal can say what is wrong with them.
        QString customCountsText;
        bool customMotorEnableActiveHigh = false;
        bool customClockwiseActiveHigh = false;
    };

    // An opened motor's values, as the panel shows them for a standard row.
    struct DeviceSettings
    {
        uint32_t countsPerRevolution = 0;
        bool isClockwiseActiveHigh = false;
        bool isMotorEnableActiveHigh = false;
    };

    virtual ~TurntableSettingsUi() = default;

    // Builds the panel on the shared QML engine and loads the settings file into it. Returns
    // null with *error set when the panel cannot be built; the caller owns the item.
    virtual QQuickItem *create(ZLMarvolixTurntableControl *control, const QStringList &standardModels,
                               QString *error) = 0;
    // Saves what the panel shows (openRow: the open model row, -1 for none) and lets it go.
    virtual void close(QQuickItem *item, int openRow) = 0;
    // Reads the panel for a spin on openRow; the custom row's block is kept for the file.
    virtual SpinSettings spinSettings(int openRow) = 0;
    // Queues the panel's refresh for an opened row, or for -1: the table has stopped turning.
    // device is used for the standard rows only. Does nothing while no panel exists.
    virtual void refresh(int index, const DeviceSettings &device) = 0;
    // The standard models the panel offers for import, after a new listing (GUI thread).
    virtual void setStandardModels(const QStringList &standardModels) { Q_UNUSED(standardModels) }
};
