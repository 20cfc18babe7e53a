#pragma once

#include <cstdint>
#include <iterator>

// One turntable model: the motor it has and the values a freshly opened motor starts with.
struct TurntableModel
{
    const char *name;                // offered to the host as it stands, in row order
    bool isDCMotor;                  // true: the DC board (ZLDCMotor); false: a stepper (ZLStepperMotor)
    uint32_t countsPerRevolution;    // motor counts per table revolution; 0 for the custom row
    bool lockMotorWhenIdle;          // the idle lock a fresh motor starts with
    bool isMotorEnableActiveHigh;    // the stepper board's enable level; the DC board ignores it
    bool isClockwiseActiveHigh;      // the stepper board's direction level for clockwise; likewise
};

// Row = the index the host opens and the model index a board's identity record names: append a
// row for a new model, never reorder or reuse one. Row 0 takes its counts and levels from the
// user's custom settings when a spin starts.
inline constexpr TurntableModel turntableModels[] = {
    // name                              DC     counts  idle lock  enable high  clockwise high
    {"Marvolix Custom (Expert use)",     false, 0,      true,      true,        true},
    {"Marvolix Essential",               true,  72,     true,      true,        true},
    {"Marvolix Gemline",                 false, 6400,   false,     true,        false},
    {"Marvolix Quartz Medium",           false, 19520,  false,     true,        false},
    {"Marvolix Quartz Large",            false, 12062,  false,     true,        false},
    {"Marvolix Quartz Large, Mark II",   false, 13062,  false,     true,        true},
    {"Marvolix Quartz Extra Large",      false, 11200,  false,     true,        true},
    {"Marvolix Basalt Large",            false, 11520,  false,     true,        false},
    {"Marvolix Basalt Medium",           false, 8220,   false,     true,        false},
    {"Marvolix Basalt Extra Large",      false, 11520,  false,     true,        false},
};

inline constexpr int turntableModelCount = int(std::size(turntableModels));
inline constexpr int customTurntableRow = 0;

// What a custom turntable's counts per revolution may be. Fewer than 24 counts cannot stop the
// table at each picture of the editor's usual 24-picture spin (3 counts would make most moves 0
// counts, a full turn); more than a million would take a quarter of an hour per turn at 1 ms a count.
inline constexpr uint32_t minimumCustomCounts = 24;
inline constexpr uint32_t maximumCustomCounts = 1000000;

inline constexpr bool isTurntableModelRow(int row)
{
    return row >= 0 && row < turntableModelCount;
}

// A model of fixed values, as opposed to the custom row the user fills in.
inline constexpr bool isStandardTurntableRow(int row)
{
    return row != customTurntableRow && isTurntableModelRow(row);
}
