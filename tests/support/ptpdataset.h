#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// PTP's little-endian encoding of containers and datasets, shared by the emulated camera's
// protocol and its object store.
namespace ptpdataset {

enum ContainerType : std::uint16_t { commandBlock = 1, dataBlock = 2, responseBlock = 3, eventBlock = 4 };
constexpr std::size_t headerLength = 12;

inline void put8(std::vector<std::uint8_t> &out, std::uint8_t v) { out.push_back(v); }
inline void put16(std::vector<std::uint8_t> &out, std::uint16_t v)
{
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}
inline void put32(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    put16(out, std::uint16_t(v));
    put16(out, std::uint16_t(v >> 16));
}
inline void put64(std::vector<std::uint8_t> &out, std::uint64_t v)
{
    put32(out, std::uint32_t(v));
    put32(out, std::uint32_t(v >> 32));
}
// A count of UCS-2 characters including the terminating NUL, then the characters; an empty
// string is the count 0 alone. Names here are ASCII (or taken byte by byte).
inline void putString(std::vector<std::uint8_t> &out, const std::string &text)
{
    const std::size_t length = std::min<std::size_t>(text.size(), 254);
    if (length == 0) {
        put8(out, 0);
        return;
    }
    put8(out, std::uint8_t(length + 1));
    for (std::size_t i = 0; i < length; ++i)
        put16(out, std::uint8_t(text[i]));
    put16(out, 0);
}
inline void putArray(std::vector<std::uint8_t> &out, const std::vector<std::uint16_t> &values)
{
    put32(out, std::uint32_t(values.size()));
    for (std::uint16_t v : values)
        put16(out, v);
}
inline std::uint32_t get32(const std::uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }
inline std::uint16_t get16(const std::uint8_t *p) { return std::uint16_t(p[0] | p[1] << 8); }

// A container's header for a payload of the given size, room reserved for the payload.
inline std::vector<std::uint8_t> container(std::uint16_t type, std::uint16_t code, std::uint32_t transaction,
                                           std::size_t payload)
{
    std::vector<std::uint8_t> out;
    out.reserve(headerLength + payload);
    put32(out, std::uint32_t(headerLength + payload));
    put16(out, type);
    put16(out, code);
    put32(out, transaction);
    return out;
}

} // namespace ptpdataset
