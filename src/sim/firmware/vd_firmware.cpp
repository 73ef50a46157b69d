#include "sim/firmware/vd_firmware.hpp"

#include <algorithm>

#include "sim/firmware/check_bytes.hpp"

namespace rfsim {

VdFirmware::VdFirmware(Options options) {
    // Version read: data 00 n asks for up to n bytes of the version text.
    setCommand(0xB0, [text = options.versionText](const Request& r) -> std::optional<Reply> {
        if (r.data.size() != 2 || r.data[0] != 0x00) return Reply{kStatusBadParameter, {}};
        const std::size_t n = std::min<std::size_t>(text.size(), r.data[1]);
        return Reply{0x00, Bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n))};
    });
    setCommand(0xB4, [this](const Request& r) -> std::optional<Reply> {
        if (r.data.size() != 2 || r.data[0] != 0x00) return Reply{kStatusBadParameter, {}};
        state_.beeps.push_back(r.data[1]);
        return Reply{};
    });
    setCommand(0xBD, [this](const Request& r) -> std::optional<Reply> {
        if (r.data.size() != 1 || r.data[0] > 2) return Reply{kStatusBadParameter, {}};
        static constexpr Protocol kProtocols[] = {Protocol::iso14443A, Protocol::iso14443B,
                                                  Protocol::iso15693};
        state_.protocol = kProtocols[r.data[0]];
        return Reply{};
    });
    setCommand(0x4E, [this](const Request& r) -> std::optional<Reply> {
        if (r.data.size() != 2 || r.data[0] != 0x00 || r.data[1] != 0x01)
            return Reply{kStatusBadParameter, {}};
        ++state_.fieldResets;
        return Reply{};
    });
}

std::optional<std::size_t> VdFirmware::requestLength(std::span<const std::uint8_t> head) const {
    if (head.empty()) return std::nullopt;
    if (head[0] != 0xAA) return 0;
    if (head.size() < 4) return std::nullopt;
    const std::size_t length = std::size_t(head[2] << 8 | head[3]);
    if (length < 5) return 0;  // LEN counts the parameter block
    return length + 6;
}

std::optional<Request> VdFirmware::parse(std::span<const std::uint8_t> frame) const {
    if (frame.size() < 11 || frame[0] != 0xAA) return std::nullopt;
    if (frame.size() != std::size_t(frame[2] << 8 | frame[3]) + 6) return std::nullopt;
    const auto [c1, c2] = check_bytes::vdPair(frame.first(frame.size() - 2));
    if (frame[frame.size() - 2] != c1 || frame[frame.size() - 1] != c2) return std::nullopt;
    return Request{frame[1], frame.subspan(4, 5), frame.subspan(9, frame.size() - 11)};
}

Bytes VdFirmware::buildReply(std::span<const std::uint8_t>, const Request&, const Reply& reply) const {
    const std::size_t m = std::min<std::size_t>(reply.data.size(), 0xFFFF);
    Bytes out;
    out.reserve(m + 6);
    for (const std::uint8_t byte : {std::uint8_t{0x55}, reply.status, static_cast<std::uint8_t>(m >> 8),
                                    static_cast<std::uint8_t>(m & 0xFF)})
        out.push_back(byte);
    out.insert(out.end(), reply.data.begin(), reply.data.begin() + static_cast<std::ptrdiff_t>(m));
    const auto [c1, c2] = check_bytes::vdPair(out);
    out.push_back(c1);
    out.push_back(c2);
    return out;
}

}  // namespace rfsim
