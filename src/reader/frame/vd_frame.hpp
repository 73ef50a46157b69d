#pragma once
// Frames of the VD family (readers of type 1):
//   request  AA CMD    LEN_H LEN_L P0 P1 P2 P3 P4 data... C1 C2   LEN = 5 + data length
//   reply    55 STATUS LEN_H LEN_L data (LEN bytes)...    C1 C2
// C1 and C2 are derived from the XOR and the sum of every byte before them through two 16-byte
// tables the reader firmware shares. Pure functions.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

namespace Orvane::vd_frame {

inline constexpr std::size_t kCapacity = 65541;  // LEN 65535 + 6
inline constexpr std::size_t kMinReply = 6;
inline constexpr std::size_t kParamsOffset = 4;
inline constexpr std::size_t kPayloadOffset = 9;
inline constexpr std::size_t kMaxDataLength = 65530;  // LEN = n + 5 must fit 16 bits
// Reply bytes replyLength reads: 55 STATUS LEN_H LEN_L.
inline constexpr std::size_t kReplyHead = 4;

// C1, C2 over the given bytes.
std::pair<std::uint8_t, std::uint8_t> checkBytes(std::span<const std::uint8_t> bytes);

// Completes the request whose command is at byte 1, parameter block at byte 4 and data at byte 9.
// Returns the frame length, or 0 when the frame does not fit.
std::size_t sealRequest(std::span<std::uint8_t> frame, std::size_t dataLength);

// The length of the whole reply (LEN + 6, at most kCapacity) that starts with `head`; nullopt while
// fewer than kReplyHead bytes are in. Looks at LEN only: checkReply judges the rest.
std::optional<std::size_t> replyLength(std::span<const std::uint8_t> head);

// Checks a reply: -1 too short, -2 header or LEN wrong, -3 check bytes wrong; otherwise the status.
int checkReply(std::span<const std::uint8_t> reply);

// The LEN field of a frame of at least kReplyHead bytes (big-endian on the wire).
std::uint16_t lengthField(std::span<const std::uint8_t> frame);

}  // namespace Orvane::vd_frame
