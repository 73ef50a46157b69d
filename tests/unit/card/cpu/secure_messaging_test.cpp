// transceive byte for byte against a scripted card: the command layouts of the three cases, what
// encryption and the command MAC do to them, the response MAC check and decryption, the key
// provider, and the commands and answers that are refused or taken as they are.

#include <gtest/gtest.h>

#include <cstring>

#include "card/cpu/cpu_cos_typea.hpp"
#include "fake_typea_reader.hpp"
#include "ref_des.hpp"

using Orvane::cos_7816::_KeyData;

namespace {

const Bytes kKey = hexBytes("0123456789ABCDEF FEDCBA9876543210");
const Bytes kChallenge = hexBytes("1122334455667788");
const std::string kChallengeReply = "1122334455667788 9000";

_KeyData smKey(bool enc, bool mac) {
    _KeyData key;
    key.alg = Orvane::cos_7816::kDesFamily;
    key.keyLen = 16;
    std::copy(kKey.begin(), kKey.end(), key.key.begin());
    key.enc = enc;
    key.mac = mac;
    return key;
}

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes first(const Bytes& bytes, std::size_t n) {
    return Bytes(bytes.begin(), bytes.begin() + n);
}
Bytes encrypt(const Bytes& plain) {
    return ref::ecb("DES-EDE-ECB", kKey, plain);
}
Bytes decrypt(const Bytes& cipher) {
    return ref::ecb("DES-EDE-ECB", kKey, cipher, false);
}
Bytes macOf(const Bytes& data) {
    return first(ref::mac(kKey, kChallenge, data), 4);
}

class CpuSecureMessaging : public WithCryptoProviders {
  protected:
    void SetUp() override {
        const Bytes uid = hexBytes("A1B2C3D4");
        ASSERT_TRUE(card.activate(uid.data(), 4));
    }
    // Writes the command into the I/O buffer.
    void put(const Bytes& apdu) { std::memcpy(card.ioBuffer(), apdu.data(), apdu.size()); }
    std::uint16_t send(const std::string& apdu, std::uint8_t apduCase, const _KeyData* key) {
        put(hexBytes(apdu));
        return card.transceive(key, apduCase);
    }
    Bytes response() const { return Bytes(card.responseData(), card.responseData() + card.responseLength()); }

    std::shared_ptr<FakeTypeAReader> reader = std::make_shared<FakeTypeAReader>();
    Orvane::CpuCosTypeA card{reader};
};

}  // namespace

TEST_F(CpuSecureMessaging, PlainCommandsGoOutAsLaidOut) {
    struct Case {
        const char* name;
        const char* io;  // bytes past the command are left-overs that must not go out
        std::uint8_t apduCase;
        const char* sent;
    };
    const Case cases[] = {
        {"CaseZeroWithoutData", "80CA0000 00 EEEEEE", 0, "80CA000000"},
        {"CaseZeroWithData", "00D60000 03 010203 EEEE", 0, "00D6000003010203"},
        {"CaseOne", "00840000 08 EEEE", 1, "0084000008"},
        {"CaseTwo", "00A40400 02 3F00 10 EE", 2, "00A40400023F0010"},
    };
    const _KeyData noSecureMessaging = smKey(false, false);
    for (const auto& c : cases) {
        for (const _KeyData* key : {static_cast<const _KeyData*>(nullptr), &noSecureMessaging}) {
            reader->sent.clear();
            reader->reply("6162 9000");
            EXPECT_EQ(send(c.io, c.apduCase, key), 0x0090) << c.name;
            ASSERT_EQ(reader->sent.size(), 1u) << c.name;
            EXPECT_EQ(reader->sent[0], hexBytes(c.sent)) << c.name;
            EXPECT_EQ(response(), hexBytes("6162")) << c.name;
        }
    }
}

TEST_F(CpuSecureMessaging, MacOnlyCaseOneCarriesTheMacBeforeLe) {
    const _KeyData key = smKey(false, true);
    reader->reply(kChallengeReply);
    reader->reply("9000");
    EXPECT_EQ(send("00B09500 10", 1, &key), 0x0090);
    ASSERT_EQ(reader->sent.size(), 2u);
    EXPECT_EQ(reader->sent[0], hexBytes("0084000008"));
    // CLA gains 04, byte 4 becomes 4 (the MAC) and the MAC covers it; Le follows the MAC.
    EXPECT_EQ(reader->sent[1],
              cat(cat(hexBytes("04B0950004"), macOf(hexBytes("04B0950004"))), hexBytes("10")));
}

TEST_F(CpuSecureMessaging, MacOnlyWithDataCountsTheMacInLc) {
    const _KeyData key = smKey(false, true);
    for (const std::uint8_t apduCase : {0, 2}) {
        reader->sent.clear();
        reader->reply(kChallengeReply);
        reader->reply("9000");
        EXPECT_EQ(send("00DC010C 03 AABBCC 20", apduCase, &key), 0x0090);
        ASSERT_EQ(reader->sent.size(), 2u);
        const Bytes header = hexBytes("04DC010C 07 AABBCC");
        Bytes expected = cat(header, macOf(header));
        if (apduCase == 2) expected.push_back(0x20);
        EXPECT_EQ(reader->sent[1], expected) << int(apduCase);
    }
}

TEST_F(CpuSecureMessaging, EncryptionPadsLcAndDataToWholeBlocks) {
    struct Case {
        std::size_t dataBytes, cipherBytes;
    };
    // Lc + data + 80 rounded up to 8; Lc + data already a multiple of 8 gets a whole block.
    const Case cases[] = {{0, 8}, {6, 8}, {7, 16}, {15, 24}};
    const _KeyData key = smKey(true, false);
    for (const auto& c : cases) {
        reader->sent.clear();
        reader->reply("9000");
        Bytes data(c.dataBytes);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint8_t>(0xA0 + i);
        put(cat(hexBytes("00D68100"), cat({static_cast<std::uint8_t>(c.dataBytes)}, data)));
        EXPECT_EQ(card.transceive(&key, 0), 0x0090);
        ASSERT_EQ(reader->sent.size(), 1u);
        const Bytes& sent = reader->sent[0];
        ASSERT_EQ(sent.size(), 5 + c.cipherBytes) << c.dataBytes;
        EXPECT_EQ(first(sent, 5), cat(hexBytes("04D68100"), {static_cast<std::uint8_t>(c.cipherBytes)}));
        const Bytes plain = decrypt(Bytes(sent.begin() + 5, sent.end()));
        EXPECT_EQ(plain, ref::pad(cat({static_cast<std::uint8_t>(c.dataBytes)}, data))) << c.dataBytes;
    }
}

TEST_F(CpuSecureMessaging, FullSecureMessagingRoundTrip) {
    const _KeyData key = smKey(true, true);
    const Bytes cipher = encrypt(ref::pad(hexBytes("05 0102030405")));
    ASSERT_EQ(cipher.size(), 8u);
    const Bytes answer = encrypt(ref::pad(hexBytes("03 AABBCC")));
    reader->reply(kChallengeReply);
    reader->replies.emplace_back(cat(cat(answer, macOf(answer)), hexBytes("9000")));

    EXPECT_EQ(send("00D68100 05 0102030405 20", 2, &key), 0x0090);
    ASSERT_EQ(reader->sent.size(), 2u);
    const Bytes macced = cat(hexBytes("04D68100 0C"), cipher);
    EXPECT_EQ(reader->sent[1], cat(cat(macced, macOf(macced)), hexBytes("20")));
    EXPECT_EQ(response(), hexBytes("AABBCC"));
}

TEST_F(CpuSecureMessaging, TheFirstPlainByteCutsTheResponseWhenItFits) {
    struct Case {
        const char* plain;
        const char* kept;
    };
    const Case cases[] = {
        {"03AABBCC 80000000", "AABBCC"},
        {"00112233 44556677", ""},
        {"07112233 44556677", "11223344556677"},
        {"08112233 44556677", "08112233 44556677"},  // a length that does not fit keeps the block
        {"FF112233 44556677", "FF112233 44556677"},
        {"0F112233 44556677 8899AABB CCDDEEFF", "112233 44556677 8899AABB CCDDEEFF"},
    };
    const _KeyData key = smKey(true, false);
    for (const auto& c : cases) {
        reader->replies.emplace_back(cat(encrypt(hexBytes(c.plain)), hexBytes("9000")));
        EXPECT_EQ(send("00B09500 00", 1, &key), 0x0090) << c.plain;
        EXPECT_EQ(response(), hexBytes(c.kept)) << c.plain;
    }
}

TEST_F(CpuSecureMessaging, ShortOrFailedAnswersAreTakenAsTheyAre) {
    struct Case {
        const char* reply;
        std::uint16_t sw;
        const char* kept;
    };
    const Case cases[] = {
        {"01020304 9000", 0x0090, "01020304"},  // 4 bytes cannot hold data and a MAC
        {"0102030405060708 090A0B0C 6A82", 0x826A, "0102030405060708090A0B0C"},  // not 9000: no checks
        {"9000", 0x0090, ""},
        {"61", 0x0000, ""},
        {"", 0x0000, ""},
    };
    const _KeyData key = smKey(true, true);
    for (const auto& c : cases) {
        reader->reply(kChallengeReply);
        reader->reply(c.reply);
        EXPECT_EQ(send("00B09500 08", 1, &key), c.sw) << c.reply;
        EXPECT_EQ(response(), hexBytes(c.kept)) << c.reply;
    }
}

TEST_F(CpuSecureMessaging, ResponseMacMismatchDropsTheMacAndSkipsDecryption) {
    for (const bool enc : {false, true}) {
        const _KeyData key = smKey(enc, true);
        reader->reply(kChallengeReply);
        reader->reply("1122334455667788 DEADBEEF 9000");
        EXPECT_EQ(send("00B09500 08", 1, &key), 0x8162) << enc;
        EXPECT_EQ(response(), hexBytes("1122334455667788")) << enc;
    }
}

TEST_F(CpuSecureMessaging, NothingGoesOutWithoutAnActiveCard) {
    card.deactivate();
    const _KeyData plain = smKey(false, false), mac = smKey(false, true), enc = smKey(true, false);
    for (const _KeyData* key : {static_cast<const _KeyData*>(nullptr), &plain, &mac, &enc}) {
        reader->reply(kChallengeReply);
        EXPECT_EQ(send("00B09500 08", 1, key), 0xFFFF);
    }
    EXPECT_TRUE(reader->sent.empty());
}

TEST_F(CpuSecureMessaging, AChallengeThatFailsEndsTheCommand) {
    const _KeyData key = smKey(true, true);
    struct Case {
        std::optional<std::string> reply;
        std::uint16_t sw;
    };
    const Case cases[] = {{"6D00", 0x006D}, {std::nullopt, 0xFFFF}, {"90", 0x0000}};
    for (const auto& c : cases) {
        reader->sent.clear();
        if (c.reply)
            reader->reply(*c.reply);
        else
            reader->fail();
        reader->reply("9000");
        EXPECT_EQ(send("00D68100 02 0102", 0, &key), c.sw);
        ASSERT_EQ(reader->sent.size(), 1u);
        EXPECT_EQ(reader->sent[0], hexBytes("0084000008"));
        reader->replies.clear();
    }
}

TEST_F(CpuSecureMessaging, ExchangeFailureIsACommunicationFailure) {
    reader->fail();
    EXPECT_EQ(send("00B09500 08", 1, nullptr), 0xFFFF);
    EXPECT_EQ(reader->sent.size(), 1u);
}

TEST_F(CpuSecureMessaging, ProviderDoesEveryKeyOperationAndItsFailureEndsTheCommand) {
    struct Call {
        std::uint8_t op;
        Bytes iv;
    };
    std::vector<Call> calls;
    int failOn = -1;
    _KeyData key = smKey(true, true);
    key.key.fill(0);  // the provider holds the key
    key.provider = [&](std::uint8_t op, const std::uint8_t* iv, const _KeyData&,
                       std::vector<std::uint8_t>& data) {
        calls.push_back({op, iv ? Bytes(iv, iv + 8) : Bytes{}});
        if (op == failOn) return std::uint16_t{0xFFFF};
        data = op == 0 ? encrypt(data) : op == 1 ? decrypt(data) : ref::mac(kKey, kChallenge, data);
        return std::uint16_t{0x0090};
    };
    const Bytes answer = encrypt(ref::pad(hexBytes("02 AABB")));
    const auto script = [&] {
        reader->sent.clear();
        reader->replies.clear();
        calls.clear();
        reader->reply(kChallengeReply);
        reader->replies.emplace_back(cat(cat(answer, macOf(answer)), hexBytes("9000")));
    };

    script();
    EXPECT_EQ(send("00D68100 03 010203 00", 2, &key), 0x0090);
    EXPECT_EQ(response(), hexBytes("AABB"));
    ASSERT_EQ(calls.size(), 4u);
    const std::uint8_t ops[] = {0, 2, 2, 1};
    const Bytes ivs[] = {{}, kChallenge, kChallenge, {}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(calls[i].op, ops[i]) << i;
        EXPECT_EQ(calls[i].iv, ivs[i]) << i;
    }

    // A provider that cannot be reached: its status comes back and the card sees no more.
    const struct {
        int op;
        std::size_t frames;
    } failures[] = {{0, 0}, {2, 1}};
    for (const auto& f : failures) {
        script();
        failOn = f.op;
        EXPECT_EQ(send("00D68100 03 010203 00", 2, &key), 0xFFFF) << f.op;
        EXPECT_EQ(reader->sent.size(), f.frames) << f.op;
    }
    // Failing on the response MAC and on decryption: the command went out, the answer is not taken.
    for (const int op : {2, 1}) {
        script();
        failOn = -1;
        int macs = 0;
        auto inner = key.provider;
        _KeyData late = key;
        late.provider = [&](std::uint8_t o, const std::uint8_t* iv, const _KeyData& k,
                            std::vector<std::uint8_t>& d) {
            if (o == 2 && ++macs == 2 && op == 2) return std::uint16_t{0xFFFF};
            if (o == 1 && op == 1) return std::uint16_t{0xFFFF};
            return inner(o, iv, k, d);
        };
        EXPECT_EQ(send("00D68100 03 010203 00", 2, &late), 0xFFFF) << op;
        EXPECT_EQ(reader->sent.size(), 2u) << op;
    }
}

TEST_F(CpuSecureMessaging, ASecuredCommandThatCannotFitOneLcByteIsRefusedBeforeTheCard) {
    struct Case {
        bool enc, mac;
        std::size_t lc;
        std::uint8_t apduCase;
        int sentLc;  // -1: refused with 6A86 and nothing sent
    };
    const Case cases[] = {
        {true, true, 246, 0, 252},  {true, true, 247, 0, -1},    {true, true, 255, 2, -1},
        {true, false, 246, 0, 248}, {true, false, 247, 0, -1},   {false, true, 251, 2, 255},
        {false, true, 252, 0, -1},  {false, false, 255, 2, 255},
    };
    int providerCalls = 0;
    for (const auto& c : cases) {
        reader->sent.clear();
        reader->replies.clear();
        if (c.mac) reader->reply(kChallengeReply);
        reader->reply("9000");
        _KeyData key = smKey(c.enc, c.mac);
        key.provider = [&](std::uint8_t op, const std::uint8_t*, const _KeyData&,
                           std::vector<std::uint8_t>& data) {
            ++providerCalls;
            data = op == 0 ? encrypt(data) : ref::mac(kKey, kChallenge, data);
            return std::uint16_t{0x0090};
        };
        Bytes apdu = cat(hexBytes("00D68100"), {static_cast<std::uint8_t>(c.lc)});
        apdu.resize(5 + c.lc, 0x33);
        apdu.push_back(0x00);  // Le for case 2
        put(apdu);
        providerCalls = 0;
        const std::uint16_t status = card.transceive(&key, c.apduCase);
        if (c.sentLc < 0) {
            EXPECT_EQ(status, 0x866A) << c.lc;
            EXPECT_TRUE(reader->sent.empty()) << c.lc;
            EXPECT_EQ(providerCalls, 0) << c.lc;
            continue;
        }
        EXPECT_EQ(status, 0x0090) << c.lc;
        ASSERT_FALSE(reader->sent.empty());
        const Bytes& command = reader->sent.back();
        EXPECT_EQ(command[4], c.sentLc) << c.lc;
        EXPECT_EQ(command.size(), 5u + c.sentLc + (c.apduCase == 2 ? 1 : 0)) << c.lc;
    }
}

TEST_F(CpuSecureMessaging, AProviderAnswerOfTheWrongSizeIsRefused) {
    struct Case {
        std::uint8_t op;
        std::size_t bytes;
        std::size_t frames;  // sent before the refusal
    };
    // Ciphertext too long for Lc; a MAC shorter than the 4 bytes the command needs or the answer
    // is checked against.
    const Case cases[] = {{0, 252, 0}, {2, 3, 1}};
    for (const auto& c : cases) {
        reader->sent.clear();
        reader->replies.clear();
        reader->reply(kChallengeReply);
        _KeyData key = smKey(true, true);
        key.provider = [&](std::uint8_t op, const std::uint8_t*, const _KeyData&,
                           std::vector<std::uint8_t>& data) {
            if (op == c.op)
                data.assign(c.bytes, 0x77);
            else
                data = encrypt(data);
            return std::uint16_t{0x0090};
        };
        EXPECT_EQ(send("00D68100 02 0102", 0, &key), 0x866A) << int(c.op);
        EXPECT_EQ(reader->sent.size(), c.frames) << int(c.op);
    }
}

TEST_F(CpuSecureMessaging, HostileAnswersStayInsideTheBuffers) {
    // Answers of every length up to past the I/O buffer, with and without secure messaging, and a
    // provider that answers whatever it likes: nothing may crash or read outside the buffers (the
    // sanitizer builds check the second).
    std::uint32_t seed = 12345;
    const auto next = [&] {
        return seed = seed * 1103515245u + 12345u, static_cast<std::uint8_t>(seed >> 16);
    };
    _KeyData key = smKey(true, true);
    key.provider = [&](std::uint8_t, const std::uint8_t*, const _KeyData&, std::vector<std::uint8_t>& data) {
        data.resize(next() % 40);
        for (auto& b : data)
            b = next();
        return std::uint16_t{0x0090};
    };
    const _KeyData local = smKey(true, true);
    for (std::size_t length = 0; length < 300; length += 1 + length / 16) {
        for (const _KeyData* k :
             {static_cast<const _KeyData*>(nullptr), &local, static_cast<const _KeyData*>(&key)}) {
            reader->replies.clear();
            reader->reply(kChallengeReply);
            Bytes answer(length);
            for (auto& b : answer)
                b = next();
            if (length >= 2) answer[length - 2] = 0x90, answer[length - 1] = 0x00;
            reader->replies.emplace_back(answer);
            send("00B09500 00", 1, k);
            EXPECT_LE(card.responseLength(), std::max<std::size_t>(length, 40));
        }
    }
}

TEST_F(CpuSecureMessaging, AResponseLongerThanTheBufferGrowsIt) {
    Bytes answer(300);
    for (std::size_t i = 0; i < answer.size(); ++i)
        answer[i] = static_cast<std::uint8_t>(i);
    reader->replies.emplace_back(cat(answer, hexBytes("9000")));
    EXPECT_EQ(send("00B00000 00", 1, nullptr), 0x0090);
    EXPECT_EQ(response(), answer);
    // The buffer still takes the longest command afterwards.
    reader->reply("9000");
    Bytes apdu = hexBytes("00D60000 FF");
    apdu.resize(5 + 255, 0x44);
    apdu.push_back(0x00);
    put(apdu);
    EXPECT_EQ(card.transceive(nullptr, 2), 0x0090);
    EXPECT_EQ(reader->sent.back(), apdu);
}
