#pragma once

#include "d2xxsim.h"
#include "ftdicontroller.h"

#include <atomic>
#include <chrono>
#include <memory>

// What the stepper and DC motor tests share: one motor on a plain board, opened as the control
// opens it, and an owner that counts the ends of moves (the worker reports them on its thread).
struct MotorOwner : FTDIControllerOwner
{
    std::atomic<int> ended{0};
    void rotationEnded() override { ended.fetch_add(1); }
};

inline double ms(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

template <typename Motor>
struct MotorOnBoard
{
    // False when the motor could not open the board.
    bool openOnPlainBoard()
    {
        d2xxsim::reset();
        slot = d2xxsim::attach(d2xxsim::plainDevice());
        owner.ended = 0;
        motor = std::make_unique<Motor>(&owner);
        return motor->open(0, nullptr);
    }

    void stopAndClose()
    {
        motor->stopRotation();
        FT_Close(motor->handle);
        motor.reset();
    }

    int slot = -1;
    MotorOwner owner;
    std::unique_ptr<Motor> motor;
};
