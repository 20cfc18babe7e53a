#include "zlsteppermotor.h"

#include "boardlines.h"
#include "ft245rclock.h"
#include "precisewait.h"
#include "stepramp.h"
#include "stepstream.h"

#include <vector>

namespace {

using namespace StepperLines;

// Every line is an output, 6 and 7 included: they stay low.
constexpr uint8_t allLines = 0xFF;
constexpr unsigned shutterStageMs = 500;
// A block holds whole counts worth at least this many bytes (4 ms, two counts at full speed):
// half a transfer a count there, and a stop or a speed change waits for no more than one block
// beyond the chip's FIFO (25.6 ms): 29.6 ms beyond the count in progress at full speed.
constexpr std::size_t minimumBlockBytes = 4 * Ft245rClock::bytesPerMs;

} // namespace

ZLStepperMotor::ZLStepperMotor(FTDIControllerOwner *control)
    : FTDIController(control)
    , overlay(shutterStageMs * Ft245rClock::bytesPerMs)
{
}

bool ZLStepperMotor::open(int deviceIndex, std::wstring *errorText)
{
    if (!FTDIController::open(deviceIndex, errorText))
        return false;
    enterBitBang(allLines);
    changeOutput(0, shutterStage1 | shutterStage2);
    return true;
}

bool ZLStepperMotor::writeRelease(uint32_t position)
{
    std::lock_guard<std::mutex> lock(outputMutex);
    if (!handle)
        return false;
    useStepTrainClock(true);
    const uint8_t base = uint8_t(outputBits & ~(shutterStage1 | shutterStage2));
    std::vector<uint8_t> bytes;
    bytes.reserve(overlay.totalBytes() - position + 1 + Ft245rClock::fifoBytes);
    for (uint32_t at = position; at < overlay.totalBytes(); ++at)
        bytes.push_back(uint8_t(base | overlay.bitsAt(at)));
    // Both stages let go, then a FIFO's worth of the same: when the write has taken those, the
    // release has ended on the pins. The caller waits in the kernel all along.
    bytes.insert(bytes.end(), 1 + Ft245rClock::fifoBytes, base);
    outputBits = base;
    const bool ok = FTX_WriteQueued(handle, bytes.data(), DWORD(bytes.size())) == FT_OK
        && FTX_WaitQueued(handle) == FT_OK;
    if (!ok) {
        DWORD dropped = 0;
        FTX_CancelQueued(handle, &dropped);
        noteFailedTransfer();
    }
    return ok;
}

bool ZLStepperMotor::triggerShutterRelease()
{
    if (stepTiming.load() == StepTiming::ChipClock) {
        // A train that is running takes the release into its own bytes; one that ends first hands
        // back what is left.
        if (overlay.request()) {
            const uint32_t left = overlay.wait();
            if (left == 0)
                return !isBoardLost();
            return writeRelease(overlay.totalBytes() - left) && !isBoardLost();
        }
        return writeRelease(0) && !isBoardLost();
    }
    // A board that is gone took no picture: say so at once instead of pressing on for a second.
    const PreciseWait::Method method =
        stepTiming.load() == StepTiming::BusyLoop ? PreciseWait::Method::Spin : PreciseWait::Method::SleepThenSpin;
    if (!changeOutput(shutterStage1, 0) && isBoardLost())
        return false;
    PreciseWait::waitMilliseconds(shutterStageMs, method);
    if (!changeOutput(shutterStage2, 0) && isBoardLost())
        return false;
    PreciseWait::waitMilliseconds(shutterStageMs, method);
    changeOutput(0, shutterStage1 | shutterStage2);
    return !isBoardLost();
}

bool ZLStepperMotor::prepareRotation()
{
    // The lines belong to the running move's worker.
    if (isRotating())
        return false;
    std::lock_guard<std::mutex> lock(outputMutex);
    uint8_t bits = outputBits;
    bool directionLevel;
    if (direction == Clockwise)
        directionLevel = isClockwiseActiveHigh;
    else if (direction == Counterclockwise)
        directionLevel = !isClockwiseActiveHigh;
    else
        return false;
    bits = uint8_t(directionLevel ? (bits | directionLine) : (bits & ~directionLine));
    bits = uint8_t(isMotorEnableActiveHigh ? (bits | enableLine) : (bits & ~enableLine));
    bits = uint8_t((bits | auxiliaryLine) & ~(shutterStage1 | shutterStage2));
    outputBits = bits;
    writeOutputLocked();
    return true;
}

bool ZLStepperMotor::startRotation()
{
    // Open before the thread runs, so that a release asked for at once joins the train.
    if (stepTiming.load() == StepTiming::ChipClock && handle && !isRotating())
        overlay.open();
    return startWorker([this] { runSteps(); });
}

uint8_t ZLStepperMotor::idleByte(uint8_t from) const
{
    const bool level = lockMotorWhenIdle.load() ? isMotorEnableActiveHigh : !isMotorEnableActiveHigh;
    return uint8_t(level ? (from | enableLine) : (from & ~enableLine));
}

uint32_t ZLStepperMotor::runOnChipClock(StepRamp &ramp, uint8_t low, uint8_t high)
{
    {
        std::lock_guard<std::mutex> lock(outputMutex);
        useStepTrainClock(true);
    }
    StepStream stream(handle, low, high, &overlay);
    uint32_t pulseQueued = pulseDelayMs.load();
    for (;;) {
        // A new speed must not wait behind the counts already queued at the old one: take them
        // back and make them again.
        const uint32_t pulse = pulseDelayMs.load();
        if (pulse != pulseQueued) {
            pulseQueued = pulse;
            ramp.resume(stream.cut());
        }
        while (stream.blockBytes() < minimumBlockBytes && !ramp.complete())
            stream.addCount(ramp.nextHighMs(pulse, stream.countsAdded()));
        if (!stream.send())
            noteFailedTransfer();
        if (!isRotating() || isBoardLost() || ramp.complete())
            break;
    }
    std::lock_guard<std::mutex> lock(outputMutex);
    const uint8_t closing = idleByte(low);
    closedLocked = lockMotorWhenIdle.load();
    // Stopped or cut off: what never reached the chip was never made.
    if (!ramp.complete() || isBoardLost())
        stream.cut();
    if (!isBoardLost())
        stream.finish(closing);
    outputBits = isBoardLost() ? low : closing;
    overlay.close();
    return stream.countsMade();
}

uint32_t ZLStepperMotor::runHostTimed(StepRamp &ramp, uint8_t low, uint8_t high, bool spin)
{
    {
        std::lock_guard<std::mutex> lock(outputMutex);
        useStepTrainClock(false);
    }
    const PreciseWait::Method method = spin ? PreciseWait::Method::Spin : PreciseWait::Method::SleepThenSpin;
    const auto writeByte = [this](uint8_t byte) {
        std::lock_guard<std::mutex> lock(outputMutex);
        outputBits = byte;
        writeOutputLocked();
    };
    uint32_t made = 0;
    for (;;) {
        const unsigned highMs = ramp.nextHighMs(pulseDelayMs.load(), made);
        PreciseWait::waitMilliseconds(1, method);
        writeByte(high);
        // A vanished board ends the move as a stop would; the count whose edge failed was not made.
        if (isBoardLost())
            break;
        PreciseWait::waitMilliseconds(highMs, method);
        writeByte(low);
        ++made;
        if (!isRotating() || isBoardLost() || ramp.complete())
            break;
    }
    return made;
}

void ZLStepperMotor::runSteps()
{
    StepRamp ramp(stepsToGo, countsPerRevolution, rampUpDegrees.load(), pulseDelayMs.load());
    uint8_t high;
    uint8_t low;
    {
        std::lock_guard<std::mutex> lock(outputMutex);
        high = uint8_t(outputBits | stepLine);
        low = uint8_t(outputBits & ~stepLine);
    }
    stepsDone = 0;

    const StepTiming timing = stepTiming.load();
    if (timing == StepTiming::ChipClock)
        stepsDone = runOnChipClock(ramp, low, high);
    else
        stepsDone = runHostTimed(ramp, low, high, timing == StepTiming::BusyLoop);

    finishRunning();
    // A change of the idle lock while the closing bytes were written found the move still running.
    if (!isBoardLost() && (timing != StepTiming::ChipClock || closedLocked != lockMotorWhenIdle.load()))
        applyIdleLock();
    if (stepsDone == 0)
        targetAngle = currentAngle;
    else if (stepsDone != stepsToGo)
        setSteps(int(stepsDone));
    currentAngle = targetAngle;
    reportRotationEnded();
}
