#pragma once
// The card's DES family, on OpenSSL EVP directly: ECB with a key of 8 (DES), 16 (two-key triple DES)
// or 24 bytes (three-key triple DES), ISO/IEC 9797-1 padding method 2 and the MAC used for secure
// messaging. Single DES lives in OpenSSL 3's "legacy" provider, loaded here once.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace rfsim::cos {

using Block = std::array<std::uint8_t, 8>;

// Loads "legacy" and "default" once per process; false when single DES is not available.
bool loadDesProviders();

// ECB over `data` (a multiple of 8 bytes) with no padding; nullopt for a key of another length,
// data that is not whole blocks, or an OpenSSL failure.
std::optional<std::vector<std::uint8_t>> desEcb(std::span<const std::uint8_t> key,
                                                std::span<const std::uint8_t> data, bool encrypt);

// ISO/IEC 9797-1 padding method 2: 80 then 00 up to a multiple of 8; always adds at least one byte.
std::vector<std::uint8_t> pad80(std::span<const std::uint8_t> data);

// ISO/IEC 9797-1 MAC over pad80(data) starting from `iv`: single-DES CBC under the first 8 key
// bytes over every block but the last, the last block encrypted with the whole key (MAC algorithm 3
// for a 16-byte key, the plain CBC-MAC for an 8-byte one).
std::optional<Block> desMac(std::span<const std::uint8_t> key, const Block& iv,
                            std::span<const std::uint8_t> data);

}  // namespace rfsim::cos
