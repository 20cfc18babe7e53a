#pragma once

#include "ftdicontroller.h"

// Stepper behind a step/direction driver board. Lines: bit 0 enable, 1 direction, 2 step,
// 3 auxiliary, 4 shutter stage 1, 5 shutter stage 2; bits 6 and 7 stay low.
class ZLStepperMotor : public FTDIController
{
public:
    using FTDIController::FTDIController;

    bool open(int deviceIndex, std::wstring *errorText) override;
    // Blocks the caller for about one second.
    bool triggerShutterRelease() override;
    bool prepareRotation() override;
    bool startRotation() override;

private:
    void runSteps();
};
