#pragma once
// Request frames of the three reader families built by hand, and their replies taken apart, for
// driving a simulated firmware at the byte level.

#include <gtest/gtest.h>

#include "sim/firmware/check_bytes.hpp"
#include "sim/firmware/firmware.hpp"
#include "support/hex_bytes.hpp"

namespace family_frames {

// Header bytes followed by data (built by appending: GCC 12 warns wrongly about inserting into a
// vector made from an initializer list).
inline Bytes join(std::initializer_list<std::uint8_t> head, const Bytes& data) {
    Bytes frame;
    frame.reserve(head.size() + data.size() + 2);
    for (const std::uint8_t byte : head)
        frame.push_back(byte);
    for (const std::uint8_t byte : data)
        frame.push_back(byte);
    return frame;
}

// FE 02 LEN CMD data CRC_H CRC_L
inline Bytes va(std::uint8_t command, const Bytes& data = {}) {
    Bytes frame = join({0xFE, 0x02, static_cast<std::uint8_t>(data.size() + 1), command}, data);
    const std::uint16_t crc = rfsim::check_bytes::crcCcitt(std::span(frame).subspan(2));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    return frame;
}

// AA 66 00 00 LEN_H LEN_L CMD data SUM
inline Bytes vc(std::uint8_t command, const Bytes& data = {}) {
    Bytes frame = join({0xAA, 0x66, 0x00, 0x00, static_cast<std::uint8_t>(data.size() >> 8),
                        static_cast<std::uint8_t>(data.size() & 0xFF), command},
                       data);
    frame.push_back(rfsim::check_bytes::additive(std::span(frame).subspan(2)));
    return frame;
}

// AA CMD LEN_H LEN_L P0..P4 data C1 C2
inline Bytes vd(std::uint8_t command, const Bytes& params, const Bytes& data = {}) {
    const std::size_t length = data.size() + 5;
    Bytes frame = join(
        {0xAA, command, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length & 0xFF)},
        params);
    frame.insert(frame.end(), data.begin(), data.end());
    const auto [c1, c2] = rfsim::check_bytes::vdPair(frame);
    frame.push_back(c1);
    frame.push_back(c2);
    return frame;
}

// Status and data of a reply frame; status 0xFF when the reader sent nothing.
struct Answer {
    std::uint8_t status = 0xFF;
    Bytes data;
    bool operator==(const Answer&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Answer& answer) {
    out << "status " << int(answer.status) << " data";
    for (const auto byte : answer.data)
        out << ' ' << std::hex << int(byte) << std::dec;
    return out;
}

inline Answer ok(std::string_view hex = "") {
    return {0x00, hexBytes(hex)};
}
inline Answer status(std::uint8_t value) {
    return {value, {}};
}

inline Answer vaAnswer(const Bytes& reply) {
    if (reply.size() < 6) return {};
    return {reply[3], Bytes(reply.begin() + 4, reply.end() - 2)};
}

inline Answer vcAnswer(const Bytes& reply) {
    if (reply.size() < 9) return {};
    return {reply[7], Bytes(reply.begin() + 8, reply.end() - 1)};
}

inline Answer vdAnswer(const Bytes& reply) {
    if (reply.size() < 6) return {};
    return {reply[1], Bytes(reply.begin() + 4, reply.end() - 2)};
}

}  // namespace family_frames
