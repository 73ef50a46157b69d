#pragma once
// Commands of the VD reader family (type 1), the CMD byte of a VD request, and the five-byte
// parameter blocks (P0..P4) that go with them: P0 names the layer the command works on.

#include <array>
#include <cstdint>

namespace Orvane::vd {

using Params = std::array<std::uint8_t, 5>;

// The parameter block of every reader-level command.
inline constexpr Params kReaderParams{0x80, 0x00, 0x00, 0x00, 0x00};
// The parameter block of ISO 14443-3 commands (request, anticollision, select, halt).
inline constexpr Params kLayer3Params{0x10, 0x00, 0x00, 0x00, 0x00};
// The parameter block of ISO 14443-4 commands (RATS, exchange, deselect).
inline constexpr Params kLayer4Params{0x14, 0x00, 0x00, 0x00, 0x00};
// The parameter block of Mifare Classic commands, which carries the block number in P4.
constexpr Params mifareParams(std::uint8_t block) {
    return {0x13, 0x00, 0x00, 0x00, block};
}

// --- reader level (kReaderParams)
// Data: kIdentifyData (the longest text wanted, big-endian); replies with the version text.
inline constexpr std::uint8_t kIdentify = 0xB0;
inline constexpr std::array<std::uint8_t, 2> kIdentifyData{0x00, 0x20};
// Data: 00 and the beep length in milliseconds.
inline constexpr std::uint8_t kBeep = 0xB4;
// Data: one protocol value below.
inline constexpr std::uint8_t kSetProtocol = 0xBD;
inline constexpr std::uint8_t kProtocolIso14443A = 0;
inline constexpr std::uint8_t kProtocolIso14443B = 1;
inline constexpr std::uint8_t kProtocolIso15693 = 2;
// Data: kRfResetData. Switches the field off and on again.
inline constexpr std::uint8_t kRfReset = 0x4E;
inline constexpr std::array<std::uint8_t, 2> kRfResetData{0x00, 0x01};

// --- ISO 14443-A (kLayer3Params; the program runs the cascade)
// Data: 00 (REQA) or 01 (WUPA); replies with the ATQA, low byte first.
inline constexpr std::uint8_t kRequest = 0x41;
inline constexpr std::uint8_t kRequestIdle = 0x00;
inline constexpr std::uint8_t kRequestWake = 0x01;
// Data: 00; replies with the four level-1 bytes (cascade tag included).
inline constexpr std::uint8_t kAnticollisionLevel1 = 0x42;
// Data: the four level-1 bytes; replies with the SAK.
inline constexpr std::uint8_t kSelectLevel1 = 0x43;
// Data: SEL of level 2 or 3, then 00; replies with that level's four bytes.
inline constexpr std::uint8_t kAnticollisionHigher = 0x46;
// Data: SEL of level 2 or 3, then that level's four bytes; replies with the SAK.
inline constexpr std::uint8_t kSelectHigher = 0x47;
inline constexpr std::uint8_t kHalt = 0x45;

// --- ISO 14443-4 (kLayer4Params)
// Replies with the ATS.
inline constexpr std::uint8_t kRats = 0x5A;
// Data: 00 00 00, the command length, the command; replies with two bytes, the response length
// (big-endian) and the response.
inline constexpr std::uint8_t kIso4Exchange = 0x5B;
inline constexpr std::uint8_t kDeselect = 0x5C;

// --- Mifare Classic on the selected card (mifareParams(block))
// Data: 00 (Key A) or 01 (Key B), then the six key bytes.
inline constexpr std::uint8_t kMifareAuthenticate = 0x5F;
// Replies with the block's 16 bytes.
inline constexpr std::uint8_t kMifareRead = 0x61;
// Data: the block's 16 bytes.
inline constexpr std::uint8_t kMifareWrite = 0x60;

}  // namespace Orvane::vd
