// The FM personalisation commands byte for byte as the card receives them, the protection bytes of
// CREATE EF, and the key checks that refuse WRITE KEY before any card traffic.

#include <gtest/gtest.h>

#include <functional>

#include "card/cpu/cos_fm2.hpp"
#include "card/cpu/cpu_cos_typea.hpp"
#include "fake_typea_reader.hpp"

using Orvane::CosFm2;
using Orvane::FileProtection;
using Orvane::KeyHeader;
using Orvane::cos_7816::_KeyData;

namespace {

_KeyData keyOf(std::uint8_t alg, const Bytes& value) {
    _KeyData key;
    key.alg = alg;
    key.keyLen = static_cast<std::uint8_t>(value.size());
    std::copy(value.begin(), value.end(), key.key.begin());
    return key;
}

class CosFm2Commands : public testing::Test {
  protected:
    void SetUp() override {
        const Bytes uid = hexBytes("A1B2C3D4");
        ASSERT_TRUE(card->activate(uid.data(), 4));
    }

    std::shared_ptr<FakeTypeAReader> reader = std::make_shared<FakeTypeAReader>();
    std::shared_ptr<Orvane::CpuCosTypeA> card = std::make_shared<Orvane::CpuCosTypeA>(reader);
    CosFm2 cos{card};
};

}  // namespace

TEST(EfProtection, FileTypeAndProtectionBytes) {
    struct Case {
        const char* name;
        std::uint8_t type;
        FileProtection protection;
        const char* bytes;  // file type, B10, B11
    };
    const Case cases[] = {
        {"None", 0x28, {}, "28FFFF"},
        {"WriteMacWithKey1", 0x28, {.macw = true, .idw = 1}, "A8FFFE"},
        {"EncipheredWriteMac", 0x2A, {.macw = true, .enc = true, .idw = 2}, "EAFFFD"},
        {"ReadAndWriteMacSmallKeys", 0x28, {.macr = true, .macw = true, .idr = 1, .idw = 2}, "A8FF79"},
        {"ReadMacKeysZero", 0x28, {.macr = true}, "28FF7F"},
        {"ReadMacWithKey4", 0x28, {.macr = true, .idr = 4, .idw = 1}, "287BFE"},
        {"ReadMacWithWriteKey8", 0x28, {.macr = true, .idr = 1, .idw = 8}, "287EF7"},
        {"KeyNumbersKeepFourBits", 0x28, {.macw = true, .idw = 0x11}, "A8FFFE"},
    };
    for (const auto& c : cases) {
        const auto p = Orvane::efProtection(c.type, c.protection);
        const Bytes got = {p.fileType, p.b10, p.b11};
        EXPECT_EQ(Orvane::hexEncode(got), c.bytes) << c.name;
    }
}

TEST_F(CosFm2Commands, CommandsAsTheCardReceivesThem) {
    struct Case {
        const char* name;
        std::function<std::uint16_t(CosFm2&)> run;
        const char* sent;
    };
    const Bytes aid = hexBytes("F05246444F434B02");
    const Case cases[] = {
        {"EraseDf", [](CosFm2& c) { return c.eraseDf(); }, "800E000000"},
        {"CreateDfWithoutAid", [](CosFm2& c) { return c.createDf(0x3F01, 0x0200, 0xF0, 0xF0, 0x95, {}); },
         "80E03F01 08 38 0200 F0 F0 95 FFFF"},
        {"CreateDfWithAid", [&](CosFm2& c) { return c.createDf(0x1002, 0x0800, 0xF0, 0xF0, 0x95, aid); },
         "80E01002 10 38 0800 F0 F0 95 FFFF F05246444F434B02"},
        {"CreateEfWithWriteMac",
         [](CosFm2& c) { return c.createEf(0x28, 0x0016, 0x0020, 0xF0, 0xF1, {.macw = true, .idw = 1}); },
         "80E00016 07 A8 0020 F0 F1 FFFE"},
        {"CreatePurse", [](CosFm2& c) { return c.createPurseFile(2, 0xF0, 0x18); },
         "80E00002072F0208F000FF18"},
        {"WriteDesKey",
         [](CosFm2& c) {
             return c.writeKey({.oldType = 0x01,
                                .id = 0x00,
                                .type = 0x39,
                                .use = 0xF0,
                                .ren = 0xF0,
                                .pow = 0xAA,
                                .err = 0x33},
                               keyOf(2, hexBytes("00112233445566778899AABBCCDDEEFF")), nullptr);
         },
         "80D40100 15 39 F0 F0 AA 33 00112233445566778899AABBCCDDEEFF"},
        {"WritePinFlagged",
         [](CosFm2& c) {
             return c.writeKey({.oldType = 0x01,
                                .id = 0x01,
                                .type = 0x3A,
                                .use = 0xF0,
                                .ren = 0xEF,
                                .pow = 0x01,
                                .err = 0x33,
                                .enc = true,
                                .mac = true},
                               keyOf(1, hexBytes("123456")), nullptr);
         },
         "80D40101 08 FA F0 EF 01 33 123456"},
    };
    for (const auto& c : cases) {
        reader->sent.clear();
        reader->reply("9000");
        EXPECT_EQ(c.run(cos), 0x0090) << c.name;
        ASSERT_EQ(reader->sent.size(), 1u) << c.name;
        EXPECT_EQ(Orvane::hexEncode(reader->sent[0]), Orvane::hexEncode(hexBytes(c.sent))) << c.name;
    }
}

TEST_F(CosFm2Commands, RefusedBeforeAnyTraffic) {
    struct Case {
        const char* name;
        std::function<std::uint16_t(CosFm2&)> run;
    };
    const KeyHeader pinHeader{.oldType = 1, .id = 1, .type = 0x3A};
    const Case cases[] = {
        {"AidOf17Bytes",
         [](CosFm2& c) { return c.createDf(0x3F01, 0x100, 0xF0, 0xF0, 0x95, Bytes(17, 0xA0)); }},
        {"PurseSfiOf32", [](CosFm2& c) { return c.createPurseFile(2, 0xF0, 32); }},
        {"PurseSfiWhoseLowByteFits", [](CosFm2& c) { return c.createPurseFile(2, 0xF0, 0x118); }},
        {"PinOf7Bytes", [&](CosFm2& c) { return c.writeKey(pinHeader, keyOf(1, Bytes(7, 0x12)), nullptr); }},
        {"PinOf1Byte", [&](CosFm2& c) { return c.writeKey(pinHeader, keyOf(1, Bytes(1, 0x12)), nullptr); }},
        {"PinOfAnotherType",
         [](CosFm2& c) { return c.writeKey({.type = 0x39}, keyOf(1, hexBytes("123456")), nullptr); }},
        {"TextKey", [](CosFm2& c) { return c.writeKey({.type = 0x39}, keyOf(3, Bytes(8, 'a')), nullptr); }},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.run(cos), 0x866A) << c.name;
        EXPECT_TRUE(reader->sent.empty()) << c.name;
        reader->sent.clear();
    }
}
