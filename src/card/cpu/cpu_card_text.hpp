#pragma once
// Texts and numbers shown to clients about an activated CPU card: the compatible card number and
// the ATS detail text.

#include <cstdint>
#include <span>
#include <string>

#include "crypto/buffer.hpp"

namespace Orvane {

// The 32-bit number older systems print for a card: UID bytes 0 to 3 for a 4-byte UID (or none),
// else the last four, read little-endian.
std::uint32_t compatibleCardNumber(std::span<const std::uint8_t> uid);
// The same, as ten decimal digits with leading zeros.
std::string compatibleCardNumberText(std::span<const std::uint8_t> uid);

// The ATS and the card's UID spelled out. The ATS bytes are read at fixed positions (T0 1, TA(1) 2,
// TC(1) 4, COS version 5, manufacturer 6) whichever interface bytes T0 announces; positions past
// the ATS read as 0. An empty store, and a store that cannot hold 16 bytes, give a short text.
std::string atsDetailText(IBuffer& atsStore, std::span<const std::uint8_t> uid);

}  // namespace Orvane
