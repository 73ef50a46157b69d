#pragma once
// The DES-family key operations of CPU cards: ECB encryption and decryption, and the card MAC.
//
// The MAC is ISO/IEC 9797-1 with padding method 2 (80 then zeros, always at least one byte): single
// DES in CBC mode under the first 8 key bytes over every block but the last, then the last block
// under the whole key. With a 16-byte key that is MAC algorithm 3 (the "retail MAC"); with an
// 8-byte key the plain CBC-MAC.

#include <cstdint>
#include <span>
#include <vector>

#include "card/cpu/key_data.hpp"
#include "crypto/cipher.hpp"

namespace Orvane {

// Appends 80 and zeros up to the next multiple of 8 (a whole block when already a multiple).
void padMethod2(std::vector<std::uint8_t>& data);

// op as cos_7816::KeyOp on data in place with a DES key of 8, 16 or 24 bytes; iv is 8 bytes or
// nullptr (zero), used by the MACs only. ECB data must be whole blocks. 0x0090 or 0x866A.
std::uint16_t desCrypt(Cipher& cipher, std::uint8_t op, std::span<const std::uint8_t> key,
                       const std::uint8_t* iv, std::vector<std::uint8_t>& data);

// desCrypt with a key record: alg must be the DES family and keyLen 8, 16 or 24 (and held).
std::uint16_t keyCrypt(Cipher& cipher, std::uint8_t op, const cos_7816::_KeyData& key, const std::uint8_t* iv,
                       std::vector<std::uint8_t>& data);

}  // namespace Orvane
