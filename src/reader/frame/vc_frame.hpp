#pragma once
// Frames of the VC family (readers of types 3, 5):
//   request  AA 66 ADDR 00 LEN_H LEN_L CMD data...        SUM   LEN = data length
//   reply    AA 55 any  00 LEN_H LEN_L CMD STATUS data... SUM   LEN = 1 + data length, non-zero
// SUM is the byte sum (mod 256) from byte 2 through the byte before it. Pure functions.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace Orvane::vc_frame {

inline constexpr std::size_t kCapacity = 65543;  // LEN 65535 + 8
inline constexpr std::size_t kMinReply = 8;
inline constexpr std::size_t kCommandOffset = 6;
inline constexpr std::size_t kDataOffset = 7;
inline constexpr std::size_t kPayloadOffset = 8;  // reply data after the status
// Reply bytes replyLength reads: AA 55 ADDR 00 LEN_H LEN_L CMD.
inline constexpr std::size_t kReplyHead = 7;

// Completes the request whose command is at byte 6 and whose data is at byte 7. Returns the frame
// length, or 0 when the frame does not fit.
std::size_t sealRequest(std::span<std::uint8_t> frame, std::uint16_t dataLength, std::uint8_t deviceAddress);

// The length of the whole reply (LEN + 8, at most kCapacity) that starts with `head`; nullopt while
// fewer than kReplyHead bytes are in. Looks at LEN only: checkReply judges the rest.
std::optional<std::size_t> replyLength(std::span<const std::uint8_t> head);

// Checks a reply to `command`: -1 too short, -2 header, LEN or echoed command wrong, -3 SUM wrong;
// otherwise the status byte.
int checkReply(std::span<const std::uint8_t> reply, std::uint8_t command);

// The LEN field of a frame of at least kMinReply bytes (big-endian on the wire).
std::uint16_t lengthField(std::span<const std::uint8_t> frame);

}  // namespace Orvane::vc_frame
