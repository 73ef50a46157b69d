#include "sim/firmware/vc_firmware.hpp"

#include <algorithm>

#include "sim/firmware/check_bytes.hpp"

namespace rfsim {

VcFirmware::VcFirmware(Options options) {
    state_.baud = powerOnBaud_ = options.baud;
    setCommand(0x16, [version = options.version](const Request&) -> std::optional<Reply> {
        return Reply{0x00, Bytes(version.begin(), version.end())};
    });
    setCommand(0x1D, [this](const Request& r) -> std::optional<Reply> {
        if (r.data.size() != 1) return Reply{kStatusBadParameter, {}};
        state_.beeps.push_back(r.data[0]);
        return Reply{};
    });
    setCommand(0x6A, [this](const Request& r) -> std::optional<Reply> {
        if (r.data.size() != 1 || r.data[0] > 3) return Reply{kStatusBadParameter, {}};
        state_.leds.push_back(r.data[0]);
        return Reply{};
    });
    // Protocol letters: 'A' ISO 14443-A, 'B' ISO 14443-B, '1' ISO 15693.
    setCommand(0x3A, [this](const Request& r) -> std::optional<Reply> {
        if (r.data.size() != 1) return Reply{kStatusBadParameter, {}};
        switch (r.data[0]) {
            case 'A':
                state_.protocol = Protocol::iso14443A;
                break;
            case 'B':
                state_.protocol = Protocol::iso14443B;
                break;
            case '1':
                state_.protocol = Protocol::iso15693;
                break;
            default:
                return Reply{kStatusBadParameter, {}};
        }
        return Reply{};
    });
    setCommand(0x05, [this](const Request& r) -> std::optional<Reply> {
        if (r.data.size() != 1 || r.data[0] != 0x05) return Reply{kStatusBadParameter, {}};
        ++state_.fieldResets;
        return Reply{};
    });
}

std::optional<std::size_t> VcFirmware::requestLength(std::span<const std::uint8_t> head) const {
    const std::uint8_t expected[] = {0xAA, 0x66};
    for (std::size_t i = 0; i < 2; ++i) {
        if (head.size() <= i) return std::nullopt;
        if (head[i] != expected[i]) return 0;
    }
    if (head.size() < 4) return std::nullopt;
    if (head[3] != 0x00) return 0;
    if (head.size() < 6) return std::nullopt;
    return std::size_t(head[4] << 8 | head[5]) + 8;
}

std::optional<Request> VcFirmware::parse(std::span<const std::uint8_t> frame) const {
    if (frame.size() < 8 || frame[0] != 0xAA || frame[1] != 0x66 || frame[3] != 0x00) return std::nullopt;
    if (frame.size() != std::size_t(frame[4] << 8 | frame[5]) + 8) return std::nullopt;
    if (check_bytes::additive(frame.subspan(2, frame.size() - 3)) != frame.back()) return std::nullopt;
    return Request{frame[6], {}, frame.subspan(7, frame.size() - 8)};
}

Bytes VcFirmware::buildReply(std::span<const std::uint8_t> frame, const Request& request,
                             const Reply& reply) const {
    const std::size_t m = std::min<std::size_t>(reply.data.size(), 0xFFFE);
    const std::size_t length = m + 1;
    Bytes out;
    out.reserve(m + 9);
    for (const std::uint8_t byte : {std::uint8_t{0xAA}, std::uint8_t{0x55},
                                    frame[2],  // the device address of the request
                                    std::uint8_t{0x00}, static_cast<std::uint8_t>(length >> 8),
                                    static_cast<std::uint8_t>(length & 0xFF), request.command, reply.status})
        out.push_back(byte);
    out.insert(out.end(), reply.data.begin(), reply.data.begin() + static_cast<std::ptrdiff_t>(m));
    out.push_back(check_bytes::additive(std::span(out).subspan(2)));
    return out;
}

}  // namespace rfsim
