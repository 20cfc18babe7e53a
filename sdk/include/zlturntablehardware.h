#pragma once

#include "zlplugin.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <string>

// Interface between the host and a motorised turntable. Calls go host -> plug-in through the
// virtual operations, reports plug-in -> host through the hooks (via the forwarders below).
class ZENLYTESDK_EXPORT ZLTurntableHardware : public virtual ZLAbstractPlugin
{
public:
    struct ZENLYTESDK_EXPORT TurntableHardwarePrivate
    {
        // SIZE_MAX: no device in use.
        size_t currentTurntableIndex = SIZE_MAX;

        // Shared by every turntable object of the process; installed once by the host on the
        // GUI thread before any plug-in thread exists, so they are not locked.
        static std::function<void(ZLTurntableHardware *device, size_t index, bool flag)> hardwareOpenSucceeded;
        static std::function<void(ZLTurntableHardware *device, size_t index)> hardwareDisconnected;
        static std::function<void(ZLTurntableHardware *device)> turntableRotationStopped;
        // Boards arrived or left: availableTurntables() may answer otherwise now. Called on the GUI
        // thread. A host that never installs it is not told, rather than failed.
        static std::function<void(ZLTurntableHardware *device)> turntableDevicesChanged;
    };

    ~ZLTurntableHardware() override;

    ZLRegisterPlugin::PluginType pluginType() const override;

    // A device's position in this list is its index for openHardware() and in the hooks.
    virtual std::list<std::string> availableTurntables() = 0;
    // Reports through hardwareOpenSucceeded() or hardwareDisconnected().
    virtual void openHardware(size_t index) = 0;
    virtual void closeHardware() = 0;
    // 0 while no device is open.
    virtual unsigned int countsPerRevolution() = 0;
    virtual bool stepsSpinningWillStart();
    virtual void stepsSpinningWillStop();
    // degrees: absolute, from the position at stepsSpinningWillStart(); returns at once, the end
    // of the move is reported through turntableRotationStopped().
    virtual bool startAngleRotation(float degrees) = 0;
    virtual void stopAngleRotation();

    size_t currentTurntableIndex() const;
    void setCurrentTurntableIndex(size_t index);

    // Forwarders: call the hook on the calling thread; an empty hook throws std::bad_function_call.
    void hardwareOpenSucceeded(size_t index, bool flag);
    void hardwareDisconnected(size_t index);
    void turntableRotationStopped();
    // Does nothing while the host has installed no such hook.
    void turntableDevicesChanged();

    short degreesToSteps(float degrees) const;
    float stepsToDegrees(short steps) const;

protected:
    ZLTurntableHardware();

private:
    Q_DISABLE_COPY(ZLTurntableHardware)
    TurntableHardwarePrivate *d;
};
