#include "boardmodel.h"

#include "boardlines.h"

#include <algorithm>

namespace d2xx {

using d2xxsim::Board;

namespace {

using namespace StepperLines;
using namespace DcLines;

constexpr std::size_t traceCapacity = std::size_t(1) << 20;
constexpr std::uint8_t stepperMask = 0xFF;
constexpr std::uint8_t dcMask = 0xEF;

} // namespace

BoardModel::BoardModel(int slot, Observer *observer)
    : index(slot)
    , observer(observer)
{
}

bool BoardModel::ready() const
{
    return kind == Board::Dc && !neverReady && !running;
}

std::uint8_t BoardModel::levels() const
{
    if (kind == Board::Dc)
        return std::uint8_t((lines & ~readyLine) | (ready() ? readyLine : 0));
    return lines;
}

void BoardModel::show(Clock::time_point time)
{
    const std::uint8_t now = levels();
    if (now == shown)
        return;
    if (observer)
        observer->linesChanged(*this, time, now);
    shown = now;
}

void BoardModel::endRun(Clock::time_point end, std::int64_t counts)
{
    position += counts;
    running = false;
    show(end);
}

void BoardModel::settleRun(Clock::time_point now)
{
    if (kind == Board::Dc && running && !runContinuous && now >= runEnd)
        endRun(runEnd, runCount);
}

void BoardModel::settle(Clock::time_point now)
{
    while (!pending.empty() && pending.front().play <= now) {
        const Pending byte = pending.front();
        pending.pop_front();
        settleRun(byte.play);
        apply(byte);
    }
    settleRun(now);
}

BoardModel::Clock::time_point BoardModel::hand(std::uint8_t value, Clock::time_point at, Clock::time_point now, bool sameRun)
{
    at = std::max(at, now);
    Clock::time_point entry = at;
    // A full FIFO takes the next byte when the one 256 places ahead of it goes onto the pins.
    if (pending.size() >= fifoBytes)
        entry = std::max(entry, pending[pending.size() - fifoBytes].play);
    Clock::time_point play = entry;
    const Clock::time_point previous = lastPlay();
    if (previous != Clock::time_point() && previous + bytePeriod > play)
        play = previous + bytePeriod;
    pending.push_back({entry, play, value, sameRun});
    ++writeCount;
    settle(now);
    return entry;
}

void BoardModel::dropUnplayed(Clock::time_point at)
{
    while (!pending.empty() && pending.back().play > at)
        pending.pop_back();
}

std::size_t BoardModel::dropUnentered(Clock::time_point now)
{
    std::size_t dropped = 0;
    while (!pending.empty() && pending.back().entry > now) {
        pending.pop_back();
        ++dropped;
    }
    return dropped;
}

void BoardModel::latchEdge(Clock::time_point now)
{
    latchedNibble = lines & countLines;
    latchedContinuous = (lines & continuousLine) != 0;
    armed = true;
    if (running && runContinuous && !latchedContinuous)
        endRun(now, (now - runStart) / timePerCount);
}

void BoardModel::startEdge(Clock::time_point now)
{
    if (!ready() || neverLeavesReady || !armed)
        return;
    int count = 15 - latchedNibble;
    if (count == 0)
        count = 16;
    armed = false;
    running = true;
    runContinuous = latchedContinuous;
    runCount = count;
    runStart = now;
    runEnd = now + count * timePerCount;
    commands.push_back({now, latchedNibble, count, runContinuous});
    show(now);
}

void BoardModel::setBitMode(std::uint8_t mask, std::uint8_t mode, Clock::time_point now)
{
    settle(now);
    bitMask = mask;
    bitMode = mode;
    if (mode == FT_BITMODE_ASYNC_BITBANG) {
        kind = mask == stepperMask ? Board::Stepper : mask == dcMask ? Board::Dc : Board::None;
        lines &= mask;
    } else {
        kind = Board::None;
        running = false;
    }
    show(now);
}

void BoardModel::apply(const Pending &byte)
{
    const std::uint8_t value = byte.value;
    const Clock::time_point now = byte.play;
    lastPlayed = now;
    if (!byte.sameRun || value != lastWritten || trace.empty()) {
        trace.push_back({now, value});
        if (trace.size() > traceCapacity) {
            traceBase = trace.front().value;
            trace.pop_front();
        }
    }
    lastWritten = value;
    if (bitMode != FT_BITMODE_ASYNC_BITBANG)
        return;

    const std::uint8_t before = lines;
    lines = value & bitMask;
    const std::uint8_t rising = lines & ~before;

    if (kind == Board::Stepper) {
        if (rising & stepLine) {
            const bool powered = ((lines & enableLine) != 0) == enableActiveHigh;
            const bool clockwise = ((lines & directionLine) != 0) == clockwiseActiveHigh;
            if (powered)
                position += clockwise ? -1 : 1;
            else
                ++stepsWhileUnpowered;
        }
        if ((rising & shutterStage2) && (lines & shutterStage1))
            shots.push_back({position, now});
    } else if (kind == Board::Dc) {
        if (rising & latchLine)
            latchEdge(now);
        if (rising & startLine)
            startEdge(now);
    }
    show(now);
}

void BoardModel::setDcTimePerCount(std::chrono::microseconds time)
{
    timePerCount = std::max(time, std::chrono::microseconds(1));
}

void BoardModel::setDcNeverReady(bool never, Clock::time_point now)
{
    settle(now);
    neverReady = never;
    show(now);
}

void BoardModel::fillState(d2xxsim::DeviceState *state, Clock::time_point now) const
{
    state->board = kind;
    state->bytePeriod = bytePeriod;
    state->unplayedBytes = pending.size();
    state->bitMask = bitMask;
    state->bitMode = bitMode;
    state->lines = levels();
    state->ready = ready();
    state->position = position;
    if (running) {
        std::int64_t counts = (now - runStart) / timePerCount;
        if (!runContinuous)
            counts = std::min<std::int64_t>(counts, runCount);
        state->position += counts;
    }
    state->stepsWhileUnpowered = stepsWhileUnpowered;
    state->writeCount = writeCount;
}

void BoardModel::clearWrites()
{
    trace.clear();
    traceBase = lastWritten;
    writeCount = 0;
}

std::vector<d2xxsim::Pulse> BoardModel::pulses(int line) const
{
    std::vector<d2xxsim::Pulse> result;
    if (line < 0 || line > 7)
        return result;
    const std::uint8_t bit = std::uint8_t(1u << line);
    bool high = (traceBase & bit) != 0;
    for (const auto &write : trace) {
        const bool level = (write.value & bit) != 0;
        if (level && !high)
            result.push_back({write.time, write.time});
        else if (!level && high && !result.empty())
            result.back().fall = write.time;
        high = level;
    }
    return result;
}

} // namespace d2xx
