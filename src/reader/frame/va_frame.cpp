#include "reader/frame/va_frame.hpp"

#include <array>

namespace Orvane::va_frame {
namespace {

constexpr std::uint8_t kHeader0 = 0xFE;
constexpr std::uint8_t kHeader1 = 0x02;

// Built once, at compile time: entry i is the CRC register after shifting byte i through it.
constexpr std::array<std::uint16_t, 256> makeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t crc = static_cast<std::uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        table[i] = crc;
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kCrcTable = makeCrcTable();

}  // namespace

std::uint16_t crc16(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t byte : bytes)
        crc = static_cast<std::uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ byte) & 0xFF]);
    return crc;
}

std::size_t sealRequest(std::span<std::uint8_t> frame, std::size_t dataLength) {
    const std::size_t length = dataLength + kMinReply;
    if (dataLength > kMaxDataLength || frame.size() < length) return 0;
    frame[0] = kHeader0;
    frame[1] = kHeader1;
    frame[2] = static_cast<std::uint8_t>(dataLength + 1);
    const std::uint16_t crc = crc16(frame.subspan(2, dataLength + 2));
    frame[length - 2] = static_cast<std::uint8_t>(crc >> 8);
    frame[length - 1] = static_cast<std::uint8_t>(crc);
    return length;
}

std::optional<std::size_t> replyLength(std::span<const std::uint8_t> head) {
    if (head.size() < kReplyHead) return std::nullopt;
    return std::size_t{head[2]} + 5;
}

int checkReply(std::span<const std::uint8_t> reply) {
    const std::size_t r = reply.size();
    if (r < kMinReply) return -1;
    if (reply[0] != kHeader0 || reply[1] != kHeader1 || replyLength(reply) != r) return -2;
    const std::uint16_t crc = crc16(reply.subspan(2, r - 4));
    if (reply[r - 2] != (crc >> 8) || reply[r - 1] != (crc & 0xFF)) return -3;
    const std::uint8_t status = reply[3];
    return (status == 0x10 || status == 0x18) ? 0 : status;
}

std::optional<std::uint8_t> baudCode(std::uint32_t baud) {
    switch (baud) {
        case 9600:
            return 0;
        case 19200:
            return 1;
        case 38400:
            return 2;
        case 57600:
            return 3;
        case 115200:
            return 4;
        default:
            return std::nullopt;
    }
}

std::string rebrandProductText(std::string_view text) {
    std::string result(text);
    if (result.size() >= 2) {
        if (const auto at = result.find("QX"); at != std::string::npos) result.replace(at, 2, "VA_");
    }
    if (result.size() >= 5) {
        if (const auto at = result.find("Zorla"); at != std::string::npos) result.replace(at, 5, "Tesmar");
    }
    return result;
}

}  // namespace Orvane::va_frame
