#pragma once
// What a fresh simulated CPU card holds. Tests of the card and of the service rely on these values.
//
// MF 3F00, DF name "1PAY.SYS.DDF01"
//   external-authentication key 00 = FF x 16 (3 tries)
//   EF 0015 (SFI 15), transparent, 16 bytes "RFDOCK CPU CARD" 00: read always, update after
//     external authentication with the MF key
// DF 1001, DF name F0 52 46 44 4F 43 4B 01 (F0 "RFDOCK" 01), FCI version 01, issuer data
//   11 22 33 44 55 66 77 88, record file SFI 05
//   keys: external authentication 01 = 40 41 .. 4F (two-key triple DES, 3 tries)
//         external authentication 02 = 01 23 45 67 89 AB CD EF (single DES, 3 tries)
//         internal authentication 01 = 50 51 .. 5F (two-key triple DES)
//         internal authentication 02 = FE DC BA 98 76 54 32 10 (single DES)
//         secure messaging 00 = 60 61 .. 6F (two-key triple DES)
//         PIN 00 = "123456", sent packed as 12 34 56 (3 tries)
//   EF 0001 (SFI 01) transparent, 32 bytes 00 01 .. 1F: read always, update after external auth
//   EF 0002 (SFI 02) transparent, 32 bytes 20 21 .. 3F: read always, update after VERIFY
//   EF 0003 (SFI 03) transparent, 16 bytes A0 A1 .. AF: secure messaging with MAC required
//   EF 0004 (SFI 04) transparent, 16 bytes B0 B1 .. BF: secure messaging with MAC and enciphered
//     data required
//   EF 0005 (SFI 05) linear fixed, records of 16 bytes, room for 4; record 1 = C1 x 16,
//     record 2 = C2 x 16: read always, update and append after external auth or VERIFY
//   EF 0006 (SFI 06) transparent, 8 bytes D0 D1 .. D7: read after VERIFY, never updated

#include <array>
#include <cstdint>
#include <memory>

#include "sim/card/cos/cos_card.hpp"

namespace rfsim::cos::defaults {

inline constexpr std::uint16_t kMfId = 0x3F00;
inline constexpr std::array<std::uint8_t, 14> kMfName = {'1', 'P', 'A', 'Y', '.', 'S', 'Y',
                                                         'S', '.', 'D', 'D', 'F', '0', '1'};
inline constexpr std::uint8_t kMfExternalKeyId = 0x00;
inline constexpr std::array<std::uint8_t, 16> kMfExternalKey = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
inline constexpr std::uint16_t kMfInfoId = 0x0015;
inline constexpr std::uint8_t kMfInfoSfi = 0x15;

inline constexpr std::uint16_t kAppId = 0x1001;
inline constexpr std::array<std::uint8_t, 8> kAppName = {0xF0, 'R', 'F', 'D', 'O', 'C', 'K', 0x01};
inline constexpr std::uint8_t kAppVersion = 0x01;
inline constexpr std::array<std::uint8_t, 8> kIssuerData = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};

inline constexpr std::uint8_t kExternalKeyId = 0x01;     // two-key triple DES
inline constexpr std::uint8_t kExternalDesKeyId = 0x02;  // single DES
inline constexpr std::uint8_t kInternalKeyId = 0x01;
inline constexpr std::uint8_t kInternalDesKeyId = 0x02;
inline constexpr std::uint8_t kSmKeyId = 0x00;
inline constexpr std::uint8_t kPinId = 0x00;
inline constexpr int kTries = 3;

// 16-byte keys counting up from their first byte.
constexpr std::array<std::uint8_t, 16> countingKey(std::uint8_t first) {
    std::array<std::uint8_t, 16> key{};
    for (std::size_t i = 0; i < key.size(); ++i)
        key[i] = static_cast<std::uint8_t>(first + i);
    return key;
}
inline constexpr std::array<std::uint8_t, 16> kExternalKey = countingKey(0x40);
inline constexpr std::array<std::uint8_t, 8> kExternalDesKey = {0x01, 0x23, 0x45, 0x67,
                                                                0x89, 0xAB, 0xCD, 0xEF};
inline constexpr std::array<std::uint8_t, 16> kInternalKey = countingKey(0x50);
inline constexpr std::array<std::uint8_t, 8> kInternalDesKey = {0xFE, 0xDC, 0xBA, 0x98,
                                                                0x76, 0x54, 0x32, 0x10};
inline constexpr std::array<std::uint8_t, 16> kSmKey = countingKey(0x60);
inline constexpr std::array<std::uint8_t, 3> kPin = {0x12, 0x34, 0x56};  // "123456"

inline constexpr std::uint8_t kFreeSfi = 0x01;      // update after external auth
inline constexpr std::uint8_t kPinSfi = 0x02;       // update after VERIFY
inline constexpr std::uint8_t kMacSfi = 0x03;       // MAC required
inline constexpr std::uint8_t kEncipherSfi = 0x04;  // MAC and encipherment required
inline constexpr std::uint8_t kRecordSfi = 0x05;    // linear fixed
inline constexpr std::uint8_t kSecretSfi = 0x06;    // read after VERIFY
inline constexpr std::size_t kRecordLength = 16;
inline constexpr std::size_t kMaxRecords = 4;

// The file tree above, keys included.
std::unique_ptr<DedicatedFile> fileSystem();

// A COS over that file tree with the ISO/IEC 7816-4 commands installed.
std::shared_ptr<CosCard> cos();

}  // namespace rfsim::cos::defaults
