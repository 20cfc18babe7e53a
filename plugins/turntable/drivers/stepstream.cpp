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
    for (std::size_t i = 0; i < count; ++i)
        block.push_back(std::uint8_t(byte | (overlay ? overlay->nextBits() : 0)));
}

void StepStream::addCount(unsigned highMs)
{
    const unsigned highBytes = std::max(1u, highMs * Ft245rClock::bytesPerMs);
    const unsigned lowPart = lowBytes - carried - (highMs == 0 ? 1 : 0);
    carried = 0;
    push(low, lowPart);
    rises.push_back(sent + block.size());
    push(high, highBytes);
}

bool StepStream::send()
{
    push(low, 1);
    carried = 1;
    const FT_STATUS status = FTX_WriteQueued(handle, block.data(), DWORD(block.size()));
    sent += block.size();
    block.clear();
    failed = failed || status != FT_OK;
    return !failed;
}

std::uint32_t StepStream::finish(bool cut, std::uint8_t closing, bool writeClosing)
{
    std::uint64_t reached = sent;
    if (cut || failed || FTX_WaitQueued(handle) != FT_OK) {
        DWORD dropped = 0;
        FTX_CancelQueued(handle, &dropped);
        reached = sent - std::min<std::uint64_t>(dropped, sent);
    }
    if (writeClosing) {
        // The FIFO's worth after the closing byte: once the write has taken them, all before
        // them has played.
        block.clear();
        push(closing, 1 + Ft245rClock::fifoBytes);
        FTX_WriteQueued(handle, block.data(), DWORD(block.size()));
        FTX_WaitQueued(handle);
        block.clear();
    }
    return std::uint32_t(std::lower_bound(rises.begin(), rises.end(), reached) - rises.begin());
}
