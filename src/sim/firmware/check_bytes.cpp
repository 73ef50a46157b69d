#include "sim/firmware/check_bytes.hpp"

namespace rfsim::check_bytes {

std::uint16_t crcCcitt(std::span<const std::uint8_t> bytes) {
    unsigned crc = 0xFFFF;
    for (const std::uint8_t byte : bytes) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool top = ((crc >> 15) & 1u) != ((byte >> bit) & 1u);
            crc = ((crc << 1) & 0xFFFF) ^ (top ? 0x1021u : 0u);
        }
    }
    return static_cast<std::uint16_t>(crc);
}

std::uint8_t additive(std::span<const std::uint8_t> bytes) {
    unsigned total = 0;
    for (const std::uint8_t byte : bytes)
        total += byte;
    return static_cast<std::uint8_t>(total % 256);
}

std::pair<std::uint8_t, std::uint8_t> vdPair(std::span<const std::uint8_t> bytes) {
    static const std::uint8_t kA[16] = {0x9A, 0x39, 0xAA, 0x96, 0x18, 0x64, 0x37, 0x12,
                                        0x2B, 0xC5, 0x64, 0xF3, 0x72, 0x69, 0x33, 0x11};
    static const std::uint8_t kB[16] = {0x39, 0x5A, 0xC7, 0xF1, 0x2B, 0x4D, 0x75, 0x88,
                                        0x64, 0x38, 0xAA, 0xA5, 0x55, 0x37, 0xD2, 0x03};
    unsigned x = 0;
    unsigned sum = 0;
    for (const std::uint8_t byte : bytes) {
        x ^= byte;
        sum += byte;
    }
    const unsigned c1 = (x + kA[x & 15] + kB[x & 15]) & 0xFF;
    const unsigned y = (c1 + sum) & 0xFF;
    const unsigned c2 = (y + kA[y & 15] + kB[y & 15]) & 0xFF;
    return {static_cast<std::uint8_t>(c1), static_cast<std::uint8_t>(c2)};
}

}  // namespace rfsim::check_bytes
