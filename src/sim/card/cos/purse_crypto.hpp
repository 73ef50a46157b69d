#pragma once
// The cryptography of PBOC electronic deposit / purse transactions (JR/T 0025, the session key and
// MAC computations), on this card's DES (des.hpp), and the big-endian fields they run over.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "sim/card/cos/apdu.hpp"
#include "sim/card/cos/des.hpp"

namespace rfsim::cos {

using Mac4 = std::array<std::uint8_t, 4>;

// A session key: the 8 input bytes (random, counter, then 80 00 or the terminal's transaction
// number) enciphered with a 16-byte purse key, two-key triple DES ECB.
std::optional<Block> purseSessionKey(std::span<const std::uint8_t> key, std::span<const std::uint8_t> input);

// The purse MAC: ISO/IEC 9797-1 padding method 2 (80 always added), CBC from a zero IV, the first 4
// bytes. An 8-byte key gives MAC algorithm 1 (single DES), a 16-byte one algorithm 3.
std::optional<Mac4> purseMac(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data);

// The single-DES key of TACs and of RELOAD PIN: a 16-byte key's left half XOR its right half.
Bytes foldKey(std::span<const std::uint8_t> key16);

// `value`'s last `length` bytes, most significant first, appended to `out`.
void appendBig(Bytes& out, std::uint32_t value, std::size_t length);
// The big-endian number in data[at, at + length); length at most 4, within data.
std::uint32_t readBig(std::span<const std::uint8_t> data, std::size_t at, std::size_t length);

}  // namespace rfsim::cos
