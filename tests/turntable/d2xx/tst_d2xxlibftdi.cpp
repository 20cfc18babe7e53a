#include "d2xx.h"

#include <QtTest>

#include <vector>

// The libftdi1 back end on a machine without an FTDI board attached.
class tst_D2xxLibftdi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void listsNothing();
    void openFails();
    void callsOnInvalidHandles();
};

void tst_D2xxLibftdi::initTestCase()
{
    // The back end is chosen at the first call; this process must not pick the simulator.
    qunsetenv("SPINWRIGHT_D2XX_SIM");
    DWORD count = 99;
    QCOMPARE(FT_CreateDeviceInfoList(&count), FT_STATUS(FT_OK));
    if (count != 0)
        QSKIP("An FTDI board is attached to this machine");
}

void tst_D2xxLibftdi::listsNothing()
{
    DWORD count = 99;
    QCOMPARE(FT_CreateDeviceInfoList(&count), FT_STATUS(FT_OK));
    QCOMPARE(count, DWORD(0));

    FT_DEVICE_LIST_INFO_NODE nodes[2] = {};
    nodes[0].Flags = 0xABCD;
    count = 2;
    QCOMPARE(FT_GetDeviceInfoList(nodes, &count), FT_STATUS(FT_OK));
    QCOMPARE(count, DWORD(0));
    QCOMPARE(nodes[0].Flags, ULONG(0xABCD));
    QCOMPARE(FT_CreateDeviceInfoList(nullptr), FT_STATUS(FT_INVALID_PARAMETER));
    QCOMPARE(FT_GetDeviceInfoList(nullptr, &count), FT_STATUS(FT_INVALID_PARAMETER));
}

void tst_D2xxLibftdi::openFails()
{
    for (int index : {0, 1, -1}) {
        FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(0x1);
        QCOMPARE(FT_Open(index, &handle), FT_STATUS(FT_DEVICE_NOT_FOUND));
        QCOMPARE(handle, FT_HANDLE(nullptr));
    }
    QCOMPARE(FT_Open(0, nullptr), FT_STATUS(FT_INVALID_PARAMETER));
}

void tst_D2xxLibftdi::callsOnInvalidHandles()
{
    const std::vector<FT_HANDLE> handles{nullptr, reinterpret_cast<FT_HANDLE>(0x4600)};
    for (FT_HANDLE handle : handles) {
        UCHAR byte = 0x5A;
        DWORD done = 7;
        DWORD size = 7;
        QCOMPARE(FT_Close(handle), FT_STATUS(FT_INVALID_HANDLE));
        QCOMPARE(FT_EE_UASize(handle, &size), FT_STATUS(FT_INVALID_HANDLE));
        QCOMPARE(FT_EE_UARead(handle, &byte, 1, &done), FT_STATUS(FT_INVALID_HANDLE));
        QCOMPARE(FT_SetBaudRate(handle, 1000000), FT_STATUS(FT_INVALID_HANDLE));
        QCOMPARE(FT_SetLatencyTimer(handle, 2), FT_STATUS(FT_INVALID_HANDLE));
        QCOMPARE(FT_SetBitMode(handle, 0xFF, FT_BITMODE_ASYNC_BITBANG), FT_STATUS(FT_INVALID_HANDLE));
        QCOMPARE(FT_Purge(handle, FT_PURGE_TX), FT_STATUS(FT_INVALID_HANDLE));
        QCOMPARE(FT_Write(handle, &byte, 1, &done), FT_STATUS(FT_INVALID_HANDLE));
        QCOMPARE(done, DWORD(0));
        done = 7;
        QCOMPARE(FT_Read(handle, &byte, 1, &done), FT_STATUS(FT_INVALID_HANDLE));
        QCOMPARE(done, DWORD(0));
        QCOMPARE(FT_GetDeviceInfo(handle, nullptr, nullptr, nullptr, nullptr, nullptr),
                 FT_STATUS(FT_INVALID_HANDLE));
    }
}

QTEST_GUILESS_MAIN(tst_D2xxLibftdi)
#include "tst_d2xxlibftdi.moc"
