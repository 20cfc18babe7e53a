#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace d2xx {

// FT245R EEPROM image: 64 words; string descriptors (offset | 0x80, length in bytes) at
// 0x0E..0x13, the strings from 0x18 on, the checksum in the last word. The user area is what
// lies between the end of the strings and the checksum.
constexpr std::size_t ft245rEepromSize = 0x80;
constexpr std::size_t ft245rDescriptors = 0x0E;      // 6 bytes
constexpr std::size_t ft245rUserAreaEnd = 0x7E;      // the checksum word

// Where the user area begins, from the 6 descriptor bytes at ft245rDescriptors: right after
// the last string, on a word; false when a descriptor points outside the string space.
bool ft245rUserAreaBegin(const std::uint8_t *descriptors, std::size_t *begin);

// Copies the user area out of an image of at least ft245rEepromSize bytes; false when the
// image is too short or its string descriptors point outside the string space.
bool ft245rUserArea(const std::uint8_t *image, std::size_t size, std::vector<std::uint8_t> *userArea);

// Room left for the user area by strings of these lengths (in characters).
std::size_t ft245rUserAreaRoom(std::size_t manufacturer, std::size_t description, std::size_t serialNumber);

// An image as FTDI's programmer writes one for an FT245R (0403:6001): the strings, the user
// area right after the serial number, zeros up to the checksum word and the checksum. False
// when the strings and the user area do not fit.
bool ft245rImage(const std::string &manufacturer, const std::string &description, const std::string &serialNumber,
                 const std::vector<std::uint8_t> &userArea, std::vector<std::uint8_t> *image);

} // namespace d2xx
