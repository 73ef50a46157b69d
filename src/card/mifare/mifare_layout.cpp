#include "card/mifare/mifare_layout.hpp"

#include <cstdio>

namespace Orvane {

namespace mifare {

bool accessBytesConsistent(std::uint8_t byte6, std::uint8_t byte7, std::uint8_t byte8) {
    // byte 6 = ~C2 | ~C1, byte 7 = C1 | ~C3, byte 8 = C3 | C2 (high nibble | low nibble).
    const std::uint8_t inverted = static_cast<std::uint8_t>(byte6 ^ 0xFF);
    return (inverted & 0x0F) == (byte7 >> 4) && (inverted >> 4) == (byte8 & 0x0F) &&
           ((byte7 & 0x0F) ^ (byte8 >> 4)) == 0x0F;
}

std::string cardNumber(std::span<const std::uint8_t> uid) {
    std::array<std::uint8_t, 4> bytes{};
    const auto used = uid.size() <= 4 ? uid : uid.last(4);
    std::copy(used.begin(), used.end(), bytes.begin());
    const std::uint32_t number =
        bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    char text[11];
    std::snprintf(text, sizeof text, "%010u", number);
    return text;
}

}  // namespace mifare

bool accessBitsToText(std::span<const std::uint8_t, 4> bytes, std::string& text) {
    if (!mifare::accessBytesConsistent(bytes[0], bytes[1], bytes[2])) return false;
    const unsigned c1 = bytes[1] >> 4;
    const unsigned c2 = bytes[2] & 0x0F;
    const unsigned c3 = bytes[2] >> 4;
    std::string out;
    for (unsigned block = 0; block < 4; ++block) {
        if (block > 0) out += '|';
        out += static_cast<char>('0' + (c1 >> block & 1));
        out += static_cast<char>('0' + (c2 >> block & 1));
        out += static_cast<char>('0' + (c3 >> block & 1));
    }
    text = std::move(out);
    return true;
}

bool textToAccessBits(std::string_view text, std::array<std::uint8_t, 4>& bytes) {
    if (text.size() != 15) return false;
    unsigned c1 = 0, c2 = 0, c3 = 0;
    for (unsigned block = 0; block < 4; ++block) {
        const std::string_view bits = text.substr(block * 4, 3);
        c1 |= (bits[0] == '1' ? 1u : 0u) << block;
        c2 |= (bits[1] == '1' ? 1u : 0u) << block;
        c3 |= (bits[2] == '1' ? 1u : 0u) << block;
    }
    bytes[0] = static_cast<std::uint8_t>(~(c1 | c2 << 4));
    bytes[1] = static_cast<std::uint8_t>((c1 << 4 | c3) ^ 0x0F);
    bytes[2] = static_cast<std::uint8_t>(c2 | c3 << 4);
    bytes[3] = 0x69;
    return true;
}

}  // namespace Orvane
