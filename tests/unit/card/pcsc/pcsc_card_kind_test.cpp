// What the ATR of a PC/SC reader says about its card, and the ATS built from it.

#include "card/pcsc/pcsc_card_kind.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/hex_bytes.hpp"

namespace pcsc = Orvane::pcsc;
using pcsc::CardKind;

namespace {

TEST(PcscCardKind, HistoricalBytesFollowTheInterfaceBytesEachFormatByteAnnounces) {
    // T0 95: TA1 and TD1 follow, 5 historical bytes; TD1 81: TD2 follows; TD2 01: nothing more.
    EXPECT_EQ(pcsc::historicalBytes(hexBytes("3B951381018073FF01000B")), hexBytes("8073FF0100"));
    EXPECT_EQ(pcsc::historicalBytes(hexBytes("3B8F8001804F0CA000000306030001000000006A")),
              hexBytes("804F0CA00000030603 0001 00000000"));
    EXPECT_EQ(pcsc::historicalBytes(hexBytes("3B00")), Bytes{});
    // An ATR shorter than its format bytes say: nothing is read past its end.
    for (const char* cut : {"", "3B", "3B95", "3B951381", "3B95138101", "3B951381018073"})
        EXPECT_EQ(pcsc::historicalBytes(hexBytes(cut)), Bytes{}) << cut;
}

TEST(PcscCardKind, AnyAtrAReaderMaySendIsReadWithinItsBytes) {
    // A fixed-seed stream of ATRs of every length an ATR buffer holds, format bytes of every kind.
    std::uint32_t seed = 12345;
    for (int round = 0; round < 5000; ++round) {
        Bytes atr(static_cast<std::size_t>(round % 34));
        for (auto& byte : atr) {
            seed = seed * 1103515245u + 12345u;
            byte = static_cast<std::uint8_t>(seed >> 16);
        }
        const Bytes history = pcsc::historicalBytes(atr);
        ASSERT_LE(history.size() + 2, std::max<std::size_t>(atr.size(), 2)) << round;
        ASSERT_TRUE(history.empty() || !std::ranges::search(atr, history).empty()) << round;
        ASSERT_EQ(pcsc::standInAts(atr).size(), 5 + history.size());
        pcsc::cardKindOf(atr);
    }
}

TEST(PcscCardKind, StorageCardNamesGiveTheCardKindAnyOtherAtrAnIso4Card) {
    const struct {
        const char* atr;
        CardKind kind;
        std::uint8_t sak;
    } cases[] = {
        {"3B8F8001804F0CA000000306030001000000006A", CardKind::mifare1K, 0x08},
        {"3B8F8001804F0CA0000003060300020000000069", CardKind::mifare4K, 0x18},
        {"3B8F8001804F0CA0000003060300030000000068", CardKind::pageTag, 0x00},
        {"3B8F8001804F0CA000000306030026000000004D", CardKind::mifareMini, 0x09},
        {"3B8F8001804F0CA00000030603003A0000000051", CardKind::pageTag, 0x00},
        {"3B8F8001804F0CA00000030603FF28000000003C", CardKind::iso14443_4, 0x20},  // a name without object
        {"3B8F8001804F0CA0000003070300010000000069", CardKind::iso14443_4, 0x20},  // another RID
        {"3B951381018073FF01000B", CardKind::iso14443_4, 0x20},
        {"3B8F8001804F", CardKind::iso14443_4, 0x20},  // cut short
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pcsc::cardKindOf(hexBytes(c.atr)), c.kind) << c.atr;
        EXPECT_EQ(pcsc::standInSak(pcsc::cardKindOf(hexBytes(c.atr))), c.sak) << c.atr;
    }
}

TEST(PcscCardKind, OnlyAtrsOfTheContactlessFormAreTheReaders) {
    EXPECT_TRUE(pcsc::contactlessAtr(hexBytes("3B8F8001804F0CA000000306030001000000006A")));
    EXPECT_TRUE(pcsc::contactlessAtr(hexBytes("3B8980017886FFFFFFFF000000F6")));
    EXPECT_FALSE(pcsc::contactlessAtr(hexBytes("3B951381018073FF01000B")));
    EXPECT_FALSE(pcsc::contactlessAtr(hexBytes("3B8F80")));
}

TEST(PcscCardKind, StandInAtqaCarriesTheUidSize) {
    EXPECT_EQ(pcsc::standInAtqa(CardKind::mifare1K, 4), 0x0004);
    EXPECT_EQ(pcsc::standInAtqa(CardKind::mifare4K, 4), 0x0002);
    EXPECT_EQ(pcsc::standInAtqa(CardKind::pageTag, 7), 0x0044);
    EXPECT_EQ(pcsc::standInAtqa(CardKind::iso14443_4, 10), 0x0084);
}

TEST(PcscCardKind, StandInAtsPutsTheHistoricalBytesWhereAnAtsWithAllInterfaceBytesHasThem) {
    EXPECT_EQ(pcsc::standInAts(hexBytes("3B951381018073FF01000B")), hexBytes("0A780000008073FF0100"));
    EXPECT_EQ(pcsc::standInAts(hexBytes("3B80")), hexBytes("0578000000"));
}

}  // namespace
