#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The identity record a turntable's FT245R carries in the first 8 bytes of its EEPROM user
// area, little-endian: magic D1 F4, 2 reserved bytes, kind (int16), model row (int16).
// Header only, so that the vendor's D2XX build of the drivers has it too.
struct IdentityRecord
{
    static constexpr std::size_t size = 8;
    static constexpr std::uint16_t magic = 0xF4D1;

    std::int16_t kind = 0;   // turntables carry 1
    std::int16_t model = 0;  // a row of the turntable model table

    // False unless the bytes are at least a record long and begin with the magic.
    static bool read(const unsigned char *bytes, std::size_t length, IdentityRecord *record)
    {
        if (!bytes || length < size || littleEndian16(bytes) != magic)
            return false;
        if (record) {
            record->kind = std::int16_t(littleEndian16(bytes + 4));
            record->model = std::int16_t(littleEndian16(bytes + 6));
        }
        return true;
    }

    std::array<std::uint8_t, size> bytes() const
    {
        const auto k = std::uint16_t(kind);
        const auto m = std::uint16_t(model);
        return {std::uint8_t(magic & 0xFF), std::uint8_t(magic >> 8), 0, 0, std::uint8_t(k & 0xFF),
                std::uint8_t(k >> 8), std::uint8_t(m & 0xFF), std::uint8_t(m >> 8)};
    }

private:
    static std::uint16_t littleEndian16(const unsigned char *bytes)
    {
        return std::uint16_t(bytes[0] | (bytes[1] << 8));
    }
};
