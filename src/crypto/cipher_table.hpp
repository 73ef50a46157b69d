#pragma once
// Algorithm codes of the cipher engine and the OpenSSL ciphers behind them.
//
//  1 DES-ECB            10 DES-CBC             19-21 AES-128/192/256-CCM
//  2 two-key 3DES-ECB   11 two-key 3DES-CBC    22 SM4-CCM
//  3 three-key 3DES-ECB 12 three-key 3DES-CBC  23-25 AES-128/192/256-GCM
//  4-6 AES-128/192/256-ECB  13-15 AES-128/192/256-CBC  26 SM4-GCM
//  7 TEA-ECB  8 XTEA-ECB  16 TEA-CBC  17 XTEA-CBC  27 XXTEA  (own code, not OpenSSL)
//  9 SM4-ECB  18 SM4-CBC

#include <openssl/evp.h>

#include <cstdint>

namespace Orvane {

// Mode codes kept by the engine.
enum CipherMode : std::uint8_t {
    kModeUnknown = 0,
    kModeStream = 1,
    kModeEcb = 2,
    kModeCbc = 3,
    kModeCfb = 4,
    kModeOfb = 5,
    kModeCtr = 6,
    kModeGcm = 7,
    kModeCcm = 8,
    kModeXts = 9,
    kModeWrap = 10,
    kModeOcb = 11,
    kModeSiv = 12,
};

enum class OwnAlgorithm { kNone, kTeaEcb, kXteaEcb, kTeaCbc, kXteaCbc, kXxtea };

OwnAlgorithm ownAlgorithm(std::uint8_t code);

// The OpenSSL cipher of an algorithm code, fetched once and kept for the life of the process;
// nullptr for own and unknown codes and for ciphers the loaded providers do not offer (a later
// call tries again, so loading a provider afterwards helps).
const EVP_CIPHER* evpCipher(std::uint8_t code);

// Mode code of an OpenSSL cipher.
CipherMode modeOf(const EVP_CIPHER* cipher);

}  // namespace Orvane
