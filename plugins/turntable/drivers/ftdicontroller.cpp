#include "ftdicontroller.h"
#include "precisewait.h"

#include "ft245rclock.h"
#include "identityrecord.h"
#include "turntablemodels.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

int sign(int32_t direction)
{
    return direction == Clockwise ? -1 : 1;
}

int32_t reversed(int32_t direction)
{
    return direction == Clockwise ? Counterclockwise : Clockwise;
}

bool descriptionNamesFT245R(const FT_DEVICE_LIST_INFO_NODE &node)
{
    const std::string description(node.Description, strnlen(node.Description, sizeof(node.Description)));
    return description.find("245R") != std::string::npos;
}

} // namespace

FTDIController::FTDIController(FTDIControllerOwner *control)
    : control(control)
{
}

FTDIController::~FTDIController()
{
    // A move that ended by itself still leaves a joinable thread behind.
    if (worker) {
        worker->running.store(false);
        if (worker->thread.joinable())
            worker->thread.join();
    }
}

bool FTDIController::open(int deviceIndex, std::wstring *errorText)
{
    if (deviceIndex == -1) {
        if (errorText)
            *errorText = L"No available device found.";
        return false;
    }

    FT_HANDLE opened = nullptr;
    const FT_STATUS status = FT_Open(deviceIndex, &opened);
    if (status == FT_OK) {
        handle = opened;
        FT_SetBaudRate(handle, 1000000);
        FT_SetLatencyTimer(handle, 2);
        return true;
    }

    if (errorText) {
        switch (status) {
        case FT_INVALID_HANDLE: *errorText = L"Invalid handle."; break;
        case FT_DEVICE_NOT_FOUND: *errorText = L"Device not found"; break;
        case FT_DEVICE_NOT_OPENED: *errorText = L"Device not opened"; break;
        case FT_IO_ERROR: *errorText = L"IO Error"; break;
        case FT_INSUFFICIENT_RESOURCES: *errorText = L"Insufficient resources"; break;
        default: break;
        }
    }
    handle = nullptr;
    return false;
}

bool FTDIController::triggerShutterRelease()
{
    return false;
}

bool FTDIController::prepareRotation()
{
    return true;
}

bool FTDIController::startRotation()
{
    return false;
}

std::vector<FTDIController::DeviceEntry> FTDIController::availableDevices(int kind, int *unopenable)
{
    if (unopenable)
        *unopenable = 0;
    std::vector<DeviceEntry> entries;

    DWORD count = 0;
    if (FT_CreateDeviceInfoList(&count) != FT_OK || count == 0)
        return entries;

    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
    DWORD listed = count;
    FT_GetDeviceInfoList(nodes.data(), &listed);
    if (listed < count)
        nodes.resize(listed);

    for (DWORD i = 0; i < nodes.size(); ++i) {
        const FT_DEVICE_LIST_INFO_NODE &node = nodes[i];
        const std::string serial(node.SerialNumber, strnlen(node.SerialNumber, sizeof(node.SerialNumber)));
        // Ours already: opening it again would fail, and reading its EEPROM would hold up a move.
        if (node.ftHandle) {
            entries.push_back({int32_t(i), -1, serial, node.ftHandle});
            continue;
        }
        if (node.Flags & FT_FLAGS_OPENED)
            continue;
        if (!descriptionNamesFT245R(node)) {
            // Without the right to open a chip even its strings cannot be read: libftdi1 lists
            // such a chip with no description.
            if (unopenable && node.Description[0] == '\0')
                ++*unopenable;
            continue;
        }

        FT_HANDLE device = nullptr;
        if (FT_Open(int(i), &device) != FT_OK) {
            // Not open elsewhere, yet not ours to open: on Linux, a board without the udev rule.
            if (unopenable)
                ++*unopenable;
            continue;
        }

        bool identified = false;
        DWORD size = 0;
        unsigned char bytes[IdentityRecord::size] = {};
        DWORD bytesRead = 0;
        IdentityRecord record;
        if (FT_EE_UASize(device, &size) == FT_OK && size >= IdentityRecord::size
            && FT_EE_UARead(device, bytes, IdentityRecord::size, &bytesRead) == FT_OK
            && IdentityRecord::read(bytes, bytesRead, &record)) {
            // A model no table row describes cannot be opened as that model: offer the
            // chip as an unidentified one instead.
            if (isTurntableModelRow(record.model)) {
                identified = true;
                if (record.kind == kind)
                    entries.push_back({int32_t(i), record.model, serial, nullptr});
            }
        }
        if (!identified && kind == PlainDevices)
            entries.push_back({int32_t(i), -1, serial, nullptr});

        FT_Close(device);
    }
    return entries;
}

void FTDIController::writeOutput()
{
    std::lock_guard<std::mutex> lock(outputMutex);
    writeOutputLocked();
}

bool FTDIController::writeOutputLocked()
{
    if (!handle)
        return false;
    unsigned char byte = outputBits;
    DWORD written = 0;
    FT_Purge(handle, FT_PURGE_TX);
    if (FT_Write(handle, &byte, 1, &written) == FT_OK && written == 1)
        return true;
    noteFailedTransfer();
    return false;
}

void FTDIController::noteFailedTransfer()
{
    // One failed transfer may be a glitch; a board that then fails a query as well is gone.
    if (!boardLost.load() && !isConnected())
        boardLost.store(true);
}

bool FTDIController::changeOutput(uint8_t set, uint8_t clear)
{
    std::lock_guard<std::mutex> lock(outputMutex);
    outputBits = uint8_t((outputBits & ~clear) | set);
    return writeOutputLocked();
}

void FTDIController::enterBitBang(uint8_t outputMask)
{
    FT_SetBitMode(handle, outputMask, FT_BITMODE_RESET);
    waitMilliseconds(10);
    FT_SetBitMode(handle, outputMask, FT_BITMODE_ASYNC_BITBANG);
}

uint8_t FTDIController::readInput()
{
    if (!handle)
        return 0;
    unsigned char byte = 0;
    DWORD bytesRead = 0;
    FT_Purge(handle, FT_PURGE_RX);
    if (FT_Read(handle, &byte, 1, &bytesRead) != FT_OK || bytesRead != 1) {
        noteFailedTransfer();
        return 0;
    }
    return byte;
}

bool FTDIController::isConnected()
{
    if (!handle)
        return false;
    FT_DEVICE type = 0;
    DWORD id = 0;
    char serial[16] = {};
    char description[64] = {};
    return FT_GetDeviceInfo(handle, &type, &id, serial, description, nullptr) == FT_OK;
}

void FTDIController::waitMilliseconds(unsigned n)
{
    PreciseWait::waitMilliseconds(n);
}

void FTDIController::useStepTrainClock(bool on)
{
    if (!handle || on == onStepTrainClock)
        return;
    onStepTrainClock = on;
    if (on)
        FT_SetDivisor(handle, Ft245rClock::stepTrainDivisor);
    else
        FT_SetBaudRate(handle, 1000000);
}

void FTDIController::applyIdleLock()
{
    if (isRotating())
        return;
    std::lock_guard<std::mutex> lock(outputMutex);
    const bool powered = lockMotorWhenIdle.load();
    const bool level = powered ? isMotorEnableActiveHigh : !isMotorEnableActiveHigh;
    outputBits = uint8_t(level ? (outputBits | 0x01) : (outputBits & ~0x01));
    writeOutputLocked();
}

int FTDIController::setSteps(int counts)
{
    if (countsPerRevolution == 0)
        return 0;
    if (counts == 0) {
        stepsToGo = 0;
        return 0;
    }
    if (counts < 0) {
        direction = reversed(direction);
        counts = counts == std::numeric_limits<int>::min() ? std::numeric_limits<int>::max() : -counts;
    }
    stepsToGo = uint32_t(counts);
    targetAngle = std::fmod(360.0 / countsPerRevolution * counts * sign(direction) + currentAngle, 360.0);
    return counts;
}

double FTDIController::rotateByAngle(double degrees)
{
    if (countsPerRevolution == 0 || degrees == 0.0 || !std::isfinite(degrees))
        return 0.0;
    if (degrees < 0) {
        direction = reversed(direction);
        degrees = -degrees;
    }
    const double stepAngle = 360.0 / countsPerRevolution;
    const double counts = std::min(std::floor(degrees / stepAngle + 0.5),
                                   double(std::numeric_limits<uint32_t>::max()));
    stepsToGo = uint32_t(counts);
    targetAngle = std::fmod(counts * stepAngle * sign(direction) + currentAngle, 360.0);
    return counts * stepAngle;
}

void FTDIController::rotateToAngle(double degrees)
{
    const double r = std::fmod(degrees, 360.0);
    const double diff = r - currentAngle;
    // Angles on both sides of zero can lie more than a turn apart; a distance folded into
    // (0, 360] keeps the move in the present direction and under one turn.
    const auto oneTurnAtMost = [](double distance) {
        if (distance > 360.0)
            return distance - 360.0;
        if (distance <= 0.0)
            return distance + 360.0;
        return distance;
    };
    if (direction == Clockwise)
        rotateByAngle(oneTurnAtMost(diff < 0 ? -diff : 360.0 - diff));
    else if (direction == Counterclockwise)
        rotateByAngle(oneTurnAtMost(diff > 0 ? diff : diff + 360.0));
}

void FTDIController::stopRotation()
{
    if (!handle || !worker || !worker->running.load())
        return;
    worker->running.exchange(false);
    if (worker->thread.joinable())
        worker->thread.join();
    worker.reset();
}

bool FTDIController::isRotating() const
{
    return worker && worker->running.load();
}

bool FTDIController::startWorker(std::function<void()> body)
{
    // Without a handle stopRotation() cannot reach the thread, so nothing may start.
    if (!handle)
        return false;
    if (worker) {
        if (worker->running.load())
            return false;
        if (worker->thread.joinable())
            worker->thread.join();
        worker.reset();
    }
    auto next = std::make_unique<RotationWorker>();
    next->running.store(true);
    worker = std::move(next);
    worker->thread = std::thread(std::move(body));
    return true;
}

void FTDIController::finishRunning()
{
    if (worker)
        worker->running.exchange(false);
}

void FTDIController::reportRotationEnded()
{
    if (!control)
        return;
    if (isBoardLost())
        control->boardVanished();
    else
        control->rotationEnded();
}
