// Secure messaging on the file commands: command MACs checked, response MACs and enciphered data
// compared with values computed in the test by plain OpenSSL calls (cos_test_support.hpp), and two
// MACs pasted from the openssl command line.

#include "cos_test_support.hpp"

using namespace cos_test;
namespace defaults = rfsim::cos::defaults;

namespace {

const Bytes kKey = bytes(defaults::kSmKey);

class CosSecureMessagingTest : public CosTest {
  protected:
    // CLA|04 INS P1 P2 Lc' data MAC [Le], the MAC over the header, Lc' and data from `iv`.
    static Bytes wrap(const Bytes& header, const Bytes& data, const Bytes& iv,
                      std::optional<std::uint8_t> le) {
        Bytes command = cat({header, {static_cast<std::uint8_t>(data.size() + 4)}, data});
        command[0] |= 0x04;
        command = cat({command, mac4(kKey, iv, command)});
        if (le) command.push_back(*le);
        return command;
    }
    // Lc data 80 00.. enciphered with the secure-messaging key.
    static Bytes encipher(const Bytes& data) {
        return ecb(kKey, padded(cat({{static_cast<std::uint8_t>(data.size())}, data})));
    }
    // What the card must answer: data, its MAC from `iv`, 9000.
    static std::string macced(const Bytes& data, const Bytes& iv) {
        return hex(cat({data, mac4(kKey, iv, data), {0x90, 0x00}}));
    }
};

}  // namespace

TEST(CosMac, MatchesTheOpensslCommandLine) {
    ASSERT_TRUE(rfsim::cos::loadDesProviders());
    // One block: printf '\x04\xB0\x83\x00\x04\x80\x00\x00' |
    //   openssl enc -des-ede-cbc -K 606162636465666768696A6B6C6D6E6F -iv 0102030405060708 -nopad
    // Two blocks: the first through -des-cbc -provider legacy -provider default with K1 = 6061..67
    // gives 76765ADACFBBFAEB, the second (33 44 55 66 77 80 00 00) through -des-ede-cbc from that IV.
    const rfsim::cos::Block iv = {1, 2, 3, 4, 5, 6, 7, 8};
    struct Case {
        const char* data;
        const char* mac;
    };
    const Case cases[] = {
        {"04B0830004", "B8EF38BBB7B36B17"},
        {"04D684000C 0011223344556677", "FC480B094273B9AD"},
    };
    for (const auto& c : cases) {
        const auto mac = rfsim::cos::desMac(kKey, iv, hexBytes(c.data));
        ASSERT_TRUE(mac);
        EXPECT_EQ(hex(*mac), c.mac) << c.data;
        EXPECT_EQ(hex(mac4(kKey, Bytes(iv.begin(), iv.end()), hexBytes(c.data))),
                  std::string(c.mac).substr(0, 8));
    }
}

TEST_F(CosSecureMessagingTest, ReadsCarryAMacFromTheChallenge) {
    selectApp();
    const Bytes sfi3 = hexBytes("A0A1A2A3A4A5A6A7A8A9AAABACADAEAF");
    // SFI 3 insists on a MAC: CLA|04 INS P1 P2 04 MAC Le.
    Bytes iv = challenge();
    EXPECT_EQ(hex(send(wrap(hexBytes("00B08300"), {}, iv, 0x10))), macced(sfi3, iv));
    // SFI 1 takes one when asked; the 15-bit offset form too.
    iv = challenge();
    EXPECT_EQ(hex(send(wrap(hexBytes("00B08104"), {}, iv, 0x04))), macced(hexBytes("04050607"), iv));
    iv = challenge();
    EXPECT_EQ(hex(send(wrap(hexBytes("00B00002"), {}, iv, 0x02))), macced(hexBytes("0203"), iv));
    // Records as well.
    iv = challenge();
    EXPECT_EQ(hex(send(wrap(hexBytes("00B2012C"), {}, iv, 0x00))), macced(Bytes(16, 0xC1), iv));
    // A 4-byte challenge is the IV with 4 zero bytes after it.
    iv = challenge(4);
    EXPECT_EQ(hex(send(wrap(hexBytes("00B08300"), {}, cat({iv, Bytes(4, 0)}), 0x10))),
              macced(sfi3, cat({iv, Bytes(4, 0)})));
    // A status other than 9000 goes out bare.
    iv = challenge();
    EXPECT_EQ(hex(send(wrap(hexBytes("00B08110"), {}, iv, 0x20))), "6282");
}

TEST_F(CosSecureMessagingTest, RefusesWrongMacsAndMissingChallenges) {
    selectApp();
    Bytes iv = challenge();
    Bytes command = wrap(hexBytes("00B08300"), {}, iv, 0x10);
    command[6] ^= 0x01;
    EXPECT_EQ(hex(send(command)), "6988");
    EXPECT_EQ(hex(send(wrap(hexBytes("00B08300"), {}, iv, 0x10))), "6984") << "the challenge was used up";
    iv = challenge();
    EXPECT_EQ(hex(send(wrap(hexBytes("00B08300"), {}, Bytes(8, 0), 0x10))), "6988") << "MAC from another IV";
    challenge();
    EXPECT_EQ(sendHex("04B0830002 AABB 10"), "6987") << "no room for a MAC";
    EXPECT_EQ(sendHex("00B0830010"), "6982") << "SFI 3 refuses plain reads";
    // The MAC covers the header: the same MAC on another P2 fails.
    iv = challenge();
    command = wrap(hexBytes("00B08300"), {}, iv, 0x10);
    command[3] = 0x01;
    EXPECT_EQ(hex(send(command)), "6988");
    // Without a secure-messaging key in the current DF (the MF has none).
    EXPECT_EQ(sendHex("00A4000C02 3F00"), "9000");
    iv = challenge();
    EXPECT_EQ(hex(send(wrap(hexBytes("00B09500"), {}, iv, 0x10))), "6A88");
}

TEST_F(CosSecureMessagingTest, UpdatesWithAMacAndWithEncipheredData) {
    selectApp();
    // MAC only: the data travels plain, the answer is the bare status word.
    Bytes iv = challenge();
    EXPECT_EQ(hex(send(wrap(hexBytes("00D68302"), hexBytes("5A5B"), iv, std::nullopt))), "9000");
    EXPECT_EQ(sendHex("00D6830001 00"), "6982") << "plain updates refused";
    iv = challenge();
    EXPECT_EQ(hex(send(wrap(hexBytes("00B08300"), {}, iv, 0x04))), macced(hexBytes("A0A15A5B"), iv));

    // Enciphered: 6 data bytes become one block, 7 become two (Lc + data fill a block exactly).
    struct Case {
        const char* data;
        std::size_t cipherLength;
        const char* after;  // SFI 4 afterwards
    };
    const Case cases[] = {
        {"010203040506", 8, "010203040506B6B7B8B9BABBBCBDBEBF"},
        {"11121314151617", 16, "11121314151617B7B8B9BABBBCBDBEBF"},
    };
    for (const auto& c : cases) {
        const Bytes cipher = encipher(hexBytes(c.data));
        ASSERT_EQ(cipher.size(), c.cipherLength);
        iv = challenge();
        EXPECT_EQ(hex(send(wrap(hexBytes("00D68400"), cipher, iv, std::nullopt))), "9000") << c.data;
        iv = challenge();
        // The answer: Lc data 80 00.. enciphered, its MAC, 9000.
        const Bytes reply = encipher(hexBytes(c.after));
        EXPECT_EQ(hex(send(wrap(hexBytes("00B08400"), {}, iv, 0x00))), macced(reply, iv)) << c.data;
        EXPECT_EQ(hex(ecb(kKey, reply, false)).substr(0, 34), "10" + std::string(c.after));
    }

    // A cryptogram that does not decipher to length, data and padding.
    const Bytes garbage = ecb(kKey, hexBytes("0901020304050607"));  // claims 9 bytes in 7
    iv = challenge();
    EXPECT_EQ(hex(send(wrap(hexBytes("00D68400"), garbage, iv, std::nullopt))), "6A80");
    iv = challenge();
    EXPECT_EQ(hex(send(wrap(hexBytes("00D68400"), hexBytes("0102030405"), iv, std::nullopt))), "6A80")
        << "not whole blocks";

    // Records: APPEND with a MAC after VERIFY.
    EXPECT_EQ(sendHex("0020000003 123456"), "9000");
    iv = challenge();
    EXPECT_EQ(hex(send(wrap(hexBytes("00E20028"), Bytes(16, 0xD3), iv, std::nullopt))), "9000");
    EXPECT_EQ(sendHex("00B2032C00"), hex(Bytes(16, 0xD3)) + "9000");
}

TEST_F(CosSecureMessagingTest, BadResponseMacFaultCorruptsOnlyTheMac) {
    selectApp();
    card->state().faults.badResponseMac = true;
    const Bytes iv = challenge();
    const Bytes response = send(wrap(hexBytes("00B08300"), {}, iv, 0x10));
    Bytes expected = hexBytes(macced(hexBytes("A0A1A2A3A4A5A6A7A8A9AAABACADAEAF"), iv));
    ASSERT_EQ(response.size(), expected.size());
    EXPECT_NE(response, expected);
    expected[16] ^= 0xFF;
    EXPECT_EQ(response, expected) << "the first MAC byte inverted, data and status intact";
    EXPECT_EQ(sendHex("00B0810002"), "00019000") << "plain responses carry no MAC to corrupt";
}
