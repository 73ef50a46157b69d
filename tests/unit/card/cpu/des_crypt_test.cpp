// The DES-family key operations of the CPU card: the MAC against values from the openssl command
// line, ECB against OpenSSL directly, the TAC key, and the keys and data that are refused.

#include "card/cpu/des_crypt.hpp"

#include <gtest/gtest.h>

#include "card/cpu/cpu_cos_typea.hpp"
#include "card/cpu/cpu_cos_typeb.hpp"
#include "ref_des.hpp"

using Orvane::cos_7816::_KeyData;

namespace {

_KeyData desKey(const std::string& hex) {
    _KeyData key;
    const Bytes bytes = hexBytes(hex);
    key.alg = Orvane::cos_7816::kDesFamily;
    key.keyLen = static_cast<std::uint8_t>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), key.key.begin());
    return key;
}

// Each value was computed once with the openssl tool (legacy provider loaded): the padded data but
// its last block through `openssl enc -des-cbc -nopad -K <K1> -iv <IV>`, the last ciphertext block
// XORed into the last padded block, and that block through `openssl enc -des-ede-ecb` (16-byte key),
// `-des-ecb` (8) or `-des-ede3-ecb` (24) with -nopad and the whole key.
struct MacVector {
    const char* name;
    const char* key;
    const char* iv;
    const char* data;
    const char* mac;
};
const MacVector kMacVectors[] = {
    {"OneBlockTwoKey", "0123456789ABCDEF FEDCBA9876543210", "1122334455667788", "841E000004",
     "D680A1ED8202AD34"},
    {"TwoBlocksTwoKey", "0123456789ABCDEF FEDCBA9876543210", "1122334455667788",
     "04D6840010 A1A2A3A4A5A6A7A8A9AA", "FECAF177D6AEC02A"},
    {"WholeBlocksGetAPaddingBlock", "0123456789ABCDEF", "", "000102030405060708090A0B0C0D0E0F",
     "5E499C5966DFE372"},
    {"ThreeKey", "0123456789ABCDEF 23456789ABCDEF01 456789ABCDEF0123", "A0A1A2A3A4A5A6A7",
     "3132333435363738393A", "2DBD51BC8261C711"},
};

class CpuDesCrypt : public WithCryptoProviders {
  protected:
    Orvane::Cipher cipher;
};

}  // namespace

TEST_F(CpuDesCrypt, MacMatchesTheOpensslToolAndTheBlockByBlockDefinition) {
    for (const auto& v : kMacVectors) {
        const Bytes key = hexBytes(v.key), iv = hexBytes(v.iv), data = hexBytes(v.data);
        // The reference itself against the tool's values first.
        EXPECT_EQ(ref::mac(key, iv, data), hexBytes(v.mac)) << v.name;
        Bytes out = data;
        EXPECT_EQ(
            Orvane::desCrypt(cipher, Orvane::cos_7816::kMac, key, iv.empty() ? nullptr : iv.data(), out),
            0x0090)
            << v.name;
        EXPECT_EQ(out, hexBytes(v.mac)) << v.name;
    }
}

TEST_F(CpuDesCrypt, TacMacUsesTheHalvesOfTheKeyXored) {
    // Key halves 0123456789ABCDEF ^ 1122334455667788 = 10017623DCCDBA67; the value from
    // `openssl enc -des-cbc` / `-des-ecb` under that single key as above.
    const _KeyData key = desKey("0123456789ABCDEF 1122334455667788");
    Bytes data = hexBytes("0000000100000000010600000012345678");
    Orvane::CpuCosTypeA card(nullptr);
    EXPECT_EQ(card.crypt(Orvane::cos_7816::kTacMac, key, nullptr, data), 0x0090);
    EXPECT_EQ(data, hexBytes("6300444F5F243C9B"));
}

TEST_F(CpuDesCrypt, EcbRunsTheFamilyMemberOfTheKeyLength) {
    const Bytes plain = hexBytes("07 11 22 33 44 55 66 77 80 00 00 00 00 00 00 00");
    for (const char* hex : {"0123456789ABCDEF", "0123456789ABCDEF FEDCBA9876543210"}) {
        const _KeyData key = desKey(hex);
        const Bytes expected =
            ref::ecb(ref::ecbName(key.keyLen), Bytes(key.key.begin(), key.key.begin() + key.keyLen), plain);
        Orvane::CpuCosTypeB card(nullptr);
        Bytes data = plain;
        EXPECT_EQ(card.crypt(Orvane::cos_7816::kEncrypt, key, nullptr, data), 0x0090) << hex;
        EXPECT_EQ(data, expected) << hex;
        EXPECT_EQ(card.crypt(Orvane::cos_7816::kDecrypt, key, nullptr, data), 0x0090) << hex;
        EXPECT_EQ(data, plain) << hex;
    }
}

TEST_F(CpuDesCrypt, RefusesWhatItCannotWorkWith) {
    struct Case {
        const char* name;
        std::uint8_t op;
        std::uint8_t alg;
        int keyLen;
        std::size_t dataLen;
    };
    const Case cases[] = {
        {"PinKey", Orvane::cos_7816::kMac, 1, 8, 8},
        {"TextKey", Orvane::cos_7816::kEncrypt, 0, 16, 8},
        {"TwelveBytes", Orvane::cos_7816::kMac, 2, 12, 8},
        {"NoKeyBytes", Orvane::cos_7816::kMac, 2, 0, 8},
        // 24 bytes would read past the 16 a key record holds.
        {"MoreThanTheRecordHolds", Orvane::cos_7816::kMac, 2, 24, 8},
        {"EcbPartBlock", Orvane::cos_7816::kEncrypt, 2, 16, 7},
        {"DecryptPartBlock", Orvane::cos_7816::kDecrypt, 2, 16, 9},
        {"UnknownOp", 4, 2, 16, 8},
    };
    Orvane::CpuCosTypeA card(nullptr);
    for (const auto& c : cases) {
        _KeyData key = desKey("0123456789ABCDEF FEDCBA9876543210");
        key.alg = c.alg;
        key.keyLen = static_cast<std::uint8_t>(c.keyLen);
        Bytes data(c.dataLen, 0x5A);
        EXPECT_EQ(card.crypt(c.op, key, nullptr, data), 0x866A) << c.name;
    }
}

TEST_F(CpuDesCrypt, TypeBHasNoExchange) {
    Orvane::CpuCosTypeB card(nullptr);
    std::array<std::uint8_t, 8> challenge{};
    EXPECT_EQ(card.getChallenge(challenge, false), 0);
    const _KeyData key = desKey("0123456789ABCDEF");
    EXPECT_EQ(card.transceive(&key, 0), 0);
    EXPECT_EQ(card.responseLength(), 0u);
}
