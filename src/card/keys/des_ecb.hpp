#pragma once
// DES-family ECB on whole 8-byte blocks in place, the member chosen by the key's length: 8 bytes
// DES, 16 two-key and 24 three-key triple DES.

#include <cstdint>
#include <span>

namespace Orvane {

// False for another key length, a length that is not whole blocks, or a cipher the loaded
// providers do not offer (single DES lives in OpenSSL's legacy provider).
bool desEcb(std::span<const std::uint8_t> key, std::span<std::uint8_t> data, bool encrypt);

}  // namespace Orvane
