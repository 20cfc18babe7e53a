#pragma once

#include "d2xxbackend_p.h"
#include "d2xxsim.h"
#include "vcdwriter.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace d2xx {

// The simulated boards behind the FT_ calls and the d2xxsim test API.
// Every member is guarded by `mutex`: motor workers write while test threads read.
class SimulatedBackend final : public Backend
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
    FT_STATUS setLatencyTimer(FT_HANDLE handle, UCHAR latencyMs) override;
    FT_STATUS setBitMode(FT_HANDLE handle, UCHAR mask, UCHAR mode) override;
    FT_STATUS purge(FT_HANDLE handle, ULONG mask) override;
    FT_STATUS write(FT_HANDLE handle, const UCHAR *buffer, DWORD bytesToWrite, DWORD *bytesWritten) override;
    FT_STATUS read(FT_HANDLE handle, UCHAR *buffer, DWORD bytesToRead, DWORD *bytesReturned) override;
    FT_STATUS getDeviceInfo(FT_HANDLE handle, FT_DEVICE *type, DWORD *id, char *serialNumber,
                            char *description) override;

    void reset();
    bool attachList(const std::string &list, std::string *errorText);
    int attach(const d2xxsim::DeviceSpec &layout);
    int slotCount();

    void setOpenStatus(int slot, FT_STATUS status);
    void unplug(int slot);
    void unplugAfterWrites(int slot, std::uint64_t writes);
    void setEnableActiveHigh(int slot, bool activeHigh);
    void setClockwiseActiveHigh(int slot, bool activeHigh);
    void setDcTimePerCount(int slot, std::chrono::microseconds timePerCount);
    void setDcNeverReady(int slot, bool neverReady);
    void setDcNeverLeavesReady(int slot, bool neverLeavesReady);

    d2xxsim::DeviceState state(int slot);
    std::vector<d2xxsim::Write> writes(int slot);
    void clearWrites(int slot);
    std::vector<d2xxsim::Exposure> exposures(int slot);
    std::vector<d2xxsim::DcCommand> dcCommands(int slot);
    std::vector<d2xxsim::Pulse> pulses(int slot, int line);

    bool setVcdFile(const std::string &path, std::string *errorText);
    void flushVcd();

private:
    struct Device;
    using Clock = d2xxsim::Clock;

    SimulatedBackend();
    ~SimulatedBackend() override;

    Device *deviceAt(int slot);
    Device *deviceOf(FT_HANDLE handle, FT_STATUS *status);
    void settle(Device &device, Clock::time_point now);
    void settleAll(Clock::time_point now);
    void applyByte(Device &device, std::uint8_t value, Clock::time_point now);
    void latchEdge(Device &device, Clock::time_point now);
    void startEdge(Device &device, Clock::time_point now);
    void endRun(Device &device, Clock::time_point end, std::int64_t counts);
    std::uint8_t levels(const Device &device) const;
    void showLevels(Device &device, Clock::time_point time);
    bool parseList(const std::string &list, std::vector<d2xxsim::DeviceSpec> *specs, std::string *errorText);

    std::mutex mutex;
    std::vector<std::unique_ptr<Device>> devices;
    std::map<std::uintptr_t, int> handles;  // open handle -> slot
    std::uintptr_t nextHandle = 0x5100;
    VcdWriter vcd;
};

} // namespace d2xx
