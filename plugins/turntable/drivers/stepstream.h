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
    // Counts made or on their way to the chip, the one being built included.
    std::uint32_t countsAdded() const { return made + std::uint32_t(counts.size()); }
    // Queues the block; false when the link failed.
    bool send();
    // Takes back what has not reached the chip and returns the counts whose step edge did; a
    // count cut in its pulse gets the rest of it, so that it keeps its width.
    std::uint32_t cut();
    // Ends the train: waits for all of it to reach the chip, writes `closing` and blocks until
    // everything before it has played. Returns the counts made.
    std::uint32_t finish(std::uint8_t closing);
    std::uint32_t countsMade() const { return made; }

private:
    struct Count
    {
        std::uint64_t start;  // stream offsets: first low byte, first high byte, next count
        std::uint64_t rise;
        std::uint64_t end;
    };

    void push(std::uint8_t byte, std::size_t count);

    FT_HANDLE handle;
    std::uint8_t low;
    std::uint8_t high;
    ShutterOverlay *overlay;
    std::vector<std::uint8_t> block;
    std::uint64_t sent = 0;      // bytes handed to the link before this block
    std::uint64_t entered = 0;   // bytes the chip surely has: all blocks but the last one sent
    unsigned carried = 0;        // low bytes of the next count already on their way
    std::deque<Count> counts;    // not yet known to be made
    std::uint32_t made = 0;      // counts whose step edge the chip surely has
    std::uint64_t releaseEnd = 0;  // stream offset just past a release's last byte; 0: none
    bool failed = false;
};
