#pragma once
// Shared pieces of the cipher and digest tests: provider loading and hexadecimal literals.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "crypto/hex.hpp"
#include "crypto/providers.hpp"
#include "crypto/std_buf.hpp"

using Bytes = std::vector<std::uint8_t>;

// Hexadecimal text to bytes; spaces may separate groups.
inline Bytes hexBytes(const std::string& text) {
    auto bytes = Orvane::hexDecode(text);
    EXPECT_TRUE(bytes.has_value()) << text;
    return bytes.value_or(Bytes{});
}

inline Bytes contents(const Orvane::IBuffer& buffer) {
    return Bytes(buffer.data(), buffer.data() + buffer.size());
}

// Single DES, MD4 and Whirlpool live in OpenSSL's "legacy" provider; a test suite that needs them
// derives from this and gets both providers loaded once.
class WithCryptoProviders : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        const auto status = Orvane::loadCryptoProviders();
        ASSERT_TRUE(status.defaults);
        ASSERT_TRUE(status.legacy) << "OpenSSL legacy provider (legacy.so) not found";
    }
};
