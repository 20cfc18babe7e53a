#include "emulatedptpcamera.h"

#include "emulatedptpcamera_p.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
    g_signal_connect(d->handler, "handle-ioctl", G_CALLBACK(Private::onIoctl), d.get());
    g_signal_connect(d->handler, "client-vanished", G_CALLBACK(Private::onClientVanished), d.get());
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
        for (const Private::Urb &urb : *queue)
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
