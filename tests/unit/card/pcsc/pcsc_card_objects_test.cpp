// The type A, Mifare Classic and page tag objects of a PC/SC reader over a fake pcscd: the exact
// storage-card APDUs they send and how they read the answers.

#include <gtest/gtest.h>

#include "card/pcsc/pcsc_mifare_classic.hpp"
#include "card/pcsc/pcsc_page_tag.hpp"
#include "card/pcsc/pcsc_type_a.hpp"
#include "crypto/std_buf.hpp"
#include "reader/rf_reader.hpp"
#include "support/fake_pcsc.hpp"

namespace {

const Bytes kKey = hexBytes("FFFFFFFFFFFF");
const Bytes kBlock = hexBytes("00112233445566778899AABBCCDDEEFF");
const Bytes kIso4Atr = hexBytes("3B951381018073FF01000B");

class PcscCardObjects : public testing::Test {
  protected:
    void SetUp() override {
        reader->setType(kReaderPcsc);
        ASSERT_TRUE(reader->open(true));
    }
    // Selects the card on the reader (its connection is what the storage-card commands use) and
    // forgets the APDUs that took.
    void selectCard() {
        cardAnswers(hexBytes("A1B2C3D4 9000"));
        Orvane::TypeACardInfo info;
        ASSERT_TRUE(typeA->selectAny(info, false));
        fake.sent.clear();
    }
    // Answers GET DATA with `uid`, any other APDU with `other`.
    void cardAnswers(const Bytes& uid, const Bytes& other = hexBytes("9000")) {
        fake.card = [uid, other](const Bytes& apdu) {
            if (apdu == hexBytes("FFCA000000")) return uid;
            return other;
        };
    }

    FakePcsc fake;
    PcscOnlyBus bus{fake};
    std::shared_ptr<RfReader> reader = std::make_shared<RfReader>(bus);
    std::shared_ptr<PcscTypeA> typeA = std::make_shared<PcscTypeA>(reader);
};

TEST_F(PcscCardObjects, SelectingReadsTheUidAndTakesKindAtqaAndSakFromTheAtr) {
    cardAnswers(hexBytes("A1B2C3D4 9000"));
    Orvane::TypeACardInfo info;
    ASSERT_TRUE(typeA->selectAny(info, false));
    EXPECT_EQ(Bytes(info.uid.begin(), info.uid.begin() + info.uidLen), hexBytes("A1B2C3D4"));
    EXPECT_EQ(info.atqa, 0x0004);
    EXPECT_EQ(info.sak, 0x08);
    const Bytes uid = hexBytes("A1B2C3D4");
    EXPECT_TRUE(typeA->selectUid(uid.data(), 4, false));
    const Bytes other = hexBytes("A1B2C3D5");
    EXPECT_FALSE(typeA->selectUid(other.data(), 4, false));
    // A storage card takes no RATS.
    EXPECT_FALSE(typeA->selectAny(info, true));
}

TEST_F(PcscCardObjects, AStorageCardWithoutAUsableUidIsNoCard) {
    for (const char* answer : {"6A81", "9000", "0102030405060708090A0B 9000", "90"}) {
        cardAnswers(hexBytes(answer));
        Orvane::TypeACardInfo info;
        EXPECT_FALSE(typeA->selectAny(info, false)) << answer;
        std::vector<Orvane::TypeACardInfo> found;
        EXPECT_EQ(typeA->findCards(found, 0), 0) << answer;
        EXPECT_TRUE(found.empty());
    }
}

TEST_F(PcscCardObjects, AContactlessIso4CardGetsItsUidFromTheReader) {
    fake.atr = hexBytes("3B8980017886FFFFFFFF000000F6");  // 3B 8n 80 01: built by a contactless reader
    cardAnswers(hexBytes("04112233445566 9000"));
    Orvane::TypeACardInfo info;
    ASSERT_TRUE(typeA->selectAny(info, true));
    EXPECT_EQ(Bytes(info.uid.begin(), info.uid.begin() + info.uidLen), hexBytes("04112233445566"));
    EXPECT_EQ(info.atqa, 0x0044);
    EXPECT_EQ(info.sak, 0x20);
}

TEST_F(PcscCardObjects, AContactCardGetsNoGetDataAndActivatesWithAnAtsFromItsAtr) {
    fake.atr = kIso4Atr;
    cardAnswers(hexBytes("6D00"), hexBytes("6F00 9000"));
    Orvane::TypeACardInfo info;
    Orvane::StdBuf ats;
    ASSERT_TRUE(typeA->selectAny(info, true, &ats));
    EXPECT_EQ(info.uidLen, 0);
    EXPECT_EQ(info.sak, 0x20);
    EXPECT_TRUE(fake.sent.empty()) << "class FF commands go to a contact card itself";
    EXPECT_EQ(Bytes(ats.data(), ats.data() + ats.size()), hexBytes("0A780000008073FF0100"));
    Orvane::StdBuf response;
    const Bytes select = hexBytes("00A4000C023F00");
    ASSERT_TRUE(typeA->rawExchange(select.data(), static_cast<int>(select.size()), response));
    EXPECT_EQ(Bytes(response.data(), response.data() + response.size()), hexBytes("6F00 9000"));
    EXPECT_EQ(fake.sent.back(), select);
}

TEST_F(PcscCardObjects, MifareAuthenticationLoadsTheKeyThenAuthenticatesTheSectorsFirstBlockOnce) {
    PcscMifareClassic mifare(typeA);
    selectCard();
    ASSERT_TRUE(mifare.authenticate(1, kKey.data(), false));
    EXPECT_EQ(fake.sent,
              (std::vector<Bytes>{hexBytes("FF82000006FFFFFFFFFFFF"), hexBytes("FF86000005010004 6000")}));
    EXPECT_EQ(reader->authSector(), 1);
    ASSERT_TRUE(mifare.authenticate(1, kKey.data(), false));
    EXPECT_EQ(fake.sent.size(), 2u) << "the same sector and key again sends nothing";
    ASSERT_TRUE(mifare.authenticate(33, kKey.data(), true));
    EXPECT_EQ(fake.sent.back(), hexBytes("FF86000005010090 6100"));  // sector 33 starts at block 144

    fake.card = [](const Bytes& apdu) { return apdu[1] == 0x86 ? hexBytes("6300") : hexBytes("9000"); };
    EXPECT_FALSE(mifare.authenticate(2, kKey.data(), false));
    EXPECT_EQ(reader->authSector(), 255);
    EXPECT_FALSE(mifare.authenticate(40, kKey.data(), false));
}

TEST_F(PcscCardObjects, MifareBlocksAreReadAndWrittenWithReadAndUpdateBinary) {
    PcscMifareClassic mifare(typeA);
    std::array<std::uint8_t, 16> out{};
    EXPECT_FALSE(mifare.readBlock(6, out.data())) << "no card selected: nothing to send to";
    EXPECT_TRUE(fake.sent.empty());
    selectCard();
    fake.card = [](const Bytes&) { return hexBytes("00112233445566778899AABBCCDDEEFF 9000"); };
    ASSERT_TRUE(mifare.readBlock(6, out.data()));
    EXPECT_EQ(fake.sent.back(), hexBytes("FFB0000610"));
    EXPECT_EQ(Bytes(out.begin(), out.end()), kBlock);
    for (const char* answer : {"00112233445566778899AABBCCDDEE 9000", "6982", ""}) {
        fake.card = [answer](const Bytes&) { return hexBytes(answer); };
        EXPECT_FALSE(mifare.readBlock(6, out.data())) << answer;
    }
    fake.card = [](const Bytes&) { return hexBytes("9000"); };
    ASSERT_TRUE(mifare.writeBlock(6, kBlock.data()));
    EXPECT_EQ(fake.sent.back(), hexBytes("FFD6000610 00112233445566778899AABBCCDDEEFF"));
}

TEST_F(PcscCardObjects, PageTagsReadFourPagesAndWriteOneAndLackTheRest) {
    PcscPageTag tag(typeA);
    selectCard();
    fake.card = [](const Bytes& apdu) {
        return apdu[1] == 0xB0 ? hexBytes("000102030405060708090A0B0C0D0E0F 9000") : hexBytes("9000");
    };
    Orvane::StdBuf out;
    ASSERT_TRUE(tag.readPages(4, 6, out));
    EXPECT_EQ(out.size(), 24u);
    EXPECT_EQ(fake.sent, (std::vector<Bytes>{hexBytes("FFB0000410"), hexBytes("FFB0000810")}));
    const Bytes pages = hexBytes("0102030405060708");
    EXPECT_EQ(tag.writePages(4, 2, pages.data()), 8);
    EXPECT_EQ(fake.sent.back(), hexBytes("FFD6000504 05060708"));

    fake.sent.clear();
    std::uint16_t pack = 0;
    Orvane::PageTagVersion version{};
    std::uint32_t counter = 0;
    EXPECT_FALSE(tag.fastRead(4, 2, out));
    EXPECT_FALSE(tag.pwdAuth(pages.data(), pack));
    EXPECT_FALSE(tag.getVersion(version));
    EXPECT_FALSE(tag.readCounter(counter));
    EXPECT_FALSE(tag.readSignature(out));
    EXPECT_TRUE(fake.sent.empty());
}

}  // namespace
