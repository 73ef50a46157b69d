#pragma once
// Frames of the VA family (readers of types 2, 4, 6):
//   request  FE 02 LEN CMD    data... CRC_H CRC_L   LEN = 1 + data length
//   reply    FE 02 LEN STATUS data... CRC_H CRC_L   LEN = 1 + data length
// CRC-16/CCITT-FALSE over LEN through the last data byte. Pure functions over the frame bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace Orvane::va_frame {

inline constexpr std::size_t kCapacity = 260;  // largest frame: LEN 255 + 5
inline constexpr std::size_t kMinReply = 6;    // header, LEN, status, CRC
inline constexpr std::size_t kDataOffset = 4;
inline constexpr std::size_t kMaxDataLength = 254;  // LEN = 1 + n must fit its byte
// Reply bytes replyLength reads: FE 02 LEN STATUS.
inline constexpr std::size_t kReplyHead = 4;

// CRC-16/CCITT-FALSE: polynomial 0x1021, initial 0xFFFF, not reflected, no final XOR.
std::uint16_t crc16(std::span<const std::uint8_t> bytes);

// Completes the request whose command is at byte 3 and whose `dataLength` data bytes are at
// byte 4: header, LEN and CRC. Returns the frame length, or 0 when the frame does not fit.
std::size_t sealRequest(std::span<std::uint8_t> frame, std::size_t dataLength);

// The length of the whole reply (LEN + 5, at most kCapacity) that starts with `head`; nullopt while
// fewer than kReplyHead bytes are in. Looks at LEN only: checkReply judges the rest.
std::optional<std::size_t> replyLength(std::span<const std::uint8_t> head);

// Checks a reply of reply.size() bytes: -1 too short, -2 header or LEN wrong, -3 CRC wrong;
// otherwise 0 when the status is a success status (0x00, 0x10, 0x18), else the status.
int checkReply(std::span<const std::uint8_t> reply);

// The reader's own code for its UART rate (va::kSetBaud): 9,600 -> 0 ... 115,200 -> 4.
std::optional<std::uint8_t> baudCode(std::uint32_t baud);

// The identify reply's product text as shown to users: the first "QX" becomes "VA_", then the
// first "Zorla" becomes "Tesmar".
std::string rebrandProductText(std::string_view text);

}  // namespace Orvane::va_frame
