#include "card/cpu/pin_digits.hpp"

#include <algorithm>

namespace Orvane {

std::optional<std::vector<std::uint8_t>> packPinDigits(std::string_view digits, std::size_t maxDigits) {
    if (digits.size() > maxDigits) return std::nullopt;
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::vector<std::uint8_t> packed((digits.size() + 1) / 2, 0);
    for (std::size_t i = 0; i < digits.size(); ++i)
        packed[i / 2] |= static_cast<std::uint8_t>((digits[i] - '0') << (i % 2 ? 0 : 4));
    if (digits.size() % 2) packed.back() |= 0x0F;
    return packed;
}

}  // namespace Orvane
