#pragma once
// Multi-block reads and writes of ISO 15693 tags by strategy, since tags and readers differ in
// which of the block commands they take. By mode m:
//   m < 0  nothing is sent; the result is 2
//   0      one multiple-block command only
//   1      block by block only
//   2      multiple-block command first, block by block when it fails
//   3 +    block by block first, multiple-block command when that fails
// Status 254 (hard failure) stops a strategy at once.

#include <cstdint>

#include "card/iso15693/iiso15693_reader.hpp"

namespace Orvane {

// The result of a strategy that sent nothing (negative mode, or data that cannot be split).
inline constexpr std::uint8_t kNoStrategy = 2;

// Reads `count` blocks from `first` into `out` (block numbers wrap after 255).
std::uint8_t readBlocks(IIso15693Reader& tag, std::int64_t mode, bool getState, std::uint8_t first,
                        std::uint8_t count, IBuffer& out);
// Writes `len` bytes to `count` blocks from `first`; block by block, each block gets len / count
// bytes, which must divide evenly and fit a block command's length byte.
std::uint8_t writeBlocks(IIso15693Reader& tag, std::int64_t mode, std::uint8_t first, std::uint8_t count,
                         const std::uint8_t* data, std::uint32_t len);

}  // namespace Orvane
