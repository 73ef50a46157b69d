#pragma once
// PIN digits as cards take them: decimal digits two to a byte, an odd count ending in the nibble F.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace Orvane {

// Nullopt for anything but digits, or for more than `maxDigits` of them.
std::optional<std::vector<std::uint8_t>> packPinDigits(std::string_view digits, std::size_t maxDigits);

}  // namespace Orvane
