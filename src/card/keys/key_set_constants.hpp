#pragma once
// The fixed bytes of this deployment's card key derivations (commands 405 and 406). The routines
// in card_key_sets.cpp fix only where each constant goes; the values are ours. Changing one changes
// every key derived from it: cards written with the old keys no longer open.

#include <array>
#include <cstdint>

namespace Orvane::key_set_constants {

// 405 type 0: XORed into key bytes 0, 1, 2, 3 and 5 (byte 4 takes none).
inline constexpr std::array<std::uint8_t, 5> kSectorKeyMix = {0x5A, 0xC3, 0x3C, 0xA5, 0x69};
// 405 type 1: the initial value of each output byte's CRC-8, all different.
inline constexpr std::array<std::uint8_t, 6> kCrcStarts = {0x1F, 0x2E, 0x3D, 0x4C, 0x5B, 0x6A};
// 405 type 2: k1 and k2 of sectors 1 to 15, and the mask of sector 0.
inline constexpr std::uint8_t kDealerK1 = 0x7C, kDealerK2 = 0xB6;
inline constexpr std::array<std::uint8_t, 6> kSectorZeroMask = {0xA1, 0x52, 0xE7, 0x38, 0xC9, 0x4D};

// 406 type 0: one 11-character label per key; characters 4 to 11 are mixed into the UID text.
inline constexpr char kLabelUser[] = "RFDOCK-USER";
inline constexpr char kLabelKey[] = "RFDOCK-KEYS";
inline constexpr char kLabelCode[] = "RFDOCK-CODE";
inline constexpr char kLabelDealer[] = "RFDOCK-JXSM";

// 406 type 1, per key (ACK, EAK2, EAK4, PK1, LK1, TAC): the offset added to S0 and the byte d.
inline constexpr std::array<std::uint8_t, 6> kSysKeyOffsets = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20};
inline constexpr std::array<std::uint8_t, 6> kSysKeyBytes = {0x11, 0x23, 0x35, 0x47, 0x59, 0x6B};
// 406 type 1: the two bytes that end the first block.
inline constexpr std::array<std::uint8_t, 2> kSysKeyTail = {0x9E, 0x37};

// 406 type 2: the masks of the arranged keys.
inline constexpr std::uint8_t kAndMask = 0x7F, kOrMask = 0x81, kXorMask = 0x5A;

}  // namespace Orvane::key_set_constants
