#pragma once

#include "d2xxbackend_p.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace d2xx {

// FT245R boards (VID 0x0403, PID 0x6001) through libftdi1.
// `mutex` guards the handle table; each open link has a lock of its own, since the motor
// worker writes while the GUI thread asks whether the board is still there.
class LibftdiBackend final : public Backend
{
public:
    LibftdiBackend();
    ~LibftdiBackend() override;

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
    std::unique_ptr<DeviceWatch> watch(std::function<void()> changed) override;

private:
    struct Link;
    struct Found
    {
        std::string description;
        std::string serialNumber;
        int bus = 0;
        int address = 0;
        bool busy = false;
    };

    std::vector<Found> enumerate();
    std::shared_ptr<Link> linkOf(FT_HANDLE handle);
    // Locates the user area and reads its first `length` bytes, once.
    static FT_STATUS readUserArea(Link &link, std::size_t length);
    // ftdi_set_baudrate's result: -1 for a rate the chip cannot make, below -1 when the transfer failed.
    static int applyBaudRate(Link &link);

    std::mutex mutex;
    std::map<std::uintptr_t, std::shared_ptr<Link>> links;
    std::uintptr_t nextHandle = 0x4600;
};

} // namespace d2xx
