// The card object's multi-block logic over an in-memory card: ranges, the reselect rule, the key
// fill, the trailer guard, the manufacturer-block tolerance and the trailer change.

#include "card/mifare/mifare_classic.hpp"

#include <gtest/gtest.h>

#include "fake_mifare_card.hpp"
#include "support/hex_bytes.hpp"

using Orvane::MifareClassic;

namespace {

const Bytes kKey = hexBytes("FFFFFFFFFFFF");
const Bytes kWrongKey = hexBytes("A0A1A2A3A4A5");

class MifareClassicTest : public testing::Test {
  protected:
    std::shared_ptr<FakeMifareCard> card = std::make_shared<FakeMifareCard>();
    MifareClassic mifare{card};
    std::array<std::uint8_t, 256> out{};

    void select() {
        ASSERT_TRUE(mifare.selectUid(card->cardUid.data(), static_cast<int>(card->cardUid.size())));
    }
    int read(std::uint8_t sector, std::uint8_t pos, std::uint8_t num, bool reSelect = true,
             const Bytes& key = kKey, bool keyB = false, bool fill = false, int capacity = 256) {
        return mifare.read(reSelect, sector, key.data(), out.data(), capacity, pos, num, keyB, fill);
    }
    int write(std::uint8_t sector, std::uint8_t pos, std::uint8_t num, const Bytes& data,
              bool reSelect = true, const Bytes& key = kKey) {
        return mifare.write(reSelect, sector, key.data(), data.data(), static_cast<int>(data.size()), pos,
                            num, false);
    }
    Bytes outBytes(int from, int len) const { return Bytes(out.begin() + from, out.begin() + from + len); }
};

// A trailer image with new keys and the transport access bytes.
Bytes trailerImage(const char* newKeyA = "112233445566", const char* newKeyB = "778899AABBCC") {
    return hexBytes(std::string(newKeyA) + "FF078069" + newKeyB);
}

}  // namespace

TEST_F(MifareClassicTest, RangeAndBufferChecksComeBeforeTheCard) {
    struct Case {
        int sector, pos, num, capacity, result;
    };
    const Case cases[] = {
        {40, 0, 0, 256, -1}, {0, 4, 0, 256, -1},  {0, 2, 3, 256, -1},  {32, 16, 0, 256, -1},
        {32, 8, 9, 256, -1}, {0, 0, 0, 63, -2},   {32, 0, 0, 255, -2}, {0, 1, 2, 31, -2},
        {0, 0, 0, 64, -3},   {32, 15, 1, 16, -3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(read(static_cast<std::uint8_t>(c.sector), static_cast<std::uint8_t>(c.pos),
                       static_cast<std::uint8_t>(c.num), true, kKey, false, false, c.capacity),
                  c.result)
            << c.sector << "/" << c.pos << "/" << c.num;
    }
    EXPECT_EQ(mifare.read(true, 0, kKey.data(), nullptr, 64, 0, 0, false, false), -1);
    EXPECT_TRUE(card->calls.empty());
}

TEST_F(MifareClassicTest, ReadsWholeSectorsOfBothSizes) {
    select();
    EXPECT_EQ(read(32, 0, 0), 256);
    EXPECT_EQ(outBytes(0, 16), Bytes(16, 128));
    EXPECT_EQ(outBytes(14 * 16, 16), Bytes(16, 142));
    EXPECT_EQ(read(39, 15, 1), 16);  // block 255, the last of a 4K card
    EXPECT_EQ(outBytes(6, 10), Bytes(10, 255));
    EXPECT_EQ(read(1, 1, 2), 32);
    EXPECT_EQ(outBytes(0, 16), Bytes(16, 5));
    EXPECT_EQ(outBytes(16, 16), Bytes(16, 6));
}

TEST_F(MifareClassicTest, FillPutsTheKeyIntoTheTrailerImage) {
    select();
    const Bytes keyB = hexBytes("B0B1B2B3B4B5");
    card->keyB[1] = {0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};

    EXPECT_EQ(read(1, 0, 0, true, kKey, false, true), 64);
    EXPECT_EQ(outBytes(48, 6), kKey);
    EXPECT_EQ(outBytes(58, 6), Bytes(6, 7));  // Key B as the card returned it

    EXPECT_EQ(read(1, 0, 0, true, keyB, true, true), 64);
    EXPECT_EQ(outBytes(48, 6), Bytes(6, 0));  // Key A reads back as zeros
    EXPECT_EQ(outBytes(58, 6), keyB);

    EXPECT_EQ(read(1, 0, 0, true, kKey, false, false), 64);
    EXPECT_EQ(outBytes(48, 6), Bytes(6, 0));

    out.fill(0xEE);
    EXPECT_EQ(read(1, 0, 3, true, kKey, false, true), 48);  // the trailer was not read
    EXPECT_EQ(outBytes(48, 16), Bytes(16, 0xEE));
}

TEST_F(MifareClassicTest, FailedAuthenticationAndTheReselectRule) {
    select();
    // Without reselection the card stays lost until a new selection.
    EXPECT_EQ(read(1, 0, 0, false, kWrongKey), -5);
    EXPECT_TRUE(mifare.needReselect());
    card->calls.clear();
    EXPECT_EQ(read(1, 0, 0, false), -4);
    EXPECT_TRUE(card->calls.empty());

    // With it, the card is selected again first and the read goes through.
    EXPECT_EQ(read(1, 0, 0, true), 64);
    EXPECT_FALSE(mifare.needReselect());
    EXPECT_EQ(card->calls.front(), "select");

    // A wrong key with reselection: selected again at once, so the next read needs nothing more.
    EXPECT_EQ(read(1, 0, 0, true, kWrongKey), -5);
    EXPECT_FALSE(mifare.needReselect());
    EXPECT_EQ(read(1, 0, 0, false), 64);

    // The card left the field: the reselection fails.
    card->present = false;
    EXPECT_EQ(read(1, 0, 0, true, kWrongKey), -4);
    EXPECT_TRUE(mifare.needReselect());
    EXPECT_EQ(read(1, 0, 0, true), -4);
    card->present = true;
    EXPECT_EQ(read(1, 0, 0, true), 64);
}

TEST_F(MifareClassicTest, ReadStopsAtARefusedBlock) {
    select();
    card->failRead = {6};
    EXPECT_EQ(read(1, 0, 0, false), 32);
    EXPECT_TRUE(mifare.needReselect());
    EXPECT_EQ(read(1, 0, 0, false), -4);

    card->calls.clear();
    EXPECT_EQ(read(1, 0, 0, true), 32);  // reselect, read 4 and 5, fail on 6, reselect
    EXPECT_FALSE(mifare.needReselect());
    EXPECT_EQ(card->calls,
              (std::vector<std::string>{"select", "auth 1A", "read 4", "read 5", "read 6", "select"}));
}

TEST_F(MifareClassicTest, TrailerGuardAndAccessByteCheck) {
    select();
    EXPECT_EQ(write(0, 1, 2, Bytes(16)), -2);
    const Bytes sector(64, 0x11);
    EXPECT_EQ(write(1, 0, 0, sector), -6);

    mifare.isWrite = true;
    EXPECT_EQ(write(1, 0, 0, sector), -7);  // 11 11 11 are no access bytes
    Bytes good = sector;
    const Bytes image = trailerImage("FFFFFFFFFFFF", "FFFFFFFFFFFF");
    std::copy(image.begin(), image.end(), good.begin() + 48);
    EXPECT_EQ(write(1, 0, 0, good), 64);

    mifare.isCheck = false;
    EXPECT_EQ(write(2, 3, 1, Bytes(16, 0x5A)), 16);
    EXPECT_EQ(Bytes(card->blocks[11].begin(), card->blocks[11].end()), Bytes(16, 0x5A));
    EXPECT_EQ(write(1, 0, 3, Bytes(48, 1)), 48);  // data blocks only: no trailer rules
}

TEST_F(MifareClassicTest, ManufacturerBlockIsToleratedOnlyWithReselection) {
    select();
    const Bytes data = hexBytes(std::string(32, 'A') + std::string(32, 'B') + std::string(32, 'C'));
    EXPECT_EQ(write(0, 0, 3, data, true), 32);
    EXPECT_EQ(Bytes(card->blocks[1].begin(), card->blocks[1].end()), Bytes(16, 0xBB));
    EXPECT_EQ(Bytes(card->blocks[2].begin(), card->blocks[2].end()), Bytes(16, 0xCC));
    EXPECT_FALSE(mifare.needReselect());

    EXPECT_EQ(write(0, 0, 3, Bytes(48, 0x11), false), 0);
    EXPECT_TRUE(mifare.needReselect());
    EXPECT_EQ(Bytes(card->blocks[1].begin(), card->blocks[1].end()), Bytes(16, 0xBB));

    // Any other refused block ends the write.
    card->readOnly = {5};
    EXPECT_EQ(write(1, 0, 3, Bytes(48, 0x22), true), 16);
    EXPECT_EQ(card->blocks[6][0], 6);
}

TEST_F(MifareClassicTest, WriteTrailerTriesOldKeysThenNewOnes) {
    const Bytes oldA = hexBytes("A0A1A2A3A4A5"), oldB = hexBytes("B0B1B2B3B4B5");
    const Bytes image = trailerImage();
    struct Case {
        const char* name;
        const char* cardA;
        const char* cardB;
        bool keyBWrites;
        int result;
        int authAttempts;
    };
    const Case cases[] = {
        {"old Key B", "A0A1A2A3A4A5", "B0B1B2B3B4B5", true, 1, 1},
        {"old Key A after Key B may not write", "A0A1A2A3A4A5", "B0B1B2B3B4B5", false, 1, 2},
        {"old Key A, Key B unknown", "A0A1A2A3A4A5", "C0C1C2C3C4C5", true, 1, 2},
        {"new Key B already on the card", "112233445566", "778899AABBCC", true, 2, 3},
        {"new Key A already on the card", "112233445566", "C0C1C2C3C4C5", true, 2, 4},
        {"no key fits", "C0C1C2C3C4C5", "C0C1C2C3C4C5", true, -5, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        card = std::make_shared<FakeMifareCard>();
        MifareClassic m(card);
        m.isWrite = true;
        const Bytes a = hexBytes(c.cardA), b = hexBytes(c.cardB);
        std::copy(a.begin(), a.end(), card->keyA[3].begin());
        std::copy(b.begin(), b.end(), card->keyB[3].begin());
        card->keyBWritesTrailer = c.keyBWrites;
        ASSERT_TRUE(m.selectUid(card->cardUid.data(), 4));
        EXPECT_EQ(m.writeTrailer(3, oldA.data(), oldB.data(), image.data()), c.result);
        const auto auths = std::count_if(card->calls.begin(), card->calls.end(),
                                         [](const std::string& s) { return s.rfind("auth", 0) == 0; });
        EXPECT_EQ(auths, c.authAttempts);
        if (c.result > 0) {
            EXPECT_EQ(Bytes(card->blocks[15].begin(), card->blocks[15].end()), image);
        }
    }
}

TEST_F(MifareClassicTest, WriteTrailerPassesOtherFailuresThrough) {
    const Bytes image = trailerImage();
    select();
    EXPECT_EQ(mifare.writeTrailer(3, kKey.data(), kKey.data(), image.data()), -6);
    mifare.isWrite = true;
    EXPECT_EQ(mifare.writeTrailer(40, kKey.data(), kKey.data(), image.data()), -1);
    card->present = false;
    EXPECT_EQ(mifare.writeTrailer(33, kKey.data(), kKey.data(), image.data()), -4);
    card->present = true;
    EXPECT_EQ(mifare.writeTrailer(33, kKey.data(), kKey.data(), image.data()), 1);
    EXPECT_EQ(Bytes(card->blocks[159].begin(), card->blocks[159].end()), image);
}

TEST_F(MifareClassicTest, SelectionState) {
    EXPECT_FALSE(mifare.isSelected());
    Orvane::TypeACardInfo info;
    ASSERT_TRUE(mifare.selectAny(info));
    EXPECT_EQ(Bytes(mifare.uid().begin(), mifare.uid().end()), card->cardUid);

    // A new selection deselects the current card first; a failed one leaves nothing selected.
    card->calls.clear();
    const Bytes other = hexBytes("0A0B0C0D");
    EXPECT_FALSE(mifare.selectUid(other.data(), 4));
    EXPECT_EQ(card->calls, (std::vector<std::string>{"deselect", "select"}));
    EXPECT_FALSE(mifare.isSelected());
    EXPECT_TRUE(mifare.uid().empty());
    EXPECT_EQ(read(1, 0, 0), -3);

    // Halting keeps the reselect flag as it was.
    select();
    EXPECT_EQ(read(1, 0, 0, false, kWrongKey), -5);
    mifare.halt();
    EXPECT_FALSE(mifare.isSelected());
    EXPECT_TRUE(mifare.needReselect());
    select();
    EXPECT_FALSE(mifare.needReselect());
}
