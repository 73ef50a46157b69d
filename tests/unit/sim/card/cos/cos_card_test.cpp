// The simulated COS driven with plain APDUs: byte-exact answers of SELECT, the file commands,
// VERIFY and the two AUTHENTICATEs on the default content, and the status words of what a host
// gets wrong.

#include <random>

#include "cos_test_support.hpp"

using namespace cos_test;
namespace defaults = rfsim::cos::defaults;

namespace {

constexpr const char* kMfFci = "6F16 840E 315041592E5359532E4444463031 A504 9F080100";
constexpr const char* kAppFci = "6F1E 8408 F05246444F434B01 A512 880105 9F080101 BF0C08 1122334455667788";

// Data and 9000 as the card sends them (the separators in the text dropped).
std::string ok(const std::string& data) {
    return hex(hexBytes(data)) + "9000";
}

using CosCardTest = CosTest;

}  // namespace

TEST_F(CosCardTest, SelectAnswersTheFciOfADfAndNothingForAnEf) {
    const Step steps[] = {
        {"00A4000000", ok(kMfFci), "P1 00 without data: the MF"},
        {"00A4000002 3F00", ok(kMfFci), "the MF by its identifier"},
        {"00A4000002 0015", "9000", "an EF of the MF"},
        {"00B0000010", ok("5246444F434B204350552043415244 00"), "it is current: \"RFDOCK CPU CARD\""},
        {"00A4000002 1001", ok(kAppFci), "the DF by identifier"},
        {"00A4000002 0001", "9000", "an EF of the DF"},
        {"00A4020002 0002", "9000", "P1 02: an EF under the current DF"},
        {"00A4020002 1001", "6A82", "P1 02 finds no DF"},
        {"00A404000E 315041592E5359532E4444463031", ok(kMfFci), "the MF by name"},
        {"00A4040008 F05246444F434B01", ok(kAppFci), "the DF by name"},
        {"00A4040C08 F05246444F434B01", "9000", "P2 0C: no response data"},
        {"00A4040003 F05246", "6A82", "names match whole"},
        {"00A4000002 3F01", "6A82", ""},
        {"00A4000002 1001", ok(kAppFci), "the current DF itself"},
        {"00A4080002 3F00", "6A86", "selection by path is not offered"},
        {"00A4000402 3F00", "6A86", "P2 04 (FCP) is not offered"},
        {"00A4000001 3F", "6700", "an identifier has 2 bytes"},
        {"00A4040011 F05246444F434B01F05246444F434B0101", "6700", "a DF name has at most 16 bytes"},
    };
    run(steps);
}

TEST_F(CosCardTest, GetChallengeGivesFourOrEightFreshBytes) {
    const Bytes a = challenge(8), b = challenge(8);
    EXPECT_NE(a, b);
    EXPECT_EQ(challenge(4).size(), 4u);
    const Step steps[] = {
        {"0084000010", "6700", "only 4 or 8"},
        {"00840000", "6700", "Le absent"},
        {"0084000001 00", "6700", "no data"},
        {"0084010008", "6A86", "P1 P2 00 00"},
    };
    run(steps);
}

TEST_F(CosCardTest, ReadBinaryByShortIdentifierAndByOffset) {
    EXPECT_EQ(sendHex("00B0000001"), "6986") << "no current EF yet";
    selectApp();
    const Step steps[] = {
        {"00B0810000", ok("000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F"), "Le 00: all"},
        {"00B0810404", ok("04050607"), "SFI 1, offset 4"},
        {"00B0811E04", "1E1F 6282", "the file ends before Le"},
        {"00B0812001", "6B00", "offset at the end"},
        {"00B0FF0001", "6A86", "P1 b7-b6 must be clear with b8"},
        {"00B0000002", ok("0001"), "SFI 1 became the current EF"},
        {"00B0001F01", ok("1F"), "15-bit offset"},
        {"00B0010001", "6B00", "offset 256"},
        {"00B0820102", ok("2122"), "SFI 2"},
        {"00B0800001", "6A86", "SFI 0 with b8"},
        {"00B0870001", "6A82", "no SFI 7"},
        {"00B0850001", "6981", "SFI 5 holds records"},
        {"00B0860008", "6982", "SFI 6 is read after VERIFY"},
        {"00B0830010", "6982", "SFI 3 wants secure messaging"},
        {"00B08100", "6700", "Le absent"},
        {"00B0810001 00", "6700", "data where none belongs"},
    };
    run(steps);
}

TEST_F(CosCardTest, UpdateBinaryNeedsItsRightAndStaysInsideTheFile) {
    selectApp();
    const Step steps[] = {
        {"00D6810002 AAAA", "6982", "SFI 1 needs external authentication"},
        {"00D6820002 AAAA", "6982", "SFI 2 needs VERIFY"},
        {"0020000003 123456", "9000", ""},
        {"00D6821E02 AAAA", "9000", "the last two bytes"},
        {"00B0821C00", ok("3C3DAAAA"), ""},
        {"00D6821F02 BBBB", "6A84", "one byte past the end"},
        {"00D6822101 BB", "6B00", "offset past the end"},
        {"00A4000002 0002", "9000", ""},
        {"00D6000103 CCCCCC", "9000", "15-bit offset into the current EF"},
        {"00B0000005", ok("20CCCCCC24"), ""},
        {"00D68200", "6700", "no data"},
        {"00D6860001 00", "6982", "SFI 6 is never updated"},
    };
    run(steps);
}

TEST_F(CosCardTest, VerifyCountsTriesAndBlocks) {
    selectApp();
    const Step steps[] = {
        {"00200000", "63C3", "no data: the tries left"},
        {"0020000003 123457", "63C2", ""},
        {"0020000003 123456", "9000", "a success gives all tries back"},
        {"00200000", "9000", "verified"},
        {"00B0860000", ok("D0D1D2D3D4D5D6D7"), "SFI 6 now reads"},
        {"0020000003 000000", "63C2", "a failure takes the right away"},
        {"00B0860000", "6982", ""},
        {"0020000003 000000", "63C1", ""},
        {"0020000003 000000", "63C0", ""},
        {"0020000003 123456", "6983", "blocked"},
        {"00200000", "6983", ""},
        {"0020000103 123456", "6A88", "no PIN 01"},
        {"0020010003 123456", "6A86", "P1 00"},
    };
    run(steps);
}

TEST_F(CosCardTest, SecurityStateIsLostWhenAnotherDfIsSelected) {
    selectApp();
    EXPECT_EQ(sendHex("0020000003 123456"), "9000");
    EXPECT_EQ(sendHex("00A4000002 3F00"), ok(kMfFci));
    EXPECT_EQ(sendHex("00A4000002 1001"), ok(kAppFci));
    EXPECT_EQ(sendHex("00D6820001 AA"), "6982");
    EXPECT_EQ(sendHex("00200000"), "63C3");
}

TEST_F(CosCardTest, ExternalAuthenticateChecksTheEncipheredChallenge) {
    selectApp();
    const Bytes key3 = bytes(defaults::kExternalKey), key1 = bytes(defaults::kExternalDesKey);
    const auto authenticate = [&](std::uint8_t id, const Bytes& cryptogram) {
        return hex(send(cat({{0x00, 0x82, 0x00, id, 0x08}, cryptogram})));
    };
    EXPECT_EQ(authenticate(0x01, Bytes(8, 0)), "6984") << "no challenge";
    EXPECT_EQ(authenticate(0x01, ecb(key3, challenge())), "9000");
    EXPECT_EQ(sendHex("00D6810001 AA"), "9000");
    EXPECT_EQ(sendHex("00B0810002"), ok("AA01"));
    EXPECT_EQ(authenticate(0x01, ecb(key3, Bytes(8, 0))), "6984") << "the challenge was used up";

    // A 4-byte challenge is enciphered with 4 zero bytes after it; single DES for key 02.
    EXPECT_EQ(authenticate(0x02, ecb(key1, cat({challenge(4), Bytes(4, 0)}))), "9000");

    challenge();
    EXPECT_EQ(authenticate(0x01, Bytes(8, 0x55)), "63C2");
    EXPECT_EQ(sendHex("00D6810001 AA"), "6982") << "a failure takes the right away";
    const Step steps[] = {
        {"0082000708 0000000000000000", "6A88", "no key 07"},
        {"0082010108 0000000000000000", "6A86", "P1 00"},
        {"0082000107 00000000000000", "6700", "8 bytes"},
    };
    run(steps);
    challenge();
    EXPECT_EQ(authenticate(0x01, Bytes(8, 0x55)), "63C1");
    challenge();
    EXPECT_EQ(authenticate(0x01, Bytes(8, 0x55)), "63C0");
    EXPECT_EQ(authenticate(0x01, ecb(key3, challenge())), "6983") << "blocked";
}

TEST_F(CosCardTest, InternalAuthenticateEnciphersWithThePaddingOnlyWhenNeeded) {
    selectApp();
    const Bytes key3 = bytes(defaults::kInternalKey), key1 = bytes(defaults::kInternalDesKey);
    const Bytes block = hexBytes("0011223344556677");
    EXPECT_EQ(sendHex("0088000108 0011223344556677"), hex(ecb(key3, block)) + "9000");
    EXPECT_EQ(sendHex("0088000108 0011223344556677 00"), hex(ecb(key3, block)) + "9000") << "with Le";
    EXPECT_EQ(sendHex("0088000205 0102030405"), hex(ecb(key1, hexBytes("0102030405800000"))) + "9000");
    const Step steps[] = {
        {"0088000308 0011223344556677", "6A88", "no key 03"},
        {"0088010108 0011223344556677", "6A86", "P1 00"},
        {"00880001", "6700", "no data"},
    };
    run(steps);
}

TEST_F(CosCardTest, RecordsAreReadUpdatedAndAppendedByNumber) {
    const auto fill = [](const char* byte) {
        std::string out;
        for (int i = 0; i < 16; ++i)
            out += byte;
        return out;
    };
    selectApp();
    const Step steps[] = {
        {"00B2012C00", ok(fill("C1")), "P2 = SFI 5 << 3 | 4"},
        {"00B2022C10", ok(fill("C2")), ""},
        {"00B2012C08", ok("C1C1C1C1C1C1C1C1"), "Le shorter than the record"},
        {"00B2012C20", fill("C1") + "6282", "Le longer than the record"},
        {"00B2032C00", "6A83", "no record 3 yet"},
        {"00B2002C00", "6A83", "records count from 1"},
        {"00B2012D00", "6A86", "only 'record number P1' is offered"},
        {"00B2010C00", "6981", "SFI 1 is transparent"},
        {"00B201F400", "6A82", "no SFI 30"},
        {"00B201FC00", "6A86", "SFI 31 is RFU"},
        {"00B2012C", "6700", "Le absent"},
        {"00DC012C10 " + fill("E1"), "6982", "updates need external auth or VERIFY"},
        {"00E2002810 " + fill("D3"), "6982", ""},
        {"0020000003 123456", "9000", ""},
        {"00E2002810 " + fill("D3"), "9000", "APPEND: P2 = SFI << 3"},
        {"00B2032C00", ok(fill("D3")), ""},
        {"00E2002810 " + fill("D4"), "9000", ""},
        {"00E2002810 " + fill("D5"), "6A84", "room for 4 records"},
        {"00DC022C10 " + fill("E2"), "9000", ""},
        {"00B2020400", ok(fill("E2")), "SFI 0: the current EF"},
        {"00DC052C10 " + fill("E5"), "6A83", ""},
        {"00DC012C0F " + fill("E1").substr(2), "6700", "a fixed record is written whole"},
        {"00E2002910 " + fill("D5"), "6A86", "APPEND takes no record mode"},
        {"00E2012810 " + fill("D5"), "6A86", "APPEND has P1 00"},
    };
    run(steps);
}

TEST_F(CosCardTest, MalformedCommandsGetAStatusWord) {
    const Step steps[] = {
        {"", "6700", "nothing"},
        {"00A404", "6700", "shorter than a header"},
        {"00A4040005 F052", "6700", "Lc longer than the data"},
        {"00A4040002 F05246444F", "6700", "Lc shorter than the data (and not Le)"},
        {"00A4040000 F052", "6700", "extended length"},
        {"FFA4000000", "6E00", "CLA FF"},
        {"10A4000000", "6E00", "CLA 1X"},
        {"01A4000000", "6881", "logical channel 1"},
        {"00CA000000", "6D00", "GET DATA is not offered"},
        {"80A4000000", "6D00", "no proprietary commands yet"},
        {"08B0810001", "6882", "secure messaging other than b3"},
        {"04A4000000", "6882", "SELECT takes no secure messaging"},
    };
    run(steps);
}

TEST_F(CosCardTest, ArbitraryBytesAlwaysGetAStatusWord) {
    std::mt19937 random(7);
    selectApp();
    for (int i = 0; i < 20000; ++i) {
        Bytes apdu(random() % 270);
        for (auto& byte : apdu)
            byte = static_cast<std::uint8_t>(random());
        // Aim most of them at the commands this card has, with a CLA it takes.
        if (apdu.size() > 1 && i % 4 != 0) {
            static constexpr std::uint8_t kIns[] = {0xA4, 0x84, 0x20, 0x82, 0x88,
                                                    0xB0, 0xD6, 0xB2, 0xDC, 0xE2};
            apdu[0] &= 0x0C;
            apdu[1] = kIns[random() % std::size(kIns)];
        }
        if (apdu.size() > 5 && i % 2 == 0)
            apdu[4] = static_cast<std::uint8_t>(apdu.size() - 5 - random() % 2);
        const Bytes response = send(apdu);
        ASSERT_GE(response.size(), 2u) << hex(apdu);
        if (i % 500 == 0) card->state().resetSession();
    }
}
