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
// DF 1002, DF name A0 00 00 00 03 86 98 07 01 (the PBOC ED/EP application), FCI version 01: a PBOC
//   electronic deposit / purse application (purse_commands.hpp); keys are 16 bytes, key version
//   and algorithm identifier as INITIALIZE answers them (algorithm 00 for all):
//     purchase / cash withdrawal (DPK)   index 01, version 01: 80 81 .. 8F
//     load (DLK)                         index 01, version 02: 90 91 .. 9F
//     unload (DULK)                      index 01, version 03: A0 A1 .. AF
//     overdraw limit update (DUK)        index 01, version 04: B0 B1 .. BF
//     TAC (DTK)                          index 00, version 01: C0 C1 C2 C3 C4 C5 C6 C7
//                                        0F 1E 2D 3C 4B 5A 69 78  (single-DES TAC key
//                                        CF DF EF FF 8F 9F AF BF)
//     PIN reload (DRPK)                  index 00, version 01: D0 D1 .. D7 11 22 33 44 55 66 77 88
//                                        (single-DES MAC key C1 F3 E1 97 81 B3 A1 5F)
//     PIN unblock (DPUK)                 index 00, version 01: E0 E1 .. EF
//     application maintenance (DAMK), the DF's secure-messaging key 00: 70 71 .. 7F
//     PIN 00 = "888888", sent packed as 88 88 88 (3 tries)
//   EF 0001 (SFI 01) ED purse: balance 50000 (0000C350, the overdraw credit included), overdraw
//     limit 10000 (002710), online counter 0005, offline counter 0003
//   EF 0002 (SFI 02) EP purse: balance 10000 (00002710), online counter 0002, offline counter 0007
//   EF 0017 (SFI 17) linear fixed, the compound-purchase records: 3 records of 16 bytes, all 00;
//     read and updated always (plain or with a MAC under DAMK)

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

inline constexpr std::uint16_t kPurseAppId = 0x1002;
inline constexpr std::array<std::uint8_t, 9> kPurseAppName = {0xA0, 0x00, 0x00, 0x00, 0x03,
                                                              0x86, 0x98, 0x07, 0x01};
inline constexpr std::uint8_t kPurchaseKeyIndex = 0x01, kPurchaseKeyVersion = 0x01;
inline constexpr std::uint8_t kLoadKeyIndex = 0x01, kLoadKeyVersion = 0x02;
inline constexpr std::uint8_t kUnloadKeyIndex = 0x01, kUnloadKeyVersion = 0x03;
inline constexpr std::uint8_t kUpdateKeyIndex = 0x01, kUpdateKeyVersion = 0x04;
inline constexpr std::uint8_t kTacKeyIndex = 0x00, kPinReloadKeyIndex = 0x00, kPinUnblockKeyIndex = 0x00;
inline constexpr std::uint8_t kOtherKeysVersion = 0x01;
inline constexpr std::uint8_t kPurseAlgorithm = 0x00;
inline constexpr std::array<std::uint8_t, 16> kPurchaseKey = countingKey(0x80);
inline constexpr std::array<std::uint8_t, 16> kLoadKey = countingKey(0x90);
inline constexpr std::array<std::uint8_t, 16> kUnloadKey = countingKey(0xA0);
inline constexpr std::array<std::uint8_t, 16> kUpdateKey = countingKey(0xB0);
inline constexpr std::array<std::uint8_t, 16> kTacKey = {0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7,
                                                         0x0F, 0x1E, 0x2D, 0x3C, 0x4B, 0x5A, 0x69, 0x78};
inline constexpr std::array<std::uint8_t, 16> kPinReloadKey = {
    0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
inline constexpr std::array<std::uint8_t, 16> kPinUnblockKey = countingKey(0xE0);
inline constexpr std::array<std::uint8_t, 16> kMaintenanceKey = countingKey(0x70);
inline constexpr std::uint8_t kMaintenanceKeyId = 0x00;
inline constexpr std::array<std::uint8_t, 3> kPursePin = {0x88, 0x88, 0x88};  // "888888"

inline constexpr std::uint16_t kEdId = 0x0001, kEpId = 0x0002;
inline constexpr std::uint8_t kEdSfi = 0x01, kEpSfi = 0x02;
inline constexpr std::uint32_t kEdBalance = 50000, kEdOverdrawLimit = 10000;
inline constexpr std::uint16_t kEdOnlineCounter = 0x0005, kEdOfflineCounter = 0x0003;
inline constexpr std::uint32_t kEpBalance = 10000;
inline constexpr std::uint16_t kEpOnlineCounter = 0x0002, kEpOfflineCounter = 0x0007;
inline constexpr std::uint16_t kCappId = 0x0017;
inline constexpr std::uint8_t kCappSfi = 0x17;
inline constexpr std::size_t kCappRecordLength = 16, kCappRecords = 3;

// The file tree above, keys included.
std::unique_ptr<DedicatedFile> fileSystem();

// A COS over that file tree with the ISO/IEC 7816-4, FM personalisation and purse commands installed.
std::shared_ptr<CosCard> cos();

}  // namespace rfsim::cos::defaults
