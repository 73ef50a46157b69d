// NTAG213/215/216 memory map and commands against the NTAG213/215/216 datasheet: delivery state,
// GET_VERSION, READ roll-over, WRITE and COMPATIBILITY_WRITE with lock bytes, FAST_READ ranges,
// READ_CNT, READ_SIG, and PWD_AUTH with AUTH0, PROT and AUTHLIM.

#include "sim/card/ntag_card.hpp"

#include <gtest/gtest.h>

#include "support/hex_bytes.hpp"

using rfsim::NtagCard;
using rfsim::NtagType;

namespace {

const Bytes kUid = hexBytes("04C15A7E2B6180");
const NtagCard::Page kPwd{0x12, 0x34, 0x56, 0x78};

NtagCard::Page pageOf(std::string_view hex) {
    const Bytes bytes = hexBytes(hex);
    return {bytes.at(0), bytes.at(1), bytes.at(2), bytes.at(3)};
}

// Wakes the tag (from IDLE or HALT) and selects it, unless it is ACTIVE already.
void activate(NtagCard& tag) {
    if (tag.state() == rfsim::CardState::active) return;
    ASSERT_TRUE(tag.request(true));
    for (int level = 0; level < tag.cascadeLevels(); ++level)
        ASSERT_TRUE(tag.select(level, tag.levelBytes(level)));
    ASSERT_EQ(tag.state(), rfsim::CardState::active);
}

std::shared_ptr<NtagCard> activeTag(NtagType type = NtagType::ntag213) {
    auto tag = rfsim::makeNtag(kUid, type);
    activate(*tag);
    return tag;
}

bool write(NtagCard& tag, int page, std::string_view hex) {
    const NtagCard::Page data = pageOf(hex);
    return tag.writePage(page, data);
}

// Password `kPwd`, AUTH0 and ACCESS as given, written raw.
void protect(NtagCard& tag, std::uint8_t auth0, std::uint8_t access) {
    tag.setPage(tag.cfg0Page(), {0x04, 0x00, 0x00, auth0});
    tag.setPage(tag.cfg0Page() + 1, {access, 0x00, 0x00, 0x00});
    tag.setPage(tag.cfg0Page() + 2, kPwd);
    tag.setPage(tag.cfg0Page() + 3, {0xAB, 0xCD, 0x00, 0x00});
}

}  // namespace

TEST(NtagDelivery, MemoryMapAndVersionPerType) {
    struct Case {
        NtagType type;
        int pages;
        std::string cc, version;
    };
    const Case cases[] = {
        {NtagType::ntag213, 45, "E1101200", "0004040201000F03"},
        {NtagType::ntag215, 135, "E1103E00", "0004040201001103"},
        {NtagType::ntag216, 231, "E1106D00", "0004040201001303"},
    };
    for (const Case& c : cases) {
        auto tag = activeTag(c.type);
        EXPECT_EQ(tag->atqa(), 0x0044);
        EXPECT_EQ(tag->sak(), 0x00);
        ASSERT_EQ(tag->pageCount(), c.pages);
        // UID0-2 and BCC0 = 88 ^ 04 ^ C1 ^ 5A; UID3-6; BCC1 = 7E ^ 2B ^ 61 ^ 80, internal 48h, lock 00 00.
        EXPECT_EQ(*tag->readBlock(0), hexBytes("04C15A17 7E2B6180 B4480000" + c.cc));
        EXPECT_EQ(*tag->getVersion(), hexBytes(c.version));
        // CFG0 (STRG_MOD_EN, AUTH0 FFh), CFG1; PWD and PACK read as zeros, then roll-over to page 0.
        EXPECT_EQ(*tag->readBlock(c.pages - 4), hexBytes("040000FF 00000000 00000000 00000000"));
        EXPECT_EQ(*tag->readBlock(c.pages - 2), hexBytes("00000000 00000000 04C15A17 7E2B6180"));
        EXPECT_EQ(tag->page(c.pages - 2), pageOf("FFFFFFFF"));
        EXPECT_FALSE(tag->readBlock(c.pages));  // NAK: the tag goes back to IDLE
        EXPECT_EQ(tag->state(), rfsim::CardState::idle);
    }
}

TEST(NtagCommands, WriteAndCompatibilityWrite) {
    auto tag = activeTag();
    EXPECT_TRUE(write(*tag, 4, "11223344"));
    std::array<std::uint8_t, 16> block{0xA1, 0xA2, 0xA3, 0xA4, 0xFF, 0xFF};
    EXPECT_TRUE(tag->writeBlock(5, block));  // only the first 4 bytes are written
    EXPECT_EQ(*tag->readBlock(4), hexBytes("11223344 A1A2A3A4 00000000 00000000"));

    struct Case {
        int page;
        std::string data;
        bool accepted;
        std::string stored;
    };
    const Case cases[] = {
        {0, "00000000", false, "04C15A17"},  // serial number pages are read-only
        {1, "00000000", false, "7E2B6180"}, {2, "FFFF0102", true, "B4480102"},  // only the lock bytes, ORed
        {2, "00000000", true, "B4480102"},                                      // lock bits never clear
        {3, "00000001", true, "E1101201"},  // the CC is one-time programmable too
        {45, "00000000", false, ""},
    };
    for (const Case& c : cases) {
        activate(*tag);
        EXPECT_EQ(write(*tag, c.page, c.data), c.accepted) << c.page;
        if (!c.stored.empty()) {
            EXPECT_EQ(tag->page(c.page), pageOf(c.stored)) << c.page;
        }
        if (!c.accepted) {
            EXPECT_EQ(tag->state(), rfsim::CardState::idle);
        }
        tag->powerOff();
    }
}

TEST(NtagCommands, LockBitsMakePagesReadOnly) {
    auto tag = activeTag();
    ASSERT_TRUE(write(*tag, 2, "00001001"));  // L-4 (byte 2 bit 4) and L-8 (byte 3 bit 0)
    EXPECT_FALSE(write(*tag, 4, "AAAAAAAA"));
    activate(*tag);
    EXPECT_TRUE(write(*tag, 5, "AAAAAAAA"));
    EXPECT_FALSE(write(*tag, 8, "AAAAAAAA"));
    activate(*tag);
    // Dynamic lock bits of the NTAG213 cover two pages each: bit 1 locks pages 18 and 19.
    ASSERT_TRUE(write(*tag, tag->dynamicLockPage(), "020000FF"));
    EXPECT_EQ(tag->page(tag->dynamicLockPage()), pageOf("02000000"));
    EXPECT_TRUE(write(*tag, 17, "AAAAAAAA"));
    EXPECT_FALSE(write(*tag, 19, "AAAAAAAA"));
    activate(*tag);
    // Block-locking bit BL-9-4 freezes the lock bits of pages 4 to 9.
    ASSERT_TRUE(write(*tag, 2, "00000200"));
    ASSERT_TRUE(write(*tag, 2, "000020FF"));
    EXPECT_EQ(tag->page(2), pageOf("B44812FD"));
}

TEST(NtagCommands, FastReadRanges) {
    auto tag = activeTag();
    ASSERT_TRUE(write(*tag, 4, "01020304"));
    EXPECT_EQ(*tag->fastRead(4, 4), hexBytes("01020304"));
    EXPECT_EQ(tag->fastRead(0, 44)->size(), 45u * 4);
    struct Case {
        int first, last;
    };
    for (const Case c : {Case{5, 4}, Case{40, 45}, Case{45, 45}}) {
        activate(*tag);
        EXPECT_FALSE(tag->fastRead(c.first, c.last)) << c.first << "-" << c.last;
    }
}

TEST(NtagCommands, CounterCountsTheFirstReadOfEachPowerUp) {
    auto tag = activeTag();
    EXPECT_FALSE(tag->readCounter(2));  // NFC_CNT_EN off: NAK
    activate(*tag);
    tag->setPage(tag->cfg0Page() + 1, {0x10, 0, 0, 0});
    EXPECT_EQ(*tag->readCounter(2), hexBytes("000000"));
    tag->readBlock(4);
    tag->fastRead(4, 5);
    EXPECT_EQ(*tag->readCounter(2), hexBytes("010000"));
    EXPECT_FALSE(tag->readCounter(0));  // only counter 02h exists
    tag->powerOff();
    activate(*tag);
    tag->fastRead(4, 4);
    EXPECT_EQ(*tag->readCounter(2), hexBytes("020000"));
    EXPECT_EQ(tag->nfcCounter(), 2u);

    EXPECT_EQ(tag->readSignature(0)->size(), 32u);
    EXPECT_FALSE(tag->readSignature(1));
}

TEST(NtagPassword, Auth0ProtectsWritingAndWithProtReadingToo) {
    for (const bool prot : {false, true}) {
        auto tag = rfsim::makeNtag(kUid, NtagType::ntag213);
        protect(*tag, 0x10, prot ? 0x80 : 0x00);
        activate(*tag);
        // Below AUTH0 reads roll over to page 0 where the protected area begins.
        const auto below = tag->readBlock(0x0E);
        ASSERT_TRUE(below);
        if (prot) {
            EXPECT_EQ(Bytes(below->begin() + 8, below->begin() + 12), hexBytes("04C15A17"));
        }
        EXPECT_EQ(tag->readBlock(0x10).has_value(), !prot) << prot;
        activate(*tag);
        EXPECT_EQ(tag->fastRead(0x0C, 0x10).has_value(), !prot) << prot;
        activate(*tag);
        EXPECT_FALSE(write(*tag, 0x10, "AAAAAAAA"));
        activate(*tag);
        EXPECT_TRUE(write(*tag, 0x0F, "AAAAAAAA"));

        EXPECT_FALSE(tag->pwdAuth(pageOf("FFFFFFFF")));
        activate(*tag);
        EXPECT_EQ(*tag->pwdAuth(kPwd), hexBytes("ABCD"));
        EXPECT_TRUE(tag->readBlock(0x10));
        EXPECT_TRUE(write(*tag, 0x10, "AAAAAAAA"));
        // HLTA ends the authentication; so does the field going off.
        tag->halt();
        EXPECT_FALSE(tag->authenticated());
        activate(*tag);
        EXPECT_FALSE(write(*tag, 0x10, "BBBBBBBB"));
        activate(*tag);
        ASSERT_TRUE(tag->pwdAuth(kPwd));
        tag->powerOff();
        EXPECT_FALSE(tag->authenticated());
        EXPECT_EQ(tag->page(0x10), pageOf("AAAAAAAA"));
    }
}

TEST(NtagPassword, AuthLimitCountsWrongPasswordsInARow) {
    auto tag = rfsim::makeNtag(kUid, NtagType::ntag215);
    protect(*tag, 0x04, 0x01);  // AUTHLIM 1: two wrong attempts allowed
    activate(*tag);
    EXPECT_FALSE(tag->pwdAuth(pageOf("00000000")));
    activate(*tag);
    EXPECT_TRUE(tag->pwdAuth(kPwd));  // resets the count
    for (int i = 0; i < 2; ++i) {
        activate(*tag);
        EXPECT_FALSE(tag->pwdAuth(pageOf("00000000")));
    }
    tag->powerOff();  // the count is kept in EEPROM
    activate(*tag);
    EXPECT_FALSE(tag->pwdAuth(kPwd));
}

TEST(NtagPassword, ConfigurationLockAndPasswordProtectedCounter) {
    auto tag = rfsim::makeNtag(kUid, NtagType::ntag216);
    protect(*tag, 0xFF, 0x40 | 0x10 | 0x08);  // CFGLCK, NFC_CNT_EN, NFC_CNT_PWD_PROT
    activate(*tag);
    EXPECT_FALSE(tag->readCounter(2));
    activate(*tag);
    ASSERT_TRUE(tag->pwdAuth(kPwd));
    EXPECT_TRUE(tag->readCounter(2));
    EXPECT_FALSE(write(*tag, tag->cfg0Page(), "04000004"));
    activate(*tag);
    EXPECT_TRUE(write(*tag, tag->cfg0Page() + 2, "01020304"));  // PWD stays writable
    EXPECT_EQ(tag->page(tag->cfg0Page() + 2), pageOf("01020304"));
}

TEST(NtagCommands, CommandsNeedAnActiveTag) {
    auto tag = rfsim::makeNtag(kUid, NtagType::ntag213);
    EXPECT_FALSE(tag->readBlock(0));
    EXPECT_FALSE(tag->getVersion());
    EXPECT_FALSE(tag->pwdAuth(pageOf("FFFFFFFF")));
    EXPECT_EQ(tag->state(), rfsim::CardState::idle);
}
