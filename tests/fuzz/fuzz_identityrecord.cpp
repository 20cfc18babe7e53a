// The EEPROM user area of an attached chip: the identity record read while listing devices,
// and the user area found in a whole EEPROM image.
#include "d2xxsim.h"
#include "ft245reeprom.h"
#include "ftdicontroller.h"
#include "zlmarvolixturntablecontrol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool hooks = [] {
        ZLTurntableHardware::TurntableHardwarePrivate::hardwareOpenSucceeded = [](ZLTurntableHardware *, size_t, bool) {};
        ZLTurntableHardware::TurntableHardwarePrivate::hardwareDisconnected = [](ZLTurntableHardware *, size_t) {};
        ZLTurntableHardware::TurntableHardwarePrivate::turntableRotationStopped = [](ZLTurntableHardware *) {};
        return true;
    }();
    (void)hooks;
    d2xxsim::reset();
    d2xxsim::DeviceSpec layout;
    layout.userArea.assign(data, data + std::min<std::size_t>(size, 1024));
    d2xxsim::attach(layout);
    for (int kind : {0, 1, 2, -1})
        FTDIController::availableDevices(kind);

    ZLMarvolixTurntableControl control;
    const std::list<std::string> names = control.availableTurntables();
    if (!names.empty())
        control.openHardware(0);
    control.closeHardware();

    std::vector<std::uint8_t> userArea;
    d2xx::ft245rUserArea(data, size, &userArea);
    return 0;
}
