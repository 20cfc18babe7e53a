#include "boardset.h"

namespace d2xx {

using d2xxsim::Board;
using Clock = BoardModel::Clock;

namespace {

std::vector<std::string> wireNames(Board board)
{
    switch (board) {
    case Board::Stepper:
        return {"enable", "direction", "step", "auxiliary", "shutter1", "shutter2", "D6", "D7"};
    case Board::Dc:
        return {"count0", "count1", "count2", "count3", "ready", "start", "continuous", "latch"};
    case Board::None:
        break;
    }
    return {"D0", "D1", "D2", "D3", "D4", "D5", "D6", "D7"};
}

} // namespace

int BoardSet::add()
{
    std::lock_guard<std::mutex> lock(mutex);
    const int slot = int(boards.size());
    boards.push_back(std::make_unique<BoardModel>(slot, static_cast<BoardModel::Observer *>(this)));
    return slot;
}

void BoardSet::clear()
{
    std::lock_guard<std::mutex> lock(mutex);
    boards.clear();
}

int BoardSet::size()
{
    std::lock_guard<std::mutex> lock(mutex);
    return int(boards.size());
}

template <typename Call>
auto BoardSet::onBoard(int slot, Call &&call)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto now = Clock::now();
    settleAll(now);
    using Result = decltype(call(*boards.front(), now));
    if (slot < 0 || std::size_t(slot) >= boards.size())
        return Result();
    return call(*boards[std::size_t(slot)], now);
}

void BoardSet::settleAll(Clock::time_point now)
{
    if (boards.size() > 1 && vcd.isOpen()) {
        for (;;) {
            BoardModel *first = nullptr;
            for (auto &board : boards) {
                if (board->nextPlay() <= now && (!first || board->nextPlay() < first->nextPlay()))
                    first = board.get();
            }
            if (!first)
                break;
            first->settle(first->nextPlay());
        }
    }
    for (auto &board : boards)
        board->settle(now);
}

void BoardSet::linesChanged(const BoardModel &board, Clock::time_point time, std::uint8_t levels)
{
    if (!vcd.isOpen())
        return;
    if (!vcd.hasDefinitions()) {
        std::vector<VcdWriter::Scope> scopes;
        for (const auto &each : boards)
            scopes.push_back({"dev" + std::to_string(each->slot()), wireNames(each->board()), each->shownLevels()});
        vcd.writeDefinitions(scopes);
    }
    vcd.change(time, std::size_t(board.slot()), levels);
}

void BoardSet::setBitMode(int slot, std::uint8_t mask, std::uint8_t mode)
{
    onBoard(slot, [&](BoardModel &board, Clock::time_point now) { board.setBitMode(mask, mode, now); });
}

void BoardSet::write(int slot, std::uint8_t value)
{
    write(slot, &value, 1, Clock::time_point());
}

Clock::time_point BoardSet::write(int slot, const std::uint8_t *bytes, std::size_t length, Clock::time_point at)
{
    return onBoard(slot, [&](BoardModel &board, Clock::time_point now) {
        Clock::time_point entered = now;
        for (std::size_t i = 0; i < length; ++i)
            entered = board.hand(bytes[i], at, now, i > 0 && bytes[i] == bytes[i - 1]);
        return entered;
    });
}

std::size_t BoardSet::dropUnentered(int slot)
{
    return onBoard(slot, [](BoardModel &board, Clock::time_point now) { return board.dropUnentered(now); });
}

void BoardSet::dropUnplayed(int slot)
{
    onBoard(slot, [](BoardModel &board, Clock::time_point now) { board.dropUnplayed(now + std::chrono::microseconds(125)); });
}

void BoardSet::setBytePeriod(int slot, std::chrono::nanoseconds period)
{
    onBoard(slot, [&](BoardModel &board, Clock::time_point) { board.setBytePeriod(period); });
}

Clock::time_point BoardSet::lastPlay(int slot)
{
    return onBoard(slot, [](BoardModel &board, Clock::time_point) { return board.lastPlay(); });
}

std::uint8_t BoardSet::read(int slot)
{
    return onBoard(slot, [](BoardModel &board, Clock::time_point) { return board.levels(); });
}

void BoardSet::setEnableActiveHigh(int slot, bool activeHigh)
{
    onBoard(slot, [&](BoardModel &board, Clock::time_point) { board.setEnableActiveHigh(activeHigh); });
}

void BoardSet::setClockwiseActiveHigh(int slot, bool activeHigh)
{
    onBoard(slot, [&](BoardModel &board, Clock::time_point) { board.setClockwiseActiveHigh(activeHigh); });
}

void BoardSet::setDcTimePerCount(int slot, std::chrono::microseconds timePerCount)
{
    onBoard(slot, [&](BoardModel &board, Clock::time_point) { board.setDcTimePerCount(timePerCount); });
}

void BoardSet::setDcNeverReady(int slot, bool neverReady)
{
    onBoard(slot, [&](BoardModel &board, Clock::time_point now) { board.setDcNeverReady(neverReady, now); });
}

void BoardSet::setDcNeverLeavesReady(int slot, bool neverLeavesReady)
{
    onBoard(slot, [&](BoardModel &board, Clock::time_point) { board.setDcNeverLeavesReady(neverLeavesReady); });
}

void BoardSet::fillState(int slot, d2xxsim::DeviceState *state)
{
    onBoard(slot, [&](BoardModel &board, Clock::time_point now) { board.fillState(state, now); });
}

std::vector<d2xxsim::Write> BoardSet::writes(int slot)
{
    return onBoard(slot, [](BoardModel &board, Clock::time_point) { return board.writes(); });
}

void BoardSet::clearWrites(int slot)
{
    onBoard(slot, [](BoardModel &board, Clock::time_point) { board.clearWrites(); });
}

std::vector<d2xxsim::Exposure> BoardSet::exposures(int slot)
{
    return onBoard(slot, [](BoardModel &board, Clock::time_point) { return board.exposures(); });
}

std::vector<d2xxsim::DcCommand> BoardSet::dcCommands(int slot)
{
    return onBoard(slot, [](BoardModel &board, Clock::time_point) { return board.dcCommands(); });
}

std::vector<d2xxsim::Pulse> BoardSet::pulses(int slot, int line)
{
    return onBoard(slot, [&](BoardModel &board, Clock::time_point) { return board.pulses(line); });
}

bool BoardSet::setVcdFile(const std::string &path, std::string *errorText)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (path.empty()) {
        vcd.close();
        return true;
    }
    return vcd.open(path, errorText);
}

void BoardSet::flushVcd()
{
    std::lock_guard<std::mutex> lock(mutex);
    settleAll(Clock::now());
    vcd.flush();
}

} // namespace d2xx
