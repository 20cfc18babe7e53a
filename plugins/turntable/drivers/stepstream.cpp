#include "stepstream.h"

#include "ft245rclock.h"
#include "shutteroverlay.h"

#include <algorithm>

namespace {

constexpr unsigned lowBytes = Ft245rClock::bytesPerMs;

} // namespace

StepStream::StepStream(FT_HANDLE handle, std::uint8_t low, std::uint8_t high, ShutterOverlay *overlay)
    : handle(handle)
    , low(low)
    , high(high)
    , overlay(overlay)
{
}

void StepStream::push(std::uint8_t byte, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        bool ended = false;
        block.push_back(std::uint8_t(byte | (overlay ? overlay->nextBits(&ended) : 0)));
        if (ended)
            releaseEnd = sent + block.size();
    }
}

void StepStream::addCount(unsigned highMs)
{
    const unsigned highBytes = std::max(1u, highMs * Ft245rClock::bytesPerMs);
    const unsigned lowPart = lowBytes - std::min(carried + (highMs == 0 ? 1 : 0), lowBytes - 1);
    Count count;
    count.start = sent + block.size() - carried;
    carried = 0;
    push(low, lowPart);
    count.rise = sent + block.size();
    push(high, highBytes);
    count.end = sent + block.size();
    counts.push_back(count);
}

bool StepStream::send()
{
    push(low, 1);
    carried = 1;
    const FT_STATUS status = FTX_WriteQueued(handle, block.data(), DWORD(block.size()));
    // Once the call is back, every block but this one is in the chip, unless it failed.
    if (status == FT_OK && !failed)
        entered = sent;
    sent += block.size();
    block.clear();
    while (!counts.empty() && counts.front().end <= entered) {
        counts.pop_front();
        ++made;
    }
    if (releaseEnd != 0 && releaseEnd <= entered) {
        releaseEnd = 0;
        overlay->confirm();
    }
    failed = failed || status != FT_OK;
    return !failed;
}

std::uint32_t StepStream::cut()
{
    block.clear();
    DWORD dropped = 0;
    FTX_CancelQueued(handle, &dropped);
    const std::uint64_t reached = sent - std::min<std::uint64_t>(dropped, sent);
    // A release whose bytes were taken back goes out again from where the chip had it.
    if (overlay && releaseEnd != 0 && releaseEnd <= reached)
        overlay->confirm();
    else if (overlay)
        overlay->rewind(std::uint32_t(releaseEnd > reached ? releaseEnd - reached : sent - reached));
    releaseEnd = 0;
    sent = reached;
    entered = reached;
    carried = 0;
    while (!counts.empty() && counts.front().rise < reached) {
        const Count &count = counts.front();
        // Cut in its pulse: the rest of the pulse goes out first.
        if (count.end > reached && !failed)
            push(high, std::size_t(count.end - reached));
        counts.pop_front();
        ++made;
    }
    // Cut in the low phase of a count that never rose: the next count's low phase goes on.
    if (!counts.empty() && counts.front().start < reached)
        carried = unsigned(std::min<std::uint64_t>(reached - counts.front().start, lowBytes - 1));
    counts.clear();
    return made;
}

std::uint32_t StepStream::finish(std::uint8_t closing)
{
    if (!failed && FTX_WaitQueued(handle) != FT_OK)
        failed = true;
    if (failed)
        return cut();
    made += std::uint32_t(counts.size());
    counts.clear();
    if (releaseEnd != 0) {
        releaseEnd = 0;
        overlay->confirm();
    }
    // The FIFO's worth after the closing byte: once the write has taken them, all before
    // them has played.
    push(closing, 1 + Ft245rClock::fifoBytes);
    FTX_WriteQueued(handle, block.data(), DWORD(block.size()));
    FTX_WaitQueued(handle);
    block.clear();
    return made;
}
