#include "ft245reeprom.h"

#include <algorithm>

namespace d2xx {

namespace {
constexpr std::size_t checksumOffset = 0x7E;
constexpr std::size_t firstDescriptor = 0x0E;
constexpr std::size_t descriptorsEnd = firstDescriptor + 6;
constexpr std::size_t stringSpace = 0x18;  // after the chip configuration
}

bool ft245rUserArea(const std::uint8_t *image, std::size_t size, std::vector<std::uint8_t> *userArea)
{
    if (!image || !userArea || size < ft245rEepromSize)
        return false;
    // Nothing in libftdi bounds these for R chips.
    std::size_t stringsEnd = stringSpace;
    for (std::size_t d = firstDescriptor; d < descriptorsEnd; d += 2) {
        const std::size_t offset = image[d] & 0x7F;
        const std::size_t length = image[d + 1];
        if (length == 0)
            continue;
        if (offset < stringSpace || offset + length > checksumOffset)
            return false;
        stringsEnd = std::max(stringsEnd, offset + length);
    }
    stringsEnd += stringsEnd & 1;
    userArea->assign(image + std::min(stringsEnd, checksumOffset), image + checksumOffset);
    return true;
}

} // namespace d2xx
