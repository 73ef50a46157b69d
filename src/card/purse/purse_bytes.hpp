#pragma once
// Byte order of e-purse fields: amounts, balances and counters travel big-endian; MAC and TAC
// values are handed to clients as their four bytes read little-endian.

#include <cstdint>
#include <vector>

namespace Orvane::purse_bytes {

inline void appendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

inline std::uint32_t bigEndian(const std::uint8_t* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

// m0 m1 m2 m3 -> m0 + 256 m1 + 65536 m2 + 16777216 m3.
inline std::uint32_t macValue(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace Orvane::purse_bytes
