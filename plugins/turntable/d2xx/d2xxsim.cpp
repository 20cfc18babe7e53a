#include "d2xxsim.h"

#include "d2xxbackend_p.h"
#include "simulatedbackend.h"

#include <algorithm>

namespace d2xx {
Backend *simulatedBackend()
{
    return &SimulatedBackend::instance();
}
}

namespace d2xxsim {

namespace {

constexpr std::size_t userAreaSize = 32;

d2xx::SimulatedBackend &simulator()
{
    d2xx::selectSimulator();
    return d2xx::SimulatedBackend::instance();
}

std::vector<std::uint8_t> userAreaWith(std::vector<std::uint8_t> head)
{
    head.resize(std::max(head.size(), userAreaSize), 0);
    return head;
}

} // namespace

std::vector<std::uint8_t> identityRecord(int kind, int model)
{
    const auto k = static_cast<std::uint16_t>(kind);
    const auto m = static_cast<std::uint16_t>(model);
    return {0xD1, 0xF4, 0x00, 0x00, static_cast<std::uint8_t>(k & 0xFF), static_cast<std::uint8_t>(k >> 8),
            static_cast<std::uint8_t>(m & 0xFF), static_cast<std::uint8_t>(m >> 8)};
}

DeviceSpec recordDevice(int kind, int row)
{
    DeviceSpec layout;
    layout.userArea = userAreaWith(identityRecord(kind, row));
    return layout;
}

DeviceSpec turntableDevice(int row)
{
    return recordDevice(1, row);
}

DeviceSpec plainDevice()
{
    DeviceSpec layout;
    layout.userArea = userAreaWith({});
    return layout;
}

DeviceSpec shortDevice()
{
    // The start of a valid record, so that a reader ignoring the size would be fooled.
    DeviceSpec layout;
    layout.userArea = identityRecord(1, 0);
    layout.userArea.resize(4);
    return layout;
}

DeviceSpec busyDevice()
{
    DeviceSpec layout = turntableDevice(0);
    layout.openElsewhere = true;
    return layout;
}

DeviceSpec lockedDevice()
{
    DeviceSpec layout = turntableDevice(2);
    layout.noAccess = true;
    return layout;
}

DeviceSpec otherDevice()
{
    DeviceSpec layout = turntableDevice(0);
    layout.description = "FT232R USB UART";
    return layout;
}

void reset()
{
    simulator().reset();
}

bool attach(const std::string &list, std::string *errorText)
{
    return simulator().attachList(list, errorText);
}

int attach(const DeviceSpec &layout)
{
    return simulator().attach(layout);
}

int slotCount()
{
    return simulator().slotCount();
}

void setOpenStatus(int slot, FT_STATUS status)
{
    simulator().setOpenStatus(slot, status);
}

void unplug(int slot)
{
    simulator().unplug(slot);
}

void unplugAfterWrites(int slot, std::uint64_t writes)
{
    simulator().unplugAfterWrites(slot, writes);
}

void setEnableActiveHigh(int slot, bool activeHigh)
{
    simulator().setEnableActiveHigh(slot, activeHigh);
}

void setClockwiseActiveHigh(int slot, bool activeHigh)
{
    simulator().setClockwiseActiveHigh(slot, activeHigh);
}

void setDcTimePerCount(int slot, std::chrono::microseconds timePerCount)
{
    simulator().setDcTimePerCount(slot, timePerCount);
}

void setDcNeverReady(int slot, bool neverReady)
{
    simulator().setDcNeverReady(slot, neverReady);
}

void setDcNeverLeavesReady(int slot, bool neverLeavesReady)
{
    simulator().setDcNeverLeavesReady(slot, neverLeavesReady);
}

DeviceState state(int slot)
{
    return simulator().state(slot);
}

std::int64_t position(int slot)
{
    return simulator().state(slot).position;
}

std::uint64_t stepsWhileUnpowered(int slot)
{
    return simulator().state(slot).stepsWhileUnpowered;
}

std::vector<Write> writes(int slot)
{
    return simulator().writes(slot);
}

void clearWrites(int slot)
{
    simulator().clearWrites(slot);
}

std::vector<Exposure> exposures(int slot)
{
    return simulator().exposures(slot);
}

std::vector<DcCommand> dcCommands(int slot)
{
    return simulator().dcCommands(slot);
}

std::vector<Pulse> pulses(int slot, int line)
{
    return simulator().pulses(slot, line);
}

bool setVcdFile(const std::string &path, std::string *errorText)
{
    return simulator().setVcdFile(path, errorText);
}

void flushVcd()
{
    simulator().flushVcd();
}

} // namespace d2xxsim
