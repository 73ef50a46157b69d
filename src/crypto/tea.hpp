#pragma once
// The TEA family of Wheeler and Needham on big-endian words: the first byte of a word is its most
// significant, and the 16-byte key is the four words k0..k3. The functions work in place.

#include <array>
#include <cstdint>
#include <span>

namespace Orvane::tea {

using Key = std::array<std::uint32_t, 4>;
using Block = std::array<std::uint8_t, 8>;

enum class Variant { kTea, kXtea };

// Four big-endian words from 16 key bytes.
Key keyFromBytes(const std::uint8_t* bytes);

// ECB over whole 8-byte blocks with `cycles` cycles (32 is the published cipher). False, and the
// data untouched, when the length is not a multiple of 8 or cycles <= 0.
bool ecb(Variant variant, std::span<std::uint8_t> data, const Key& key, int cycles, bool encrypt);

// CBC with the chaining block carried in `chain` from one call to the next.
bool cbc(Variant variant, std::span<std::uint8_t> data, const Key& key, int cycles, bool encrypt,
         Block& chain);

// XXTEA (corrected block TEA) over the whole span as one block of n words; rounds <= 0 takes the
// published 6 + 52 / n. False, and the data untouched, unless the span is at least two whole words.
bool xxtea(std::span<std::uint8_t> data, const Key& key, int rounds, bool encrypt);

}  // namespace Orvane::tea
