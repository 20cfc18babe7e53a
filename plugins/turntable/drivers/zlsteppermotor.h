#pragma once

#include "ftdicontroller.h"
#include "shutteroverlay.h"

class StepRamp;

// Stepper behind a step/direction driver board. Lines: bit 0 enable, 1 direction, 2 step,
// 3 auxiliary, 4 shutter stage 1, 5 shutter stage 2; bits 6 and 7 stay low.
class ZLStepperMotor : public FTDIController
{
public:
    explicit ZLStepperMotor(FTDIControllerOwner *control = nullptr);

    bool open(int deviceIndex, std::wstring *errorText) override;
    // Blocks the caller for about one second. During a move timed by the chip the release is
    // woven into the move's train.
    bool triggerShutterRelease() override;
    bool prepareRotation() override;
    bool startRotation() override;

private:
    void runSteps();
    // The two ways of timing a move's counts; each returns the counts made.
    uint32_t runOnChipClock(StepRamp &ramp, uint8_t low, uint8_t high);
    uint32_t runHostTimed(StepRamp &ramp, uint8_t low, uint8_t high, bool spin);
    // The idle byte after a move: `from` with the enable line as the idle lock asks.
    uint8_t idleByte(uint8_t from) const;
    // Writes what is left of a release from `position` on, as timed bytes, then lets go.
    bool writeRelease(uint32_t position);

    ShutterOverlay overlay;
    bool closedLocked = false;  // worker only: the idle lock its closing bytes applied
};
