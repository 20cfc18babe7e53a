#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// A shutter release woven into a running step train: its two 500 ms stages become bytes of the
// train, so that the release keeps its timing and the train its counts.
// Threads: the releasing thread (GUI) calls request() and wait(); the move's worker calls the
// rest. Everything is under one lock.
class ShutterOverlay
{
public:
    explicit ShutterOverlay(std::uint32_t stageBytes);

    // Worker, at the start of a move: releases may be woven in from now on.
    void open();
    // Releasing thread: false when no train runs to take the release.
    bool request();
    // Releasing thread: waits until the release is in the train, or the train has ended first;
    // returns how many of its bytes are left for the caller to write then (0: all written).
    std::uint32_t wait();
    // Worker: the shutter lines of the train's next byte; `ended` tells that it was the
    // release's last.
    std::uint8_t nextBits(bool *ended);
    // Worker: the release's last byte has reached the chip; its caller may go on.
    void confirm();
    // Worker: bytes of the train taken back before the chip had them carry the release again.
    void rewind(std::uint32_t bytes);
    // Worker, at the end of its move: what is left of a release goes back to its caller.
    void close();
    // Shutter lines of the release's byte at `position` (0 to 2 stages' bytes).
    std::uint8_t bitsAt(std::uint32_t position) const;
    std::uint32_t totalBytes() const { return 2 * stage; }

private:
    const std::uint32_t stage;
    std::mutex mutex;
    std::condition_variable changed;
    bool accepting = false;
    bool pending = false;
    bool active = false;
    bool written = false;  // all of it is in the train, not yet known to be in the chip
    std::uint32_t position = 0;
    std::uint32_t left = 0;
    bool answered = true;
};
