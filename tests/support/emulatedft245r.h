#pragma once

#include "boardset.h"
#include "d2xxsim.h"

#include <cstdint>
#include <memory>
#include <string>

// FT245R boards (0403:6001) emulated on the kernel's USB device interface under umockdev, so
// that the real libusb and libftdi1 find, open and drive them; the boards behind the chips are
// the simulator's. As a d2xxsim link it serves the same test API as the simulated back end.
//
// The process must run with libumockdev-preload (ctest sets LD_PRELOAD) and must create the
// chip before its first libusb call: a test built with usblink.cpp does both before main. A
// child process started afterwards with the same environment reaches the same chips.
//
// Each chip answers the requests libftdi1 sends (reset and purges, baud rate, latency timer
// set and get, bit mode, read pins, read EEPROM, the descriptor strings); any other control
// request stalls. Bytes of bulk OUT (0x02) drive its board in order, each played one period of
// the divisor received (boardmodel.h); a bulk OUT transfer ends once its last byte is in the
// chip's FIFO, and a discarded one says how much had entered it. Bulk IN (0x81) answers the
// two modem-status bytes. Its EEPROM is an FT245R image whose user area, right after the
// serial-number string, holds the DeviceSpec's user area: the serial is made as long as it takes
// for the area to have that size (an 8-character serial leaves 42 bytes). libusb lists
// the chips in slot order, as FT_Open counts the simulated ones.
// The USB handler runs on umockdev's thread; every call here is thread-safe.
class EmulatedFt245r final : public d2xxsim::Link
{
public:
    // The one instance; the first call creates the testbed and makes it the d2xxsim link.
    static EmulatedFt245r &instance();
    // Whether the preload that makes the emulation work is in this process.
    static bool available();

    void reset() override;
    int attach(const d2xxsim::DeviceSpec &layout) override;
    int slotCount() override;
    // FT_DEVICE_NOT_OPENED (interface busy) and FT_IO_ERROR (reset request stalls) only.
    bool setOpenStatus(int slot, FT_STATUS status) override;
    // Unplugged: ENODEV from then on, transfers in flight end with -ESHUTDOWN, and the device
    // leaves the bus with a remove uevent.
    void unplugAfterWrites(int slot, std::uint64_t writes) override;
    // As holdTransfers.
    void holdWrites(int slot, bool hold) override { holdTransfers(slot, hold); }
    d2xxsim::DeviceState state(int slot) override;
    d2xx::BoardSet &boards() override;

    // Faults only a USB link shows.
    void claimElsewhere(int slot, bool claimed);    // another process holds the interface
    void bindSerialDriver(int slot, bool bound);    // ftdi_sio holds it until a disconnect
    bool serialDriverBound(int slot);
    // Only root may open the node; the testbed is opened to other users, so that a child
    // process run as one (setpriv) finds the chip and is refused as without a udev rule.
    void denyAccess(int slot);
    void holdTransfers(int slot, bool hold);        // transfers stay in flight until released
    // Each transfer costs a full-speed frame (1 ms), one after the other, as on a real board.
    void costFrames(int slot, bool cost);
    // The byte clock the chip divides: 12 MHz unless told otherwise (ft245rclock.h).
    void setByteClockHz(int slot, double hz);
    int transfersInFlight(int slot);

    struct Transfers
    {
        std::uint64_t control = 0;
        std::uint64_t bulkOut = 0;
        std::uint64_t bulkIn = 0;
    };
    // Transfers submitted since attach or the last clearTransfers.
    Transfers transfers(int slot);
    void clearTransfers(int slot);

    std::string serialNumber(int slot);

    struct Private;

private:
    EmulatedFt245r();
    ~EmulatedFt245r() override;

    std::unique_ptr<Private> d;
};
