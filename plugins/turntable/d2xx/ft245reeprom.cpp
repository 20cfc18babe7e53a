#include "ft245reeprom.h"

#include <algorithm>

namespace d2xx {

namespace {
constexpr std::size_t checksumOffset = ft245rUserAreaEnd;
constexpr std::size_t firstDescriptor = ft245rDescriptors;
constexpr std::size_t stringSpace = 0x18;  // after the chip configuration

// A USB string descriptor: length, type 3, UTF-16LE (ASCII here).
std::size_t descriptorLength(std::size_t characters)
{
    return 2 + 2 * characters;
}

std::size_t stringsEnd(std::size_t manufacturer, std::size_t description, std::size_t serialNumber)
{
    return stringSpace + descriptorLength(manufacturer) + descriptorLength(description)
        + descriptorLength(serialNumber);
}
}

bool ft245rUserAreaBegin(const std::uint8_t *descriptors, std::size_t *begin)
{
    // Nothing in libftdi bounds these for R chips.
    std::size_t stringsEnd = stringSpace;
    for (std::size_t d = 0; d < 6; d += 2) {
        const std::size_t offset = descriptors[d] & 0x7F;
        const std::size_t length = descriptors[d + 1];
        if (length == 0)
            continue;
        if (offset < stringSpace || offset + length > checksumOffset)
            return false;
        stringsEnd = std::max(stringsEnd, offset + length);
    }
    stringsEnd += stringsEnd & 1;
    *begin = std::min(stringsEnd, checksumOffset);
    return true;
}

bool ft245rUserArea(const std::uint8_t *image, std::size_t size, std::vector<std::uint8_t> *userArea)
{
    std::size_t begin = 0;
    if (!image || !userArea || size < ft245rEepromSize || !ft245rUserAreaBegin(image + firstDescriptor, &begin))
        return false;
    userArea->assign(image + begin, image + checksumOffset);
    return true;
}

std::size_t ft245rUserAreaRoom(std::size_t manufacturer, std::size_t description, std::size_t serialNumber)
{
    const std::size_t end = stringsEnd(manufacturer, description, serialNumber);
    return end < checksumOffset ? checksumOffset - end : 0;
}

bool ft245rImage(const std::string &manufacturer, const std::string &description, const std::string &serialNumber,
                 const std::vector<std::uint8_t> &userArea, std::vector<std::uint8_t> *image)
{
    if (!image || stringsEnd(manufacturer.size(), description.size(), serialNumber.size()) > checksumOffset
        || ft245rUserAreaRoom(manufacturer.size(), description.size(), serialNumber.size()) < userArea.size())
        return false;
    std::vector<std::uint8_t> out(ft245rEepromSize, 0);
    const std::uint8_t header[] = {
        0x00, 0x40,  // driver and drive options
        0x03, 0x04, 0x01, 0x60, 0x00, 0x06,  // VID, PID, release 6.00: an R chip
        0xA0, 0x2D,  // bus powered, remote wake-up, 90 mA
        0x00, 0x00,  // chip options, no inverted lines
        0x00, 0x02,  // USB 2.0
    };
    std::copy(std::begin(header), std::end(header), out.begin());
    std::size_t at = stringSpace;
    std::size_t descriptor = firstDescriptor;
    for (const std::string *text : {&manufacturer, &description, &serialNumber}) {
        const std::size_t length = descriptorLength(text->size());
        out[descriptor++] = std::uint8_t(at | 0x80);
        out[descriptor++] = std::uint8_t(length);
        out[at] = std::uint8_t(length);
        out[at + 1] = 0x03;
        for (std::size_t i = 0; i < text->size(); ++i)
            out[at + 2 + 2 * i] = std::uint8_t((*text)[i]);
        at += length;
    }
    std::copy(userArea.begin(), userArea.end(), out.begin() + std::ptrdiff_t(at));
    // FTDI's checksum: words 0 to 62, each xored in and the sum rotated left by one.
    std::uint16_t checksum = 0xAAAA;
    for (std::size_t i = 0; i < checksumOffset; i += 2) {
        checksum ^= std::uint16_t(out[i] | (out[i + 1] << 8));
        checksum = std::uint16_t((checksum << 1) | (checksum >> 15));
    }
    out[checksumOffset] = std::uint8_t(checksum & 0xFF);
    out[checksumOffset + 1] = std::uint8_t(checksum >> 8);
    *image = std::move(out);
    return true;
}

} // namespace d2xx
