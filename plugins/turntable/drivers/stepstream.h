#pragma once

#include "d2xx.h"

#include <cstdint>
#include <deque>
#include <vector>

class ShutterOverlay;

// A step train as bytes on the chip's byte clock (ft245rclock.h): each count is 1 ms of `low`
// then its high time of `high`, written in blocks of whole counts through the queued writes of
// the link, so that the worker blocks in the kernel instead of timing a pulse. Each block ends
// with the first low byte of the count after it: a chip that runs dry holds a low level, which
// stretches a low phase and never a step pulse. Used by the move's worker thread only.
class StepStream
{
public:
    StepStream(FT_HANDLE handle, std::uint8_t low, std::uint8_t high, ShutterOverlay *overlay);

    // Adds one count; a count with no high time still carries a one-byte pulse, taken out of
    // its low phase so that it keeps its length.
    void addCount(unsigned highMs);
    std::size_t blockBytes() const { return block.size(); }
    std::uint32_t countsAdded() const { return std::uint32_t(rises.size()); }
    // Queues the block; false when the link failed.
    bool send();
    // Ends the train: takes back what has not reached the chip when `cut` (a stop, or a board
    // gone), or waits for all of it otherwise, then writes `closing` and blocks until everything
    // before it has played. Returns the counts whose step edge reached the chip.
    std::uint32_t finish(bool cut, std::uint8_t closing, bool writeClosing);

private:
    void push(std::uint8_t byte, std::size_t count);

    FT_HANDLE handle;
    std::uint8_t low;
    std::uint8_t high;
    ShutterOverlay *overlay;
    std::vector<std::uint8_t> block;
    std::uint64_t sent = 0;      // bytes queued before this block
    unsigned carried = 0;        // low bytes of the next count already queued
    std::vector<std::uint64_t> rises;  // stream offset of every count's first high byte
    bool failed = false;
};
