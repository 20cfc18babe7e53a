#pragma once

// In-process control of the turntable boards behind the FT_ calls, for tests and benchmarks only.
//
// Which back end serves the FT_ calls is decided once per process:
// - any d2xxsim:: call switches the process to the simulator, for good (unless useLink,
//   below, has put another link in its place);
// - otherwise the first FT_ call picks the simulator when SPINWRIGHT_D2XX_SIM is set
//   (even to an empty list), and libftdi1 when it is not.
// When the simulator starts it attaches the devices that SPINWRIGHT_D2XX_SIM lists (an
// unknown entry is reported on standard error and attaches nothing) and opens the Value
// Change Dump named by SPINWRIGHT_D2XX_VCD. reset() detaches every device and restores all
// defaults; it keeps the dump file open.
//
// Devices are addressed by slot: 0 for the first device attached since the last reset, then
// in attach order. A slot keeps its number after an unplug; FT_Open's index counts only the
// devices still attached, in slot order.
//
// The board a device behaves as follows from FT_SetBitMode(mask, 1):
// - mask 0xFF, stepper board: a rising edge of line 2 (step) while line 0 (enable) is at its
//   powered level moves the position one count, counterclockwise (+1) when line 1
//   (direction) is not at its clockwise level, clockwise (-1) when it is; a rising edge while
//   unpowered moves nothing and is counted in stepsWhileUnpowered. A rising edge of line 5
//   (shutter stage 2) while line 4 (stage 1) is high records an exposure.
// - mask 0xEF, DC board: line 4 is the ready input, high while idle. A rising edge of line 7
//   (latch) latches the count nibble (lines 0-3, one's complement, 0b1111 = 16) and the
//   continuous line 6. A rising edge of line 5 (start) while idle starts the command latched
//   since the last start: ready stays low for count x time per count, or, for a continuous
//   command, until a latch with line 6 low. A start with nothing newly latched, or while
//   busy, is ignored, so repeated start pulses never repeat a move. The position counts
//   5-degree counts made. A command shorter than a caller's polling interval is over before
//   the caller can see ready low.
// - any other mask: the lines follow the writes, nothing else happens.
// Outside bit-bang mode writes are traced but move no line. A device holds one handle at a
// time: FT_Open of a device this process already has open fails with FT_DEVICE_NOT_OPENED.
//
// All calls are thread-safe: the simulator holds one lock, so a test thread may read the
// trace and the position while a motor worker writes.

#include "d2xx.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace d2xx {
class BoardSet;
}

namespace d2xxsim {

using Clock = std::chrono::steady_clock;

enum class Board { None, Stepper, Dc };

struct DeviceSpec
{
    std::string description = "FT245R USB FIFO";
    std::string serialNumber;            // empty: "SIM" followed by the slot number
    bool openElsewhere = false;          // Flags bit 0; FT_Open fails with FT_DEVICE_NOT_OPENED
    bool noAccess = false;               // FT_Open fails with FT_DEVICE_NOT_OPENED, Flags clear
    std::vector<std::uint8_t> userArea;  // the EEPROM user area, FT_EE_UASize is its size
};

// The 8-byte identity record (identityrecord.h) of that kind and model.
std::vector<std::uint8_t> identityRecord(int kind, int model);

// What the SPINWRIGHT_D2XX_SIM entries attach. User areas are 32 bytes, zero after the
// record, except for "short".
DeviceSpec turntableDevice(int row);          // "turntable:<row>": record of kind 1
DeviceSpec recordDevice(int kind, int row);   // "record:<kind>:<row>"
DeviceSpec plainDevice();                     // "plain": a user area with no record
DeviceSpec shortDevice();                     // "short": a user area of 4 bytes
DeviceSpec busyDevice();                      // "busy": a turntable open in another process
DeviceSpec lockedDevice();                    // "locked": a turntable this user may not open
                                              // (no description, as its strings are unreadable)
DeviceSpec otherDevice();                     // "other": a turntable record, but no "245R"

// Parses a SPINWRIGHT_D2XX_SIM list; false with a message for an unknown or malformed entry.
bool parseDeviceList(const std::string &list, std::vector<DeviceSpec> *specs, std::string *errorText);

// Detaches every device and restores every default.
void reset();

// Attaches the devices of a comma-separated SPINWRIGHT_D2XX_SIM list, in order. An unknown or
// malformed entry attaches nothing at all and returns false with a message in errorText.
bool attach(const std::string &list, std::string *errorText = nullptr);
// Attaches one device; returns its slot.
int attach(const DeviceSpec &layout);
int slotCount();

// Makes FT_Open of this device fail with the given status (FT_OK restores normal opens);
// false when the link cannot fail that way.
bool setOpenStatus(int slot, FT_STATUS status);
// The device vanishes: every later call on its handles fails with FT_IO_ERROR and it leaves
// the device list.
void unplug(int slot);
// Lets this many more bytes be written, then unplugs the device.
void unplugAfterWrites(int slot, std::uint64_t writes);
// Holds every write on its way to the chip until released, as a writer held up by a loaded
// machine would: the chip plays out what it has, then holds the last byte.
void holdWrites(int slot, bool hold);

// Stepper board line levels; both active-high by default.
void setEnableActiveHigh(int slot, bool activeHigh);
void setClockwiseActiveHigh(int slot, bool activeHigh);

// DC board timing and faults. The default time per count is 20 ms.
void setDcTimePerCount(int slot, std::chrono::microseconds timePerCount);
void setDcNeverReady(int slot, bool neverReady);              // ready stays low
void setDcNeverLeavesReady(int slot, bool neverLeavesReady);  // start pulses are ignored

struct Write
{
    Clock::time_point time;
    std::uint8_t value;  // the byte written
};

struct Exposure
{
    std::int64_t position;
    Clock::time_point time;
};

struct DcCommand
{
    Clock::time_point time;  // when the start pulse was taken
    std::uint8_t nibble;     // count lines as latched
    int count;               // 1 to 16
    bool continuous;
};

struct DeviceState
{
    bool attached = false;
    bool open = false;
    Board board = Board::None;
    std::uint8_t bitMask = 0;
    std::uint8_t bitMode = 0;
    ULONG baudRate = 0;          // last FT_SetBaudRate, 0 before any (FT_SetDivisor: its rate)
    std::chrono::nanoseconds bytePeriod{0};  // bit-bang byte clock the chip received; 0: untimed
    std::uint64_t unplayedBytes = 0;         // handed to the chip, not on the pins yet
    UCHAR latencyMs = 16;
    std::uint8_t lines = 0;      // present levels, as FT_Read returns them
    bool ready = false;          // DC board ready line
    std::int64_t position = 0;   // counts, counterclockwise positive
    std::uint64_t stepsWhileUnpowered = 0;
    std::uint64_t writeCount = 0;      // bytes written since attach or clearWrites
    std::uint64_t purgesTx = 0;
    std::uint64_t purgesRx = 0;
    std::uint64_t writeCalls = 0;      // writes handed to the link (bulk transfers on USB)
    std::uint64_t opens = 0;           // successful FT_Open calls since attach
    std::uint64_t eepromReads = 0;     // FT_EE_UARead calls since attach
};

DeviceState state(int slot);
std::int64_t position(int slot);
std::uint64_t stepsWhileUnpowered(int slot);

// The write trace keeps the last 2^20 bytes written; older entries are dropped.
std::vector<Write> writes(int slot);
void clearWrites(int slot);
std::vector<Exposure> exposures(int slot);
std::vector<DcCommand> dcCommands(int slot);

// High pulses of one line (0 to 7) as seen in the write trace; a pulse still high at the end
// of the trace has fall == rise.
struct Pulse
{
    Clock::time_point rise;
    Clock::time_point fall;
};
std::vector<Pulse> pulses(int slot, int line);

// Starts a Value Change Dump in path (an empty path ends the present one). Its wires are
// those of the devices attached when the first line changes, named after the board each
// one is by then. The file is flushed on FT_Close, flushVcd and at exit.
bool setVcdFile(const std::string &path, std::string *errorText = nullptr);
void flushVcd();

// The link these calls drive the boards through: the simulated back end unless a test has
// put another in its place before its first call, as the USB chip emulated under libusb in
// tests/support does. The boards and their dump are the same whatever the link.
class Link
{
public:
    virtual ~Link() = default;
    virtual void reset() = 0;
    virtual int attach(const DeviceSpec &layout) = 0;
    virtual int slotCount() = 0;
    virtual bool setOpenStatus(int slot, FT_STATUS status) = 0;
    // 0 writes: unplugged at once.
    virtual void unplugAfterWrites(int slot, std::uint64_t writes) = 0;
    virtual void holdWrites(int slot, bool hold) = 0;
    virtual DeviceState state(int slot) = 0;
    virtual d2xx::BoardSet &boards() = 0;
};

// From now on link serves these calls and libftdi1 serves the FT_ calls.
void useLink(Link *link);

} // namespace d2xxsim
