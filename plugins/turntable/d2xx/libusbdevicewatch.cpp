#include "libusbdevicewatch.h"

#include <libusb.h>

namespace d2xx {

namespace {

constexpr int vendorId = 0x0403;
constexpr int productId = 0x6001;

int LIBUSB_CALL hotplugEvent(libusb_context *, libusb_device *, libusb_hotplug_event, void *changed)
{
    (*static_cast<std::function<void()> *>(changed))();
    return 0; // stay registered
}

} // namespace

LibusbDeviceWatch::LibusbDeviceWatch(std::function<void()> changed)
    : m_changed(std::move(changed))
{
}

std::unique_ptr<DeviceWatch> LibusbDeviceWatch::create(std::function<void()> changed)
{
    if (!libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG))
        return nullptr;
    std::unique_ptr<LibusbDeviceWatch> watch(new LibusbDeviceWatch(std::move(changed)));
    if (libusb_init(&watch->m_context) != 0) {
        watch->m_context = nullptr;
        return nullptr;
    }
    // No LIBUSB_HOTPLUG_ENUMERATE: the boards already there are the caller's first listing.
    if (libusb_hotplug_register_callback(watch->m_context,
                                         LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT,
                                         LIBUSB_HOTPLUG_NO_FLAGS, vendorId, productId, LIBUSB_HOTPLUG_MATCH_ANY,
                                         hotplugEvent, &watch->m_changed, &watch->m_callback)
        != LIBUSB_SUCCESS)
        return nullptr;
    LibusbDeviceWatch *self = watch.get();
    watch->m_thread = std::thread([self] {
        while (!self->m_stopping.load()) {
            timeval wait{0, 250000};
            libusb_handle_events_timeout_completed(self->m_context, &wait, nullptr);
        }
    });
    return watch;
}

LibusbDeviceWatch::~LibusbDeviceWatch()
{
    if (!m_context)
        return;
    m_stopping.store(true);
    // Deregistering wakes the event thread's wait, so the join takes no longer than one event.
    if (m_callback)
        libusb_hotplug_deregister_callback(m_context, m_callback);
    if (m_thread.joinable())
        m_thread.join();
    libusb_exit(m_context);
}

} // namespace d2xx
