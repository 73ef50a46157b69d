#include "sim/firmware/va_firmware.hpp"

#include <algorithm>

#include "sim/firmware/check_bytes.hpp"

namespace rfsim {
namespace {

// The rate codes of command 0x1C, in code order.
constexpr std::uint32_t kRates[] = {9600, 19200, 38400, 57600, 115200};

}  // namespace

VaFirmware::VaFirmware(Options options) {
    state_.baud = powerOnBaud_ = options.baud;
    setCommand(0x10, [text = options.productText](const Request& r) -> std::optional<Reply> {
        if (!r.data.empty()) return Reply{kStatusBadParameter, {}};
        return Reply{0x00, Bytes(text.begin(), text.end())};
    });
    setCommand(0x1B, [this](const Request& r) -> std::optional<Reply> {
        if (r.data.size() != 1) return Reply{kStatusBadParameter, {}};
        state_.beeps.push_back(r.data[0]);
        return Reply{};
    });
    // The reader answers at the old rate, then switches its UART.
    setCommand(0x1C, [this](const Request& r) -> std::optional<Reply> {
        if (r.data.size() != 1 || r.data[0] >= std::size(kRates)) return Reply{kStatusBadParameter, {}};
        if (state_.baud != 0) state_.baud = kRates[r.data[0]];
        return Reply{};
    });
    setCommand(0x2D, [this](const Request&) -> std::optional<Reply> {
        ++state_.fieldResets;
        return Reply{};
    });
}

std::optional<std::size_t> VaFirmware::requestLength(std::span<const std::uint8_t> head) const {
    if (head.empty()) return std::nullopt;
    if (head[0] != 0xFE) return 0;
    if (head.size() < 2) return std::nullopt;
    if (head[1] != 0x02) return 0;
    if (head.size() < 3) return std::nullopt;
    if (head[2] == 0) return 0;  // LEN counts at least the command byte
    return std::size_t{head[2]} + 5;
}

std::optional<Request> VaFirmware::parse(std::span<const std::uint8_t> frame) const {
    if (frame.size() < 6 || frame[0] != 0xFE || frame[1] != 0x02 || frame.size() != std::size_t{frame[2]} + 5)
        return std::nullopt;
    const std::uint16_t crc = check_bytes::crcCcitt(frame.subspan(2, frame.size() - 4));
    if (frame[frame.size() - 2] != (crc >> 8) || frame[frame.size() - 1] != (crc & 0xFF)) return std::nullopt;
    return Request{frame[3], {}, frame.subspan(4, frame.size() - 6)};
}

Bytes VaFirmware::buildReply(std::span<const std::uint8_t>, const Request&, const Reply& reply) const {
    const std::size_t m = std::min<std::size_t>(reply.data.size(), 254);
    Bytes out;
    out.reserve(m + 6);
    for (const std::uint8_t byte :
         {std::uint8_t{0xFE}, std::uint8_t{0x02}, static_cast<std::uint8_t>(m + 1), reply.status})
        out.push_back(byte);
    out.insert(out.end(), reply.data.begin(), reply.data.begin() + static_cast<std::ptrdiff_t>(m));
    const std::uint16_t crc = check_bytes::crcCcitt(std::span(out).subspan(2));
    out.push_back(static_cast<std::uint8_t>(crc >> 8));
    out.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    return out;
}

}  // namespace rfsim
