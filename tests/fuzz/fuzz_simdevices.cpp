// The simulator's device list, as SPINWRIGHT_D2XX_SIM gives it, and the listing that follows.
#include "d2xxsim.h"
#include "ftdicontroller.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    d2xxsim::reset();
    std::string error;
    const std::string list(reinterpret_cast<const char *>(data), size);
    const bool attached = d2xxsim::attach(list, &error);
    if (!attached && d2xxsim::slotCount() != 0)
        __builtin_trap();  // a list that fails must attach nothing at all
    FTDIController::availableDevices(0);
    FTDIController::availableDevices(1);
    return 0;
}
