#include "emulatedft245r.h"

#include "ft245rclock.h"
#include "ft245reeprom.h"

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <umockdev.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

constexpr const char *manufacturer = "FTDI";
constexpr std::uint8_t endpointOut = 0x02;
constexpr std::uint8_t endpointIn = 0x81;
constexpr int addressesPerBus = 126;

// FT245R: device, one configuration, one vendor interface with bulk IN 0x81 and OUT 0x02 of
// 64 bytes. Release 6.00 is what makes libftdi1 take it for an R chip.
const std::uint8_t descriptors[] = {
    0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x08, 0x03, 0x04, 0x01, 0x60, 0x00, 0x06, 0x01, 0x02, 0x03, 0x01,
    0x09, 0x02, 0x20, 0x00, 0x01, 0x01, 0x00, 0xA0, 0x2D,
    0x09, 0x04, 0x00, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 0x02,
    0x07, 0x05, endpointIn, 0x02, 0x40, 0x00, 0x00,
    0x07, 0x05, endpointOut, 0x02, 0x40, 0x00, 0x00,
};
constexpr std::size_t deviceDescriptorLength = 18;

enum Request : std::uint8_t {
    sioReset = 0x00,
    sioSetBaudRate = 0x03,
    sioSetLatencyTimer = 0x09,
    sioGetLatencyTimer = 0x0A,
    sioSetBitMode = 0x0B,
    sioReadPins = 0x0C,
    sioReadEeprom = 0x90,
    getDescriptor = 0x06,
};
// The chip's own names: libftdi1's tcoflush sends 1, its tciflush 2.
constexpr std::uint16_t purgeFromHost = 1;
constexpr std::uint16_t purgeToHost = 2;
constexpr std::uint8_t modemStatus[] = {0x01, 0x60};

using Clock = std::chrono::steady_clock;

// A full-speed frame: what each transfer costs a real board when the chip is asked to.
constexpr auto frame = std::chrono::milliseconds(1);

std::vector<std::uint8_t> stringDescriptor(const std::string &text)
{
    std::vector<std::uint8_t> out{std::uint8_t(2 + 2 * text.size()), 0x03};
    for (char c : text) {
        out.push_back(std::uint8_t(c));
        out.push_back(0);
    }
    return out;
}

std::string hex(const std::uint8_t *bytes, std::size_t length)
{
    std::string out;
    char two[3];
    for (std::size_t i = 0; i < length; ++i) {
        std::snprintf(two, sizeof two, "%02x", bytes[i]);
        out += two;
    }
    return out;
}

struct Urb
{
    UMockdevIoctlClient *client;
    UMockdevIoctlData *data;  // a reference of our own
    int slot;
    // Reaped no sooner: a bulk OUT transfer ends when its last byte is in the chip's FIFO (the
    // chip NAKs while it is full); max() stays in flight until it is discarded.
    Clock::time_point ready{};
    int handed = 0;  // bulk OUT bytes handed to the board

    usbdevfs_urb *urb() const { return reinterpret_cast<usbdevfs_urb *>(data->data); }
};

} // namespace

struct EmulatedFt245r::Private
{
    struct Device
    {
        d2xxsim::DeviceSpec layout;
        std::string serial;
        std::string syspath;
        std::string devnode;
        std::vector<std::uint8_t> eeprom;
        bool present = true;  // on the bus, as udev and sysfs show it
        bool gone = false;    // answers ENODEV
        bool unplugPending = false;
        std::uint64_t writesLeft = 0;
        bool claimedElsewhere = false;
        bool serialDriver = false;
        bool detachRefused = false;
        bool hold = false;
        UMockdevIoctlClient *claimant = nullptr;
        std::uint32_t baudRate = 0;
        double byteClockHz = Ft245rClock::assumedByteClockHz;
        bool frameCost = false;
        Clock::time_point busFree{};  // when the transfer before the next one has ended
        Clock::time_point goneAt{};   // an unplug due once the last byte let through has played
        std::uint8_t latencyMs = 16;
        std::uint64_t purgesTx = 0;
        std::uint64_t purgesRx = 0;
        Transfers counts;
    };

    UMockdevTestbed *testbed = nullptr;
    UMockdevIoctlBase *handler = nullptr;
    std::mutex mutex;  // everything below; taken before the boards' own lock
    std::vector<std::unique_ptr<Device>> devices;
    std::map<std::string, int> slotOfNode;
    std::deque<Urb> inFlight;
    std::deque<Urb> reapable;
    unsigned everAttached = 0;
    d2xx::BoardSet boards;

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

    // Takes the transfers that match out of a queue, handing each to f.
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

    void leaveBus(Device &device)
    {
        if (!device.present)
            return;
        device.present = false;
        umockdev_testbed_uevent(testbed, device.syspath.c_str(), "remove");
        umockdev_testbed_remove_device(testbed, device.syspath.c_str());
    }

    void unplug(int slot)
    {
        Device &device = *devices[std::size_t(slot)];
        device.gone = true;
        device.unplugPending = false;
        // A transfer dropped here would have libusb poll for it for ever.
        take(inFlight, [slot](const Urb &u) { return u.slot == slot; }, [this](const Urb &u) {
            u.urb()->status = -ESHUTDOWN;
            u.urb()->actual_length = 0;
            Urb entry = u;
            entry.ready = Clock::time_point();
            reapable.push_back(entry);
        });
        // Those waiting for room in the FIFO end now, with what had entered it; the FIFO's
        // content never plays.
        boards.dropUnplayed(slot);
        std::size_t dropped = boards.dropUnentered(slot);
        for (auto u = reapable.rbegin(); u != reapable.rend(); ++u) {
            if (u->slot != slot || u->ready <= Clock::now())
                continue;
            const int taken = int(std::min<std::size_t>(dropped, std::size_t(u->handed)));
            u->urb()->actual_length -= taken;
            dropped -= std::size_t(taken);
            u->urb()->status = -ESHUTDOWN;
            u->ready = Clock::time_point();
        }
        leaveBus(device);
    }

    int control(int slot, const std::uint8_t *setup, std::uint8_t *data, int room);
    void complete(int slot, Urb &urb);
    bool handle(UMockdevIoctlClient *client);
    void submit(UMockdevIoctlClient *client, UMockdevIoctlData *arg, int slot);
    void reap(UMockdevIoctlClient *client, UMockdevIoctlData *arg, int slot);
    void dropClient(UMockdevIoctlClient *client);
};

// Answers one control request; the length of the data stage, or -1 to stall.
int EmulatedFt245r::Private::control(int slot, const std::uint8_t *setup, std::uint8_t *data, int room)
{
    Device &device = *devices[std::size_t(slot)];
    const std::uint8_t type = setup[0];
    const std::uint8_t request = setup[1];
    const std::uint16_t value = std::uint16_t(setup[2] | setup[3] << 8);
    const std::uint16_t index = std::uint16_t(setup[4] | setup[5] << 8);
    std::vector<std::uint8_t> answer;

    if (type == 0x80 && request == getDescriptor) {
        const int which = value & 0xFF;
        switch (value >> 8) {
        case 1: answer.assign(descriptors, descriptors + deviceDescriptorLength); break;
        case 2: answer.assign(descriptors + deviceDescriptorLength, std::end(descriptors)); break;
        case 3:
            if (which == 0)
                answer = {4, 0x03, 0x09, 0x04};
            else if (which <= 3)
                answer = stringDescriptor(which == 1 ? manufacturer : which == 2 ? device.layout.description : device.serial);
            else
                return -1;
            break;
        default: return -1;
        }
    } else if (type == 0x40) {
        switch (request) {
        case sioReset:
            if (value == purgeFromHost) {
                ++device.purgesTx;
                boards.dropUnplayed(slot);
            } else if (value == purgeToHost) {
                ++device.purgesRx;
            }
            return 0;
        case sioSetBaudRate: {
            // Each byte plays one period of the divisor received, at the chip's byte clock.
            const std::uint32_t eighths = Ft245rClock::divisorEighths(std::uint32_t(value) | std::uint32_t(index) << 16);
            device.baudRate = std::uint32_t(24000000u / eighths);
            boards.setBytePeriod(slot, Ft245rClock::bytePeriod(eighths, device.byteClockHz));
            return 0;
        }
        case sioSetLatencyTimer: device.latencyMs = std::uint8_t(value); return 0;
        case sioSetBitMode: boards.setBitMode(slot, std::uint8_t(value & 0xFF), std::uint8_t(value >> 8)); return 0;
        default: return -1;
        }
    } else if (type == 0xC0) {
        switch (request) {
        case sioGetLatencyTimer: answer = {device.latencyMs}; break;
        case sioReadPins: answer = {boards.read(slot)}; break;
        case sioReadEeprom: {
            // 64 words; the 93C46 answers higher addresses from the start again.
            const std::size_t word = (index & 0x3F) * 2u;
            answer = {device.eeprom[word], device.eeprom[word + 1]};
            break;
        }
        default: return -1;
        }
    } else {
        return -1;
    }
    const int length = std::min(room, int(answer.size()));
    std::copy_n(answer.begin(), length, data);
    return length;
}

void EmulatedFt245r::Private::complete(int slot, Urb &entry)
{
    Device &device = *devices[std::size_t(slot)];
    usbdevfs_urb *urb = entry.urb();
    auto *buffer = static_cast<std::uint8_t *>(urb->buffer);
    const Clock::time_point now = Clock::now();
    const Clock::time_point start = device.frameCost ? std::max(now, device.busFree) : now;
    Clock::time_point ready = device.frameCost ? start + frame : now;
    urb->status = 0;
    urb->actual_length = 0;
    if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
        const int length = urb->buffer_length >= 8 ? control(slot, buffer, buffer + 8, urb->buffer_length - 8) : -1;
        if (length < 0)
            urb->status = -EPIPE;
        else
            urb->actual_length = length;
    } else if (urb->type == USBDEVFS_URB_TYPE_BULK && urb->endpoint == endpointOut) {
        // A board about to go takes nothing more.
        int length = device.goneAt != Clock::time_point() ? 0 : urb->buffer_length;
        if (device.unplugPending && device.writesLeft <= std::uint64_t(length)) {
            length = int(device.writesLeft);
            device.unplugPending = false;
            device.goneAt = Clock::time_point::max();
        } else if (device.unplugPending) {
            device.writesLeft -= std::uint64_t(length);
        }
        const Clock::time_point entered = boards.write(slot, buffer, std::size_t(length), start);
        ready = std::max(ready, entered);
        // The board goes once what it was let write has played.
        if (device.goneAt == Clock::time_point::max())
            ready = device.goneAt = boards.lastPlay(slot);
        urb->actual_length = length;
        entry.handed = length;
    } else if (urb->type == USBDEVFS_URB_TYPE_BULK && urb->endpoint == endpointIn) {
        urb->actual_length = std::min(urb->buffer_length, int(sizeof modemStatus));
        std::copy_n(modemStatus, urb->actual_length, buffer);
    } else {
        urb->status = -EPIPE;
    }
    entry.ready = ready;
    if (device.frameCost)
        device.busFree = ready;
}

void EmulatedFt245r::Private::submit(UMockdevIoctlClient *client, UMockdevIoctlData *arg, int slot)
{
    Device &device = *devices[std::size_t(slot)];
    if (device.gone) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return;
    }
    UMockdevIoctlData *data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    const Urb urb{client, data, slot};
    if (urb.urb()->buffer_length > 0) {
        UMockdevIoctlData *buffer = umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer),
                                                                std::size_t(urb.urb()->buffer_length), nullptr);
        g_object_unref(buffer);
    }
    if (urb.urb()->type == USBDEVFS_URB_TYPE_CONTROL)
        ++device.counts.control;
    else if (urb.urb()->endpoint == endpointOut)
        ++device.counts.bulkOut;
    else
        ++device.counts.bulkIn;

    if (device.hold) {
        inFlight.push_back(urb);
    } else {
        Urb entry = urb;
        complete(slot, entry);
        reapable.push_back(entry);
    }
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedFt245r::Private::reap(UMockdevIoctlClient *client, UMockdevIoctlData *arg, int slot)
{
    const Clock::time_point now = Clock::now();
    const auto it = std::find_if(reapable.begin(), reapable.end(),
                                 [client, now](const Urb &u) { return u.client == client && u.ready <= now; });
    if (it == reapable.end()) {
        umockdev_ioctl_client_complete(client, -1, devices[std::size_t(slot)]->gone ? ENODEV : EAGAIN);
        return;
    }
    UMockdevIoctlData *pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(void *), nullptr);
    umockdev_ioctl_data_set_ptr(pointer, 0, it->data);
    g_object_unref(pointer);
    g_object_unref(it->data);
    reapable.erase(it);
    umockdev_ioctl_client_complete(client, 0, 0);
}

bool EmulatedFt245r::Private::handle(UMockdevIoctlClient *client)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto node = slotOfNode.find(umockdev_ioctl_client_get_devnode(client));
    if (node == slotOfNode.end())
        return false;
    const int slot = node->second;
    Device &device = *devices[std::size_t(slot)];
    if (device.goneAt != Clock::time_point() && !device.gone && Clock::now() >= device.goneAt)
        unplug(slot);
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    const auto answer = [client](int error) { umockdev_ioctl_client_complete(client, error ? -1 : 0, error); };
    const auto resolved = [arg](std::size_t size) { return umockdev_ioctl_data_resolve(arg, 0, size, nullptr); };

    switch (umockdev_ioctl_client_get_request(client)) {
    case USBDEVFS_SUBMITURB: submit(client, arg, slot); return true;
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY: reap(client, arg, slot); return true;
    case USBDEVFS_DISCARDURB: {
        const gulong address = *reinterpret_cast<gulong *>(arg->data);
        const auto matches = [&](const Urb &u) { return u.client == client && u.data->client_addr == address; };
        const auto it = std::find_if(inFlight.begin(), inFlight.end(), matches);
        if (it != inFlight.end()) {
            it->urb()->status = -ENOENT;
            it->ready = Clock::time_point();
            reapable.push_back(*it);
            inFlight.erase(it);
            answer(0);
            return true;
        }
        // Still waiting for room in the FIFO: what has not entered it never will, this
        // transfer's bytes and those queued behind it alike.
        const Clock::time_point now = Clock::now();
        const auto waiting = std::find_if(reapable.begin(), reapable.end(),
                                          [&](const Urb &u) { return matches(u) && u.ready > now; });
        if (waiting == reapable.end()) {
            answer(EINVAL);
            return true;
        }
        std::size_t dropped = boards.dropUnentered(slot);
        for (auto later = reapable.rbegin(); later != reapable.rend() && dropped > 0; ++later) {
            if (later->slot != slot || later->handed == 0 || later->ready <= now)
                continue;
            const int taken = int(std::min<std::size_t>(dropped, std::size_t(later->handed)));
            later->handed -= taken;
            later->urb()->actual_length -= taken;
            dropped -= std::size_t(taken);
            if (&*later != &*waiting)
                later->ready = Clock::time_point::max();
        }
        waiting->urb()->status = -ENOENT;
        waiting->ready = Clock::time_point();
        answer(0);
        return true;
    }
    default: break;
    }
    if (device.gone) {
        answer(ENODEV);
        return true;
    }
    switch (umockdev_ioctl_client_get_request(client)) {
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
        const char *driver = device.claimant || device.claimedElsewhere ? "usbfs" : device.serialDriver ? "ftdi_sio" : nullptr;
        if (driver)
            std::snprintf(query->driver, sizeof query->driver, "%s", driver);
        g_object_unref(data);
        answer(driver ? 0 : ENODATA);
        return true;
    }
    case USBDEVFS_IOCTL: {
        UMockdevIoctlData *data = resolved(sizeof(usbdevfs_ioctl));
        const int code = reinterpret_cast<usbdevfs_ioctl *>(data->data)->ioctl_code;
        g_object_unref(data);
        if (code == int(USBDEVFS_DISCONNECT) && device.serialDriver) {
            device.serialDriver = device.detachRefused;
            answer(device.detachRefused ? EPERM : 0);
        } else if (code == int(USBDEVFS_CONNECT)) {
            // The kernel binds ftdi_sio to any FT245R whose interface is free.
            device.serialDriver = device.serialDriver || (!device.claimant && !device.claimedElsewhere);
            answer(0);
        } else {
            answer(code == int(USBDEVFS_DISCONNECT) ? ENODATA : ENOTTY);
        }
        return true;
    }
    case USBDEVFS_CLAIMINTERFACE: {
        UMockdevIoctlData *data = resolved(sizeof(unsigned int));
        const unsigned int interface = *reinterpret_cast<unsigned int *>(data->data);
        g_object_unref(data);
        if (device.claimant && !umockdev_ioctl_client_get_connected(device.claimant))
            device.claimant = nullptr;
        const bool busy = device.serialDriver || device.claimedElsewhere || (device.claimant && device.claimant != client);
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
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP:
        answer(0);
        return true;
    default:
        return false;
    }
}

void EmulatedFt245r::Private::dropClient(UMockdevIoctlClient *client)
{
    std::lock_guard<std::mutex> lock(mutex);
    for (auto *queue : {&inFlight, &reapable})
        take(*queue, [client](const Urb &u) { return u.client == client; }, [](const Urb &u) { g_object_unref(u.data); });
    for (auto &device : devices) {
        if (device->claimant == client)
            device->claimant = nullptr;
    }
}

namespace {

gboolean onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer d)
{
    return static_cast<EmulatedFt245r::Private *>(d)->handle(client);
}

void onClientVanished(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer d)
{
    static_cast<EmulatedFt245r::Private *>(d)->dropClient(client);
}

} // namespace

EmulatedFt245r &EmulatedFt245r::instance()
{
    static EmulatedFt245r *chip = [] {
        auto *created = new EmulatedFt245r;
        // Runs after the destructors of statics made later: the libftdi1 back end, made by
        // useLink, closes its links while the chips still answer.
        std::atexit([] { delete &EmulatedFt245r::instance(); });
        d2xxsim::useLink(created);
        return created;
    }();
    return *chip;
}

bool EmulatedFt245r::available()
{
    const char *preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "libumockdev-preload");
}

EmulatedFt245r::EmulatedFt245r()
    : d(std::make_unique<Private>())
{
    d->testbed = umockdev_testbed_new();
    d->handler = umockdev_ioctl_base_new();
    g_signal_connect(d->handler, "handle-ioctl", G_CALLBACK(onIoctl), d.get());
    g_signal_connect(d->handler, "client-vanished", G_CALLBACK(onClientVanished), d.get());
}

EmulatedFt245r::~EmulatedFt245r()
{
    reset();
    g_object_unref(d->handler);
    g_object_unref(d->testbed);
}

void EmulatedFt245r::reset()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    for (auto &device : d->devices) {
        d->leaveBus(*device);
        umockdev_testbed_detach_ioctl(d->testbed, device->devnode.c_str(), nullptr);
    }
    for (auto *queue : {&d->inFlight, &d->reapable}) {
        for (const Urb &urb : *queue)
            g_object_unref(urb.data);
        queue->clear();
    }
    d->devices.clear();
    d->slotOfNode.clear();
    d->boards.clear();
}

int EmulatedFt245r::attach(const d2xxsim::DeviceSpec &layout)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    auto device = std::make_unique<Private::Device>();
    device->layout = layout;
    device->claimedElsewhere = layout.openElsewhere;
    const int slot = d->boards.add();
    // Whatever room an 8-character serial leaves is the user area, so the serial grows or
    // shrinks until the layout's area fits exactly (up to an odd byte).
    const std::size_t room8 = d2xx::ft245rUserAreaRoom(std::strlen(manufacturer), layout.description.size(), 8);
    std::size_t length = layout.serialNumber.size();
    if (layout.serialNumber.empty()) {
        const long grow = (long(room8) - long(layout.userArea.size())) / 2;
        length = std::size_t(std::max(4L, 8 + grow));
        const std::string number = std::to_string(slot);
        device->serial = "SPW" + std::string(length - 3 - std::min(length - 3, number.size()), '0') + number;
    } else {
        device->serial = layout.serialNumber;
    }
    std::vector<std::uint8_t> area = layout.userArea;
    area.resize(d2xx::ft245rUserAreaRoom(std::strlen(manufacturer), layout.description.size(), device->serial.size()), 0);
    if (!d2xx::ft245rImage(manufacturer, layout.description, device->serial, area, &device->eeprom))
        std::fprintf(stderr, "EmulatedFt245r: the strings of slot %d leave no room for its EEPROM\n", slot);
    device->eeprom.resize(d2xx::ft245rEepromSize, 0xFF);

    const unsigned bus = 1 + d->everAttached / addressesPerBus;
    const unsigned address = 2 + d->everAttached % addressesPerBus;
    ++d->everAttached;
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", bus, address);
    device->devnode = node;
    // libusb lists devices in the reverse of udev's order, which is that of the sysfs paths:
    // names that fall with every attach put the slots in FT_Open's order.
    device->syspath = "/sys/devices/usb1/1-1." + std::to_string(999 - (d->everAttached - 1) % 900);
    // The handler first, so that the device can be opened as soon as its add uevent is out.
    umockdev_testbed_attach_ioctl(d->testbed, node, d->handler, nullptr);
    const std::string record = "P: " + device->syspath.substr(4) + "\nN: " + (node + 5)
        + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME=" + node + "\nE: BUSNUM=" + std::string(node + 13, 3)
        + "\nE: DEVNUM=" + std::string(node + 17, 3) + "\nA: busnum=" + std::to_string(bus)
        + "\\n\nA: devnum=" + std::to_string(address) + "\\n\nA: speed=12\\n\nA: bConfigurationValue=1\\n"
        + "\nA: idVendor=0403\\n\nA: idProduct=6001\\n\nA: manufacturer=" + manufacturer + "\\n\nA: product="
        + layout.description + "\\n\nA: serial=" + device->serial + "\\n\nH: descriptors="
        + hex(descriptors, sizeof descriptors) + "\n";
    GError *error = nullptr;
    if (!umockdev_testbed_add_from_string(d->testbed, record.c_str(), &error)) {
        std::fprintf(stderr, "EmulatedFt245r: %s\n", error->message);
        g_error_free(error);
    }
    d->slotOfNode[device->devnode] = slot;
    d->devices.push_back(std::move(device));
    return slot;
}

int EmulatedFt245r::slotCount()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return int(d->devices.size());
}

bool EmulatedFt245r::setOpenStatus(int slot, FT_STATUS status)
{
    if (status != FT_OK && status != FT_DEVICE_NOT_OPENED && status != FT_IO_ERROR)
        return false;
    return d->with(slot, [status](Private::Device &device) {
        // Refused: the interface is busy, or held by a serial driver that may not be detached.
        device.serialDriver = device.detachRefused = status == FT_IO_ERROR;
        device.claimedElsewhere = status == FT_DEVICE_NOT_OPENED || device.layout.openElsewhere;
        return true;
    });
}

void EmulatedFt245r::unplugAfterWrites(int slot, std::uint64_t writes)
{
    d->with(slot, [&](Private::Device &device) {
        device.unplugPending = writes != 0;
        device.writesLeft = writes;
        if (writes == 0)
            d->unplug(slot);
    });
}

d2xxsim::DeviceState EmulatedFt245r::state(int slot)
{
    return d->with(slot, [&](const Private::Device &device) {
        d2xxsim::DeviceState result;
        d->boards.fillState(slot, &result);
        result.attached = !device.gone;
        result.open = device.claimant != nullptr;
        result.baudRate = device.baudRate;
        result.latencyMs = device.latencyMs;
        result.purgesTx = device.purgesTx;
        result.purgesRx = device.purgesRx;
        result.writeCalls = device.counts.bulkOut;
        return result;
    });
}

d2xx::BoardSet &EmulatedFt245r::boards()
{
    return d->boards;
}

void EmulatedFt245r::claimElsewhere(int slot, bool claimed)
{
    d->with(slot, [claimed](Private::Device &device) { device.claimedElsewhere = claimed; });
}

void EmulatedFt245r::bindSerialDriver(int slot, bool bound)
{
    d->with(slot, [bound](Private::Device &device) { device.serialDriver = bound; });
}

bool EmulatedFt245r::serialDriverBound(int slot)
{
    return d->with(slot, [](const Private::Device &device) { return device.serialDriver; });
}

void EmulatedFt245r::denyAccess(int slot)
{
    d->with(slot, [this](const Private::Device &device) {
        gchar *root = umockdev_testbed_get_root_dir(d->testbed);
        const std::string rootDir = root;
        g_free(root);
        // World-writable as /tmp is, for the other user's uevent socket; the preload honours
        // the node's mode once the handler's socket lets the other user connect at all.
        chmod(rootDir.c_str(), 01777);
        chmod((rootDir + device.devnode).c_str(), 0600);
        chmod((rootDir + "/ioctl" + device.devnode).c_str(), 0777);
    });
}

void EmulatedFt245r::holdTransfers(int slot, bool hold)
{
    d->with(slot, [&](Private::Device &device) {
        device.hold = hold;
        if (!hold) {
            Private::take(d->inFlight, [slot](const Urb &u) { return u.slot == slot; }, [&](const Urb &u) {
                Urb entry = u;
                d->complete(slot, entry);
                d->reapable.push_back(entry);
            });
        }
        if (device.gone)
            d->unplug(slot);
    });
}

void EmulatedFt245r::costFrames(int slot, bool cost)
{
    d->with(slot, [cost](Private::Device &device) { device.frameCost = cost; });
}

void EmulatedFt245r::setByteClockHz(int slot, double hz)
{
    d->with(slot, [hz](Private::Device &device) { device.byteClockHz = hz; });
}

int EmulatedFt245r::transfersInFlight(int slot)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return int(std::count_if(d->inFlight.begin(), d->inFlight.end(), [slot](const Urb &u) { return u.slot == slot; }));
}

EmulatedFt245r::Transfers EmulatedFt245r::transfers(int slot)
{
    return d->with(slot, [](const Private::Device &device) { return device.counts; });
}

void EmulatedFt245r::clearTransfers(int slot)
{
    d->with(slot, [](Private::Device &device) { device.counts = Transfers(); });
}

std::string EmulatedFt245r::serialNumber(int slot)
{
    return d->with(slot, [](const Private::Device &device) { return device.serial; });
}
