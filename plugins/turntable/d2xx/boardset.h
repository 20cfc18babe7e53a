#pragma once

#include "boardmodel.h"
#include "vcdwriter.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace d2xx {

// The boards of one link by slot, and the Value Change Dump they share. One lock guards it
// all, so that test threads read traces while a motor worker or the USB handler writes; every
// call settles every board first, so that the dump stays in time order.
class BoardSet final : private BoardModel::Observer
{
public:
    BoardSet() = default;
    BoardSet(const BoardSet &) = delete;
    BoardSet &operator=(const BoardSet &) = delete;

    // Adds a board; returns its slot.
    int add();
    // Drops every board; the dump file stays open.
    void clear();
    int size();

    // Calls on a slot that does not exist do nothing and return defaults.
    void setBitMode(int slot, std::uint8_t mask, std::uint8_t mode);
    void write(int slot, std::uint8_t value);
    // Hands bytes to the chip, not before `at`; returns when the last one entered its FIFO.
    BoardModel::Clock::time_point write(int slot, const std::uint8_t *bytes, std::size_t length,
                                        BoardModel::Clock::time_point at);
    // The chip's FIFO and byte clock (boardmodel.h).
    std::size_t dropUnentered(int slot);
    // A purge sent now: it reaches the chip with the next USB microframe (125 us).
    void dropUnplayed(int slot);
    void setBytePeriod(int slot, std::chrono::nanoseconds period);
    BoardModel::Clock::time_point lastPlay(int slot);
    std::uint8_t read(int slot);

    void setEnableActiveHigh(int slot, bool activeHigh);
    void setClockwiseActiveHigh(int slot, bool activeHigh);
    void setDcTimePerCount(int slot, std::chrono::microseconds timePerCount);
    void setDcNeverReady(int slot, bool neverReady);
    void setDcNeverLeavesReady(int slot, bool neverLeavesReady);

    void fillState(int slot, d2xxsim::DeviceState *state);
    std::vector<d2xxsim::Write> writes(int slot);
    void clearWrites(int slot);
    std::vector<d2xxsim::Exposure> exposures(int slot);
    std::vector<d2xxsim::DcCommand> dcCommands(int slot);
    std::vector<d2xxsim::Pulse> pulses(int slot, int line);

    bool setVcdFile(const std::string &path, std::string *errorText);
    void flushVcd();

private:
    void linesChanged(const BoardModel &board, BoardModel::Clock::time_point time, std::uint8_t levels) override;
    // Under the lock, settles every board and runs call(board, now) on the one at slot; a slot
    // that does not exist gives the result's default.
    template <typename Call>
    auto onBoard(int slot, Call &&call);
    // Plays every board's bytes due by now, all boards' in one time order, for the dump.
    void settleAll(BoardModel::Clock::time_point now);

    std::mutex mutex;
    std::vector<std::unique_ptr<BoardModel>> boards;
    VcdWriter vcd;
};

} // namespace d2xx
