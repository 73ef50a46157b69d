// Sector arithmetic, access-condition bytes and the card number.

#include "card/mifare/mifare_layout.hpp"

#include <gtest/gtest.h>

#include "support/hex_bytes.hpp"

namespace mf = Orvane::mifare;

TEST(MifareLayout, SectorsAndBlocks) {
    struct Case {
        std::uint8_t sector;
        std::uint8_t first;
        int blocks;
    };
    const Case cases[] = {{0, 0, 4},     {1, 4, 4},     {15, 60, 4},  {31, 124, 4},
                          {32, 128, 16}, {33, 144, 16}, {39, 240, 16}};
    for (const auto& c : cases) {
        EXPECT_EQ(mf::firstBlock(c.sector), c.first) << int(c.sector);
        EXPECT_EQ(mf::blockCount(c.sector), c.blocks) << int(c.sector);
        EXPECT_EQ(mf::trailerPosition(c.sector), c.blocks - 1) << int(c.sector);
        EXPECT_TRUE(mf::isFirstBlockOfSector(c.first)) << int(c.first);
        EXPECT_FALSE(mf::isFirstBlockOfSector(static_cast<std::uint8_t>(c.first + c.blocks - 1)));
    }
    // Inside the 16-block sectors a multiple of four is not a sector start.
    EXPECT_FALSE(mf::isFirstBlockOfSector(132));
    EXPECT_TRUE(mf::isFirstBlockOfSector(124));
    EXPECT_FALSE(mf::isFirstBlockOfSector(255));
}

TEST(MifareAccessBits, BytesToText) {
    struct Case {
        const char* bytes;
        bool ok;
        const char* text;
    };
    const Case cases[] = {
        {"FF078069", true, "000|000|000|001"},  // transport configuration
        {"78778800", true, "100|100|100|011"},  // data blocks read/write with Key B only
        {"7F078869", true, "000|000|000|011"},
        {"08778F69", true, "110|110|110|011"},
        {"FF078169", false, ""},  // C2 of block 0 differs from its inverted copy
        {"FF178069", false, ""},
        {"FF070069", false, ""},
        {"00000000", false, ""},
    };
    for (const auto& c : cases) {
        const Bytes bytes = hexBytes(c.bytes);
        std::string text = "untouched";
        EXPECT_EQ(Orvane::accessBitsToText(std::span<const std::uint8_t, 4>(bytes.data(), 4), text), c.ok)
            << c.bytes;
        EXPECT_EQ(text, c.ok ? c.text : "untouched") << c.bytes;
    }
}

TEST(MifareAccessBits, TextToBytes) {
    struct Case {
        const char* text;
        bool ok;
        const char* bytes;
    };
    const Case cases[] = {
        {"000|000|000|001", true, "FF078069"},
        {"100|100|100|011", true, "78778869"},
        {"000x000x000x001", true, "FF078069"},  // separators are not read
        {"002|0a0|000|001", true, "FF078069"},  // only "1" is a set bit
        {"000|000|000|00", false, "A1A2A3A4"},
        {"000|000|000|0011", false, "A1A2A3A4"},
        {"", false, "A1A2A3A4"},
    };
    for (const auto& c : cases) {
        std::array<std::uint8_t, 4> bytes{0xA1, 0xA2, 0xA3, 0xA4};
        EXPECT_EQ(Orvane::textToAccessBits(c.text, bytes), c.ok) << c.text;
        EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), hexBytes(c.bytes)) << c.text;
    }
}

// Every combination of conditions gives consistent bytes that read back as the same text.
TEST(MifareAccessBits, EveryConditionRoundTrips) {
    for (unsigned bits = 0; bits < 4096; ++bits) {
        std::string text;
        for (unsigned block = 0; block < 4; ++block) {
            if (block > 0) text += '|';
            for (unsigned c = 0; c < 3; ++c)
                text += (bits >> (block * 3 + c) & 1) ? '1' : '0';
        }
        std::array<std::uint8_t, 4> bytes{};
        ASSERT_TRUE(Orvane::textToAccessBits(text, bytes));
        EXPECT_TRUE(mf::accessBytesConsistent(bytes[0], bytes[1], bytes[2])) << text;
        std::string back;
        ASSERT_TRUE(Orvane::accessBitsToText(bytes, back)) << text;
        EXPECT_EQ(back, text);
    }
}

TEST(MifareCardNumber, FirstOrLastFourBytesLittleEndian) {
    const std::pair<const char*, const char*> cases[] = {
        {"01020304", "0067305985"},
        {"", "0000000000"},
        {"0000000000", "0000000000"},
        {"AABB", "0000048042"},
        {"FFFFFFFF", "4294967295"},
        {"04112233445566", "1716864051"},        // 33 44 55 66
        {"0411223344556677889A", "2592634726"},  // 66 77 88 9A
    };
    for (const auto& [uid, number] : cases)
        EXPECT_EQ(mf::cardNumber(hexBytes(uid)), number) << uid;
}
