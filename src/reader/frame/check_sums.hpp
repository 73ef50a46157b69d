#pragma once
// Byte sums the VC and VD families build their check bytes from, taken 16 bytes at a time so the
// compiler keeps a 64 KiB frame in vector registers.

#include <cstdint>
#include <span>

namespace Orvane::check_sums {

// Sum of the bytes modulo 256.
std::uint8_t sum8(std::span<const std::uint8_t> bytes);
// XOR of the bytes.
std::uint8_t xor8(std::span<const std::uint8_t> bytes);

}  // namespace Orvane::check_sums
