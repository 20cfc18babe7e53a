#pragma once

#include "d2xxsim.h"
#include "ft245rclock.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

namespace d2xx {

// The turntable board behind one FT245R's eight lines, as d2xxsim.h describes it: what the
// bit mode makes of the chip, and what the bytes written to it move. Every link drives one per
// device: the simulated back end from FT_Write, the emulated USB chip from its bulk OUT data.
// Bytes play on the chip's clock: each enters the 256-byte transmit FIFO when there is room and
// is on the pins one byte period after the one before it, or as it enters when the FIFO had run
// empty (the pins hold the last byte meanwhile). Traces, positions and the dump see bytes as
// they play. Not locked: BoardSet holds one lock around every call.
class BoardModel
{
public:
    using Clock = d2xxsim::Clock;

    // Told of every change of the levels a pin read shows, in time order per board.
    class Observer
    {
    public:
        virtual void linesChanged(const BoardModel &board, Clock::time_point time, std::uint8_t levels) = 0;

    protected:
        ~Observer() = default;
    };

    BoardModel(int slot, Observer *observer);

    int slot() const { return index; }
    d2xxsim::Board board() const { return kind; }
    // The levels the observer was last told of (before the change it is being told of).
    std::uint8_t shownLevels() const { return shown; }

    static constexpr std::size_t fifoBytes = Ft245rClock::fifoBytes;

    void setBitMode(std::uint8_t mask, std::uint8_t mode, Clock::time_point now);
    // Hands a byte to the chip at `at` (not before now); returns when it entered the FIFO.
    // sameRun: it follows an equal byte of the same transfer, and needs no trace entry of its own.
    Clock::time_point hand(std::uint8_t value, Clock::time_point at, Clock::time_point now, bool sameRun);
    // A cancelled transfer: the bytes that have not entered the FIFO by now never play.
    std::size_t dropUnentered(Clock::time_point now);
    // A purge of the transmit buffer: nothing that has not played by `at` ever will.
    void dropUnplayed(Clock::time_point at);
    // 0 until a rate is programmed: every byte plays as it comes.
    void setBytePeriod(std::chrono::nanoseconds period) { bytePeriod = period; }
    // When the next byte waiting plays; the end of time when none waits.
    Clock::time_point nextPlay() const { return pending.empty() ? Clock::time_point::max() : pending.front().play; }
    // When the last byte handed over plays.
    Clock::time_point lastPlay() const { return pending.empty() ? lastPlayed : pending.back().play; }
    // Plays the bytes due and ends a counted DC command whose time is over; call before anything
    // that looks.
    void settle(Clock::time_point now);
    // What a pin read returns.
    std::uint8_t levels() const;

    void setEnableActiveHigh(bool activeHigh) { enableActiveHigh = activeHigh; }
    void setClockwiseActiveHigh(bool activeHigh) { clockwiseActiveHigh = activeHigh; }
    void setDcTimePerCount(std::chrono::microseconds time);
    void setDcNeverReady(bool never, Clock::time_point now);
    void setDcNeverLeavesReady(bool never) { neverLeavesReady = never; }

    // The board's part of the state: board, bit mode, lines, ready, position, counts.
    void fillState(d2xxsim::DeviceState *state, Clock::time_point now) const;
    std::vector<d2xxsim::Write> writes() const { return {trace.begin(), trace.end()}; }
    void clearWrites();
    const std::vector<d2xxsim::Exposure> &exposures() const { return shots; }
    const std::vector<d2xxsim::DcCommand> &dcCommands() const { return commands; }
    std::vector<d2xxsim::Pulse> pulses(int line) const;

private:
    struct Pending
    {
        Clock::time_point entry;
        Clock::time_point play;
        std::uint8_t value;
        bool sameRun;
    };

    void apply(const Pending &byte);
    void settleRun(Clock::time_point now);
    bool ready() const;
    void show(Clock::time_point time);
    void latchEdge(Clock::time_point now);
    void startEdge(Clock::time_point now);
    void endRun(Clock::time_point end, std::int64_t counts);

    int index;
    Observer *observer;

    bool enableActiveHigh = true;
    bool clockwiseActiveHigh = true;
    std::chrono::microseconds timePerCount{20000};
    bool neverReady = false;
    bool neverLeavesReady = false;

    std::uint8_t bitMask = 0;
    std::uint8_t bitMode = 0;
    d2xxsim::Board kind = d2xxsim::Board::None;
    std::uint8_t lines = 0;  // driven output levels
    std::uint8_t shown = 0;

    std::uint8_t latchedNibble = 0x0F;
    bool latchedContinuous = false;
    bool armed = false;  // a command was latched since the last start
    bool running = false;
    bool runContinuous = false;
    int runCount = 0;
    Clock::time_point runStart;
    Clock::time_point runEnd;

    std::int64_t position = 0;
    std::uint64_t stepsWhileUnpowered = 0;

    std::chrono::nanoseconds bytePeriod{0};
    std::deque<Pending> pending;  // handed over, not played yet
    Clock::time_point lastPlayed;

    std::deque<d2xxsim::Write> trace;
    std::uint8_t traceBase = 0;  // byte written before the oldest trace entry
    std::uint8_t lastWritten = 0;
    std::uint64_t writeCount = 0;
    std::vector<d2xxsim::Exposure> shots;
    std::vector<d2xxsim::DcCommand> commands;
};

} // namespace d2xx
