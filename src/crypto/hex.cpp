#include "crypto/hex.hpp"

namespace Orvane {
namespace {

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isSeparator(char c) {
    switch (c) {
        case ' ':
        case '\r':
        case '\n':
        case '{':
        case '}':
        case '-':
        case ',':
        case 'H':
        case 'h':
        case '\'':
        case '"':
            return true;
        default:
            return false;
    }
}

// "0x" is a prefix only where a digit pair would start and a digit follows it.
bool isPrefixAt(std::string_view text, std::size_t i) {
    return i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
           digitValue(text[i + 2]) >= 0;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> hexDecode(std::string_view text, std::size_t maxBytes,
                                                   std::optional<std::uint8_t> padLowNibble) {
    std::vector<std::uint8_t> out;
    out.reserve(std::min(text.size() / 2, maxBytes));
    int high = -1;  // first digit of a pair awaiting its second
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (high < 0 && isPrefixAt(text, i)) {
            ++i;
            continue;
        }
        const int v = digitValue(c);
        if (v < 0) {
            if (isSeparator(c)) continue;
            return std::nullopt;
        }
        if (high < 0) {
            high = v;
            continue;
        }
        if (out.size() == maxBytes) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(high << 4 | v));
        high = -1;
    }
    if (high >= 0) {
        if (!padLowNibble || out.size() == maxBytes) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(high << 4 | (*padLowNibble & 0x0F)));
    }
    return out;
}

std::string hexEncode(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out(bytes.size() * 2, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out[2 * i] = kDigits[bytes[i] >> 4];
        out[2 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    return out;
}

}  // namespace Orvane
