#include "zlturntablehardware.h"
#include "zlinterfacebasics_p.h"

std::function<void(ZLTurntableHardware *, size_t, bool)> ZLTurntableHardware::TurntableHardwarePrivate::hardwareOpenSucceeded;
std::function<void(ZLTurntableHardware *, size_t)> ZLTurntableHardware::TurntableHardwarePrivate::hardwareDisconnected;
std::function<void(ZLTurntableHardware *)> ZLTurntableHardware::TurntableHardwarePrivate::turntableRotationStopped;
std::function<void(ZLTurntableHardware *)> ZLTurntableHardware::TurntableHardwarePrivate::turntableDevicesChanged;

ZL_DEFINE_INTERFACE_BASICS(ZLTurntableHardware, TurntableHardwarePrivate, TurntableHardwarePlugin)

bool ZLTurntableHardware::stepsSpinningWillStart()
{
    return false;
}

void ZLTurntableHardware::stepsSpinningWillStop()
{
}

void ZLTurntableHardware::stopAngleRotation()
{
}

size_t ZLTurntableHardware::currentTurntableIndex() const
{
    return readUnderPluginLock(d->currentTurntableIndex);
}

void ZLTurntableHardware::setCurrentTurntableIndex(size_t index)
{
    writeUnderPluginLock(d->currentTurntableIndex, index);
}

void ZLTurntableHardware::hardwareOpenSucceeded(size_t index, bool flag)
{
    TurntableHardwarePrivate::hardwareOpenSucceeded(this, index, flag);
}

void ZLTurntableHardware::hardwareDisconnected(size_t index)
{
    TurntableHardwarePrivate::hardwareDisconnected(this, index);
}

void ZLTurntableHardware::turntableRotationStopped()
{
    TurntableHardwarePrivate::turntableRotationStopped(this);
}

void ZLTurntableHardware::turntableDevicesChanged()
{
    if (TurntableHardwarePrivate::turntableDevicesChanged)
        TurntableHardwarePrivate::turntableDevicesChanged(this);
}

short ZLTurntableHardware::degreesToSteps(float degrees) const
{
    Q_UNUSED(degrees)
    return 0;
}

float ZLTurntableHardware::stepsToDegrees(short steps) const
{
    Q_UNUSED(steps)
    return 0.0f;
}
