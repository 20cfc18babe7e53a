#include "emulatedptpcamera_p.h"

#include "ptpusbdescriptors.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>

namespace {

constexpr std::uint8_t endpointIn = PtpUsbDescriptors::endpointIn;
constexpr std::uint8_t endpointOut = PtpUsbDescriptors::endpointOut;
constexpr std::uint8_t endpointEvents = PtpUsbDescriptors::endpointEvents;
constexpr int addressesPerBus = 126;

using Urb = EmulatedPtpCamera::Private::Urb;

} // namespace

void EmulatedPtpCamera::Private::enterBus(int slot)
{
    Device &device = *devices[std::size_t(slot)];
    device.bus = 1 + everAttached / addressesPerBus;
    device.address = 2 + everAttached % addressesPerBus;
    ++everAttached;
    ++device.generation;
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", device.bus, device.address);
    device.devnode = node;
    device.syspath = "/sys/devices/usb1/1-1." + std::to_string(everAttached);
    // The handler first, so that the device can be opened as soon as its add uevent is out.
    umockdev_testbed_attach_ioctl(testbed, node, handler, nullptr);
    const std::string record = PtpUsbDescriptors::record(device.camera.settings.identity, device.syspath,
                                                         device.devnode, device.bus, device.address);
    GError *error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed, record.c_str(), &error)) {
        std::fprintf(stderr, "EmulatedPtpCamera: %s\n", error->message);
        g_error_free(error);
        return;
    }
    nodes[device.devnode] = Node{slot, device.generation};
    device.present = true;
    if (device.ip)
        device.ip->start();
}

void EmulatedPtpCamera::Private::leaveBus(int slot)
{
    Device &device = *devices[std::size_t(slot)];
    if (!device.present)
        return;
    device.present = false;
    device.claimant = nullptr;
    device.camera.disconnect();
    if (device.ip)
        device.ip->stop();
    // A transfer dropped here would have libusb poll for it for ever.
    take(inFlight, [slot](const Urb &u) { return u.slot == slot; }, [this](const Urb &u) {
        u.urb()->status = -ESHUTDOWN;
        u.urb()->actual_length = 0;
        reapable.push_back(u);
    });
    umockdev_testbed_uevent(testbed, device.syspath.c_str(), "remove");
    umockdev_testbed_remove_device(testbed, device.syspath.c_str());
}

// Completes the camera's transfers in flight that it has something for now: called on every
// reap, which libusb busy-polls, this is what makes timed answers and events arrive.
void EmulatedPtpCamera::Private::pump(int slot)
{
    Device &device = *devices[std::size_t(slot)];
    const PtpCamera::Clock::time_point now = PtpCamera::Clock::now();
    bool bulkWaiting = false, eventWaiting = false;
    for (auto it = inFlight.begin(); it != inFlight.end() && device.present;) {
        usbdevfs_urb *urb = it->urb();
        const bool events = urb->endpoint == endpointEvents;
        if (it->slot != slot || (events ? eventWaiting : bulkWaiting)) {
            ++it;
            continue;
        }
        auto *buffer = static_cast<std::uint8_t *>(urb->buffer);
        const int length = events ? device.camera.sendEvent(buffer, urb->buffer_length, now)
                                  : device.camera.sendBulk(buffer, urb->buffer_length, now);
        if (length < 0) {
            // Transfers complete in order per endpoint.
            (events ? eventWaiting : bulkWaiting) = true;
            ++it;
            continue;
        }
        urb->status = 0;
        urb->actual_length = length;
        reapable.push_back(*it);
        it = inFlight.erase(it);
        if (device.camera.unplugDue()) {
            leaveBus(slot);  // changes inFlight
            return;
        }
    }
}

void EmulatedPtpCamera::Private::submit(UMockdevIoctlClient *client, UMockdevIoctlData *arg, int slot)
{
    Device &device = *devices[std::size_t(slot)];
    UMockdevIoctlData *data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    const Urb urb{client, data, slot};
    usbdevfs_urb *u = urb.urb();
    if (u->buffer_length > 0) {
        UMockdevIoctlData *buffer = umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer),
                                                                std::size_t(u->buffer_length), nullptr);
        g_object_unref(buffer);
    }
    auto *bytes = static_cast<std::uint8_t *>(u->buffer);
    u->status = 0;
    u->actual_length = 0;
    if (u->type == USBDEVFS_URB_TYPE_CONTROL) {
        bool reset = false;
        const int length = u->buffer_length >= 8 ? PtpUsbDescriptors::control(device.camera.settings.identity, bytes,
                                                                               bytes + 8, u->buffer_length - 8, &reset)
                                                 : -1;
        if (reset)
            device.camera.disconnect();
        u->status = length < 0 ? -EPIPE : 0;
        u->actual_length = std::max(length, 0);
        reapable.push_back(urb);
    } else if (u->type == USBDEVFS_URB_TYPE_BULK && u->endpoint == endpointOut) {
        device.camera.receive(bytes, std::size_t(u->buffer_length), PtpCamera::Clock::now());
        u->actual_length = u->buffer_length;
        reapable.push_back(urb);
    } else if ((u->type == USBDEVFS_URB_TYPE_BULK && u->endpoint == endpointIn)
               || (u->type == USBDEVFS_URB_TYPE_INTERRUPT && u->endpoint == endpointEvents)) {
        inFlight.push_back(urb);
    } else {
        u->status = -EPIPE;
        reapable.push_back(urb);
    }
    umockdev_ioctl_client_complete(client, 0, 0);
    pump(slot);
}

void EmulatedPtpCamera::Private::reap(UMockdevIoctlClient *client, UMockdevIoctlData *arg)
{
    const auto it = std::find_if(reapable.begin(), reapable.end(), [client](const Urb &u) { return u.client == client; });
    if (it == reapable.end()) {
        const auto node = nodes.find(umockdev_ioctl_client_get_devnode(client));
        const Device &device = *devices[std::size_t(node->second.slot)];
        const bool gone = !device.present || device.generation != node->second.generation;
        umockdev_ioctl_client_complete(client, -1, gone ? ENODEV : EAGAIN);
        return;
    }
    UMockdevIoctlData *pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(void *), nullptr);
    umockdev_ioctl_data_set_ptr(pointer, 0, it->data);
    g_object_unref(pointer);
    g_object_unref(it->data);
    reapable.erase(it);
    umockdev_ioctl_client_complete(client, 0, 0);
}

bool EmulatedPtpCamera::Private::handle(UMockdevIoctlClient *client)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto node = nodes.find(umockdev_ioctl_client_get_devnode(client));
    if (node == nodes.end())
        return false;
    const int slot = node->second.slot;
    Device &device = *devices[std::size_t(slot)];
    const bool gone = !device.present || device.generation != node->second.generation;
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    const auto answer = [client](int error) { umockdev_ioctl_client_complete(client, error ? -1 : 0, error); };
    const auto resolved = [arg](std::size_t size) { return umockdev_ioctl_data_resolve(arg, 0, size, nullptr); };

    switch (umockdev_ioctl_client_get_request(client)) {
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
        if (!gone)
            pump(slot);
        reap(client, arg);
        return true;
    case USBDEVFS_DISCARDURB: {
        // libgphoto2 discards its queued interrupt transfers at close; they end with -ENOENT.
        const gulong address = *reinterpret_cast<gulong *>(arg->data);
        const auto it = std::find_if(inFlight.begin(), inFlight.end(), [&](const Urb &u) {
            return u.client == client && u.data->client_addr == address;
        });
        if (it == inFlight.end()) {
            answer(EINVAL);
            return true;
        }
        it->urb()->status = -ENOENT;
        it->urb()->actual_length = 0;
        reapable.push_back(*it);
        inFlight.erase(it);
        answer(0);
        return true;
    }
    default: break;
    }
    if (gone) {
        answer(ENODEV);
        return true;
    }
    switch (umockdev_ioctl_client_get_request(client)) {
    case USBDEVFS_SUBMITURB: submit(client, arg, slot); return true;
    case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData *caps = resolved(sizeof(guint32));
        *reinterpret_cast<guint32 *>(caps->data) = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM
            | USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
        g_object_unref(caps);
        answer(0);
        return true;
    }
    case USBDEVFS_GETDRIVER: {
        UMockdevIoctlData *data = resolved(sizeof(usbdevfs_getdriver));
        auto *query = reinterpret_cast<usbdevfs_getdriver *>(data->data);
        if (device.claimant)
            std::snprintf(query->driver, sizeof query->driver, "%s", "usbfs");
        g_object_unref(data);
        answer(device.claimant ? 0 : ENODATA);  // no kernel driver holds a still-image interface
        return true;
    }
    case USBDEVFS_IOCTL: answer(ENODATA); return true;
    case USBDEVFS_CLAIMINTERFACE: {
        UMockdevIoctlData *data = resolved(sizeof(unsigned int));
        const unsigned int interface = *reinterpret_cast<unsigned int *>(data->data);
        g_object_unref(data);
        if (device.claimant && !umockdev_ioctl_client_get_connected(device.claimant))
            device.claimant = nullptr;
        const bool busy = device.claimant && device.claimant != client;
        if (interface == 0 && !busy)
            device.claimant = client;
        answer(interface != 0 ? ENOENT : busy ? EBUSY : 0);
        return true;
    }
    case USBDEVFS_RELEASEINTERFACE:
        if (device.claimant == client)
            device.claimant = nullptr;
        answer(0);
        return true;
    case USBDEVFS_RESET:
        device.camera.disconnect();
        answer(0);
        return true;
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP:
    case USBDEVFS_SETINTERFACE:
        answer(0);
        return true;
    default:
        return false;
    }
}

void EmulatedPtpCamera::Private::dropClient(UMockdevIoctlClient *client)
{
    std::lock_guard<std::mutex> lock(mutex);
    for (auto *queue : {&inFlight, &reapable})
        take(*queue, [client](const Urb &u) { return u.client == client; }, [](const Urb &u) { g_object_unref(u.data); });
    for (auto &device : devices) {
        // A program that ends without CloseSession leaves the camera as a USB reset would.
        if (device->claimant == client) {
            device->claimant = nullptr;
            device->camera.disconnect();
        }
    }
}

gboolean EmulatedPtpCamera::Private::onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer d)
{
    return static_cast<Private *>(d)->handle(client);
}

void EmulatedPtpCamera::Private::onClientVanished(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer d)
{
    static_cast<Private *>(d)->dropClient(client);
}
