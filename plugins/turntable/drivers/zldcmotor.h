#pragma once

#include "ftdicontroller.h"

// DC motor with a controller board of its own that runs commands of up to 16 counts.
// Lines: bits 0-3 count (one's complement), bit 4 ready (the only input), bit 5 start,
// bit 6 continuous, bit 7 latch.
class ZLDCMotor : public FTDIController
{
public:
    using FTDIController::FTDIController;

    bool open(int deviceIndex, std::wstring *errorText) override;
    bool startRotation() override;

    void latchCommand();
    // Pulses the start line until the board leaves the ready state; false after 100 tries.
    bool startHandshake();

private:
    bool boardIsReady();
    void runCommands();
};
