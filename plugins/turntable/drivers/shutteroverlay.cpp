#include "shutteroverlay.h"

#include "boardlines.h"

using namespace StepperLines;

ShutterOverlay::ShutterOverlay(std::uint32_t stageBytes)
    : stage(stageBytes)
{
}

void ShutterOverlay::open()
{
    std::lock_guard<std::mutex> lock(mutex);
    accepting = true;
}

bool ShutterOverlay::request()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!accepting || !answered)
        return false;
    pending = true;
    answered = false;
    position = 0;
    left = 0;
    return true;
}

std::uint32_t ShutterOverlay::wait()
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return answered; });
    return left;
}

std::uint8_t ShutterOverlay::bitsAt(std::uint32_t at) const
{
    return at < stage ? shutterStage1 : at < 2 * stage ? std::uint8_t(shutterStage1 | shutterStage2) : 0;
}

std::uint8_t ShutterOverlay::nextBits(bool *ended)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (pending) {
        pending = false;
        active = true;
    }
    if (!active)
        return 0;
    const std::uint8_t bits = bitsAt(position++);
    if (position == 2 * stage) {
        active = false;
        written = true;
        *ended = true;
    }
    return bits;
}

void ShutterOverlay::confirm()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!written)
        return;
    written = false;
    answered = true;
    changed.notify_all();
}

void ShutterOverlay::rewind(std::uint32_t bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (written) {
        written = false;
        active = true;
        position = 2 * stage;
    }
    if (active)
        position = position > bytes ? position - bytes : 0;
}

void ShutterOverlay::close()
{
    std::lock_guard<std::mutex> lock(mutex);
    accepting = false;
    if (pending || active || written) {
        left = written ? 0 : 2 * stage - position;
        pending = active = written = false;
        answered = true;
        changed.notify_all();
    }
}
