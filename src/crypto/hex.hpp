#pragma once
// Hexadecimal byte strings as clients send and receive them.
//
// Requests: digit pairs in either case; "0x" in front of a digit pair is skipped; the characters
// space, CR, LF, '{', '}', '-', ',', 'H', 'h', '\'' and '"' are separators and skipped.
// Replies: upper-case digits without separators.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Orvane {

// Decodes request text; nullopt when a character is neither a digit nor a separator, the digit count
// is odd (and not padded) or the result is longer than maxBytes. A field that pads an odd last digit
// passes the low nibble to give it (e.g. 0x0F).
std::optional<std::vector<std::uint8_t>> hexDecode(std::string_view text, std::size_t maxBytes = SIZE_MAX,
                                                   std::optional<std::uint8_t> padLowNibble = std::nullopt);

// Upper-case digits without separators.
std::string hexEncode(std::span<const std::uint8_t> bytes);

}  // namespace Orvane
