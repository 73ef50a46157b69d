#pragma once
// The configuration pages of a page tag (NTAG21x CFG0 and CFG1, 8 bytes) as fields:
//   byte 0: MIRROR_CONF (bits 7-6), MIRROR_BYTE (5-4), STRG_MOD_EN (2); byte 2: MIRROR_PAGE;
//   byte 3: AUTH0; byte 4 (ACCESS): PROT (7), CFGLCK (6), NFC_CNT_EN (4), NFC_CNT_PWD_PROT (3),
//   AUTHLIM (2-0). Bytes 1 and 5 to 7 and the bits not named are written as 0.

#include <array>
#include <cstdint>
#include <span>

namespace Orvane {

struct PageTagConfig {
    std::uint8_t mirrorConf = 0;  // 2 bits
    std::uint8_t mirrorByte = 0;  // 2 bits
    bool strgModOn = false;
    std::uint8_t mirrorPage = 0;
    std::uint8_t auth0 = 0;
    bool safeRead = false;  // PROT: reading is protected too, not only writing
    bool lock = false;      // CFGLCK: the configuration is locked for good
    bool nfcCntOn = false;
    bool cntPwdOn = false;
    std::uint8_t authlim = 0;  // 3 bits
};

using PageTagConfigImage = std::array<std::uint8_t, 8>;

// Fields wider than their bits keep only their low bits.
PageTagConfigImage encodeConfig(const PageTagConfig& config);
PageTagConfig decodeConfig(std::span<const std::uint8_t, 8> image);

}  // namespace Orvane
