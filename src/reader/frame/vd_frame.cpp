#include "reader/frame/vd_frame.hpp"

#include <array>

#include "reader/frame/check_sums.hpp"

namespace Orvane::vd_frame {
namespace {

constexpr std::uint8_t kRequestHeader = 0xAA;
constexpr std::uint8_t kReplyHeader = 0x55;

constexpr std::array<std::uint8_t, 16> kTableA{0x9A, 0x39, 0xAA, 0x96, 0x18, 0x64, 0x37, 0x12,
                                               0x2B, 0xC5, 0x64, 0xF3, 0x72, 0x69, 0x33, 0x11};
constexpr std::array<std::uint8_t, 16> kTableB{0x39, 0x5A, 0xC7, 0xF1, 0x2B, 0x4D, 0x75, 0x88,
                                               0x64, 0x38, 0xAA, 0xA5, 0x55, 0x37, 0xD2, 0x03};

std::uint8_t mix(std::uint8_t value) {
    return static_cast<std::uint8_t>(value + kTableA[value % 16] + kTableB[value % 16]);
}

}  // namespace

std::uint16_t lengthField(std::span<const std::uint8_t> frame) {
    return static_cast<std::uint16_t>(frame[2] << 8 | frame[3]);
}

std::pair<std::uint8_t, std::uint8_t> checkBytes(std::span<const std::uint8_t> bytes) {
    const std::uint8_t c1 = mix(check_sums::xor8(bytes));
    const std::uint8_t c2 = mix(static_cast<std::uint8_t>(c1 + check_sums::sum8(bytes)));
    return {c1, c2};
}

std::size_t sealRequest(std::span<std::uint8_t> frame, std::size_t dataLength) {
    const std::size_t length = dataLength + 11;
    if (dataLength > kMaxDataLength || frame.size() < length) return 0;
    const std::size_t lengthValue = dataLength + 5;
    frame[0] = kRequestHeader;
    frame[2] = static_cast<std::uint8_t>(lengthValue >> 8);
    frame[3] = static_cast<std::uint8_t>(lengthValue);
    const auto [c1, c2] = checkBytes(frame.first(length - 2));
    frame[length - 2] = c1;
    frame[length - 1] = c2;
    return length;
}

std::optional<std::size_t> replyLength(std::span<const std::uint8_t> head) {
    if (head.size() < kReplyHead) return std::nullopt;
    return std::size_t{lengthField(head)} + 6;
}

int checkReply(std::span<const std::uint8_t> reply) {
    const std::size_t r = reply.size();
    if (r < kMinReply) return -1;
    if (reply[0] != kReplyHeader || replyLength(reply) != r) return -2;
    const auto [c1, c2] = checkBytes(reply.first(r - 2));
    if (reply[r - 2] != c1 || reply[r - 1] != c2) return -3;
    return reply[1];
}

}  // namespace Orvane::vd_frame
