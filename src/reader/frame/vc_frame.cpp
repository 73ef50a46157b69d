#include "reader/frame/vc_frame.hpp"

#include "reader/frame/check_sums.hpp"

namespace Orvane::vc_frame {
namespace {

constexpr std::uint8_t kHeader0 = 0xAA;
constexpr std::uint8_t kRequest1 = 0x66;
constexpr std::uint8_t kReply1 = 0x55;

}  // namespace

std::uint16_t lengthField(std::span<const std::uint8_t> frame) {
    return static_cast<std::uint16_t>(frame[4] << 8 | frame[5]);
}

std::size_t sealRequest(std::span<std::uint8_t> frame, std::uint16_t dataLength, std::uint8_t deviceAddress) {
    const std::size_t length = std::size_t{dataLength} + kMinReply;
    if (frame.size() < length) return 0;
    frame[0] = kHeader0;
    frame[1] = kRequest1;
    frame[2] = deviceAddress;
    frame[3] = 0;
    frame[4] = static_cast<std::uint8_t>(dataLength >> 8);
    frame[5] = static_cast<std::uint8_t>(dataLength);
    frame[length - 1] = check_sums::sum8(frame.subspan(2, length - 3));
    return length;
}

std::optional<std::size_t> replyLength(std::span<const std::uint8_t> head) {
    if (head.size() < kReplyHead) return std::nullopt;
    return std::size_t{lengthField(head)} + 8;
}

int checkReply(std::span<const std::uint8_t> reply, std::uint8_t command) {
    const std::size_t r = reply.size();
    if (r < kMinReply) return -1;
    const std::uint16_t length = lengthField(reply);
    if (reply[0] != kHeader0 || reply[1] != kReply1 || reply[3] != 0 || length == 0 ||
        replyLength(reply) != r || reply[kCommandOffset] != command)
        return -2;
    if (check_sums::sum8(reply.subspan(2, r - 3)) != reply[r - 1]) return -3;
    return reply[kDataOffset];
}

}  // namespace Orvane::vc_frame
