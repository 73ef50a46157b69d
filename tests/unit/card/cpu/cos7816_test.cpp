// The ISO/IEC 7816-4 command set byte for byte as the card receives it: command layouts and both
// binary addressing forms, the bounds that refuse a command before any card traffic, SELECT's
// status handling, and EXTERNAL AUTHENTICATE over a challenge.

#include <gtest/gtest.h>

#include <functional>

#include "card/cpu/cos7816.hpp"
#include "card/cpu/cpu_cos_typea.hpp"
#include "fake_typea_reader.hpp"
#include "ref_des.hpp"

using Orvane::Cos7816;
using Orvane::cos_7816::_KeyData;

namespace {

const Bytes kData3 = hexBytes("010203");

class Cos7816Commands : public WithCryptoProviders {
  protected:
    void SetUp() override {
        const Bytes uid = hexBytes("A1B2C3D4");
        ASSERT_TRUE(card->activate(uid.data(), 4));
    }
    std::string sentHex(std::size_t i = 0) const {
        return i < reader->sent.size() ? Orvane::hexEncode(reader->sent[i]) : "(nothing)";
    }

    std::shared_ptr<FakeTypeAReader> reader = std::make_shared<FakeTypeAReader>();
    std::shared_ptr<Orvane::CpuCosTypeA> card = std::make_shared<Orvane::CpuCosTypeA>(reader);
    Cos7816 cos{card};
};

_KeyData desKey(const Bytes& value) {
    _KeyData key;
    key.alg = Orvane::cos_7816::kDesFamily;
    key.keyLen = static_cast<std::uint8_t>(value.size());
    std::copy(value.begin(), value.end(), key.key.begin());
    return key;
}

}  // namespace

TEST_F(Cos7816Commands, CommandsAsTheCardReceivesThem) {
    struct Case {
        const char* name;
        std::function<std::uint16_t(Cos7816&)> run;
        const char* sent;
    };
    Bytes out;
    Orvane::FciInfo fci;
    const Bytes name = {'1', 'P', 'A', 'Y'};
    const Case cases[] = {
        {"ReadBinaryBySfi", [&](Cos7816& c) { return c.readBinary(3, 0, 16, nullptr, out); }, "00B0830010"},
        {"ReadBinaryInTheCurrentEf", [&](Cos7816& c) { return c.readBinary(0, 0x7FFF, 0, nullptr, out); },
         "00B07FFF00"},
        {"UpdateBinaryAtAnOffset", [&](Cos7816& c) { return c.updateBinary(0, 0x0123, kData3, nullptr); },
         "00D6012303010203"},
        {"UpdateBinaryBySfi", [&](Cos7816& c) { return c.updateBinary(31, 255, kData3, nullptr); },
         "00D69FFF03010203"},
        {"UpdateRecord", [&](Cos7816& c) { return c.updateRecord(5, 2, 4, kData3, nullptr); },
         "00DC022C03010203"},
        {"UpdateRecordModeKeepsThreeBits",
         [&](Cos7816& c) { return c.updateRecord(1, 1, 0xFC, kData3, nullptr); }, "00DC010C03010203"},
        {"AppendRecord", [&](Cos7816& c) { return c.appendRecord(5, kData3, nullptr); }, "00E2002803010203"},
        {"ReadRecord", [&](Cos7816& c) { return c.readRecord(5, 1, 4, 16, nullptr, out); }, "00B2012C10"},
        {"SelectByIdentifier", [&](Cos7816& c) { return c.selectFile(0x3F00, std::nullopt, fci); },
         "00A40000023F00"},
        {"SelectTheMfWithoutData", [&](Cos7816& c) { return c.selectFile(0, std::nullopt, fci); },
         "00A4000000"},
        {"SelectByName", [&](Cos7816& c) { return c.selectFile(0x3F00, name, fci); }, "00A404000431504159"},
        {"VerifyAnOddPin", [&](Cos7816& c) { return c.verifyPin(1, "12345"); }, "002000010312345F"},
        {"VerifyAnEvenPin", [&](Cos7816& c) { return c.verifyPin(0, "000000000000"); },
         "0020000006000000000000"},
        {"InternalAuthenticate",
         [&](Cos7816& c) {
             Bytes data = kData3;
             return c.internalAuthenticate(2, 0x01, data);
         },
         "0088010203010203"},
    };
    for (const auto& c : cases) {
        reader->sent.clear();
        reader->reply("9000");
        EXPECT_EQ(c.run(cos), 0x0090) << c.name;
        ASSERT_EQ(reader->sent.size(), 1u) << c.name;
        EXPECT_EQ(sentHex(), c.sent) << c.name;
    }
}

TEST_F(Cos7816Commands, BoundsRefuseBeforeAnyTraffic) {
    struct Case {
        const char* name;
        std::function<std::uint16_t(Cos7816&)> run;
    };
    Bytes out;
    Orvane::FciInfo fci;
    const Bytes longName(17, 0xA0), data252(252, 0x11), data253(253, 0x11);
    Bytes auth251(251, 0x22);
    const Case cases[] = {
        {"SfiOf32", [&](Cos7816& c) { return c.readBinary(32, 0, 16, nullptr, out); }},
        {"SfiWhoseLowByteFits", [&](Cos7816& c) { return c.readBinary(0x103, 0, 16, nullptr, out); }},
        {"OffsetOver255WithSfi", [&](Cos7816& c) { return c.updateBinary(1, 256, kData3, nullptr); }},
        {"OffsetOf0x8000", [&](Cos7816& c) { return c.readBinary(0, 0x8000, 16, nullptr, out); }},
        {"WriteOf253Bytes", [&](Cos7816& c) { return c.updateBinary(1, 0, data253, nullptr); }},
        {"RecordOf253Bytes", [&](Cos7816& c) { return c.updateRecord(1, 1, 4, data253, nullptr); }},
        {"AppendOf253Bytes", [&](Cos7816& c) { return c.appendRecord(1, data253, nullptr); }},
        {"RecordSfiOf32", [&](Cos7816& c) { return c.appendRecord(32, kData3, nullptr); }},
        {"ReadRecordSfiOf32", [&](Cos7816& c) { return c.readRecord(32, 1, 4, 16, nullptr, out); }},
        {"ReadOf253Bytes", [&](Cos7816& c) { return c.readBinary(1, 0, 253, nullptr, out); }},
        {"ReadOf256Bytes", [&](Cos7816& c) { return c.readRecord(1, 1, 4, 256, nullptr, out); }},
        {"NameOf17Bytes", [&](Cos7816& c) { return c.selectFile(0, longName, fci); }},
        {"PinWithALetter", [&](Cos7816& c) { return c.verifyPin(0, "12a456"); }},
        {"PinOf13Digits", [&](Cos7816& c) { return c.verifyPin(0, "1234567890123"); }},
        {"InternalAuthOf251Bytes", [&](Cos7816& c) { return c.internalAuthenticate(0, 0, auth251); }},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.run(cos), 0x866A) << c.name;
        EXPECT_TRUE(reader->sent.empty()) << c.name << " sent " << sentHex();
        reader->sent.clear();
    }
    // The largest allowed write goes out whole.
    reader->reply("9000");
    EXPECT_EQ(cos.updateBinary(1, 0, data252, nullptr), 0x0090);
    ASSERT_EQ(reader->sent.size(), 1u);
    EXPECT_EQ(reader->sent[0].size(), 5u + 252);
    EXPECT_EQ(reader->sent[0][4], 252);
}

TEST_F(Cos7816Commands, SelectStatuses) {
    struct Case {
        const char* name;
        const char* answer;
        std::uint16_t status;
        bool hasName;
    };
    const Case cases[] = {
        {"Found", "6F06 8404 01020304 9000", 0x0090, true},
        {"LockedWithoutData", "6A81", 0x0100, false},
        {"LockedWithAnFci", "6F06 8404 01020304 6A81", 0x816A, true},
        {"NotFound", "6A82", 0x826A, false},
        {"AnotherStatusWithDataIsNotDecoded", "6F06 8404 01020304 6283", 0x8362, false},
        {"ShortAnswer", "90", 0x0000, false},
    };
    for (const auto& c : cases) {
        reader->reply(c.answer);
        Orvane::FciInfo fci;
        EXPECT_EQ(cos.selectFile(0x3F00, std::nullopt, fci), c.status) << c.name;
        EXPECT_EQ(fci.hasDfName != 0, c.hasName) << c.name;
    }
    reader->fail();
    Orvane::FciInfo fci;
    EXPECT_EQ(cos.selectFile(0x3F00, std::nullopt, fci), 0xFFFF);
}

TEST_F(Cos7816Commands, ReadsHandBackTheData) {
    reader->reply("A0A1A2A3 9000");
    Bytes out = {0xEE};
    EXPECT_EQ(cos.readBinary(3, 0, 4, nullptr, out), 0x0090);
    EXPECT_EQ(out, hexBytes("A0A1A2A3"));
    reader->reply("6A82");
    EXPECT_EQ(cos.readRecord(3, 1, 4, 4, nullptr, out), 0x826A);
    EXPECT_TRUE(out.empty());
}

TEST_F(Cos7816Commands, ExternalAuthenticateEnciphersTheChallenge) {
    const Bytes challenge = hexBytes("1122334455667788");
    struct Case {
        const char* name;
        Bytes key;
    };
    const Case cases[] = {
        {"SingleDes", hexBytes("0123456789ABCDEF")},
        {"TwoKeyTripleDes", hexBytes("404142434445464748494A4B4C4D4E4F")},
    };
    for (const auto& c : cases) {
        reader->sent.clear();
        reader->reply("1122334455667788 9000");
        reader->reply("9000");
        EXPECT_EQ(cos.externalAuthenticate(0x01, desKey(c.key)), 0x0090) << c.name;
        ASSERT_EQ(reader->sent.size(), 2u) << c.name;
        EXPECT_EQ(sentHex(0), "0084000008") << c.name;
        const Bytes cryptogram = ref::ecb(ref::ecbName(c.key.size()), c.key, challenge);
        EXPECT_EQ(sentHex(1), "0082000108" + Orvane::hexEncode(cryptogram)) << c.name;
    }
}

TEST_F(Cos7816Commands, ExternalAuthenticateStopsAtAFailedStep) {
    // No challenge: its status, and no authentication sent.
    reader->reply("6D00");
    EXPECT_EQ(cos.externalAuthenticate(1, desKey(hexBytes("0123456789ABCDEF"))), 0x006D);
    EXPECT_EQ(reader->sent.size(), 1u);

    // A key the DES operations cannot use.
    reader->sent.clear();
    reader->reply("1122334455667788 9000");
    EXPECT_EQ(cos.externalAuthenticate(1, desKey(hexBytes("01020304"))), 0x866A);
    EXPECT_EQ(reader->sent.size(), 1u);

    // A provider that answers something other than one block.
    reader->sent.clear();
    reader->reply("1122334455667788 9000");
    _KeyData key = desKey(hexBytes("0123456789ABCDEF"));
    std::uint8_t askedFor = 0xFF;
    key.provider = [&](std::uint8_t op, const std::uint8_t*, const _KeyData&,
                       std::vector<std::uint8_t>& data) {
        askedFor = op;
        data.assign(300, 0xAB);
        return std::uint16_t{0x0090};
    };
    EXPECT_EQ(cos.externalAuthenticate(1, key), 0x866A);
    EXPECT_EQ(askedFor, Orvane::cos_7816::kEncrypt);
    EXPECT_EQ(reader->sent.size(), 1u);
}
