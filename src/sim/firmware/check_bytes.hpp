#pragma once
// The check bytes of the three reader families, as the reader firmware computes them. Written apart
// from the service's frame code on purpose: a simulator sharing that code could only agree with it.

#include <cstdint>
#include <span>
#include <utility>

namespace rfsim::check_bytes {

// VA family: CRC-16/CCITT-FALSE (poly 0x1021, init 0xFFFF, MSB first, no final XOR), bit by bit.
std::uint16_t crcCcitt(std::span<const std::uint8_t> bytes);
// VC family: 8-bit additive sum.
std::uint8_t additive(std::span<const std::uint8_t> bytes);
// VD family: C1 from the XOR of the bytes, C2 from C1 plus their sum, each mixed through the two
// 16-byte tables of the reader firmware.
std::pair<std::uint8_t, std::uint8_t> vdPair(std::span<const std::uint8_t> bytes);

}  // namespace rfsim::check_bytes
