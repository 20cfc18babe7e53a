#pragma once

#include "d2xx.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <vector>

// The turntable boards attached, as the last listing found them, and the board a host's index
// opens: with one identified board any index opens it as its own model row; with several, the
// index is a position in their list; otherwise it is a model row for the first plain chip. The
// open board is known by what it was opened as, so that a listing never opens it again.
// GUI thread only.
class TurntableBoardList
{
public:
    struct Listing
    {
        std::list<std::string> names;  // what the host may offer; empty when nothing is usable
        int unopenable = 0;            // chips that are there but could not be opened
        // The host's index of the open board among identified boards: its row, or its position.
        std::optional<size_t> openIndex;
    };

    struct Choice
    {
        int32_t deviceIndex = -1;  // -1: no board to open
        size_t row = 0;
        bool identified = false;
        std::string serialNumber;
    };

    // openHandle: the board the caller has open, or null.
    Listing list(FT_HANDLE openHandle);
    // What index opens; false when it names nothing of the last listing.
    bool choose(size_t index, Choice *choice) const;
    // Several identified boards: the host's index is a position, not a model row.
    bool choosesByPosition() const { return m_identified.size() > 1; }

    void opened(const Choice &choice);
    void closed() { m_openRow = -1; }
    // The open board's model row, -1 while none is open; the last row opened, kept after closing.
    int openRow() const { return m_openRow; }
    int lastOpenRow() const { return m_lastOpenRow; }

private:
    struct Offer
    {
        int32_t deviceIndex = -1;
        int32_t modelRow = -1;
        std::string serialNumber;
        bool open = false;
    };

    std::vector<Offer> m_identified;
    int32_t m_plainDeviceIndex = -1;
    int m_openRow = -1;
    int m_lastOpenRow = -1;
    Choice m_open;
};
