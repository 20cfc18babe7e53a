#include "d2xxbackend_p.h"

namespace d2xx {
namespace {
class Unattached final : public Backend
{
public:
    FT_STATUS createDeviceInfoList(DWORD *n) override { if (n) *n = 0; return FT_OK; }
    FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *, DWORD *n) override { if (n) *n = 0; return FT_OK; }
    FT_STATUS open(int, FT_HANDLE *h) override { if (h) *h = nullptr; return FT_DEVICE_NOT_FOUND; }
    FT_STATUS close(FT_HANDLE) override { return FT_INVALID_HANDLE; }
    FT_STATUS eeUaSize(FT_HANDLE, DWORD *) override { return FT_INVALID_HANDLE; }
    FT_STATUS eeUaRead(FT_HANDLE, UCHAR *, DWORD, DWORD *) override { return FT_INVALID_HANDLE; }
    FT_STATUS setBaudRate(FT_HANDLE, ULONG) override { return FT_INVALID_HANDLE; }
    FT_STATUS setLatencyTimer(FT_HANDLE, UCHAR) override { return FT_INVALID_HANDLE; }
    FT_STATUS setBitMode(FT_HANDLE, UCHAR, UCHAR) override { return FT_INVALID_HANDLE; }
    FT_STATUS purge(FT_HANDLE, ULONG) override { return FT_INVALID_HANDLE; }
    FT_STATUS write(FT_HANDLE, const UCHAR *, DWORD, DWORD *) override { return FT_INVALID_HANDLE; }
    FT_STATUS read(FT_HANDLE, UCHAR *, DWORD, DWORD *) override { return FT_INVALID_HANDLE; }
    FT_STATUS getDeviceInfo(FT_HANDLE, FT_DEVICE *, DWORD *, char *, char *) override { return FT_INVALID_HANDLE; }
};
}
Backend *hardwareBackend() { static Unattached b; return &b; }
Backend *simulatedBackend() { static Unattached b; return &b; }
}
