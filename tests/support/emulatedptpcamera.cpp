#include "emulatedptpcamera.h"

#include "ptpcamera.h"
#include "ptpipserver.h"
#include "ptpusbdescriptors.h"

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <type_traits>
#include <utility>

namespace {

constexpr std::uint8_t endpointIn = PtpUsbDescriptors::endpointIn;
constexpr std::uint8_t endpointOut = PtpUsbDescriptors::endpointOut;
constexpr std::uint8_t endpointEvents = PtpUsbDescriptors::endpointEvents;
constexpr int addressesPerBus = 126;

struct Urb
{
    UMockdevIoctlClient *client;
    UMockdevIoctlData *data;  // a reference of our own
    int slot;

    usbdevfs_urb *urb() const { return reinterpret_cast<usbdevfs_urb *>(data->data); }
};

} // namespace

struct EmulatedPtpCamera::Private
{
    struct Device
    {
        explicit Device(const Identity &identity) : camera(identity) {}

        PtpCamera camera;
        std::unique_ptr<PtpIpServer> ip;  // made on the first ptpIpPort()
        std::string syspath;
        std::string devnode;
        unsigned bus = 0, address = 0;
        unsigned generation = 0;  // a replug makes a new node; handles on the old one stay dead
        bool present = false;     // on the bus, as udev and sysfs show it
        UMockdevIoctlClient *claimant = nullptr;
    };
    struct Node
    {
        int slot;
        unsigned generation;
    };

    UMockdevTestbed *testbed = nullptr;
    UMockdevIoctlBase *handler = nullptr;
    std::mutex mutex;  // everything below; the handler runs on umockdev's thread, the API on any
    std::vector<std::unique_ptr<Device>> devices;
    std::map<std::string, Node> nodes;
    std::deque<Urb> inFlight;
    std::deque<Urb> reapable;
    unsigned everAttached = 0;

    Device *at(int slot)
    {
        return slot >= 0 && std::size_t(slot) < devices.size() ? devices[std::size_t(slot)].get() : nullptr;
    }

    // f(device) under the lock; a default result for a slot that does not exist.
    template <typename F>
    auto with(int slot, F f) -> decltype(f(std::declval<Device &>()))
    {
        std::lock_guard<std::mutex> lock(mutex);
        Device *device = at(slot);
        if constexpr (std::is_void_v<decltype(f(*device))>) {
            if (device)
                f(*device);
        } else {
            return device ? f(*device) : decltype(f(*device))();
        }
    }

    template <typename Match, typename F>
    static void take(std::deque<Urb> &queue, Match match, F f)
    {
        for (auto it = queue.begin(); it != queue.end();) {
            if (!match(*it)) {
                ++it;
                continue;
            }
            f(*it);
            it = queue.erase(it);
        }
    }

    void enterBus(int slot);
    void leaveBus(int slot);
    void pump(int slot);
    bool handle(UMockdevIoctlClient *client);
    void submit(UMockdevIoctlClient *client, UMockdevIoctlData *arg, int slot);
    void reap(UMockdevIoctlClient *client, UMockdevIoctlData *arg);
    void dropClient(UMockdevIoctlClient *client);
};

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

namespace {

gboolean onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer d)
{
    return static_cast<EmulatedPtpCamera::Private *>(d)->handle(client);
}

void onClientVanished(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer d)
{
    static_cast<EmulatedPtpCamera::Private *>(d)->dropClient(client);
}

} // namespace

EmulatedPtpCamera &EmulatedPtpCamera::instance()
{
    static EmulatedPtpCamera *camera = [] {
        auto *created = new EmulatedPtpCamera;
        // After the destructors of statics made later, so that libgphoto2 may still close.
        std::atexit([] { delete &EmulatedPtpCamera::instance(); });
        return created;
    }();
    return *camera;
}

bool EmulatedPtpCamera::available()
{
    const char *preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "libumockdev-preload");
}

EmulatedPtpCamera::EmulatedPtpCamera()
    : d(std::make_unique<Private>())
{
    d->testbed = umockdev_testbed_new();
    d->handler = umockdev_ioctl_base_new();
    g_signal_connect(d->handler, "handle-ioctl", G_CALLBACK(onIoctl), d.get());
    g_signal_connect(d->handler, "client-vanished", G_CALLBACK(onClientVanished), d.get());
}

EmulatedPtpCamera::~EmulatedPtpCamera()
{
    reset();
    g_object_unref(d->handler);
    g_object_unref(d->testbed);
}

void EmulatedPtpCamera::reset()
{
    std::vector<std::unique_ptr<PtpIpServer>> servers;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        for (std::size_t slot = 0; slot < d->devices.size(); ++slot) {
            d->leaveBus(int(slot));
            servers.push_back(std::move(d->devices[slot]->ip));
        }
    }
    // Their threads take the lock: they end before the cameras they serve.
    servers.clear();
    std::lock_guard<std::mutex> lock(d->mutex);
    for (const auto &node : d->nodes)
        umockdev_testbed_detach_ioctl(d->testbed, node.first.c_str(), nullptr);
    for (auto *queue : {&d->inFlight, &d->reapable}) {
        for (const Urb &urb : *queue)
            g_object_unref(urb.data);
        queue->clear();
    }
    d->devices.clear();
    d->nodes.clear();
}

int EmulatedPtpCamera::plug()
{
    return plug(Identity());
}

int EmulatedPtpCamera::plug(const Identity &identity)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    const int slot = int(d->devices.size());
    Identity id = identity;
    if (id.serialNumber.empty()) {
        char serial[16];
        std::snprintf(serial, sizeof serial, "SPWC%04d", slot % 10000);
        id.serialNumber = serial;
    }
    d->devices.push_back(std::make_unique<Private::Device>(id));
    d->enterBus(slot);
    return slot;
}

void EmulatedPtpCamera::unplug(int slot)
{
    d->with(slot, [&](Private::Device &) { d->leaveBus(slot); });
}

void EmulatedPtpCamera::replug(int slot)
{
    d->with(slot, [&](Private::Device &device) {
        if (!device.present)
            d->enterBus(slot);
    });
}

bool EmulatedPtpCamera::plugged(int slot)
{
    return d->with(slot, [](const Private::Device &device) { return device.present; });
}

bool EmulatedPtpCamera::sessionOpen(int slot)
{
    return d->with(slot, [](const Private::Device &device) { return device.camera.sessionOpen(); });
}

void EmulatedPtpCamera::setNextCapture(int slot, const std::vector<File> &files)
{
    d->with(slot, [&](Private::Device &device) { device.camera.settings.nextCaptures.push_back(files); });
}

void EmulatedPtpCamera::setCaptureGenerator(int slot, std::function<std::vector<File>(int)> generator)
{
    d->with(slot, [&](Private::Device &device) { device.camera.settings.generator = std::move(generator); });
}

std::uint32_t EmulatedPtpCamera::addObject(int slot, const std::string &folder, const File &file)
{
    return d->with(slot, [&](Private::Device &device) { return device.camera.addObject(folder, file); });
}

std::vector<EmulatedPtpCamera::StoredObject> EmulatedPtpCamera::objects(int slot)
{
    return d->with(slot, [](const Private::Device &device) { return device.camera.objects(); });
}

void EmulatedPtpCamera::setTiming(int slot, std::chrono::milliseconds exposure, std::chrono::milliseconds transfer)
{
    d->with(slot, [&](Private::Device &device) {
        device.camera.settings.exposure = exposure;
        device.camera.settings.transfer = transfer;
    });
}

void EmulatedPtpCamera::refuseCaptures(int slot, std::uint16_t responseCode, int count)
{
    d->with(slot, [&](Private::Device &device) {
        device.camera.settings.refuseCode = responseCode;
        device.camera.settings.refuseCount = count;
    });
}

void EmulatedPtpCamera::setCaptureNeverCompletes(int slot, bool never)
{
    d->with(slot, [&](Private::Device &device) { device.camera.settings.neverCompletes = never; });
}

void EmulatedPtpCamera::unplugAfterObjectBytes(int slot, std::uint64_t bytes)
{
    d->with(slot, [&](Private::Device &device) { device.camera.settings.unplugAfterBytes = bytes; });
}

EmulatedPtpCamera::Counters EmulatedPtpCamera::counters(int slot)
{
    return d->with(slot, [](const Private::Device &device) { return device.camera.counters; });
}

void EmulatedPtpCamera::clearCounters(int slot)
{
    d->with(slot, [](Private::Device &device) { device.camera.counters = Counters(); });
}

std::vector<std::uint16_t> EmulatedPtpCamera::operationsAsked(int slot)
{
    return d->with(slot, [](const Private::Device &device) { return device.camera.operationsAsked(); });
}

bool EmulatedPtpCamera::liveViewEnabled(int slot)
{
    return d->with(slot, [](const Private::Device &device) { return device.camera.liveViewEnabled(); });
}

std::string EmulatedPtpCamera::serialNumber(int slot)
{
    return d->with(slot, [](const Private::Device &device) { return device.camera.settings.identity.serialNumber; });
}

std::string EmulatedPtpCamera::ptpIpPort(int slot)
{
    return d->with(slot, [&](Private::Device &device) {
        if (!device.ip)
            device.ip = std::make_unique<PtpIpServer>(device.camera, d->mutex, [this, slot] { d->leaveBus(slot); });
        const std::uint16_t port = device.present ? device.ip->start() : 0;
        return port ? "ptpip:127.0.0.1:" + std::to_string(port) + ":" + std::to_string(port) : std::string();
    });
}

std::string EmulatedPtpCamera::usbPort(int slot)
{
    return d->with(slot, [](const Private::Device &device) {
        char port[16];
        std::snprintf(port, sizeof port, "usb:%03u,%03u", device.bus, device.address);
        return std::string(port);
    });
}
