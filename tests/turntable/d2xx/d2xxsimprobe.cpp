// d2xxsimprobe list          prints the device list and each device's user area
// d2xxsimprobe steps <n>     opens device 0 as a stepper board and makes n counterclockwise
//                            counts, 2 ms high and 1 ms low each
#include "d2xx.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void waitMs(int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
    }
}

bool put(FT_HANDLE handle, UCHAR value)
{
    DWORD written = 0;
    FT_Purge(handle, FT_PURGE_TX);
    return FT_Write(handle, &value, 1, &written) == FT_OK && written == 1;
}

int list()
{
    DWORD count = 0;
    if (FT_CreateDeviceInfoList(&count) != FT_OK)
        return 1;
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
    if (count > 0)
        FT_GetDeviceInfoList(nodes.data(), &count);
    std::printf("devices %u\n", static_cast<unsigned>(count));
    for (DWORD i = 0; i < count; ++i) {
        std::printf("%u flags=%u \"%s\"", static_cast<unsigned>(i), static_cast<unsigned>(nodes[i].Flags),
                    nodes[i].Description);
        FT_HANDLE handle = nullptr;
        const FT_STATUS opened = FT_Open(static_cast<int>(i), &handle);
        if (opened != FT_OK) {
            std::printf(" open=%u\n", static_cast<unsigned>(opened));
            continue;
        }
        DWORD size = 0;
        FT_EE_UASize(handle, &size);
        UCHAR area[8] = {};
        DWORD read = 0;
        FT_EE_UARead(handle, area, sizeof area, &read);
        std::printf(" ua=%u", static_cast<unsigned>(size));
        for (DWORD b = 0; b < read; ++b)
            std::printf(" %02x", area[b]);
        std::printf("\n");
        FT_Close(handle);
    }
    return 0;
}

int steps(int n)
{
    FT_HANDLE handle = nullptr;
    if (FT_Open(0, &handle) != FT_OK) {
        std::fprintf(stderr, "no device 0\n");
        return 1;
    }
    FT_SetBaudRate(handle, 1000000);
    FT_SetLatencyTimer(handle, 2);
    FT_SetBitMode(handle, 0xFF, FT_BITMODE_RESET);
    FT_SetBitMode(handle, 0xFF, FT_BITMODE_ASYNC_BITBANG);
    const UCHAR powered = 0x01 | 0x08;  // enable, counterclockwise, auxiliary
    bool ok = put(handle, 0x00) && put(handle, powered);
    for (int i = 0; ok && i < n; ++i) {
        waitMs(1);
        ok = put(handle, powered | 0x04);
        waitMs(2);
        ok = ok && put(handle, powered);
    }
    FT_Close(handle);
    std::printf("steps %d %s\n", n, ok ? "written" : "failed");
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "list") == 0)
        return list();
    if (argc == 3 && std::strcmp(argv[1], "steps") == 0)
        return steps(std::atoi(argv[2]));
    std::fprintf(stderr, "usage: d2xxsimprobe list | steps <n>\n");
    return 2;
}
