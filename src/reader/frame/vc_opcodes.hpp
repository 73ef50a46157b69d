#pragma once
// Commands of the VC reader family (types 3, 5), the CMD byte of a VC request, with the fixed data
// bytes the reader expects of them. The reply echoes CMD before its status.

#include <cstdint>

namespace Orvane::vc {

// --- reader level
// Replies with the two version bytes.
inline constexpr std::uint8_t kIdentify = 0x16;
// Data: one byte, the beep length in units of 2 ms.
inline constexpr std::uint8_t kBeep = 0x1D;
// Data: one of the LED codes below; one LED per command.
inline constexpr std::uint8_t kLed = 0x6A;
inline constexpr std::uint8_t kLedYellowOff = 0x00;
inline constexpr std::uint8_t kLedGreenOff = 0x01;
inline constexpr std::uint8_t kLedGreenOn = 0x02;
inline constexpr std::uint8_t kLedYellowOn = 0x03;
// Data: one protocol letter below.
inline constexpr std::uint8_t kSetProtocol = 0x3A;
inline constexpr std::uint8_t kProtocolIso14443A = 0x41;  // 'A'
inline constexpr std::uint8_t kProtocolIso14443B = 0x42;  // 'B'
inline constexpr std::uint8_t kProtocolIso15693 = 0x31;   // '1'
// Data: kRfResetData. Switches the field off and on again.
inline constexpr std::uint8_t kRfReset = 0x05;
inline constexpr std::uint8_t kRfResetData = 0x05;

// --- ISO 14443-A (the reader runs the cascade itself)
// Data: the card command, 26 (REQA) or 52 (WUPA); replies with the ATQA, low byte first.
inline constexpr std::uint8_t kRequest = 0x46;
// Data: kAnticollisionData; replies with the whole UID (4, 7 or 10 bytes).
inline constexpr std::uint8_t kAnticollision = 0x47;
inline constexpr std::uint8_t kAnticollisionData = 0x04;
// Data: the UID; replies with the SAK.
inline constexpr std::uint8_t kSelect = 0x48;
inline constexpr std::uint8_t kHalt = 0x29;
// Data: the wake-up card command (52): wake-up, anticollision, select and RATS in one; replies with
// the four level-1 UID bytes and the ATS.
inline constexpr std::uint8_t kActivate = 0x53;
// Data: an ISO 14443-4 command for the activated card; replies with its response.
inline constexpr std::uint8_t kIso4Exchange = 0x54;
// Ends the ISO 14443-4 session of the activated card.
inline constexpr std::uint8_t kDeselect = 0x6B;

// --- Mifare Classic on the selected card
// Data: 60 (Key A) or 61 (Key B), the block, the six key bytes.
inline constexpr std::uint8_t kMifareAuthenticate = 0x4A;
// Data: the block; replies with its 16 bytes.
inline constexpr std::uint8_t kMifareRead = 0x4B;
// Data: the block, then its 16 bytes.
inline constexpr std::uint8_t kMifareWrite = 0x4C;

// --- page tags (NTAG21x command set) on the selected tag; 0x4B and 0x4C read 4 pages and write one
// Data: first and last page; replies with their bytes (FAST_READ).
inline constexpr std::uint8_t kPageFastRead = 0x88;
// Data: the 4 password bytes; replies with the 2 PACK bytes (PWD_AUTH).
inline constexpr std::uint8_t kPagePwdAuth = 0x8A;
// Replies with the 8 version bytes (GET_VERSION).
inline constexpr std::uint8_t kPageGetVersion = 0x87;
// Replies with the 3 bytes of the NFC counter, least significant first (READ_CNT).
inline constexpr std::uint8_t kPageReadCounter = 0x89;
// Replies with the originality signature (READ_SIG).
inline constexpr std::uint8_t kPageReadSignature = 0x8B;

}  // namespace Orvane::vc
