#pragma once

#include "devicewatch.h"

#include <atomic>
#include <thread>

struct libusb_context;
struct libusb_device;

namespace d2xx {

// libusb's hot-plug events for FT245R boards, on a libusb context and an event thread of its own
// (libftdi1 keeps a context per open board, which no thread waits on between calls). libusb takes
// the events from udev's monitor, so a board shows up here once udev has applied its rules.
class LibusbDeviceWatch final : public DeviceWatch
{
public:
    // Null when libusb cannot report hot-plug events here.
    static std::unique_ptr<DeviceWatch> create(std::function<void()> changed);
    ~LibusbDeviceWatch() override;

private:
    explicit LibusbDeviceWatch(std::function<void()> changed);

    std::function<void()> m_changed;
    libusb_context *m_context = nullptr;
    int m_callback = 0;
    // Set by the destroying thread, read by the event thread between waits.
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

} // namespace d2xx
