// The purse application's PIN (CHANGE PIN, RELOAD PIN, PIN UNBLOCK), its blocking and the card's,
// and a purse application personalised with the FM commands.

#include "purse_test_support.hpp"

using namespace purse_test;

TEST_F(PurseTest, PinChangeReloadAndUnblock) {
    selectPurseApp();
    const Step change[] = {
        {"805E010007 111111 FF 123456", "63C2", "a wrong old PIN takes a try"},
        {"805E010006 888888 123456", "6A80", "no FF between the PINs"},
        {"805E010005 888888 FF 12", "6700", "a new PIN of one byte"},
        {"805E010007 888888 FF 123456", "9000", "changed, the tries back"},
        {"0020000003 888888", "63C2", "the old PIN is gone"},
        {"0020000003 123456", "9000", "the new one verifies"},
        {"0020000003 000000", "63C2"},
        {"0020000003 000000", "63C1"},
        {"0020000003 000000", "63C0"},
        {"805E010007 123456 FF 654321", "6983", "no change on a blocked PIN"},
    };
    run(change);

    // RELOAD PIN: the new PIN and its MAC under DRPK folded to single DES; blocked or not.
    const Bytes reloadKey = fold(bytes(defaults::kPinReloadKey));
    const Bytes reloaded = hexBytes("246802");
    EXPECT_EQ(hex(send(cat({hexBytes("805E000007"), reloaded, mac(reloadKey, hexBytes("246803"))}))), "9302");
    EXPECT_EQ(sendHex("0020000003 123456"), "6983") << "a wrong reload leaves the PIN blocked";
    EXPECT_EQ(hex(send(cat({hexBytes("805E000007"), reloaded, mac(reloadKey, reloaded)}))), "9000");
    EXPECT_EQ(sendHex("0020000003 246802"), "9000");

    // PIN UNBLOCK: the current PIN enciphered under DPUK (length, PIN, 80 00..), MAC'd under DPUK.
    for (int i = 0; i < 3; ++i)
        send(hexBytes("0020000003 000000"));
    ASSERT_EQ(sendHex("0020000003 246802"), "6983");
    const Bytes unblockKey = bytes(defaults::kPinUnblockKey);
    const auto unblock = [&](const Bytes& key, const Bytes& pin) {
        const Bytes cryptogram = ecb(unblockKey, padded(cat({{static_cast<std::uint8_t>(pin.size())}, pin})));
        return hex(send(withMac(key, hexBytes("80240000"), cryptogram)));
    };
    EXPECT_EQ(unblock(unblockKey, hexBytes("999999")), "6A80") << "not the PIN";
    EXPECT_EQ(unblock(kMaintenanceKey, reloaded), "6988") << "MAC'd under another key";
    EXPECT_EQ(sendHex("8024000008 0001020304050607"), "6987") << "without a MAC";
    EXPECT_EQ(sendHex("0020000003 246802"), "6983");
    EXPECT_EQ(unblock(unblockKey, reloaded), "9000");
    EXPECT_EQ(sendHex("0020000003 246802"), "9000");
}

TEST_F(PurseTest, ApplicationBlockedForNowThenForGood) {
    selectPurseApp();
    EXPECT_EQ(sendHex("801E0000"), "6987") << "a block needs a MAC";
    EXPECT_EQ(hex(send(withMac(bytes(defaults::kSmKey), hexBytes("801E0000")))), "6988") << "DF 1001's key";
    ASSERT_EQ(hex(send(withMac(kMaintenanceKey, hexBytes("801E0000")))), "9000");
    const Step blocked[] = {
        {"805C000204", "6A81", "GET BALANCE"},
        {"805001020B01 00000001 112233445566 0F", "6A81", "INITIALIZE FOR PURCHASE"},
        {"805A000602 0007 08", "6A81", "GET TRANSACTION PROVE"},
        {"805E010007 888888 FF 123456", "6A81", "CHANGE PIN"},
        {"00A4040C08 F05246444F434B01", "9000", "the other application is not blocked"},
        {"00A4040C09 A00000000386980701", "6283", "selected, with a warning"},
    };
    run(blocked);
    const std::string fci = sendHex("00A4040009 A00000000386980701 00");
    EXPECT_EQ(fci.substr(0, 2), "6F");
    EXPECT_EQ(fci.substr(fci.size() - 4), "6283");

    ASSERT_EQ(hex(send(withMac(kMaintenanceKey, hexBytes("80180000")))), "9000");
    EXPECT_EQ(sendHex("805C000204"), "000027109000");
    EXPECT_EQ(sendHex("00A4040C09 A00000000386980701"), "9000");

    ASSERT_EQ(hex(send(withMac(kMaintenanceKey, hexBytes("801E0001")))), "9000");
    EXPECT_EQ(sendHex("805C000204"), "9303");
    EXPECT_EQ(hex(send(withMac(kMaintenanceKey, hexBytes("80180000")))), "9303") << "no unblock for good";
    EXPECT_EQ(sendHex("00A4040C08 F05246444F434B01"), "9000");
    EXPECT_EQ(sendHex("00A4040C09 A00000000386980701"), "6A81");
    EXPECT_EQ(sendHex("00A4000C02 1002"), "6A81");
}

TEST_F(PurseTest, BlockedCardRefusesEverythingFromThenOn) {
    selectPurseApp();
    ASSERT_EQ(hex(send(withMac(kMaintenanceKey, hexBytes("80160000")))), "9000");
    for (const char* apdu : {"00A4040C09 A00000000386980701", "0084000004", "805C000204", "00A40000"})
        EXPECT_EQ(sendHex(apdu), "6A81") << apdu;
    card->state().resetSession();
    EXPECT_EQ(sendHex("00A4040C08 F05246444F434B01"), "6A81") << "after a new session";
}

TEST_F(PurseTransactionTest, PersonalisedPurseKeysCarryTheirVersion) {
    const Bytes loadKey = hexBytes("0F0E0D0C0B0A09080706050403020100");
    const Step personalise[] = {
        {"800E000000", "9000", "erase the MF"},
        {"80E0100208 380400F0F000FFFF", "9000", "DF 1002, current"},
        {"80E0000107 2F0208F000FF01", "9000", "ED purse 0001"},
        {"80D4010115 3EF0F00700" + hex(loadKey), "9000", "DLK index 01, version 07"},
        {"80D401000A 3EF0F00700 1122334455", "6700", "a purse key of 5 bytes"},
        {"80D4010015 34F0F00100" + hex(bytes(defaults::kTacKey)), "9000", "DTK"},
        {"80D4010008 3AF0F00033 888888", "9000", "PIN 00"},
        {"0020000003 888888", "9000"},
    };
    run(personalise);
    Transaction load{"personalised ED load", Flow::load, 0x00, 0x01, 0x01, 700, {}, 0x07, 0, 700, true};
    std::copy(loadKey.begin(), loadKey.end(), load.key.begin());
    const Completion c = complete(load, initialize(load));
    EXPECT_EQ(hex(send(c.command)), hex(cat({c.answer, {0x90, 0x00}})));
    EXPECT_EQ(purse(defaults::kEdId).balance, 700u);
    EXPECT_EQ(purse(defaults::kEdId).onlineCounter, 1);
}
