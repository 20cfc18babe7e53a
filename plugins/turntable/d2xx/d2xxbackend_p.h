#pragma once

#include "d2xx.h"
#include "devicewatch.h"

#include <cstddef>
#include <string>

namespace d2xx {

// One back end serves every FT_ call of the process.
class Backend
{
public:
    virtual ~Backend() = default;

    virtual FT_STATUS createDeviceInfoList(DWORD *numDevices) = 0;
    virtual FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, DWORD *numDevices) = 0;
    virtual FT_STATUS open(int deviceNumber, FT_HANDLE *handle) = 0;
    virtual FT_STATUS close(FT_HANDLE handle) = 0;
    virtual FT_STATUS eeUaSize(FT_HANDLE handle, DWORD *size) = 0;
    virtual FT_STATUS eeUaRead(FT_HANDLE handle, UCHAR *data, DWORD dataLength, DWORD *bytesRead) = 0;
    virtual FT_STATUS setBaudRate(FT_HANDLE handle, ULONG baudRate) = 0;
    virtual FT_STATUS setDivisor(FT_HANDLE handle, USHORT divisor) = 0;
    virtual FT_STATUS setLatencyTimer(FT_HANDLE handle, UCHAR latencyMs) = 0;
    virtual FT_STATUS setBitMode(FT_HANDLE handle, UCHAR mask, UCHAR mode) = 0;
    virtual FT_STATUS purge(FT_HANDLE handle, ULONG mask) = 0;
    virtual FT_STATUS write(FT_HANDLE handle, const UCHAR *buffer, DWORD bytesToWrite, DWORD *bytesWritten) = 0;
    virtual FT_STATUS read(FT_HANDLE handle, UCHAR *buffer, DWORD bytesToRead, DWORD *bytesReturned) = 0;
    virtual FT_STATUS getDeviceInfo(FT_HANDLE handle, FT_DEVICE *type, DWORD *id, char *serialNumber,
                                    char *description) = 0;
    virtual FT_STATUS writeQueued(FT_HANDLE handle, const UCHAR *buffer, DWORD length) = 0;
    virtual FT_STATUS waitQueued(FT_HANDLE handle) = 0;
    virtual FT_STATUS cancelQueued(FT_HANDLE handle, DWORD *dropped) = 0;
    // See watchDevices(); null when this back end cannot tell.
    virtual std::unique_ptr<DeviceWatch> watch(std::function<void()> changed) = 0;

protected:
    // The ID every FT245R of ours reports: vendor 0403, product 6001.
    static constexpr DWORD ft245rId = 0x04036001;

    // Copies a text into a fixed-size field of a D2XX structure, cut and zero-filled.
    static void copyText(char *target, std::size_t capacity, const std::string &text);
    // Answers FT_GetDeviceInfo for an open board; every output may be null.
    static FT_STATUS answerDeviceInfo(FT_DEVICE *type, DWORD *id, char *serialNumber, char *description,
                                      FT_DEVICE boardType, const std::string &serial, const std::string &text);
};

// The back end of this process, chosen at the first call (see d2xxsim.h for the rule).
Backend *activeBackend();
// Switch the process to the simulator or to libftdi1; used by the test API.
void selectSimulator();
void selectHardware();

Backend *hardwareBackend();
Backend *simulatedBackend();

} // namespace d2xx
