#include "simulatedbackend.h"

#include "ft245rclock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace d2xx {

struct SimulatedBackend::Device
{
    d2xxsim::DeviceSpec layout;
    int slot = 0;
    std::string serialNumber;

    bool attached = true;
    FT_STATUS openStatus = FT_OK;
    std::uintptr_t openHandle = 0;  // 0 while closed
    bool unplugPending = false;
    std::uint64_t writesLeft = 0;

    ULONG baudRate = 0;
    UCHAR latencyMs = 16;
    // Queued writes: when the last block handed over has entered the FIFO, and the bytes of a
    // write that an unplug refused, which a cancel reports as never sent.
    std::chrono::steady_clock::time_point queuedEntry;
    DWORD refused = 0;
    bool held = false;
    std::uint64_t writeCalls = 0;
    std::uint64_t purgesTx = 0;
    std::uint64_t purgesRx = 0;
    std::uint64_t opens = 0;
    std::uint64_t eepromReads = 0;
};

class SimulatedBackend::Watch final : public DeviceWatch
{
public:
    Watch(SimulatedBackend &backend, std::function<void()> changed)
        : backend(backend)
        , changed(std::move(changed))
    {
        std::lock_guard<std::mutex> lock(backend.watchMutex);
        backend.watches.push_back(this);
    }
    ~Watch() override
    {
        std::lock_guard<std::mutex> lock(backend.watchMutex);
        backend.watches.erase(std::find(backend.watches.begin(), backend.watches.end(), this));
    }

    SimulatedBackend &backend;
    const std::function<void()> changed;
};

SimulatedBackend &SimulatedBackend::instance()
{
    // Never destroyed: a motor worker may still write while the process exits.
    static SimulatedBackend *backend = [] {
        auto *created = new SimulatedBackend;
        std::atexit([] { SimulatedBackend::instance().boards().flushVcd(); });
        return created;
    }();
    return *backend;
}

SimulatedBackend::SimulatedBackend()
{
    if (const char *list = std::getenv("SPINWRIGHT_D2XX_SIM")) {
        std::string error;
        std::vector<d2xxsim::DeviceSpec> specs;
        if (d2xxsim::parseDeviceList(list, &specs, &error)) {
            for (const auto &layout : specs)
                attach(layout);
        } else {
            std::fprintf(stderr, "SPINWRIGHT_D2XX_SIM: %s; no simulated device is attached.\n", error.c_str());
        }
    }
    if (const char *path = std::getenv("SPINWRIGHT_D2XX_VCD")) {
        std::string error;
        if (*path && !boardSet.setVcdFile(path, &error))
            std::fprintf(stderr, "SPINWRIGHT_D2XX_VCD: %s\n", error.c_str());
    }
}

SimulatedBackend::~SimulatedBackend() = default;

SimulatedBackend::Device *SimulatedBackend::deviceAt(int slot)
{
    if (slot < 0 || static_cast<std::size_t>(slot) >= devices.size())
        return nullptr;
    return devices[static_cast<std::size_t>(slot)].get();
}

SimulatedBackend::Device *SimulatedBackend::deviceOf(FT_HANDLE handle, FT_STATUS *status)
{
    const auto it = handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles.end()) {
        *status = FT_INVALID_HANDLE;
        return nullptr;
    }
    Device *device = deviceAt(it->second);
    if (!device->attached) {
        *status = FT_IO_ERROR;
        return nullptr;
    }
    *status = FT_OK;
    return device;
}

template <typename Call>
FT_STATUS SimulatedBackend::withDevice(FT_HANDLE handle, Call &&call)
{
    std::lock_guard<std::mutex> lock(mutex);
    FT_STATUS status;
    Device *device = deviceOf(handle, &status);
    return device ? call(device) : status;
}

FT_STATUS SimulatedBackend::createDeviceInfoList(DWORD *numDevices)
{
    if (!numDevices)
        return FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex);
    *numDevices = static_cast<DWORD>(std::count_if(devices.begin(), devices.end(),
                                                   [](const auto &device) { return device->attached; }));
    return FT_OK;
}

FT_STATUS SimulatedBackend::getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, DWORD *numDevices)
{
    // Unlike the vendor's call, *numDevices is also the capacity of list: a device attached
    // since FT_CreateDeviceInfoList must not write past the caller's array.
    if (!list || !numDevices)
        return FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex);
    const DWORD capacity = *numDevices;
    DWORD filled = 0;
    for (const auto &device : devices) {
        if (!device->attached)
            continue;
        if (filled == capacity)
            break;
        FT_DEVICE_LIST_INFO_NODE &node = list[filled++];
        node.Flags = device->layout.openElsewhere ? FT_FLAGS_OPENED : 0;
        node.Type = FT_DEVICE_232R;
        node.ID = ft245rId;
        node.LocId = static_cast<DWORD>(0x100 + device->slot);
        copyText(node.SerialNumber, sizeof node.SerialNumber, device->serialNumber);
        copyText(node.Description, sizeof node.Description, device->layout.description);
        node.ftHandle = reinterpret_cast<FT_HANDLE>(device->openHandle);
    }
    *numDevices = filled;
    return FT_OK;
}

FT_STATUS SimulatedBackend::open(int deviceNumber, FT_HANDLE *handle)
{
    if (!handle)
        return FT_INVALID_PARAMETER;
    *handle = nullptr;
    std::lock_guard<std::mutex> lock(mutex);
    if (deviceNumber < 0)
        return FT_DEVICE_NOT_FOUND;
    int index = -1;
    for (auto &device : devices) {
        if (!device->attached || ++index != deviceNumber)
            continue;
        if (device->openStatus != FT_OK)
            return device->openStatus;
        if (device->layout.openElsewhere || device->layout.noAccess || device->openHandle != 0)
            return FT_DEVICE_NOT_OPENED;
        ++device->opens;
        device->openHandle = nextHandle++;
        handles[device->openHandle] = device->slot;
        *handle = reinterpret_cast<FT_HANDLE>(device->openHandle);
        return FT_OK;
    }
    return FT_DEVICE_NOT_FOUND;
}

FT_STATUS SimulatedBackend::close(FT_HANDLE handle)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles.end())
        return FT_INVALID_HANDLE;
    Device *device = deviceAt(it->second);
    handles.erase(it);
    device->openHandle = 0;
    boardSet.flushVcd();
    return device->attached ? FT_OK : FT_IO_ERROR;
}

FT_STATUS SimulatedBackend::eeUaSize(FT_HANDLE handle, DWORD *size)
{
    return withDevice(handle, [&](Device *device) -> FT_STATUS {
        if (!size)
            return FT_INVALID_PARAMETER;
        *size = static_cast<DWORD>(device->layout.userArea.size());
        return FT_OK;
    });
}

FT_STATUS SimulatedBackend::eeUaRead(FT_HANDLE handle, UCHAR *data, DWORD dataLength, DWORD *bytesRead)
{
    return withDevice(handle, [&](Device *device) -> FT_STATUS {
        if (!data || !bytesRead)
            return FT_INVALID_PARAMETER;
        ++device->eepromReads;
        const std::size_t n = std::min<std::size_t>(dataLength, device->layout.userArea.size());
        std::copy_n(device->layout.userArea.begin(), n, data);
        *bytesRead = static_cast<DWORD>(n);
        return FT_OK;
    });
}

FT_STATUS SimulatedBackend::setBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    return withDevice(handle, [&](Device *device) -> FT_STATUS {
        if (baudRate == 0)
            return FT_INVALID_PARAMETER;
        device->baudRate = baudRate;
        boardSet.setBytePeriod(device->slot, Ft245rClock::bytePeriod(Ft245rClock::divisorEighthsForBaud(baudRate)));
        return FT_OK;
    });
}

FT_STATUS SimulatedBackend::setDivisor(FT_HANDLE handle, USHORT divisor)
{
    return withDevice(handle, [&](Device *device) -> FT_STATUS {
        const std::uint32_t eighths = Ft245rClock::divisorEighths(divisor);
        device->baudRate = ULONG(24000000u / eighths);
        boardSet.setBytePeriod(device->slot, Ft245rClock::bytePeriod(eighths));
        return FT_OK;
    });
}

FT_STATUS SimulatedBackend::setLatencyTimer(FT_HANDLE handle, UCHAR latencyMs)
{
    return withDevice(handle, [&](Device *device) -> FT_STATUS {
        if (latencyMs < 1)
            return FT_INVALID_PARAMETER;
        device->latencyMs = latencyMs;
        return FT_OK;
    });
}

FT_STATUS SimulatedBackend::setBitMode(FT_HANDLE handle, UCHAR mask, UCHAR mode)
{
    return withDevice(handle, [&](Device *device) -> FT_STATUS {
        if (mode != FT_BITMODE_RESET && mode != FT_BITMODE_ASYNC_BITBANG)
            return FT_INVALID_PARAMETER;
        boardSet.setBitMode(device->slot, mask, mode);
        return FT_OK;
    });
}

FT_STATUS SimulatedBackend::purge(FT_HANDLE handle, ULONG mask)
{
    return withDevice(handle, [&](Device *device) -> FT_STATUS {
        if (mask & ~ULONG(FT_PURGE_RX | FT_PURGE_TX))
            return FT_INVALID_PARAMETER;
        if (mask & FT_PURGE_RX)
            ++device->purgesRx;
        if (mask & FT_PURGE_TX) {
            ++device->purgesTx;
            boardSet.dropUnplayed(device->slot);
        }
        return FT_OK;
    });
}

SimulatedBackend::Handed SimulatedBackend::handOver(Device *device, const UCHAR *buffer, DWORD length)
{
    Handed handed;
    handed.bytes = length;
    ++device->writeCalls;
    if (device->unplugPending && device->writesLeft <= length) {
        handed.bytes = DWORD(device->writesLeft);
        handed.vanishes = true;
        device->unplugPending = false;
    } else if (device->unplugPending) {
        device->writesLeft -= length;
    }
    handed.until = boardSet.write(device->slot, buffer, handed.bytes, {});
    // The board goes once its last byte has played, so that it has moved all it was let write.
    if (handed.vanishes)
        handed.until = boardSet.lastPlay(device->slot);
    return handed;
}

FT_STATUS SimulatedBackend::blockUntil(FT_HANDLE handle, const Handed &handed, DWORD length, bool queued)
{
    std::this_thread::sleep_until(handed.until);
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto it = handles.find(reinterpret_cast<std::uintptr_t>(handle));
        // A board that went away while the call waited failed the transfer.
        if (!handed.vanishes)
            return it != handles.end() && !deviceAt(it->second)->attached ? FT_IO_ERROR : FT_OK;
        if (it != handles.end()) {
            Device *device = deviceAt(it->second);
            device->attached = false;
            if (queued)
                device->refused += length - handed.bytes;
        }
    }
    notifyWatches();
    return handed.bytes == length ? FT_OK : FT_IO_ERROR;
}

void SimulatedBackend::waitWhileHeld(FT_HANDLE handle)
{
    std::unique_lock<std::mutex> lock(mutex);
    released.wait(lock, [&] {
        const auto it = handles.find(reinterpret_cast<std::uintptr_t>(handle));
        return it == handles.end() || !deviceAt(it->second)->held;
    });
}

void SimulatedBackend::holdWrites(int slot, bool hold)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (Device *device = deviceAt(slot))
        device->held = hold;
    released.notify_all();
}

std::unique_ptr<DeviceWatch> SimulatedBackend::watch(std::function<void()> changed)
{
    return std::make_unique<Watch>(*this, std::move(changed));
}

void SimulatedBackend::notifyWatches()
{
    std::lock_guard<std::mutex> lock(watchMutex);
    for (Watch *watch : watches)
        watch->changed();
}

FT_STATUS SimulatedBackend::write(FT_HANDLE handle, const UCHAR *buffer, DWORD bytesToWrite, DWORD *bytesWritten)
{
    if (bytesWritten)
        *bytesWritten = 0;
    waitWhileHeld(handle);
    Handed handed;
    const FT_STATUS status = withDevice(handle, [&](Device *device) -> FT_STATUS {
        if ((!buffer && bytesToWrite > 0) || !bytesWritten)
            return FT_INVALID_PARAMETER;
        handed = handOver(device, buffer, bytesToWrite);
        *bytesWritten = handed.bytes;
        return FT_OK;
    });
    if (status != FT_OK)
        return status;
    // A write returns once its last byte is in the chip's FIFO; a lone byte, once it is on the
    // pins (a period at most later), so that whoever wrote it sees the lines it set.
    if (!handed.vanishes && bytesToWrite == 1) {
        std::lock_guard<std::mutex> lock(mutex);
        FT_STATUS status;
        if (Device *device = deviceOf(handle, &status))
            handed.until = std::max(handed.until, boardSet.lastPlay(device->slot));
    }
    return blockUntil(handle, handed, bytesToWrite, false);
}

FT_STATUS SimulatedBackend::writeQueued(FT_HANDLE handle, const UCHAR *buffer, DWORD length)
{
    waitWhileHeld(handle);
    Handed handed;
    const FT_STATUS status = withDevice(handle, [&](Device *device) -> FT_STATUS {
        if (!buffer && length > 0)
            return FT_INVALID_PARAMETER;
        const auto previous = device->queuedEntry;
        handed = handOver(device, buffer, length);
        device->queuedEntry = handed.until;
        // This block stays queued; the call waits for the one before it.
        if (!handed.vanishes)
            handed.until = previous;
        return FT_OK;
    });
    return status == FT_OK ? blockUntil(handle, handed, length, true) : status;
}

FT_STATUS SimulatedBackend::waitQueued(FT_HANDLE handle)
{
    Handed handed;
    const FT_STATUS status = withDevice(handle, [&](Device *device) -> FT_STATUS {
        handed.until = device->queuedEntry;
        return FT_OK;
    });
    return status == FT_OK ? blockUntil(handle, handed, 0, true) : status;
}

FT_STATUS SimulatedBackend::cancelQueued(FT_HANDLE handle, DWORD *dropped)
{
    // Answered for a board that has gone too: the caller needs to know what never reached it.
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles.end())
        return FT_INVALID_HANDLE;
    Device *device = deviceAt(it->second);
    const DWORD count = DWORD(boardSet.dropUnentered(device->slot)) + device->refused;
    device->refused = 0;
    device->queuedEntry = {};
    if (dropped)
        *dropped = count;
    return FT_OK;
}

FT_STATUS SimulatedBackend::read(FT_HANDLE handle, UCHAR *buffer, DWORD bytesToRead, DWORD *bytesReturned)
{
    if (bytesReturned)
        *bytesReturned = 0;
    return withDevice(handle, [&](Device *device) -> FT_STATUS {
        if ((!buffer && bytesToRead > 0) || !bytesReturned)
            return FT_INVALID_PARAMETER;
        std::fill_n(buffer, bytesToRead, boardSet.read(device->slot));
        *bytesReturned = bytesToRead;
        return FT_OK;
    });
}

FT_STATUS SimulatedBackend::getDeviceInfo(FT_HANDLE handle, FT_DEVICE *type, DWORD *id, char *serialNumber,
                                          char *description)
{
    return withDevice(handle, [&](Device *device) -> FT_STATUS {
        return answerDeviceInfo(type, id, serialNumber, description, FT_DEVICE_232R, device->serialNumber,
                                device->layout.description);
    });
}

void SimulatedBackend::reset()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto &device : devices)
            device->held = false;
        released.notify_all();
        devices.clear();
        handles.clear();
        boardSet.clear();
    }
    notifyWatches();
}

int SimulatedBackend::attach(const d2xxsim::DeviceSpec &layout)
{
    int slot = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto device = std::make_unique<Device>();
        device->layout = layout;
        device->slot = boardSet.add();
        device->serialNumber =
            layout.serialNumber.empty() ? "SIM" + std::to_string(device->slot) : layout.serialNumber;
        slot = device->slot;
        devices.push_back(std::move(device));
    }
    notifyWatches();
    return slot;
}

int SimulatedBackend::slotCount()
{
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<int>(devices.size());
}

bool SimulatedBackend::setOpenStatus(int slot, FT_STATUS status)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (Device *device = deviceAt(slot))
        device->openStatus = status;
    return true;
}

void SimulatedBackend::unplugAfterWrites(int slot, std::uint64_t writes)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        Device *device = deviceAt(slot);
        if (!device || !device->attached)
            return;
        device->unplugPending = writes != 0;
        device->writesLeft = writes;
        if (writes != 0)
            return;
        // A chip that is gone plays nothing more of what it held.
        device->attached = false;
        boardSet.dropUnplayed(slot);
    }
    notifyWatches();
}

d2xxsim::DeviceState SimulatedBackend::state(int slot)
{
    std::lock_guard<std::mutex> lock(mutex);
    d2xxsim::DeviceState result;
    Device *device = deviceAt(slot);
    if (!device)
        return result;
    boardSet.fillState(slot, &result);
    result.attached = device->attached;
    result.open = device->openHandle != 0;
    result.baudRate = device->baudRate;
    result.latencyMs = device->latencyMs;
    result.purgesTx = device->purgesTx;
    result.purgesRx = device->purgesRx;
    result.writeCalls = device->writeCalls;
    result.opens = device->opens;
    result.eepromReads = device->eepromReads;
    return result;
}

} // namespace d2xx
