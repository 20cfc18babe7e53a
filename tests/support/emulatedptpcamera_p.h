#pragma once

// The testbed, the cameras on it and the USB transfers between them and libusb; the PTP of
// each camera is its PtpCamera's, the PTP/IP link its PtpIpServer's.
#include "emulatedptpcamera.h"
#include "ptpcamera.h"
#include "ptpipserver.h"

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <umockdev.h>

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

struct EmulatedPtpCamera::Private
{
    struct Urb
    {
        UMockdevIoctlClient *client;
        UMockdevIoctlData *data;  // a reference of our own
        int slot;

        usbdevfs_urb *urb() const { return reinterpret_cast<usbdevfs_urb *>(data->data); }
    };
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

    // umockdev's signal handlers, on its thread.
    static gboolean onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer d);
    static void onClientVanished(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer d);
};
