#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace d2xx {

// FT245R EEPROM image: 64 words; string descriptors (offset | 0x80, length in bytes) at
// 0x0E..0x13, the strings from 0x18 on, the checksum in the last word. The user area is what
// lies between the end of the strings and the checksum.
constexpr std::size_t ft245rEepromSize = 0x80;

// Copies the user area out of an image of at least ft245rEepromSize bytes; false when the
// image is too short or its string descriptors point outside the string space.
bool ft245rUserArea(const std::uint8_t *image, std::size_t size, std::vector<std::uint8_t> *userArea);

} // namespace d2xx
