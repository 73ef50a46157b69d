#include "crypto/hex.hpp"

#include <gtest/gtest.h>

using Orvane::hexDecode;
using Orvane::hexEncode;
using Bytes = std::vector<std::uint8_t>;

struct DecodeCase {
    const char* text;
    std::optional<Bytes> expected;
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class HexDecode : public testing::TestWithParam<DecodeCase> {};

TEST_P(HexDecode, FollowsTheRequestRule) {
    EXPECT_EQ(hexDecode(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HexDecode,
    testing::Values(DecodeCase{"", Bytes{}}, DecodeCase{"00ff7A", Bytes{0x00, 0xFF, 0x7A}},
                    DecodeCase{"0x1234", Bytes{0x12, 0x34}}, DecodeCase{"0X12 0x34", Bytes{0x12, 0x34}},
                    DecodeCase{"{12,34}", Bytes{0x12, 0x34}}, DecodeCase{"12-34-56", Bytes{0x12, 0x34, 0x56}},
                    DecodeCase{"12H 34h", Bytes{0x12, 0x34}}, DecodeCase{"'12'\"34\"\r\n", Bytes{0x12, 0x34}},
                    DecodeCase{"1 2", Bytes{0x12}},     // a pair may straddle a separator
                    DecodeCase{"1 0x2", std::nullopt},  // "0x" inside a pair is no prefix
                    DecodeCase{"100x12", Bytes{0x10, 0x12}}, DecodeCase{"0x", std::nullopt},
                    DecodeCase{"123", std::nullopt}, DecodeCase{"12 g4", std::nullopt},
                    DecodeCase{"12\t34", std::nullopt}, DecodeCase{"\xE4\xB8\xAD", std::nullopt}));

TEST(HexDecodeLimits, RefusesMoreThanTheFieldHolds) {
    EXPECT_EQ(hexDecode("112233", 3), (Bytes{0x11, 0x22, 0x33}));
    EXPECT_EQ(hexDecode("11223344", 3), std::nullopt);
    EXPECT_EQ(hexDecode("123", 2, 0x0F), (Bytes{0x12, 0x3F}));
    EXPECT_EQ(hexDecode("12345", 2, 0x0F), std::nullopt);
}

TEST(HexEncode, IsUpperCaseWithoutSeparators) {
    EXPECT_EQ(hexEncode(Bytes{}), "");
    EXPECT_EQ(hexEncode(Bytes{0x00, 0xAB, 0x5f, 0xFF}), "00AB5FFF");
}
