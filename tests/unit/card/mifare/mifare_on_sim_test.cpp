// The whole card stack (Mifare Classic card object, block access, type A searcher, reader, frames,
// transport) against virtual cards in the field of a simulated reader of each type.

#include <gtest/gtest.h>

#include "card/iso14443a/rf_iso14443a.hpp"
#include "card/mifare/mifare_classic.hpp"
#include "card/mifare/mifare_layout.hpp"
#include "card/mifare/rf_mifare_classic.hpp"
#include "crypto/std_buf.hpp"
#include "sim/card/iso4_card.hpp"
#include "sim/card/mifare_classic_card.hpp"
#include "sim/field/type_a_commands.hpp"
#include "support/hex_bytes.hpp"
#include "support/sim_readers.hpp"

using Orvane::TypeACardInfo;

namespace {

const Bytes kFactoryKey(6, 0xFF);

bool isVa(std::uint8_t type) {
    return type == kReaderVbSerial || type == kReaderVaHid || type == kReaderVbCh340;
}

class MifareOnSim : public testing::TestWithParam<std::uint8_t> {
  protected:
    void SetUp() override {
        RfReader::forgetLastGoodPorts();
        ASSERT_TRUE(rfsim::attachField(virtualReader, field));
        reader->setType(GetParam());
        ASSERT_TRUE(reader->open(false));
    }
    void TearDown() override { RfReader::forgetLastGoodPorts(); }

    std::shared_ptr<rfsim::MifareClassicCard> place1K(const char* uid) {
        auto card = rfsim::makeMifare1K(hexBytes(uid));
        EXPECT_TRUE(field->place(card));
        return card;
    }
    bool selectUid(const Bytes& uid) { return mifare.selectUid(uid.data(), static_cast<int>(uid.size())); }
    int read(std::uint8_t sector, bool reSelect = true, const Bytes& key = kFactoryKey, bool fill = false) {
        out.fill(0);
        return mifare.read(reSelect, sector, key.data(), out.data(), 256, 0, 0, false, fill);
    }
    int write(std::uint8_t sector, std::uint8_t pos, std::uint8_t num, const Bytes& data,
              bool reSelect = true) {
        return mifare.write(reSelect, sector, kFactoryKey.data(), data.data(), static_cast<int>(data.size()),
                            pos, num, false);
    }
    Bytes outBytes(int from, int len) const { return Bytes(out.begin() + from, out.begin() + from + len); }

    SimReaders sim;
    rfsim::VirtualReader& virtualReader = *sim.add(GetParam()).reader;
    std::shared_ptr<rfsim::VirtualField> field = std::make_shared<rfsim::VirtualField>();
    std::shared_ptr<RfReader> reader = std::make_shared<RfReader>(sim.bus);
    std::shared_ptr<RfIso14443A> typeA = std::make_shared<RfIso14443A>(reader);
    Orvane::MifareClassic mifare{std::make_shared<RfMifareClassic>(typeA)};
    std::array<std::uint8_t, 256> out{};
};

}  // namespace

TEST_P(MifareOnSim, SelectsAndReadsA1KCard) {
    place1K("01020304");
    TypeACardInfo info;
    ASSERT_TRUE(mifare.selectAny(info));
    EXPECT_EQ(Bytes(mifare.uid().begin(), mifare.uid().end()), hexBytes("01020304"));
    EXPECT_EQ(info.atqa, 0x0004);
    EXPECT_EQ(info.sak, 0x08);
    EXPECT_EQ(Orvane::mifare::cardNumber(mifare.uid()), "0067305985");

    EXPECT_EQ(read(0), 64);
    EXPECT_EQ(outBytes(0, 5), hexBytes("0102030404"));  // UID and BCC open the manufacturer block
    EXPECT_EQ(outBytes(48, 16), hexBytes("000000000000 FF078069 FFFFFFFFFFFF"));  // Key A reads as zeros
    EXPECT_EQ(read(0, true, kFactoryKey, true), 64);
    EXPECT_EQ(outBytes(48, 6), kFactoryKey);
    // Sector after sector, and back.
    EXPECT_EQ(read(1), 64);
    EXPECT_EQ(read(15), 64);
    EXPECT_EQ(read(0), 64);
    EXPECT_EQ(read(32), -5);  // a 1K card has no sector 32 to authenticate
    EXPECT_EQ(read(40), -1);
}

TEST_P(MifareOnSim, ReadsA4KSectorOfSixteenBlocks) {
    field->place(rfsim::makeMifare4K(hexBytes("0A0B0C0D")));
    ASSERT_TRUE(selectUid(hexBytes("0A0B0C0D")));
    EXPECT_EQ(read(32), 256);
    EXPECT_EQ(outBytes(240, 16), hexBytes("000000000000 FF078069 FFFFFFFFFFFF"));
    EXPECT_EQ(read(39), 256);
}

TEST_P(MifareOnSim, WritesBlocksTrailersAndToleratesTheManufacturerBlock) {
    place1K("01020304");
    ASSERT_TRUE(selectUid(hexBytes("01020304")));
    const Bytes data = hexBytes(std::string(32, 'A') + std::string(32, 'B') + std::string(32, 'C'));
    EXPECT_EQ(write(0, 0, 3, data, false), 0);
    EXPECT_EQ(write(0, 0, 3, data, true), 32);
    EXPECT_EQ(read(0), 64);
    EXPECT_EQ(outBytes(0, 4), hexBytes("01020304"));
    EXPECT_EQ(outBytes(16, 32), Bytes(data.begin() + 16, data.end()));

    // The trailer: refused until allowed, then written with the old keys, then found to carry the
    // new ones already.
    const Bytes trailer = hexBytes("112233445566 FF078069 778899AABBCC");
    EXPECT_EQ(mifare.writeTrailer(1, kFactoryKey.data(), kFactoryKey.data(), trailer.data()), -6);
    mifare.isWrite = true;
    EXPECT_EQ(mifare.writeTrailer(1, kFactoryKey.data(), kFactoryKey.data(), trailer.data()), 1);
    EXPECT_EQ(mifare.writeTrailer(1, kFactoryKey.data(), kFactoryKey.data(), trailer.data()), 2);
    EXPECT_EQ(read(1), -5);
    const Bytes newKeyA = hexBytes("112233445566");
    EXPECT_EQ(read(1, true, newKeyA, true), 64);
    EXPECT_EQ(outBytes(48, 16), trailer);

    const Bytes badAccess = hexBytes("112233445566 FF078169 778899AABBCC");
    EXPECT_EQ(mifare.writeTrailer(2, kFactoryKey.data(), kFactoryKey.data(), badAccess.data()), -7);
}

TEST_P(MifareOnSim, ACardTakenOffTheFieldIsLostUntilItComesBack) {
    auto card = place1K("01020304");
    ASSERT_TRUE(selectUid(hexBytes("01020304")));
    EXPECT_EQ(read(1), 64);
    ASSERT_TRUE(field->remove(hexBytes("01020304")));
    EXPECT_EQ(read(1), -4);
    EXPECT_TRUE(mifare.needReselect());
    EXPECT_EQ(read(1, false), -4);
    EXPECT_EQ(read(1), -4);
    ASSERT_TRUE(field->place(card));
    EXPECT_EQ(read(1, false), -4);  // still needs the reselection it may not do
    EXPECT_EQ(read(1), 64);
    EXPECT_FALSE(mifare.needReselect());
}

TEST_P(MifareOnSim, ListsOneCardPerRequestAndHaltsIt) {
    for (const char* uid : {"01020304", "02020304", "0A0B0C0D"})
        place1K(uid);
    // Selecting one card sends the others back to IDLE, so every request lists one more card
    // (the winner of the bit-frame anticollision among those still idle).
    std::vector<TypeACardInfo> cards;
    EXPECT_EQ(typeA->findCards(cards, 0), 1);
    EXPECT_EQ(typeA->findCards(cards, 0), 1);
    EXPECT_EQ(typeA->findCards(cards, 0), 1);
    EXPECT_EQ(typeA->findCards(cards, 0), 0);  // all halted
    ASSERT_EQ(cards.size(), 3u);
    std::vector<std::string> uids;
    for (const auto& c : cards)
        uids.push_back(Orvane::hexEncode(std::span(c.uid.data(), 4)));
    std::sort(uids.begin(), uids.end());
    EXPECT_EQ(uids, (std::vector<std::string>{"01020304", "02020304", "0A0B0C0D"}));
    // A wake-up reaches halted cards.
    TypeACardInfo info;
    EXPECT_TRUE(typeA->selectAny(info, false));
}

TEST_P(MifareOnSim, LongUidsThroughTheCascade) {
    field->place(rfsim::makeMifare1K(hexBytes("04112233445566")));
    TypeACardInfo info;
    ASSERT_TRUE(mifare.selectAny(info));
    if (isVa(GetParam())) {
        // These readers stop at cascade level 1: the card stays unselected and opens no sector.
        EXPECT_EQ(Bytes(mifare.uid().begin(), mifare.uid().end()), hexBytes("88041122"));
        EXPECT_EQ(read(1), -5);
        return;
    }
    EXPECT_EQ(info.uidLen, 7);
    EXPECT_EQ(Bytes(mifare.uid().begin(), mifare.uid().end()), hexBytes("04112233445566"));
    EXPECT_EQ(info.atqa, 0x0044);
    EXPECT_EQ(typeA->cl1Uid(), (std::array<std::uint8_t, 4>{0x88, 0x04, 0x11, 0x22}));
    EXPECT_EQ(Orvane::mifare::cardNumber(mifare.uid()), "1716864051");
    EXPECT_EQ(read(1), 64);

    field->clear();
    field->place(rfsim::makeMifare1K(hexBytes("0102030405060708090A")));
    ASSERT_TRUE(mifare.selectAny(info));
    EXPECT_EQ(Bytes(mifare.uid().begin(), mifare.uid().end()), hexBytes("0102030405060708090A"));
    EXPECT_EQ(read(1), 64);
    mifare.halt();
    ASSERT_TRUE(selectUid(hexBytes("0102030405060708090A")));
    EXPECT_EQ(read(2), 64);
    EXPECT_FALSE(selectUid(hexBytes("0102030405060708090B")));
}

TEST_P(MifareOnSim, ActivatesIso4CardsWhereTheFamilyCan) {
    field->place(rfsim::makeIso4Card(hexBytes("08A1B2C3"), hexBytes("067577810280"),
                                     [](std::span<const std::uint8_t>) { return hexBytes("9000"); }));
    TypeACardInfo info;
    Orvane::StdBuf ats;
    if (isVa(GetParam())) {
        EXPECT_FALSE(typeA->selectAny(info, true, &ats));
        return;
    }
    ASSERT_TRUE(typeA->selectAny(info, true, &ats));
    EXPECT_TRUE(typeA->iso4Active());
    EXPECT_EQ(Bytes(ats.data(), ats.data() + ats.size()), hexBytes("067577810280"));
    Orvane::StdBuf response;
    const Bytes select = hexBytes("00A4040000");
    EXPECT_TRUE(typeA->rawExchange(select.data(), static_cast<int>(select.size()), response));
    EXPECT_EQ(Bytes(response.data(), response.data() + response.size()), hexBytes("9000"));
    EXPECT_TRUE(typeA->deselect());
    EXPECT_FALSE(typeA->iso4Active());

    const Bytes uid = hexBytes("08A1B2C3");
    EXPECT_TRUE(typeA->selectUid(uid.data(), 4, true, &ats));
    EXPECT_TRUE(typeA->iso4Active());
    const Bytes other = hexBytes("08A1B2C4");
    EXPECT_FALSE(typeA->selectUid(other.data(), 4, true, &ats));
    EXPECT_FALSE(typeA->iso4Active());
}

INSTANTIATE_TEST_SUITE_P(Readers, MifareOnSim,
                         testing::Values(kReaderVdHid, kReaderVbSerial, kReaderVcCh9326, kReaderVaHid,
                                         kReaderVcSerial, kReaderVbCh340),
                         [](const auto& info) { return "type" + std::to_string(info.param); });
