#pragma once
// Mifare Classic 1K/4K memory layout, the access-condition bytes of a sector trailer and the card
// number printed from a UID. Pure functions.
//
// Sectors 0 to 31 hold 4 blocks of 16 bytes, sectors 32 to 39 (4K cards only) hold 16; the last
// block of a sector is its trailer: Key A (bytes 0-5), access bytes (6-9), Key B (10-15).

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace Orvane {

namespace mifare {

inline constexpr int kBlockSize = 16;
inline constexpr int kKeySize = 6;
inline constexpr std::uint8_t kLastSector = 39;
inline constexpr std::uint8_t kFirstLargeSector = 32;  // first sector of 16 blocks

// Blocks in the sector (4 or 16); the sector must be 0 to 39.
constexpr int blockCount(std::uint8_t sector) {
    return sector < kFirstLargeSector ? 4 : 16;
}

// Card block number of the sector's first block; the sector must be 0 to 39.
constexpr std::uint8_t firstBlock(std::uint8_t sector) {
    return static_cast<std::uint8_t>(sector < kFirstLargeSector ? 4 * sector : 128 + 16 * (sector - 32));
}

// Position of the trailer inside its sector.
constexpr int trailerPosition(std::uint8_t sector) {
    return blockCount(sector) - 1;
}

constexpr bool isFirstBlockOfSector(std::uint8_t block) {
    return block < 128 ? (block & 3) == 0 : (block & 15) == 0;
}

// Trailer bytes 6, 7, 8 carry every access condition twice, once inverted; true when both copies
// agree (MF1S50 datasheet, "access conditions").
bool accessBytesConsistent(std::uint8_t byte6, std::uint8_t byte7, std::uint8_t byte8);

// Ten decimal digits of the little-endian number in the UID's first four bytes (UIDs of up to four
// bytes) or its last four (longer UIDs).
std::string cardNumber(std::span<const std::uint8_t> uid);

}  // namespace mifare

// Access bytes (trailer bytes 6 to 9; the user byte 9 is not used) as "C1C2C3|C1C2C3|C1C2C3|C1C2C3"
// for blocks 0, 1, 2 and the trailer. False, text untouched, when the bytes are inconsistent.
bool accessBitsToText(std::span<const std::uint8_t, 4> bytes, std::string& text);

// The reverse: a 15-character text whose characters 0-2, 4-6, 8-10 and 12-14 are the bits ("1" set,
// anything else clear); the user byte becomes 0x69. False, bytes untouched, for another length.
bool textToAccessBits(std::string_view text, std::array<std::uint8_t, 4>& bytes);

}  // namespace Orvane
