// The e-purse commands byte for byte as the card receives them, and both steps of each transaction
// against a scripted card whose MAC1 and expected MACs and TACs this test computes itself from the
// keys (ref_des.hpp, straight on OpenSSL).

#include <gtest/gtest.h>

#include <functional>

#include "../cpu/fake_typea_reader.hpp"
#include "../cpu/ref_des.hpp"
#include "card/cpu/cpu_cos_typea.hpp"
#include "card/purse/bcd_time.hpp"
#include "card/purse/cos_pboc2.hpp"

using Orvane::CosPboc2;
using Orvane::OrderRecord;
using Orvane::cos_7816::_KeyData;

namespace {

_KeyData desKey(const Bytes& value) {
    _KeyData key;
    key.alg = 2;
    key.keyLen = static_cast<std::uint8_t>(value.size());
    std::copy(value.begin(), value.end(), key.key.begin());
    return key;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes first4(const Bytes& block) {
    return Bytes(block.begin(), block.begin() + 4);
}

// The single-DES TAC key: the two halves of a 16-byte key XORed.
Bytes tacKeyOf(const Bytes& key) {
    Bytes single(8);
    for (int i = 0; i < 8; ++i)
        single[i] = key[i] ^ key[i + 8];
    return single;
}

std::uint32_t macValue(const Bytes& four) {
    return four[0] | four[1] << 8 | four[2] << 16 | static_cast<std::uint32_t>(four[3]) << 24;
}

std::string hex(const Bytes& bytes) {
    return Orvane::hexEncode(bytes);
}

const Bytes kMasterKey = hexBytes("00112233445566778899AABBCCDDEEFF");
const Bytes kTacKey = hexBytes("0F1E2D3C4B5A69788796A5B4C3D2E1F0");
const Bytes kNumber = hexBytes("112233445566");
constexpr std::uint32_t kTimes = 1765432100;

class CosPboc2Test : public WithCryptoProviders {
  protected:
    void SetUp() override {
        const Bytes uid = hexBytes("A1B2C3D4");
        ASSERT_TRUE(card->activate(uid.data(), 4));
    }

    OrderRecord order(std::uint32_t money) const {
        OrderRecord record;
        std::copy(kNumber.begin(), kNumber.end(), record.number.begin());
        record.money = money;
        record.times = kTimes;
        return record;
    }

    std::string sent(std::size_t i) const { return i < reader->sent.size() ? hex(reader->sent[i]) : ""; }

    std::shared_ptr<FakeTypeAReader> reader = std::make_shared<FakeTypeAReader>();
    std::shared_ptr<Orvane::CpuCosTypeA> card = std::make_shared<Orvane::CpuCosTypeA>(reader);
    CosPboc2 cos{card};
    _KeyData key = desKey(kMasterKey);
    _KeyData keyTac = desKey(kTacKey);
};

TEST_F(CosPboc2Test, PlainCommandsAsTheCardReceivesThem) {
    struct Case {
        const char* name;
        std::function<std::uint16_t(CosPboc2&)> run;
        const char* sent;
    };
    const Case cases[] = {
        {"ChangePinFourToSix", [](CosPboc2& c) { return c.changePin(0x02, "1234", "123456"); },
         "805E0102 06 1234 FF 123456"},
        {"ChangePinOddDigits", [](CosPboc2& c) { return c.changePin(0x00, "12345", "9"); },
         "805E0100 05 12345F FF 9F"},
        {"UpdateCappDataCache",
         [](CosPboc2& c) { return c.updateCappDataCache(0x17, 0x01, 0x0C, hexBytes("A1A2A3"), nullptr); },
         "80DC01BC 03 A1A2A3"},
    };
    for (const auto& c : cases) {
        reader->sent.clear();
        reader->reply("9000");
        EXPECT_EQ(c.run(cos), 0x0090) << c.name;
        EXPECT_EQ(sent(0), hex(hexBytes(c.sent))) << c.name;
    }
}

TEST_F(CosPboc2Test, BalanceAndProofAreReadOnlyFromACompleteAnswer) {
    std::uint32_t money = 7;
    reader->reply("000003E8 9000");
    EXPECT_EQ(cos.getBalance(2, money), 0x0090);
    EXPECT_EQ(sent(0), "805C000204");
    EXPECT_EQ(money, 1000u);
    reader->reply("0003E8 9000");
    EXPECT_EQ(cos.getBalance(1, money), 0x0090);
    EXPECT_EQ(money, 0u) << "three bytes are no balance";

    std::uint32_t mac = 1, tac = 1;
    reader->sent.clear();
    reader->reply("01020304 A1A2A3A4 9000");
    EXPECT_EQ(cos.getTransactionProve(6, 0x0102, mac, tac), 0x0090);
    EXPECT_EQ(sent(0),
              "805A0006020102"
              "08");
    EXPECT_EQ(mac, 0x04030201u);
    EXPECT_EQ(tac, 0xA4A3A2A1u);
    reader->reply("9406");
    EXPECT_EQ(cos.getTransactionProve(6, 0x0103, mac, tac), 0x0694);
    EXPECT_EQ(mac, 0u);
    EXPECT_EQ(tac, 0u);
}

TEST_F(CosPboc2Test, KeyedCommandsCarryTheirMacs) {
    const Bytes challenge = hexBytes("1122334455667788");
    const Bytes pin = hexBytes("123456");
    // RELOAD PIN: the TAC-form MAC of the packed PIN, no challenge.
    reader->reply("9000");
    EXPECT_EQ(cos.reloadPin(0x01, key, "123456"), 0x0090);
    EXPECT_EQ(sent(0),
              hex(concat({hexBytes("805E0001 07"), pin, first4(ref::mac(tacKeyOf(kMasterKey), {}, pin))})));

    struct Case {
        const char* name;
        std::function<std::uint16_t(CosPboc2&, const _KeyData&)> run;
        const char* header;  // with the MAC counted in Lc
    };
    const Case cases[] = {
        {"ApplicationUnblock", [](CosPboc2& c, const _KeyData& k) { return c.unblockApplication(k); },
         "84180000 04"},
        {"ApplicationBlockForGood",
         [](CosPboc2& c, const _KeyData& k) { return c.blockApplication(k, true); }, "841E0001 04"},
        {"ApplicationBlock", [](CosPboc2& c, const _KeyData& k) { return c.blockApplication(k, false); },
         "841E0000 04"},
        {"CardBlock", [](CosPboc2& c, const _KeyData& k) { return c.blockCard(k); }, "84160000 04"},
    };
    for (const auto& c : cases) {
        reader->sent.clear();
        reader->reply(hex(challenge) + "9000");
        reader->reply("9000");
        EXPECT_EQ(c.run(cos, key), 0x0090) << c.name;
        EXPECT_EQ(sent(0), "0084000008") << c.name;
        const Bytes header = hexBytes(c.header);
        EXPECT_EQ(sent(1), hex(concat({header, first4(ref::mac(kMasterKey, challenge, header))}))) << c.name;
    }

    // PIN UNBLOCK: Lc and the PIN enciphered, then the MAC.
    reader->sent.clear();
    reader->reply(hex(challenge) + "9000");
    reader->reply("9000");
    EXPECT_EQ(cos.unblockPin(0x01, key, "123456"), 0x0090);
    const Bytes cryptogram = ref::ecb("DES-EDE-ECB", kMasterKey, ref::pad(concat({{0x03}, pin})));
    const Bytes header = concat({hexBytes("84240100"), {static_cast<std::uint8_t>(cryptogram.size() + 4)}});
    const Bytes macInput = concat({header, cryptogram});
    EXPECT_EQ(sent(1), hex(concat({macInput, first4(ref::mac(kMasterKey, challenge, macInput))})));
}

TEST_F(CosPboc2Test, RefusedBeforeAnyTraffic) {
    struct Case {
        const char* name;
        std::function<std::uint16_t(CosPboc2&)> run;
    };
    const _KeyData k = key;
    const Case cases[] = {
        {"PinWithALetter", [](CosPboc2& c) { return c.changePin(0, "12a4", "1234"); }},
        {"PinOf13Digits", [](CosPboc2& c) { return c.changePin(0, "1234", "1234567890123"); }},
        {"ReloadPinNotDigits", [&](CosPboc2& c) { return c.reloadPin(0, k, "12 34"); }},
        {"UnblockPinNotDigits", [&](CosPboc2& c) { return c.unblockPin(0, k, "x"); }},
        {"CacheOf300Bytes",
         [](CosPboc2& c) { return c.updateCappDataCache(1, 1, 0, Bytes(300, 0), nullptr); }},
        {"CacheOf253Bytes",
         [](CosPboc2& c) { return c.updateCappDataCache(1, 1, 0, Bytes(253, 0), nullptr); }},
        {"CacheSfi32", [](CosPboc2& c) { return c.updateCappDataCache(32, 1, 0, {}, nullptr); }},
        {"ProofCounterPastTwoBytes",
         [](CosPboc2& c) {
             std::uint32_t mac = 0, tac = 0;
             return c.getTransactionProve(6, 0x10102, mac, tac);
         }},
    };
    for (const auto& c : cases) {
        reader->sent.clear();
        EXPECT_EQ(c.run(cos), 0x866A) << c.name;
        EXPECT_TRUE(reader->sent.empty()) << c.name;
    }
}

TEST_F(CosPboc2Test, TypesOutsideTheTableAndBadRecordsSendNothing) {
    for (const std::uint32_t type : {0u, 8u, 11u, 0x102u}) {
        OrderRecord record = order(100);
        EXPECT_EQ(cos.initialize(type, 1, key, nullptr, record), 0x866A) << type;
        record.tmpAlg = 2;
        EXPECT_EQ(cos.commit(record), 0x866A) << type;
    }
    OrderRecord limit = order(0x1000000);
    EXPECT_EQ(cos.initialize(7, 1, key, nullptr, limit), 0x866A) << "a limit past three bytes";
    OrderRecord load = order(100);
    load.type = 2;
    load.tmpAlg = 1;
    EXPECT_EQ(cos.commit(load), 0x866A) << "tmpAlg 1";
    load.tmpAlg = 2;
    load.tmpKeyLen = 0;
    EXPECT_EQ(cos.commit(load), 0x866A) << "no session key";
    EXPECT_TRUE(reader->sent.empty());
}

// A card in the middle of step one: its counter and random, and the session key it derives.
struct CardSide {
    Bytes balance = hexBytes("000003E8");  // 1000
    Bytes counter = hexBytes("0005");
    Bytes random = hexBytes("A1B2C3D4");
    Bytes limit = hexBytes("0001F4");  // 500
    Bytes keyVerAlg = hexBytes("0102");

    Bytes onlineSessionKey(const Bytes& master) const {
        return ref::ecb("DES-EDE-ECB", master, concat({random, counter, hexBytes("8000")}));
    }
    Bytes offlineSessionKey(const Bytes& master, std::uint16_t seq) const {
        return ref::ecb("DES-EDE-ECB", master,
                        concat({random, counter, {Bytes{std::uint8_t(seq >> 8), std::uint8_t(seq)}}}));
    }
};

Bytes be(std::uint32_t value, int bytes) {
    Bytes out;
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    return out;
}

TEST_F(CosPboc2Test, LoadStepOneChecksMac1AndPrecomputesTheTac) {
    const CardSide side;
    const Bytes sk = side.onlineSessionKey(kMasterKey);
    const Bytes mac1 = first4(ref::mac(sk, {}, concat({side.balance, be(100, 4), {0x02}, kNumber})));
    reader->reply(hex(concat({side.balance, side.counter, side.keyVerAlg, side.random, mac1})) + "9000");

    OrderRecord record = order(100);
    EXPECT_EQ(cos.initialize(2, 0x01, key, &keyTac, record), 0x0090);
    EXPECT_EQ(sent(0),
              "80500002"
              "0B"
              "01"
              "00000064"
              "112233445566"
              "10");
    EXPECT_EQ(record.type, 2);
    EXPECT_EQ(record.oldBalance, 1000u);
    EXPECT_EQ(record.newBalance, 1100);
    EXPECT_EQ(record.seq, 6);
    EXPECT_EQ(record.keyVer, 1);
    EXPECT_EQ(record.keyFlag, 2);
    EXPECT_EQ(record.tmpAlg, 2);
    EXPECT_EQ(hex(Bytes(record.tmpKey.begin(), record.tmpKey.begin() + record.tmpKeyLen)), hex(sk));
    EXPECT_EQ(record.mac, 0u);
    const auto bcd = Orvane::bcdLocalTime(kTimes);
    EXPECT_EQ(record.bcdTime, bcd);
    const Bytes tacInput =
        concat({be(1100, 4), side.counter, be(100, 4), {0x02}, kNumber, Bytes(bcd.begin(), bcd.end())});
    EXPECT_EQ(record.tac, macValue(first4(ref::mac(tacKeyOf(kTacKey), {}, tacInput))));

    // The same answer with another MAC1: the key was not the card's.
    Bytes wrong = mac1;
    wrong[3] ^= 0x01;
    reader->reply(hex(concat({side.balance, side.counter, side.keyVerAlg, side.random, wrong})) + "9000");
    OrderRecord again = order(100);
    EXPECT_EQ(cos.initialize(2, 0x01, key, nullptr, again), 0x8869);
    EXPECT_EQ(again.tac, 0u) << "no TAC key, no TAC";
}

TEST_F(CosPboc2Test, UnloadStepOnePrecomputesTheCardsMacNotATac) {
    const CardSide side;
    const Bytes sk = side.onlineSessionKey(kMasterKey);
    const Bytes mac1 = first4(ref::mac(sk, {}, concat({side.balance, be(250, 4), {0x03}, kNumber})));
    reader->reply(hex(concat({side.balance, side.counter, side.keyVerAlg, side.random, mac1})) + "9000");
    OrderRecord record = order(250);
    EXPECT_EQ(cos.initialize(3, 0x02, key, &keyTac, record), 0x0090);
    EXPECT_EQ(sent(0),
              "80500501"
              "0B"
              "02"
              "000000FA"
              "112233445566"
              "10");
    EXPECT_EQ(record.newBalance, 750);
    const auto bcd = Orvane::bcdLocalTime(kTimes);
    const Bytes proof =
        concat({be(750, 4), side.counter, be(250, 4), {0x03}, kNumber, Bytes(bcd.begin(), bcd.end())});
    EXPECT_EQ(record.mac, macValue(first4(ref::mac(sk, {}, proof))));
    EXPECT_EQ(record.tac, 0u);
}

TEST_F(CosPboc2Test, StepOneAnswersOfAnotherLengthOrStatus) {
    struct Case {
        const char* name;
        std::uint32_t type;
        const char* answer;
        std::uint16_t status;
    };
    const Case cases[] = {
        {"LoadOf15Bytes", 2, "000003E8 0005 0102 A1B2C3D4 000000 9000", 0x0062},
        {"LoadOf17Bytes", 1, "000003E8 0005 0102 A1B2C3D4 0000000000 9000", 0x0062},
        {"PurchaseOf16Bytes", 6, "000003E8 0005 0001F4 0102 A1B2C3D4 00 9000", 0x0062},
        {"LimitOf15Bytes", 7, "000003E8 0005 0001F4 0102 A1B2C3D4 9000", 0x0062},
        {"Refused", 5, "9401", 0x0194},
    };
    for (const auto& c : cases) {
        reader->sent.clear();
        reader->reply(c.answer);
        OrderRecord record = order(100);
        EXPECT_EQ(cos.initialize(c.type, 1, key, nullptr, record), c.status) << c.name;
        EXPECT_EQ(reader->sent.size(), 1u) << c.name << ": nothing after the INITIALIZE";
    }
}

TEST_F(CosPboc2Test, PurchaseStepOneDerivesTheKeyFromTheNextCounter) {
    const CardSide side;
    reader->reply(hex(concat({side.balance, side.counter, side.limit, side.keyVerAlg, side.random})) +
                  "9000");
    OrderRecord record = order(300);
    EXPECT_EQ(cos.initialize(6, 0x03, key, &keyTac, record), 0x0090);
    EXPECT_EQ(sent(0),
              "80500102"
              "0B"
              "03"
              "0000012C"
              "112233445566"
              "0F");
    EXPECT_EQ(record.newBalance, 700);
    EXPECT_EQ(record.limit, 500u);
    EXPECT_EQ(record.seq, 6);
    const Bytes sk = side.offlineSessionKey(kMasterKey, 6);
    EXPECT_EQ(hex(Bytes(record.tmpKey.begin(), record.tmpKey.begin() + 8)), hex(sk));
    EXPECT_EQ(record.mac, macValue(first4(ref::mac(sk, {}, be(300, 4)))));
    const auto bcd = Orvane::bcdLocalTime(kTimes);
    const Bytes tacInput = concat({be(300, 4), {0x06}, kNumber, be(6, 4), Bytes(bcd.begin(), bcd.end())});
    EXPECT_EQ(record.tac, macValue(first4(ref::mac(tacKeyOf(kTacKey), {}, tacInput))));
}

TEST_F(CosPboc2Test, LimitUpdateStepOne) {
    const CardSide side;
    const Bytes sk = side.onlineSessionKey(kMasterKey);
    const Bytes mac1 = first4(ref::mac(sk, {}, concat({side.balance, side.limit, {0x07}, kNumber})));
    reader->reply(hex(concat({side.balance, side.counter, side.limit, side.keyVerAlg, side.random, mac1})) +
                  "9000");
    OrderRecord record = order(800);
    EXPECT_EQ(cos.initialize(7, 0x01, key, &keyTac, record), 0x0090);
    EXPECT_EQ(sent(0),
              "80500401"
              "07"
              "01"
              "112233445566"
              "13");
    EXPECT_EQ(record.limit, 500u);
    EXPECT_EQ(record.newBalance, 1300);
    EXPECT_EQ(record.mac, 0u);
    const auto bcd = Orvane::bcdLocalTime(kTimes);
    const Bytes tacInput =
        concat({be(1300, 4), side.counter, be(800, 3), {0x07}, kNumber, Bytes(bcd.begin(), bcd.end())});
    EXPECT_EQ(record.tac, macValue(first4(ref::mac(tacKeyOf(kTacKey), {}, tacInput))));
}

TEST_F(CosPboc2Test, StepTwoCommandsAndWhatIsKept) {
    const Bytes sk = hexBytes("0123456789ABCDEF");
    const auto bcd = Orvane::bcdLocalTime(kTimes);
    const Bytes dateTime(bcd.begin(), bcd.end());
    struct Case {
        const char* name;
        std::uint8_t type;
        const char* head;    // CLA INS P1 P2 Lc, then seq or limit where sent
        Bytes macInput;      // before date and time
        const char* answer;  // response data
        std::uint32_t tac, mac;
    };
    const Case cases[] = {
        {"LoadEp", 2, "80520000 0B", concat({be(100, 4), {0x02}, kNumber}), "A1A2A3A4", 0xA4A3A2A1, 0},
        {"Unload", 3, "80540300 0B", concat({be(100, 4), {0x03}, kNumber}), "B1B2B3B4", 0, 0xB4B3B2B1},
        {"Purchase", 6, "80540100 0F 00000009", concat({be(100, 4), {0x06}, kNumber}), "A1A2A3A4B1B2B3B4",
         0xA4A3A2A1, 0xB4B3B2B1},
        {"CompoundPurchase", 10, "80540100 0F 00000009", concat({be(100, 4), {0x0A}, kNumber}),
         "A1A2A3A4B1B2B3B4", 0xA4A3A2A1, 0xB4B3B2B1},
        {"Limit", 7, "80580000 0E 000064", concat({be(100, 3), {0x07}, kNumber}), "C1C2C3C4", 0xC4C3C2C1, 0},
    };
    for (const auto& c : cases) {
        reader->sent.clear();
        OrderRecord record = order(100);
        record.type = c.type;
        record.seq = 9;
        record.bcdTime = bcd;
        record.tmpAlg = 2;
        record.tmpKeyLen = 8;
        std::copy(sk.begin(), sk.end(), record.tmpKey.begin());
        reader->reply(std::string(c.answer) + "9000");
        EXPECT_EQ(cos.commit(record), 0x0090) << c.name;
        const Bytes mac = first4(ref::mac(sk, {}, concat({c.macInput, dateTime})));
        const std::uint8_t le = std::string(c.answer).size() / 2;
        EXPECT_EQ(sent(0), hex(concat({hexBytes(c.head), dateTime, mac, {le}}))) << c.name;
        EXPECT_EQ(record.commitTac, c.tac) << c.name;
        EXPECT_EQ(record.commitMac, c.mac) << c.name;
    }

    // A refused or short answer keeps nothing.
    OrderRecord record = order(100);
    record.type = 5;
    record.tmpAlg = 2;
    record.tmpKeyLen = 8;
    reader->reply("A1A2A3A4 9000");
    EXPECT_EQ(cos.commit(record), 0x0090);
    EXPECT_EQ(record.commitTac, 0u);
    reader->reply("9302");
    EXPECT_EQ(cos.commit(record), 0x0293);
}

TEST(BcdTime, LocalTimeInBcdAndZeroMeansNow) {
    const auto bcd = Orvane::bcdLocalTime(kTimes);
    const std::time_t t = kTimes;
    std::tm local{};
    localtime_r(&t, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &local);
    EXPECT_EQ(hex(Bytes(bcd.begin(), bcd.end())), text);
    const auto before = static_cast<std::uint32_t>(std::time(nullptr));
    const std::uint32_t now = Orvane::transactionTime(0);
    EXPECT_GE(now, before);
    EXPECT_LE(now, before + 2);
    EXPECT_EQ(Orvane::transactionTime(kTimes), kTimes);
}

}  // namespace
