#include "d2xxsim.h"

#include "boardset.h"
#include "d2xxbackend_p.h"
#include "identityrecord.h"
#include "simulatedbackend.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <limits>

namespace d2xx {
Backend *simulatedBackend()
{
    return &SimulatedBackend::instance();
}
}

namespace d2xxsim {

namespace {

constexpr std::size_t userAreaSize = 32;

std::atomic<Link *> chosenLink{nullptr};

Link &link()
{
    if (Link *chosen = chosenLink.load(std::memory_order_acquire))
        return *chosen;
    d2xx::selectSimulator();
    return d2xx::SimulatedBackend::instance();
}

d2xx::BoardSet &boards()
{
    return link().boards();
}

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool parseInt16(const std::string &text, int *value)
{
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < std::numeric_limits<std::int16_t>::min()
        || parsed > std::numeric_limits<std::int16_t>::max())
        return false;
    *value = static_cast<int>(parsed);
    return true;
}

std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return parts;
        start = at + 1;
    }
}

std::vector<std::uint8_t> userAreaWith(std::vector<std::uint8_t> head)
{
    head.resize(std::max(head.size(), userAreaSize), 0);
    return head;
}

} // namespace

std::vector<std::uint8_t> identityRecord(int kind, int model)
{
    IdentityRecord record;
    record.kind = static_cast<std::int16_t>(kind);
    record.model = static_cast<std::int16_t>(model);
    const auto bytes = record.bytes();
    return {bytes.begin(), bytes.end()};
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
    // As libftdi1 lists it: a chip whose strings this user cannot read either.
    DeviceSpec layout = turntableDevice(2);
    layout.noAccess = true;
    layout.description.clear();
    return layout;
}

DeviceSpec otherDevice()
{
    DeviceSpec layout = turntableDevice(0);
    layout.description = "FT232R USB UART";
    return layout;
}

bool parseDeviceList(const std::string &list, std::vector<DeviceSpec> *specs, std::string *errorText)
{
    for (const std::string &raw : split(list, ',')) {
        const std::string entry = trimmed(raw);
        if (entry.empty())
            continue;
        const std::vector<std::string> fields = split(entry, ':');
        const std::string &name = fields.front();
        int kind = 0;
        int row = 0;
        if (name == "turntable" && fields.size() == 2 && parseInt16(fields[1], &row)) {
            specs->push_back(turntableDevice(row));
        } else if (name == "record" && fields.size() == 3 && parseInt16(fields[1], &kind)
                   && parseInt16(fields[2], &row)) {
            specs->push_back(recordDevice(kind, row));
        } else if (fields.size() == 1 && name == "plain") {
            specs->push_back(plainDevice());
        } else if (fields.size() == 1 && name == "short") {
            specs->push_back(shortDevice());
        } else if (fields.size() == 1 && name == "busy") {
            specs->push_back(busyDevice());
        } else if (fields.size() == 1 && name == "locked") {
            specs->push_back(lockedDevice());
        } else if (fields.size() == 1 && name == "other") {
            specs->push_back(otherDevice());
        } else {
            if (errorText)
                *errorText = "unknown device entry \"" + entry
                    + "\" (expected turntable:<row>, record:<kind>:<row>, plain, short, busy, locked or other)";
            return false;
        }
    }
    return true;
}

void useLink(Link *chosen)
{
    d2xx::selectHardware();
    chosenLink.store(chosen, std::memory_order_release);
}

void reset()
{
    link().reset();
}

bool attach(const std::string &list, std::string *errorText)
{
    std::vector<DeviceSpec> specs;
    if (!parseDeviceList(list, &specs, errorText))
        return false;
    for (const auto &layout : specs)
        link().attach(layout);
    return true;
}

int attach(const DeviceSpec &layout)
{
    return link().attach(layout);
}

int slotCount()
{
    return link().slotCount();
}

bool setOpenStatus(int slot, FT_STATUS status)
{
    return link().setOpenStatus(slot, status);
}

void unplug(int slot)
{
    link().unplugAfterWrites(slot, 0);
}

void unplugAfterWrites(int slot, std::uint64_t writes)
{
    link().unplugAfterWrites(slot, writes);
}

void holdWrites(int slot, bool hold)
{
    link().holdWrites(slot, hold);
}

void setEnableActiveHigh(int slot, bool activeHigh)
{
    boards().setEnableActiveHigh(slot, activeHigh);
}

void setClockwiseActiveHigh(int slot, bool activeHigh)
{
    boards().setClockwiseActiveHigh(slot, activeHigh);
}

void setDcTimePerCount(int slot, std::chrono::microseconds timePerCount)
{
    boards().setDcTimePerCount(slot, timePerCount);
}

void setDcNeverReady(int slot, bool neverReady)
{
    boards().setDcNeverReady(slot, neverReady);
}

void setDcNeverLeavesReady(int slot, bool neverLeavesReady)
{
    boards().setDcNeverLeavesReady(slot, neverLeavesReady);
}

DeviceState state(int slot)
{
    return link().state(slot);
}

std::int64_t position(int slot)
{
    return link().state(slot).position;
}

std::uint64_t stepsWhileUnpowered(int slot)
{
    return link().state(slot).stepsWhileUnpowered;
}

std::vector<Write> writes(int slot)
{
    return boards().writes(slot);
}

void clearWrites(int slot)
{
    boards().clearWrites(slot);
}

std::vector<Exposure> exposures(int slot)
{
    return boards().exposures(slot);
}

std::vector<DcCommand> dcCommands(int slot)
{
    return boards().dcCommands(slot);
}

std::vector<Pulse> pulses(int slot, int line)
{
    return boards().pulses(slot, line);
}

bool setVcdFile(const std::string &path, std::string *errorText)
{
    return boards().setVcdFile(path, errorText);
}

void flushVcd()
{
    boards().flushVcd();
}

} // namespace d2xxsim
