#pragma once

// D2XX-compatible calls for FT245R bit-bang boards. On Linux the calls are served by
// libftdi1 or, for tests, by a simulated turntable board (see d2xxsim.h); on Windows the
// option SPINWRIGHT_USE_FTD2XX builds the same driver code against the vendor's library.

#if defined(_WIN32) && defined(SPINWRIGHT_USE_FTD2XX)

#include <windows.h>
#include <ftd2xx.h>

#else

#include <cstdint>

typedef void *FT_HANDLE;
typedef std::uint32_t DWORD;
typedef std::uint32_t ULONG;
typedef std::uint16_t USHORT;
typedef unsigned char UCHAR;
typedef void *LPVOID;
typedef ULONG FT_STATUS;
typedef ULONG FT_DEVICE;

enum {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6
};

// FT_DEVICE_LIST_INFO_NODE::Flags
enum { FT_FLAGS_OPENED = 1 };

// FT_Purge masks
enum { FT_PURGE_RX = 1, FT_PURGE_TX = 2 };

// FT_SetBitMode modes
enum { FT_BITMODE_RESET = 0x00, FT_BITMODE_ASYNC_BITBANG = 0x01 };

// FT_DEVICE values the layer reports
enum { FT_DEVICE_UNKNOWN = 3, FT_DEVICE_232R = 5, FT_DEVICE_232H = 8 };

struct FT_DEVICE_LIST_INFO_NODE {
    ULONG Flags;
    ULONG Type;
    ULONG ID;
    DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

extern "C" {

FT_STATUS FT_CreateDeviceInfoList(DWORD *numDevices);
FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, DWORD *numDevices);
FT_STATUS FT_Open(int deviceNumber, FT_HANDLE *handle);
FT_STATUS FT_Close(FT_HANDLE handle);
FT_STATUS FT_EE_UASize(FT_HANDLE handle, DWORD *size);
FT_STATUS FT_EE_UARead(FT_HANDLE handle, UCHAR *data, DWORD dataLength, DWORD *bytesRead);
FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate);
FT_STATUS FT_SetDivisor(FT_HANDLE handle, USHORT divisor);
FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR latencyMs);
FT_STATUS FT_SetBitMode(FT_HANDLE handle, UCHAR mask, UCHAR mode);
FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask);
FT_STATUS FT_Write(FT_HANDLE handle, LPVOID buffer, DWORD bytesToWrite, DWORD *bytesWritten);
FT_STATUS FT_Read(FT_HANDLE handle, LPVOID buffer, DWORD bytesToRead, DWORD *bytesReturned);
FT_STATUS FT_GetDeviceInfo(FT_HANDLE handle, FT_DEVICE *type, DWORD *id, char *serialNumber,
                           char *description, LPVOID reserved);

}

#endif

// Not D2XX: writes queued in the USB stack ahead of the chip, for trains timed by the chip's own
// byte clock (ft245rclock.h). FTX_WriteQueued hands a block over and returns once the blocks
// before it have reached the chip's FIFO, so one block waits behind the FIFO while the caller
// makes the next; FTX_WaitQueued returns once every block has reached it; FTX_CancelQueued takes
// back what has not and says how many bytes that was. A byte that reached the chip always plays.
// With the vendor's library (Windows) the first is a plain FT_Write of the block.
extern "C" {
FT_STATUS FTX_WriteQueued(FT_HANDLE handle, const UCHAR *buffer, DWORD length);
FT_STATUS FTX_WaitQueued(FT_HANDLE handle);
FT_STATUS FTX_CancelQueued(FT_HANDLE handle, DWORD *dropped);
}
