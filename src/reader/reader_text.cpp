#include "reader/reader_text.hpp"

#include <cstdint>

namespace Orvane {
namespace {

// Length of the sequence a lead byte starts, 0 for a byte that cannot lead (RFC 3629: no C0, C1,
// nothing above F4).
std::size_t sequenceLength(std::uint8_t lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// The second byte's range narrows after E0 (no overlong forms), ED (no surrogates), F0 (no
// overlong forms) and F4 (nothing above U+10FFFF).
bool secondByteFits(std::uint8_t lead, std::uint8_t second) {
    switch (lead) {
        case 0xE0:
            return second >= 0xA0;
        case 0xED:
            return second < 0xA0;
        case 0xF0:
            return second >= 0x90;
        case 0xF4:
            return second < 0x90;
        default:
            return true;
    }
}

bool wellFormedAt(std::string_view bytes, std::size_t at, std::size_t length) {
    if (length == 0 || at + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
        if ((static_cast<std::uint8_t>(bytes[at + k]) & 0xC0) != 0x80) return false;
    }
    return length < 3 ||
           secondByteFits(static_cast<std::uint8_t>(bytes[at]), static_cast<std::uint8_t>(bytes[at + 1]));
}

}  // namespace

std::string validUtf8Text(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t length = sequenceLength(static_cast<std::uint8_t>(bytes[at]));
        if (wellFormedAt(bytes, at, length)) {
            text.append(bytes.substr(at, length));
            at += length;
        } else {
            text.push_back('?');
            ++at;
        }
    }
    return text;
}

}  // namespace Orvane
