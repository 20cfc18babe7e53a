#pragma once

#include <cstdint>

// The data lines D0..D7 of the turntable boards' FT245R as the boards are wired. The motor
// drivers drive them and the simulated boards answer on them, so both read this one map.
namespace StepperLines {
// Lines 4 and 5 are the two stages of the shutter-release cable: focus, then release.
enum : std::uint8_t {
    enableLine = 0x01, directionLine = 0x02, stepLine = 0x04, auxiliaryLine = 0x08,
    shutterStage1 = 0x10, shutterStage2 = 0x20
};
} // namespace StepperLines

namespace DcLines {
// Line 4 is an input: the board drives it while it can take a command.
enum : std::uint8_t {
    countLines = 0x0F, readyLine = 0x10, startLine = 0x20, continuousLine = 0x40, latchLine = 0x80
};
} // namespace DcLines
