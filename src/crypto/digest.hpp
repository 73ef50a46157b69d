#pragma once
// Message digests and HMACs by digest code:
//  0 MDC2, 1 MD4, 2 MD5, 3 MD5-SHA1, 4 SHA-1, 5 RIPEMD-160, 6 SM3, 7 SHA-224, 8 SHA-256, 9 SHA-384,
//  10 SHA-512, 11 SHA-512/224, 12 SHA-512/256, 13 SHA3-224, 14 SHA3-256, 15 SHA3-384, 16 SHA3-512,
//  17 SHAKE128, 18 SHAKE256, 19 BLAKE2s-256, 20 BLAKE2b-512, 21 Whirlpool.
// MDC2, MD4 and Whirlpool come from OpenSSL's "legacy" provider (see providers.hpp).

#include <cstddef>
#include <cstdint>
#include <span>

namespace Orvane {

// OpenSSL's name of a digest code; nullptr above 21.
const char* digestName(std::uint8_t code);

// Output size in bytes; 0 for an unknown code or a digest the loaded providers lack.
std::size_t digestSize(std::uint8_t code);

// Digest of len bytes into out, or with a key (key given and keyLen >= 0) the HMAC under that
// digest. out must hold digestSize(code) bytes, else false and nothing is written. True when 16 or
// more bytes were produced; false for an unknown code or a failure of the crypto library.
bool digest(std::uint8_t code, const void* data, std::size_t len, std::span<std::uint8_t> out,
            const void* key = nullptr, int keyLen = -1);

}  // namespace Orvane
