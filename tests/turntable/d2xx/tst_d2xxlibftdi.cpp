#include "d2xx.h"
#include "ft245reeprom.h"

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
    void userAreaOfImage_data();
    void userAreaOfImage();
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

void tst_D2xxLibftdi::userAreaOfImage_data()
{
    QTest::addColumn<QByteArray>("descriptors");  // offset | 0x80 and length, three times
    QTest::addColumn<int>("size");                 // -1: refused
    QTest::addColumn<int>("first");                // offset of the area's first byte

    QTest::newRow("typical") << QByteArray("\x98\x12\xaa\x20\xca\x12", 6) << 0x7E - 0x5C << 0x5C;
    QTest::newRow("odd end") << QByteArray("\x98\x11\x00\x00\x00\x00", 6) << 0x7E - 0x2A << 0x2A;
    QTest::newRow("no strings") << QByteArray(6, '\0') << 0x7E - 0x18 << 0x18;
    QTest::newRow("strings up to the checksum") << QByteArray("\x98\x66\x00\x00\x00\x00", 6) << 0 << 0x7E;
    QTest::newRow("string over the checksum") << QByteArray("\x98\x67\x00\x00\x00\x00", 6) << -1 << 0;
    QTest::newRow("string in the header") << QByteArray("\x90\x04\x00\x00\x00\x00", 6) << -1 << 0;
    QTest::newRow("string in the configuration") << QByteArray("\x00\x00\x94\x04\x00\x00", 6) << -1 << 0;
    QTest::newRow("longest length") << QByteArray("\x00\x00\x00\x00\xff\xff", 6) << -1 << 0;
}

void tst_D2xxLibftdi::userAreaOfImage()
{
    QFETCH(QByteArray, descriptors);
    QFETCH(int, size);
    QFETCH(int, first);

    std::vector<std::uint8_t> image(256);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = std::uint8_t(i);
    std::copy(descriptors.begin(), descriptors.end(), image.begin() + 0x0E);

    std::vector<std::uint8_t> area{1, 2, 3};
    QCOMPARE(d2xx::ft245rUserArea(image.data(), image.size(), &area), size >= 0);
    if (size < 0)
        return;
    QCOMPARE(int(area.size()), size);
    if (size > 0) {
        QCOMPARE(int(area.front()), first);
        QCOMPARE(int(area.back()), 0x7D);
    }
    QVERIFY(!d2xx::ft245rUserArea(image.data(), d2xx::ft245rEepromSize - 1, &area));
}

QTEST_GUILESS_MAIN(tst_D2xxLibftdi)
#include "tst_d2xxlibftdi.moc"
