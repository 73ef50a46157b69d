// Mifare Classic memory, keys and access conditions, against the MF1S50yyX / MF1S70yyX tables.

#include "sim/card/mifare_classic_card.hpp"

#include <gtest/gtest.h>

#include "sim/card/mifare_access.hpp"
#include "support/hex_bytes.hpp"

using rfsim::MifareClassicCard;

namespace {

const MifareClassicCard::Key kKeyA{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
const MifareClassicCard::Key kKeyB{0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
const MifareClassicCard::Block kData{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
                                     0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x01};

MifareClassicCard::Block blockOf(std::string_view hex) {
    MifareClassicCard::Block block{};
    const Bytes bytes = hexBytes(hex);
    std::copy(bytes.begin(), bytes.end(), block.begin());
    return block;
}

std::array<std::uint8_t, 4> accessBytes(std::array<std::uint8_t, 4> conditions) {
    const auto bytes = rfsim::mifare::encodeAccessBits(conditions);
    return {bytes[0], bytes[1], bytes[2], 0x69};
}

// Powers the card up, selects it and authenticates `block`'s sector.
bool open(MifareClassicCard& card, int block, bool keyB) {
    card.powerOff();
    card.request(false);
    for (int level = 0; level < card.cascadeLevels(); ++level)
        card.select(level, card.levelBytes(level));
    return card.authenticate(block, keyB, keyB ? kKeyB : kKeyA);
}

std::string keys(bool a, bool b) {
    return std::string(a ? "A" : "") + (b ? "B" : "");
}

}  // namespace

TEST(MifareClassicFactory, CardsLeaveTheFactoryAsNxpShipsThem) {
    struct Case {
        bool is4K;
        std::string uid;
        std::uint16_t atqa;
        std::uint8_t sak;
        int blocks;
        std::string block0;
    };
    const Case cases[] = {
        {false, "01020304", 0x0004, 0x08, 64, "01020304 04 08 0400 6263646566676869"},
        {true, "01020304", 0x0002, 0x18, 256, "01020304 04 18 0200 6263646566676869"},
        {false, "04112233445566", 0x0044, 0x08, 64, "04112233445566 08 4400 626364656667"},
        {true, "04112233445566", 0x0042, 0x18, 256, "04112233445566 18 4200 626364656667"},
    };
    for (const auto& c : cases) {
        const auto card =
            c.is4K ? rfsim::makeMifare4K(hexBytes(c.uid)) : rfsim::makeMifare1K(hexBytes(c.uid));
        EXPECT_EQ(card->atqa(), c.atqa) << c.uid;
        EXPECT_EQ(card->sak(), c.sak) << c.uid;
        ASSERT_EQ(card->blockCount(), c.blocks);
        EXPECT_EQ(card->block(0), blockOf(c.block0)) << c.uid;
        // Trailers at 3, 7, ... 127 and then every 16th block up to 255.
        for (const int trailer : {3, 127, 143, 255})
            if (trailer < c.blocks) {
                EXPECT_EQ(card->block(trailer), blockOf("FFFFFFFFFFFF FF078069 FFFFFFFFFFFF")) << trailer;
            }
        EXPECT_EQ(card->block(c.blocks - 2), MifareClassicCard::Block{});
    }
}

TEST(MifareAccessBits, DecodeTheDatasheetConfigurations) {
    struct Case {
        std::string bytes;
        std::optional<std::array<std::uint8_t, 4>> conditions;  // C1C2C3 of blocks 0, 1, 2, trailer
    };
    const Case cases[] = {
        {"FF0780", {{0b000, 0b000, 0b000, 0b001}}},  // transport configuration
        {"7F0788", {{0b000, 0b000, 0b000, 0b011}}},
        {"787788", {{0b100, 0b100, 0b100, 0b011}}},
        {"08778F", {{0b110, 0b110, 0b110, 0b011}}},  // value blocks
        {"FF0781", std::nullopt},
        {"FF0F80", std::nullopt},
        {"EF0780", std::nullopt},
    };
    for (const auto& c : cases) {
        const Bytes bytes = hexBytes(c.bytes);
        EXPECT_EQ(rfsim::mifare::decodeAccessBits(std::span<const std::uint8_t, 3>(bytes.data(), 3)),
                  c.conditions)
            << c.bytes;
        if (c.conditions) {
            const auto encoded = rfsim::mifare::encodeAccessBits(*c.conditions);
            EXPECT_EQ(Bytes(encoded.begin(), encoded.end()), bytes);
        }
    }
}

// Table 8: read and write of data blocks, with a trailer (011) under which Key B is a real key.
TEST(MifareAccessConditions, DataBlocks) {
    struct Row {
        std::uint8_t condition;
        std::string read, write;
    };
    const Row rows[] = {{0b000, "AB", "AB"}, {0b001, "AB", ""}, {0b010, "AB", ""},  {0b011, "B", "B"},
                        {0b100, "AB", "B"},  {0b101, "B", ""},  {0b110, "AB", "B"}, {0b111, "", ""}};
    for (const Row& row : rows) {
        const auto card = rfsim::makeMifare1K(hexBytes("01020304"));
        card->setTrailer(1, kKeyA, accessBytes({row.condition, 0, 0, 0b011}), kKeyB);
        bool read[2], written[2];
        for (const bool keyB : {false, true}) {
            ASSERT_TRUE(open(*card, 4, keyB));
            read[keyB] = card->readBlock(4).has_value();
            ASSERT_TRUE(open(*card, 4, keyB));
            written[keyB] = card->writeBlock(4, kData);
        }
        EXPECT_EQ(keys(read[0], read[1]), row.read) << int(row.condition);
        EXPECT_EQ(keys(written[0], written[1]), row.write) << int(row.condition);
    }
}

// Table 7: what each key reads of the trailer and which fields it writes. Key A never reads back;
// under the conditions that make Key B readable, Key B opens nothing at all.
TEST(MifareAccessConditions, SectorTrailer) {
    struct Row {
        std::uint8_t condition;
        std::string accessRead, keyBRead, keyAWrite, accessWrite, keyBWrite;
    };
    const Row rows[] = {
        {0b000, "A", "A", "A", "", "A"},  {0b001, "A", "A", "A", "A", "A"}, {0b010, "A", "A", "", "", ""},
        {0b011, "AB", "", "B", "B", "B"}, {0b100, "AB", "", "B", "", "B"},  {0b101, "AB", "", "", "B", ""},
        {0b110, "AB", "", "", "", ""},    {0b111, "AB", "", "", "", ""},
    };
    const MifareClassicCard::Key newKey{0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    for (const Row& row : rows) {
        const auto original = accessBytes({0, 0, 0, row.condition});
        const auto changed = accessBytes({1, 1, 1, row.condition});
        MifareClassicCard::Block image{};
        std::copy(newKey.begin(), newKey.end(), image.begin());
        std::copy(changed.begin(), changed.end(), image.begin() + 6);
        std::copy(newKey.begin(), newKey.end(), image.begin() + 10);

        bool accessRead[2], keyBRead[2], keyAWritten[2], accessWritten[2], keyBWritten[2];
        for (const bool keyB : {false, true}) {
            const auto card = rfsim::makeMifare1K(hexBytes("01020304"));
            card->setTrailer(1, kKeyA, original, kKeyB);
            ASSERT_TRUE(open(*card, 7, keyB));
            const auto trailer = card->readBlock(7);
            accessRead[keyB] = trailer && std::equal(original.begin(), original.end(), trailer->begin() + 6);
            keyBRead[keyB] = trailer && std::equal(kKeyB.begin(), kKeyB.end(), trailer->begin() + 10);
            if (trailer) {
                EXPECT_EQ(Bytes(trailer->begin(), trailer->begin() + 6), Bytes(6, 0));
            }
            ASSERT_TRUE(open(*card, 7, keyB));
            card->writeBlock(7, image);
            const auto stored = card->block(7);
            keyAWritten[keyB] = std::equal(newKey.begin(), newKey.end(), stored.begin());
            accessWritten[keyB] = std::equal(changed.begin(), changed.end(), stored.begin() + 6);
            keyBWritten[keyB] = std::equal(newKey.begin(), newKey.end(), stored.begin() + 10);
        }
        const int c = row.condition;
        EXPECT_EQ(keys(accessRead[0], accessRead[1]), row.accessRead) << c;
        EXPECT_EQ(keys(keyBRead[0], keyBRead[1]), row.keyBRead) << c;
        EXPECT_EQ(keys(keyAWritten[0], keyAWritten[1]), row.keyAWrite) << c;
        EXPECT_EQ(keys(accessWritten[0], accessWritten[1]), row.accessWrite) << c;
        EXPECT_EQ(keys(keyBWritten[0], keyBWritten[1]), row.keyBWrite) << c;
    }
}

TEST(MifareClassicCardRules, ManufacturerBlockIsReadOnly) {
    const auto card = rfsim::makeMifare1K(hexBytes("01020304"));
    card->setTrailer(0, kKeyA, rfsim::kTransportAccess, kKeyB);
    const auto before = card->block(0);
    ASSERT_TRUE(open(*card, 0, false));
    EXPECT_FALSE(card->writeBlock(0, kData));
    EXPECT_EQ(card->block(0), before);
    EXPECT_EQ(card->state(), rfsim::CardState::idle);  // NAK: the card left ACTIVE
    ASSERT_TRUE(open(*card, 0, false));
    EXPECT_TRUE(card->writeBlock(1, kData));
}

TEST(MifareClassicCardRules, InconsistentAccessBytesBlockTheSector) {
    const auto card = rfsim::makeMifare1K(hexBytes("01020304"));
    card->setTrailer(2, kKeyA, rfsim::kTransportAccess, kKeyB);
    ASSERT_TRUE(open(*card, 8, false));
    ASSERT_TRUE(card->writeBlock(11, blockOf("A0A1A2A3A4A5 FF078169 B0B1B2B3B4B5")));
    EXPECT_FALSE(open(*card, 8, false));
    EXPECT_FALSE(open(*card, 11, true));
    card->setTrailer(3, kKeyA, rfsim::kTransportAccess, kKeyB);
    EXPECT_TRUE(open(*card, 12, false));  // other sectors are unaffected
}

TEST(MifareClassicCardRules, AccessIsBoundToTheAuthenticatedSectorAndPower) {
    const auto card = rfsim::makeMifare4K(hexBytes("01020304"));
    card->setTrailer(1, kKeyA, rfsim::kTransportAccess, kKeyB);
    ASSERT_TRUE(open(*card, 4, false));
    EXPECT_FALSE(card->readBlock(8));  // sector 2 was not authenticated
    EXPECT_EQ(card->state(), rfsim::CardState::idle);

    ASSERT_TRUE(open(*card, 4, false));
    card->powerOff();
    card->request(false);
    card->select(0, card->levelBytes(0));
    EXPECT_FALSE(card->readBlock(4));  // power lost: authenticate again

    ASSERT_TRUE(open(*card, 4, false));
    EXPECT_FALSE(card->authenticate(64 * 4, false, kKeyA));  // no block 256
}

// In sectors 32 to 39 the data-block conditions cover runs of five blocks.
TEST(MifareClassicCardRules, LargeSectorsGroupFiveBlocksPerCondition) {
    const auto card = rfsim::makeMifare4K(hexBytes("01020304"));
    card->setTrailer(32, kKeyA, accessBytes({0b000, 0b111, 0b000, 0b011}), kKeyB);
    const std::pair<int, bool> cases[] = {{128, true},  {132, true}, {133, false},
                                          {137, false}, {138, true}, {142, true}};
    for (const auto& [block, readable] : cases) {
        ASSERT_TRUE(open(*card, 128, false));
        EXPECT_EQ(card->readBlock(block).has_value(), readable) << block;
    }
}
