#pragma once
// Access conditions of Mifare Classic sectors (MF1S50yyX section 8.7, tables 7 and 8). A condition
// is the three bits C1 C2 C3 of one group, packed as C1 << 2 | C2 << 1 | C3.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace rfsim::mifare {

// Which keys an access allows.
enum KeyMask : std::uint8_t { kNever = 0, kKeyA = 1, kKeyB = 2, kKeyAB = 3 };

constexpr KeyMask keyMaskOf(bool keyB) {
    return keyB ? kKeyB : kKeyA;
}

struct DataAccess {
    KeyMask read;
    KeyMask write;
};

// Key A itself is never readable.
struct TrailerAccess {
    KeyMask keyAWrite;
    KeyMask accessRead;
    KeyMask accessWrite;
    KeyMask keyBRead;
    KeyMask keyBWrite;
};

// The conditions of the four groups from trailer bytes 6, 7 and 8; nullopt when the inverted copies
// do not match the plain ones (a sector in that state is blocked).
std::optional<std::array<std::uint8_t, 4>> decodeAccessBits(std::span<const std::uint8_t, 3> bytes);
// Trailer bytes 6, 7 and 8 for the conditions of the four groups.
std::array<std::uint8_t, 3> encodeAccessBits(const std::array<std::uint8_t, 4>& conditions);

DataAccess dataBlockAccess(std::uint8_t condition);
TrailerAccess trailerAccess(std::uint8_t condition);

// Trailer conditions under which Key B is readable: Key B then is plain data, and a sector
// authenticated with it refuses every memory access (table 7, "key B may be read").
bool keyBIsData(std::uint8_t trailerCondition);

}  // namespace rfsim::mifare
