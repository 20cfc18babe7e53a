#include "simulatedbackend.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace d2xx {

using d2xxsim::Board;

namespace {

constexpr std::size_t traceCapacity = std::size_t(1) << 20;
constexpr std::uint8_t stepperMask = 0xFF;
constexpr std::uint8_t dcMask = 0xEF;

constexpr std::uint8_t enableLine = 0x01;
constexpr std::uint8_t directionLine = 0x02;
constexpr std::uint8_t stepLine = 0x04;
constexpr std::uint8_t shutterStage1 = 0x10;
constexpr std::uint8_t shutterStage2 = 0x20;

constexpr std::uint8_t countLines = 0x0F;
constexpr std::uint8_t readyLine = 0x10;
constexpr std::uint8_t startLine = 0x20;
constexpr std::uint8_t continuousLine = 0x40;
constexpr std::uint8_t latchLine = 0x80;

void copyText(char *target, std::size_t capacity, const std::string &text)
{
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(target, text.data(), n);
    std::memset(target + n, 0, capacity - n);
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

std::vector<std::string> wireNames(Board board)
{
    switch (board) {
    case Board::Stepper:
        return {"enable", "direction", "step", "auxiliary", "shutter1", "shutter2", "D6", "D7"};
    case Board::Dc:
        return {"count0", "count1", "count2", "count3", "ready", "start", "continuous", "latch"};
    case Board::None:
        break;
    }
    return {"D0", "D1", "D2", "D3", "D4", "D5", "D6", "D7"};
}

} // namespace

struct SimulatedBackend::Device
{
    d2xxsim::DeviceSpec layout;
    int slot = 0;
    std::string serialNumber;

    bool attached = true;
    FT_STATUS openStatus = FT_OK;
    std::uintptr_t openHandle = 0;  // 0 while closed
    bool unplugPending = false;
    std::uint64_t writesLeft = 0;

    bool enableActiveHigh = true;
    bool clockwiseActiveHigh = true;
    std::chrono::microseconds timePerCount{20000};
    bool neverReady = false;
    bool neverLeavesReady = false;

    ULONG baudRate = 0;
    UCHAR latencyMs = 16;
    std::uint8_t bitMask = 0;
    std::uint8_t bitMode = 0;
    Board board = Board::None;
    std::uint8_t lines = 0;  // driven output levels
    std::uint8_t shown = 0;  // levels at the last change

    std::uint8_t latchedNibble = 0x0F;
    bool latchedContinuous = false;
    bool armed = false;  // a command was latched since the last start
    bool running = false;
    bool runContinuous = false;
    int runCount = 0;
    Clock::time_point runStart;
    Clock::time_point runEnd;

    std::int64_t position = 0;
    std::uint64_t stepsWhileUnpowered = 0;

    std::deque<d2xxsim::Write> trace;
    std::uint8_t traceBase = 0;  // byte written before the oldest trace entry
    std::uint8_t lastWritten = 0;
    std::uint64_t writeCount = 0;
    std::uint64_t purgesTx = 0;
    std::uint64_t purgesRx = 0;
    std::uint64_t opens = 0;
    std::uint64_t eepromReads = 0;
    std::vector<d2xxsim::Exposure> exposures;
    std::vector<d2xxsim::DcCommand> commands;

    bool ready() const { return board == Board::Dc && !neverReady && !running; }
};

SimulatedBackend &SimulatedBackend::instance()
{
    // Never destroyed: a motor worker may still write while the process exits.
    static SimulatedBackend *backend = [] {
        auto *created = new SimulatedBackend;
        std::atexit([] { SimulatedBackend::instance().flushVcd(); });
        return created;
    }();
    return *backend;
}

SimulatedBackend::SimulatedBackend()
{
    if (const char *list = std::getenv("SPINWRIGHT_D2XX_SIM")) {
        std::string error;
        if (!attachList(list, &error))
            std::fprintf(stderr, "SPINWRIGHT_D2XX_SIM: %s; no simulated device is attached.\n", error.c_str());
    }
    if (const char *path = std::getenv("SPINWRIGHT_D2XX_VCD")) {
        std::string error;
        if (*path && !setVcdFile(path, &error))
            std::fprintf(stderr, "SPINWRIGHT_D2XX_VCD: %s\n", error.c_str());
    }
}

SimulatedBackend::~SimulatedBackend() = default;

SimulatedBackend::Device *SimulatedBackend::deviceAt(int slot)
{
    if (slot < 0 || static_cast<std::size_t>(slot) >= devices.size())
        return nullptr;
    return devices[static_cast<std::size_t>(slot)].get();
}

SimulatedBackend::Device *SimulatedBackend::deviceOf(FT_HANDLE handle, FT_STATUS *status)
{
    const auto it = handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles.end()) {
        *status = FT_INVALID_HANDLE;
        return nullptr;
    }
    Device *device = deviceAt(it->second);
    if (!device->attached) {
        *status = FT_IO_ERROR;
        return nullptr;
    }
    *status = FT_OK;
    return device;
}

std::uint8_t SimulatedBackend::levels(const Device &device) const
{
    if (device.board == Board::Dc)
        return static_cast<std::uint8_t>((device.lines & ~readyLine) | (device.ready() ? readyLine : 0));
    return device.lines;
}

void SimulatedBackend::showLevels(Device &device, Clock::time_point time)
{
    const std::uint8_t now = levels(device);
    if (now == device.shown)
        return;
    if (vcd.isOpen()) {
        if (!vcd.hasDefinitions()) {
            std::vector<VcdWriter::Scope> scopes;
            for (const auto &each : devices)
                scopes.push_back({"dev" + std::to_string(each->slot), wireNames(each->board), each->shown});
            vcd.writeDefinitions(scopes);
        }
        vcd.change(time, static_cast<std::size_t>(device.slot), now);
    }
    device.shown = now;
}

void SimulatedBackend::endRun(Device &device, Clock::time_point end, std::int64_t counts)
{
    device.position += counts;
    device.running = false;
    showLevels(device, end);
}

void SimulatedBackend::settle(Device &device, Clock::time_point now)
{
    if (device.board == Board::Dc && device.running && !device.runContinuous && now >= device.runEnd)
        endRun(device, device.runEnd, device.runCount);
}

void SimulatedBackend::settleAll(Clock::time_point now)
{
    for (auto &device : devices)
        settle(*device, now);
}

void SimulatedBackend::latchEdge(Device &device, Clock::time_point now)
{
    device.latchedNibble = device.lines & countLines;
    device.latchedContinuous = (device.lines & continuousLine) != 0;
    device.armed = true;
    if (device.running && device.runContinuous && !device.latchedContinuous)
        endRun(device, now, (now - device.runStart) / device.timePerCount);
}

void SimulatedBackend::startEdge(Device &device, Clock::time_point now)
{
    if (!device.ready() || device.neverLeavesReady || !device.armed)
        return;
    int count = 15 - device.latchedNibble;
    if (count == 0)
        count = 16;
    device.armed = false;
    device.running = true;
    device.runContinuous = device.latchedContinuous;
    device.runCount = count;
    device.runStart = now;
    device.runEnd = now + count * device.timePerCount;
    device.commands.push_back({now, device.latchedNibble, count, device.runContinuous});
    showLevels(device, now);
}

void SimulatedBackend::applyByte(Device &device, std::uint8_t value, Clock::time_point now)
{
    device.trace.push_back({now, value});
    if (device.trace.size() > traceCapacity) {
        device.traceBase = device.trace.front().value;
        device.trace.pop_front();
    }
    device.lastWritten = value;
    ++device.writeCount;
    if (device.bitMode != FT_BITMODE_ASYNC_BITBANG)
        return;

    const std::uint8_t before = device.lines;
    device.lines = value & device.bitMask;
    const std::uint8_t rising = device.lines & ~before;

    if (device.board == Board::Stepper) {
        if (rising & stepLine) {
            const bool powered = ((device.lines & enableLine) != 0) == device.enableActiveHigh;
            const bool clockwise = ((device.lines & directionLine) != 0) == device.clockwiseActiveHigh;
            if (powered)
                device.position += clockwise ? -1 : 1;
            else
                ++device.stepsWhileUnpowered;
        }
        if ((rising & shutterStage2) && (device.lines & shutterStage1))
            device.exposures.push_back({device.position, now});
    } else if (device.board == Board::Dc) {
        if (rising & latchLine)
            latchEdge(device, now);
        if (rising & startLine)
            startEdge(device, now);
    }
    showLevels(device, now);
}

FT_STATUS SimulatedBackend::createDeviceInfoList(DWORD *numDevices)
{
    if (!numDevices)
        return FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex);
    *numDevices = static_cast<DWORD>(std::count_if(devices.begin(), devices.end(),
                                                   [](const auto &device) { return device->attached; }));
    return FT_OK;
}

FT_STATUS SimulatedBackend::getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, DWORD *numDevices)
{
    // Unlike the vendor's call, *numDevices is also the capacity of list: a device attached
    // since FT_CreateDeviceInfoList must not write past the caller's array.
    if (!list || !numDevices)
        return FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex);
    const DWORD capacity = *numDevices;
    DWORD filled = 0;
    for (const auto &device : devices) {
        if (!device->attached)
            continue;
        if (filled == capacity)
            break;
        FT_DEVICE_LIST_INFO_NODE &node = list[filled++];
        node.Flags = device->layout.openElsewhere ? FT_FLAGS_OPENED : 0;
        node.Type = FT_DEVICE_232R;
        node.ID = 0x04036001;
        node.LocId = static_cast<DWORD>(0x100 + device->slot);
        copyText(node.SerialNumber, sizeof node.SerialNumber, device->serialNumber);
        copyText(node.Description, sizeof node.Description, device->layout.description);
        node.ftHandle = reinterpret_cast<FT_HANDLE>(device->openHandle);
    }
    *numDevices = filled;
    return FT_OK;
}

FT_STATUS SimulatedBackend::open(int deviceNumber, FT_HANDLE *handle)
{
    if (!handle)
        return FT_INVALID_PARAMETER;
    *handle = nullptr;
    std::lock_guard<std::mutex> lock(mutex);
    if (deviceNumber < 0)
        return FT_DEVICE_NOT_FOUND;
    int index = -1;
    for (auto &device : devices) {
        if (!device->attached || ++index != deviceNumber)
            continue;
        if (device->openStatus != FT_OK)
            return device->openStatus;
        if (device->layout.openElsewhere || device->layout.noAccess || device->openHandle != 0)
            return FT_DEVICE_NOT_OPENED;
        ++device->opens;
        device->openHandle = nextHandle++;
        handles[device->openHandle] = device->slot;
        *handle = reinterpret_cast<FT_HANDLE>(device->openHandle);
        return FT_OK;
    }
    return FT_DEVICE_NOT_FOUND;
}

FT_STATUS SimulatedBackend::close(FT_HANDLE handle)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles.end())
        return FT_INVALID_HANDLE;
    Device *device = deviceAt(it->second);
    handles.erase(it);
    device->openHandle = 0;
    vcd.flush();
    return device->attached ? FT_OK : FT_IO_ERROR;
}

FT_STATUS SimulatedBackend::eeUaSize(FT_HANDLE handle, DWORD *size)
{
    std::lock_guard<std::mutex> lock(mutex);
    FT_STATUS status;
    Device *device = deviceOf(handle, &status);
    if (!device)
        return status;
    if (!size)
        return FT_INVALID_PARAMETER;
    *size = static_cast<DWORD>(device->layout.userArea.size());
    return FT_OK;
}

FT_STATUS SimulatedBackend::eeUaRead(FT_HANDLE handle, UCHAR *data, DWORD dataLength, DWORD *bytesRead)
{
    std::lock_guard<std::mutex> lock(mutex);
    FT_STATUS status;
    Device *device = deviceOf(handle, &status);
    if (!device)
        return status;
    if (!data || !bytesRead)
        return FT_INVALID_PARAMETER;
    ++device->eepromReads;
    const std::size_t n = std::min<std::size_t>(dataLength, device->layout.userArea.size());
    std::copy_n(device->layout.userArea.begin(), n, data);
    *bytesRead = static_cast<DWORD>(n);
    return FT_OK;
}

FT_STATUS SimulatedBackend::setBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    std::lock_guard<std::mutex> lock(mutex);
    FT_STATUS status;
    Device *device = deviceOf(handle, &status);
    if (!device)
        return status;
    device->baudRate = baudRate;
    return FT_OK;
}

FT_STATUS SimulatedBackend::setLatencyTimer(FT_HANDLE handle, UCHAR latencyMs)
{
    std::lock_guard<std::mutex> lock(mutex);
    FT_STATUS status;
    Device *device = deviceOf(handle, &status);
    if (!device)
        return status;
    if (latencyMs < 1)
        return FT_INVALID_PARAMETER;
    device->latencyMs = latencyMs;
    return FT_OK;
}

FT_STATUS SimulatedBackend::setBitMode(FT_HANDLE handle, UCHAR mask, UCHAR mode)
{
    std::lock_guard<std::mutex> lock(mutex);
    FT_STATUS status;
    Device *device = deviceOf(handle, &status);
    if (!device)
        return status;
    if (mode != FT_BITMODE_RESET && mode != FT_BITMODE_ASYNC_BITBANG)
        return FT_INVALID_PARAMETER;
    const auto now = Clock::now();
    settleAll(now);
    device->bitMask = mask;
    device->bitMode = mode;
    if (mode == FT_BITMODE_RESET) {
        device->board = Board::None;
        device->running = false;
    } else {
        device->board = mask == stepperMask ? Board::Stepper : mask == dcMask ? Board::Dc : Board::None;
        device->lines &= mask;
    }
    showLevels(*device, now);
    return FT_OK;
}

FT_STATUS SimulatedBackend::purge(FT_HANDLE handle, ULONG mask)
{
    std::lock_guard<std::mutex> lock(mutex);
    FT_STATUS status;
    Device *device = deviceOf(handle, &status);
    if (!device)
        return status;
    if (mask & ~ULONG(FT_PURGE_RX | FT_PURGE_TX))
        return FT_INVALID_PARAMETER;
    if (mask & FT_PURGE_RX)
        ++device->purgesRx;
    if (mask & FT_PURGE_TX)
        ++device->purgesTx;
    return FT_OK;
}

FT_STATUS SimulatedBackend::write(FT_HANDLE handle, const UCHAR *buffer, DWORD bytesToWrite, DWORD *bytesWritten)
{
    if (bytesWritten)
        *bytesWritten = 0;
    std::lock_guard<std::mutex> lock(mutex);
    FT_STATUS status;
    Device *device = deviceOf(handle, &status);
    if (!device)
        return status;
    if ((!buffer && bytesToWrite > 0) || !bytesWritten)
        return FT_INVALID_PARAMETER;
    const auto now = Clock::now();
    settleAll(now);
    for (DWORD i = 0; i < bytesToWrite; ++i) {
        if (!device->attached)
            return FT_IO_ERROR;
        applyByte(*device, buffer[i], now);
        ++*bytesWritten;
        if (device->unplugPending && --device->writesLeft == 0) {
            device->unplugPending = false;
            device->attached = false;
        }
    }
    return FT_OK;
}

FT_STATUS SimulatedBackend::read(FT_HANDLE handle, UCHAR *buffer, DWORD bytesToRead, DWORD *bytesReturned)
{
    if (bytesReturned)
        *bytesReturned = 0;
    std::lock_guard<std::mutex> lock(mutex);
    FT_STATUS status;
    Device *device = deviceOf(handle, &status);
    if (!device)
        return status;
    if ((!buffer && bytesToRead > 0) || !bytesReturned)
        return FT_INVALID_PARAMETER;
    settleAll(Clock::now());
    std::fill_n(buffer, bytesToRead, levels(*device));
    *bytesReturned = bytesToRead;
    return FT_OK;
}

FT_STATUS SimulatedBackend::getDeviceInfo(FT_HANDLE handle, FT_DEVICE *type, DWORD *id, char *serialNumber,
                                          char *description)
{
    std::lock_guard<std::mutex> lock(mutex);
    FT_STATUS status;
    Device *device = deviceOf(handle, &status);
    if (!device)
        return status;
    if (type)
        *type = FT_DEVICE_232R;
    if (id)
        *id = 0x04036001;
    if (serialNumber)
        copyText(serialNumber, 16, device->serialNumber);
    if (description)
        copyText(description, 64, device->layout.description);
    return FT_OK;
}

void SimulatedBackend::reset()
{
    std::lock_guard<std::mutex> lock(mutex);
    devices.clear();
    handles.clear();
}

bool SimulatedBackend::parseList(const std::string &list, std::vector<d2xxsim::DeviceSpec> *specs,
                                 std::string *errorText)
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
            specs->push_back(d2xxsim::turntableDevice(row));
        } else if (name == "record" && fields.size() == 3 && parseInt16(fields[1], &kind)
                   && parseInt16(fields[2], &row)) {
            specs->push_back(d2xxsim::recordDevice(kind, row));
        } else if (fields.size() == 1 && name == "plain") {
            specs->push_back(d2xxsim::plainDevice());
        } else if (fields.size() == 1 && name == "short") {
            specs->push_back(d2xxsim::shortDevice());
        } else if (fields.size() == 1 && name == "busy") {
            specs->push_back(d2xxsim::busyDevice());
        } else if (fields.size() == 1 && name == "locked") {
            specs->push_back(d2xxsim::lockedDevice());
        } else if (fields.size() == 1 && name == "other") {
            specs->push_back(d2xxsim::otherDevice());
        } else {
            if (errorText)
                *errorText = "unknown device entry \"" + entry
                    + "\" (expected turntable:<row>, record:<kind>:<row>, plain, short, busy, locked or other)";
            return false;
        }
    }
    return true;
}

bool SimulatedBackend::attachList(const std::string &list, std::string *errorText)
{
    std::vector<d2xxsim::DeviceSpec> specs;
    if (!parseList(list, &specs, errorText))
        return false;
    for (const auto &layout : specs)
        attach(layout);
    return true;
}

int SimulatedBackend::attach(const d2xxsim::DeviceSpec &layout)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto device = std::make_unique<Device>();
    device->layout = layout;
    device->slot = static_cast<int>(devices.size());
    device->serialNumber = layout.serialNumber.empty() ? "SIM" + std::to_string(device->slot) : layout.serialNumber;
    devices.push_back(std::move(device));
    return devices.back()->slot;
}

int SimulatedBackend::slotCount()
{
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<int>(devices.size());
}

void SimulatedBackend::setOpenStatus(int slot, FT_STATUS status)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (Device *device = deviceAt(slot))
        device->openStatus = status;
}

void SimulatedBackend::unplug(int slot)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (Device *device = deviceAt(slot)) {
        device->attached = false;
        device->unplugPending = false;
    }
}

void SimulatedBackend::unplugAfterWrites(int slot, std::uint64_t writes)
{
    std::lock_guard<std::mutex> lock(mutex);
    Device *device = deviceAt(slot);
    if (!device)
        return;
    if (writes == 0) {
        device->attached = false;
        device->unplugPending = false;
    } else {
        device->unplugPending = true;
        device->writesLeft = writes;
    }
}

void SimulatedBackend::setEnableActiveHigh(int slot, bool activeHigh)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (Device *device = deviceAt(slot))
        device->enableActiveHigh = activeHigh;
}

void SimulatedBackend::setClockwiseActiveHigh(int slot, bool activeHigh)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (Device *device = deviceAt(slot))
        device->clockwiseActiveHigh = activeHigh;
}

void SimulatedBackend::setDcTimePerCount(int slot, std::chrono::microseconds timePerCount)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (Device *device = deviceAt(slot))
        device->timePerCount = std::max(timePerCount, std::chrono::microseconds(1));
}

void SimulatedBackend::setDcNeverReady(int slot, bool neverReady)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (Device *device = deviceAt(slot)) {
        settleAll(Clock::now());
        device->neverReady = neverReady;
        showLevels(*device, Clock::now());
    }
}

void SimulatedBackend::setDcNeverLeavesReady(int slot, bool neverLeavesReady)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (Device *device = deviceAt(slot))
        device->neverLeavesReady = neverLeavesReady;
}

d2xxsim::DeviceState SimulatedBackend::state(int slot)
{
    std::lock_guard<std::mutex> lock(mutex);
    d2xxsim::DeviceState result;
    Device *device = deviceAt(slot);
    if (!device)
        return result;
    const auto now = Clock::now();
    settleAll(now);
    result.attached = device->attached;
    result.open = device->openHandle != 0;
    result.board = device->board;
    result.bitMask = device->bitMask;
    result.bitMode = device->bitMode;
    result.baudRate = device->baudRate;
    result.latencyMs = device->latencyMs;
    result.lines = levels(*device);
    result.ready = device->ready();
    result.position = device->position;
    if (device->running) {
        std::int64_t counts = (now - device->runStart) / device->timePerCount;
        if (!device->runContinuous)
            counts = std::min<std::int64_t>(counts, device->runCount);
        result.position += counts;
    }
    result.stepsWhileUnpowered = device->stepsWhileUnpowered;
    result.writeCount = device->writeCount;
    result.purgesTx = device->purgesTx;
    result.purgesRx = device->purgesRx;
    result.opens = device->opens;
    result.eepromReads = device->eepromReads;
    return result;
}

std::vector<d2xxsim::Write> SimulatedBackend::writes(int slot)
{
    std::lock_guard<std::mutex> lock(mutex);
    Device *device = deviceAt(slot);
    if (!device)
        return {};
    return {device->trace.begin(), device->trace.end()};
}

void SimulatedBackend::clearWrites(int slot)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (Device *device = deviceAt(slot)) {
        device->trace.clear();
        device->traceBase = device->lastWritten;
        device->writeCount = 0;
    }
}

std::vector<d2xxsim::Exposure> SimulatedBackend::exposures(int slot)
{
    std::lock_guard<std::mutex> lock(mutex);
    Device *device = deviceAt(slot);
    return device ? device->exposures : std::vector<d2xxsim::Exposure>();
}

std::vector<d2xxsim::DcCommand> SimulatedBackend::dcCommands(int slot)
{
    std::lock_guard<std::mutex> lock(mutex);
    Device *device = deviceAt(slot);
    return device ? device->commands : std::vector<d2xxsim::DcCommand>();
}

std::vector<d2xxsim::Pulse> SimulatedBackend::pulses(int slot, int line)
{
    std::lock_guard<std::mutex> lock(mutex);
    Device *device = deviceAt(slot);
    std::vector<d2xxsim::Pulse> result;
    if (!device || line < 0 || line > 7)
        return result;
    const std::uint8_t bit = static_cast<std::uint8_t>(1u << line);
    bool high = (device->traceBase & bit) != 0;
    for (const auto &write : device->trace) {
        const bool level = (write.value & bit) != 0;
        if (level && !high)
            result.push_back({write.time, write.time});
        else if (!level && high && !result.empty())
            result.back().fall = write.time;
        high = level;
    }
    return result;
}

bool SimulatedBackend::setVcdFile(const std::string &path, std::string *errorText)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (path.empty()) {
        vcd.close();
        return true;
    }
    return vcd.open(path, errorText);
}

void SimulatedBackend::flushVcd()
{
    std::lock_guard<std::mutex> lock(mutex);
    vcd.flush();
}

} // namespace d2xx
