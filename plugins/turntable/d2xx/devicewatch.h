#pragma once

#include <functional>
#include <memory>

namespace d2xx {

// Hears of FT245R boards (0403:6001) arriving and leaving, for as long as it exists. Each change
// is reported by calling `changed`, on a thread that is not the caller's (the watch's own, or the
// one that plugged a simulated board): it must only hand the news on. No call runs once the
// watch is destroyed.
class DeviceWatch
{
public:
    virtual ~DeviceWatch() = default;
};

// The watch of the link that serves the FT_ calls; null when that link cannot tell (FTDI's own
// library, or a libusb without hot-plug support), and the caller then only learns of boards by
// listing them again.
#if defined(_WIN32) && defined(SPINWRIGHT_USE_FTD2XX)
inline std::unique_ptr<DeviceWatch> watchDevices(std::function<void()>)
{
    return nullptr;
}
#else
std::unique_ptr<DeviceWatch> watchDevices(std::function<void()> changed);
#endif

} // namespace d2xx
