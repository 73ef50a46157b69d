#pragma once
// Byte vectors written as hex text in tests: hexBytes("FE 02 01 10").

#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "crypto/hex.hpp"

using Bytes = std::vector<std::uint8_t>;

inline Bytes hexBytes(std::string_view text) {
    auto bytes = Orvane::hexDecode(text);
    if (!bytes) throw std::invalid_argument("bad hex in test");
    return *bytes;
}
