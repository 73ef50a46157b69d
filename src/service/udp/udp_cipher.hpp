#pragma once
// Payload protection of a UDP slot as clients expect it: AES-128-CBC, key and IV given as one
// 32-character text (the first 16 bytes are the key, the last 16 the IV, used as they stand, not
// hex-decoded), PKCS#7 padding, and the same IV for every datagram.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "crypto/cipher.hpp"

inline constexpr std::size_t kAesBlock = 16;

// Appends PKCS#7 padding up to the next multiple of 16 bytes; aligned data gets a whole block.
void pkcs7Pad(std::vector<std::uint8_t>& data);
// The length of the data without its padding, judged by the last byte alone: 0 when that byte is
// outside 1..16 or longer than the data, or when there is no data.
std::size_t pkcs7Unpadded(std::span<const std::uint8_t> data);

class UdpCipher {
  public:
    static constexpr std::size_t kKeyTextLength = 32;

    // nullptr when the text is not 32 bytes long or AES-128-CBC cannot be set up.
    static std::unique_ptr<UdpCipher> fromKeyText(std::string_view keyText);

    // Pads and encrypts in place; false when the cipher fails (the data is then not to be sent).
    bool seal(std::vector<std::uint8_t>& data);
    // Decrypts in place and returns the length of the plaintext without its padding; 0 when the
    // data is not whole blocks or its padding is invalid.
    std::size_t open(std::span<std::uint8_t> data);

  private:
    UdpCipher() = default;
    Orvane::Cipher cipher_;
};
