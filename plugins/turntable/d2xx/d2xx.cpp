#include "d2xx.h"
#include "d2xxbackend_p.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace d2xx {

namespace {
std::atomic<Backend *> chosen{nullptr};
std::mutex choiceMutex;
}

void Backend::copyText(char *target, std::size_t capacity, const std::string &text)
{
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(target, text.data(), n);
    std::memset(target + n, 0, capacity - n);
}

FT_STATUS Backend::answerDeviceInfo(FT_DEVICE *type, DWORD *id, char *serialNumber, char *description,
                                    FT_DEVICE boardType, const std::string &serial, const std::string &text)
{
    if (type)
        *type = boardType;
    if (id)
        *id = ft245rId;
    // The sizes D2XX documents for these two buffers.
    if (serialNumber)
        copyText(serialNumber, 16, serial);
    if (description)
        copyText(description, 64, text);
    return FT_OK;
}

Backend *activeBackend()
{
    Backend *backend = chosen.load(std::memory_order_acquire);
    if (backend)
        return backend;
    std::lock_guard<std::mutex> lock(choiceMutex);
    backend = chosen.load(std::memory_order_relaxed);
    if (!backend) {
        backend = std::getenv("SPINWRIGHT_D2XX_SIM") ? simulatedBackend() : hardwareBackend();
        chosen.store(backend, std::memory_order_release);
    }
    return backend;
}

void selectSimulator()
{
    if (chosen.load(std::memory_order_acquire) == simulatedBackend())
        return;
    std::lock_guard<std::mutex> lock(choiceMutex);
    chosen.store(simulatedBackend(), std::memory_order_release);
}

void selectHardware()
{
    std::lock_guard<std::mutex> lock(choiceMutex);
    chosen.store(hardwareBackend(), std::memory_order_release);
}

std::unique_ptr<DeviceWatch> watchDevices(std::function<void()> changed)
{
    return activeBackend()->watch(std::move(changed));
}

} // namespace d2xx

using d2xx::activeBackend;

extern "C" {

FT_STATUS FT_CreateDeviceInfoList(DWORD *numDevices)
{
    return activeBackend()->createDeviceInfoList(numDevices);
}

FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, DWORD *numDevices)
{
    return activeBackend()->getDeviceInfoList(list, numDevices);
}

FT_STATUS FT_Open(int deviceNumber, FT_HANDLE *handle)
{
    return activeBackend()->open(deviceNumber, handle);
}

FT_STATUS FT_Close(FT_HANDLE handle)
{
    return activeBackend()->close(handle);
}

FT_STATUS FT_EE_UASize(FT_HANDLE handle, DWORD *size)
{
    return activeBackend()->eeUaSize(handle, size);
}

FT_STATUS FT_EE_UARead(FT_HANDLE handle, UCHAR *data, DWORD dataLength, DWORD *bytesRead)
{
    return activeBackend()->eeUaRead(handle, data, dataLength, bytesRead);
}

FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    return activeBackend()->setBaudRate(handle, baudRate);
}

FT_STATUS FT_SetDivisor(FT_HANDLE handle, USHORT divisor)
{
    return activeBackend()->setDivisor(handle, divisor);
}

FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR latencyMs)
{
    return activeBackend()->setLatencyTimer(handle, latencyMs);
}

FT_STATUS FT_SetBitMode(FT_HANDLE handle, UCHAR mask, UCHAR mode)
{
    return activeBackend()->setBitMode(handle, mask, mode);
}

FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask)
{
    return activeBackend()->purge(handle, mask);
}

FT_STATUS FT_Write(FT_HANDLE handle, LPVOID buffer, DWORD bytesToWrite, DWORD *bytesWritten)
{
    return activeBackend()->write(handle, static_cast<const UCHAR *>(buffer), bytesToWrite, bytesWritten);
}

FT_STATUS FT_Read(FT_HANDLE handle, LPVOID buffer, DWORD bytesToRead, DWORD *bytesReturned)
{
    return activeBackend()->read(handle, static_cast<UCHAR *>(buffer), bytesToRead, bytesReturned);
}

FT_STATUS FT_GetDeviceInfo(FT_HANDLE handle, FT_DEVICE *type, DWORD *id, char *serialNumber,
                           char *description, LPVOID)
{
    return activeBackend()->getDeviceInfo(handle, type, id, serialNumber, description);
}

FT_STATUS FTX_WriteQueued(FT_HANDLE handle, const UCHAR *buffer, DWORD length)
{
    return activeBackend()->writeQueued(handle, buffer, length);
}

FT_STATUS FTX_WaitQueued(FT_HANDLE handle)
{
    return activeBackend()->waitQueued(handle);
}

FT_STATUS FTX_CancelQueued(FT_HANDLE handle, DWORD *dropped)
{
    return activeBackend()->cancelQueued(handle, dropped);
}

}
