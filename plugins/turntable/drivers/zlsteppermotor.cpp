#include "zlsteppermotor.h"

#include "boardlines.h"

#include <algorithm>

namespace {

using namespace StepperLines;

// Every line is an output, 6 and 7 included: they stay low.
constexpr uint8_t allLines = 0xFF;
constexpr unsigned shutterStageMs = 500;
// The slowest pulse of a ramp is this much longer than the base delay.
constexpr double rampExtraMs = 10.0;

} // namespace

bool ZLStepperMotor::open(int deviceIndex, std::wstring *errorText)
{
    if (!FTDIController::open(deviceIndex, errorText))
        return false;
    enterBitBang(allLines);
    changeOutput(0, shutterStage1 | shutterStage2);
    return true;
}

bool ZLStepperMotor::triggerShutterRelease()
{
    // A board that is gone took no picture: say so at once instead of pressing on for a second.
    if (!changeOutput(shutterStage1, 0) && isBoardLost())
        return false;
    waitMilliseconds(shutterStageMs);
    if (!changeOutput(shutterStage2, 0) && isBoardLost())
        return false;
    waitMilliseconds(shutterStageMs);
    changeOutput(0, shutterStage1 | shutterStage2);
    return !isBoardLost();
}

bool ZLStepperMotor::prepareRotation()
{
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
    return startWorker([this] { runSteps(); });
}

void ZLStepperMotor::runSteps()
{
    const uint32_t totalSteps = stepsToGo;
    uint32_t basePulse = pulseDelayMs.load();
    uint8_t high;
    uint8_t low;
    {
        std::lock_guard<std::mutex> lock(outputMutex);
        high = uint8_t(outputBits | stepLine);
        low = uint8_t(outputBits & ~stepLine);
    }
    stepsDone = 0;

    const double ramp = rampUpDegrees.load();
    const float rampCounts = float(double(countsPerRevolution) * (ramp / 360.0));
    const double slowest = basePulse + rampExtraMs;
    // In single precision, as the ramp length is: 10 / 17.78f is 0.5625 exactly, the same sum in
    // double falls short of whole milliseconds and shortens a count near the end of the ramp.
    const float increment = ramp != 0.0 ? float(rampExtraMs) / rampCounts : 0.0f;
    double delay = ramp != 0.0 ? slowest : basePulse;
    double floorDelay = basePulse;
    uint32_t remaining = totalSteps;
    uint32_t seenPulse = basePulse;

    const auto writeByte = [this](uint8_t byte) {
        std::lock_guard<std::mutex> lock(outputMutex);
        outputBits = byte;
        writeOutputLocked();
    };

    for (;;) {
        const uint32_t pulse = pulseDelayMs.load();
        if (pulse != seenPulse) {
            seenPulse = pulse;
            floorDelay = pulse;
            delay = pulse;
        }
        if (remaining != 0 && rampCounts >= remaining && slowest > delay)
            delay += increment;
        if (rampCounts >= stepsDone && delay > basePulse)
            delay -= increment;
        delay = std::max(floorDelay, delay);

        waitMilliseconds(1);
        writeByte(high);
        // A vanished board ends the move as a stop would; the count whose edge failed was not made.
        if (isBoardLost())
            break;
        waitMilliseconds(unsigned(delay));
        writeByte(low);

        ++stepsDone;
        if (totalSteps != 0)
            --remaining;
        if (!isRotating() || isBoardLost() || (totalSteps != 0 && remaining == 0))
            break;
    }

    finishRunning();
    if (!isBoardLost())
        applyIdleLock();
    if (stepsDone == 0)
        targetAngle = currentAngle;
    else if (stepsDone != stepsToGo)
        setSteps(int(stepsDone));
    currentAngle = targetAngle;
    reportRotationEnded();
}
