#pragma once

#include "boardset.h"
#include "d2xxbackend_p.h"
#include "d2xxsim.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace d2xx {

// The FT_ calls served by simulated boards, and the default link of the d2xxsim test API.
// `mutex` guards the devices and handles; the boards have their own lock, always taken after
// it: motor workers write while test threads read.
class SimulatedBackend final : public Backend, public d2xxsim::Link
{
public:
    static SimulatedBackend &instance();

    FT_STATUS createDeviceInfoList(DWORD *numDevices) override;
    FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, DWORD *numDevices) override;
    FT_STATUS open(int deviceNumber, FT_HANDLE *handle) override;
    FT_STATUS close(FT_HANDLE handle) override;
    FT_STATUS eeUaSize(FT_HANDLE handle, DWORD *size) override;
    FT_STATUS eeUaRead(FT_HANDLE handle, UCHAR *data, DWORD dataLength, DWORD *bytesRead) override;
    FT_STATUS setBaudRate(FT_HANDLE handle, ULONG baudRate) override;
    FT_STATUS setDivisor(FT_HANDLE handle, USHORT divisor) override;
    FT_STATUS setLatencyTimer(FT_HANDLE handle, UCHAR latencyMs) override;
    FT_STATUS setBitMode(FT_HANDLE handle, UCHAR mask, UCHAR mode) override;
    FT_STATUS purge(FT_HANDLE handle, ULONG mask) override;
    FT_STATUS write(FT_HANDLE handle, const UCHAR *buffer, DWORD bytesToWrite, DWORD *bytesWritten) override;
    FT_STATUS read(FT_HANDLE handle, UCHAR *buffer, DWORD bytesToRead, DWORD *bytesReturned) override;
    FT_STATUS getDeviceInfo(FT_HANDLE handle, FT_DEVICE *type, DWORD *id, char *serialNumber,
                            char *description) override;
    FT_STATUS writeQueued(FT_HANDLE handle, const UCHAR *buffer, DWORD length) override;
    FT_STATUS waitQueued(FT_HANDLE handle) override;
    FT_STATUS cancelQueued(FT_HANDLE handle, DWORD *dropped) override;
    // Told of every attach, unplug and reset, on the thread that made it.
    std::unique_ptr<DeviceWatch> watch(std::function<void()> changed) override;

    void reset() override;
    int attach(const d2xxsim::DeviceSpec &layout) override;
    int slotCount() override;
    bool setOpenStatus(int slot, FT_STATUS status) override;
    void unplugAfterWrites(int slot, std::uint64_t writes) override;
    void holdWrites(int slot, bool hold) override;
    d2xxsim::DeviceState state(int slot) override;
    BoardSet &boards() override { return boardSet; }

private:
    struct Device;
    class Watch;

    // Calls every watch's function; never with `mutex` held, since a watcher may list at once.
    void notifyWatches();

    SimulatedBackend();
    ~SimulatedBackend() override;

    Device *deviceAt(int slot);
    Device *deviceOf(FT_HANDLE handle, FT_STATUS *status);
    // Runs `call` on the open board behind `handle` with `mutex` held, or answers why not.
    template <typename Call>
    FT_STATUS withDevice(FT_HANDLE handle, Call &&call);
    // Hands bytes to the board as the chip would take them, up to an unplug that is due; the
    // caller then sleeps until `until` outside the lock, as a write blocks in the kernel, and
    // the board vanishes then when `vanishes` says so.
    struct Handed
    {
        DWORD bytes = 0;
        std::chrono::steady_clock::time_point until;
        bool vanishes = false;
    };
    Handed handOver(Device *device, const UCHAR *buffer, DWORD length);
    FT_STATUS blockUntil(FT_HANDLE handle, const Handed &handed, DWORD length, bool queued);

    // Waits while writes to this handle's board are held.
    void waitWhileHeld(FT_HANDLE handle);

    std::mutex mutex;
    std::condition_variable released;
    std::vector<std::unique_ptr<Device>> devices;
    std::map<std::uintptr_t, int> handles;  // open handle -> slot
    std::uintptr_t nextHandle = 0x5100;
    BoardSet boardSet;
    // Guards the watches' list; held across their calls, so that a watch that goes waits for
    // a call still running. Taken without `mutex` held.
    std::mutex watchMutex;
    std::vector<Watch *> watches;
};

} // namespace d2xx
