// The own TEA family through the engine, against the published vectors: TEA and XTEA as listed by
// Simon Shepherd (the Bouncy Castle test vectors), XXTEA from Logan J. Drews' TeaCrypt. All are
// given as 32-bit words, which big-endian packing turns into the same hexadecimal bytes.

#include <gtest/gtest.h>

#include "crypto/cipher.hpp"
#include "support/crypto_support.hpp"

using Orvane::Cipher;
using Orvane::StdBuf;

namespace {

constexpr std::uint8_t kTeaEcb = 7, kXteaEcb = 8, kTeaCbc = 16, kXteaCbc = 17, kXxtea = 27;

struct TeaVector {
    const char* name;
    std::uint8_t algorithm;
    int rounds;
    const char* key;
    const char* plain;
    const char* cipher;
};

const char* const kZeroKey = "00000000 00000000 00000000 00000000";
const char* const kKey1 = "01234567 12345678 23456789 3456789A";
const char* const kKey2 = "00112233 44556677 8899AABB CCDDEEFF";

const TeaVector kVectors[] = {
    {"TEA_1", kTeaEcb, 32, kZeroKey, "00000000 00000000", "41ea3a0a 94baa940"},
    {"TEA_2", kTeaEcb, 32, kZeroKey, "01020304 05060708", "6a2f9cf3 fccf3c55"},
    {"TEA_3", kTeaEcb, 32, kKey1, "00000000 00000000", "34e943b0 900f5dcb"},
    {"TEA_4", kTeaEcb, 32, kKey1, "01020304 05060708", "773dc179 878a81c0"},
    {"XTEA_1", kXteaEcb, 32, kZeroKey, "00000000 00000000", "dee9d4d8 f7131ed9"},
    {"XTEA_2", kXteaEcb, 32, kZeroKey, "01020304 05060708", "065c1b89 75c6a816"},
    {"XTEA_3", kXteaEcb, 32, kKey1, "00000000 00000000", "1ff9a026 1ac64264"},
    {"XTEA_4", kXteaEcb, 32, kKey1, "01020304 05060708", "8c67155b 2ef91ead"},
    // ECB of two blocks is each block alone.
    {"TEA_two_blocks", kTeaEcb, 32, kKey1, "00000000 00000000 01020304 05060708",
     "34e943b0 900f5dcb 773dc179 878a81c0"},
    // rounds 0: XXTEA's own 6 + 52 / n.
    {"XXTEA_64_1", kXxtea, 0, kZeroKey, "00000000 00000000", "053704AB 575D8C80"},
    {"XXTEA_64_2", kXxtea, 0, kZeroKey, "01020304 05060708", "E6911910 0C35DCDA"},
    {"XXTEA_64_3", kXxtea, 0, kKey2, "01020304 05060708", "961D49FC 61FF12D6"},
    {"XXTEA_64_4", kXxtea, 0, kKey2, "01234567 89ABCDEF", "34354989 DD7D1A7A"},
    {"XXTEA_96_1", kXxtea, 0, kZeroKey, "00000000 00000000 00000000", "5E3CD3F0 E109E3CE 79D7C945"},
    {"XXTEA_96_2", kXxtea, 0, kKey2, "00010203 04050607 08090A0B", "2E77CCEC 674F5149 A0E56496"},
    {"XXTEA_128_1", kXxtea, 0, kZeroKey, "00000000 00000000 00000000 00000000",
     "E6C8D5FF 070FB6E4 98A534F7 AC03E399"},
    {"XXTEA_128_2", kXxtea, 0, kKey2, "01234567 89ABCDEF 01234567 89ABCDEF",
     "2B4AB1A4 0E487B6D 9A3AACC7 E4132216"},
    // Two words take 6 + 52 / 2 = 32 rounds, so asking for 32 is the same cipher.
    {"XXTEA_32_rounds", kXxtea, 32, kZeroKey, "00000000 00000000", "053704AB 575D8C80"},
};

Bytes runOwn(Cipher& cipher, bool encrypt, const Bytes& input) {
    StdBuf out;
    EXPECT_TRUE(cipher.start(encrypt));
    EXPECT_TRUE(cipher.update(input.data(), static_cast<std::uint32_t>(input.size()), out));
    EXPECT_TRUE(cipher.finish(out));
    return contents(out);
}

void configure(Cipher& cipher, std::uint8_t algorithm, int rounds, const Bytes& key) {
    EXPECT_TRUE(cipher.setAlgorithm(algorithm, 0));
    EXPECT_TRUE(cipher.setKey(key.data(), static_cast<std::uint32_t>(key.size())));
    cipher.rounds = rounds;
}

class TeaVectors : public testing::TestWithParam<TeaVector> {};

}  // namespace

TEST_P(TeaVectors, EncryptsAndDecrypts) {
    const TeaVector& v = GetParam();
    Cipher cipher;
    ASSERT_TRUE(cipher.setAlgorithm(v.algorithm, 0));
    const Bytes key = hexBytes(v.key);
    ASSERT_TRUE(cipher.setKey(key.data(), 16));
    cipher.rounds = v.rounds;
    EXPECT_EQ(runOwn(cipher, true, hexBytes(v.plain)), hexBytes(v.cipher));
    EXPECT_EQ(runOwn(cipher, false, hexBytes(v.cipher)), hexBytes(v.plain));
}

INSTANTIATE_TEST_SUITE_P(Published, TeaVectors, testing::ValuesIn(kVectors),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TeaCipher, DefaultOf64CyclesIsNotThePublishedCipher) {
    Cipher cipher;
    ASSERT_TRUE(cipher.setAlgorithm(kTeaEcb, 0));
    const Bytes key = hexBytes(kZeroKey);
    ASSERT_TRUE(cipher.setKey(key.data(), 16));
    EXPECT_EQ(cipher.rounds, 64);
    const Bytes zero(8, 0);
    const Bytes at64 = runOwn(cipher, true, zero);
    EXPECT_NE(at64, hexBytes("41ea3a0a 94baa940"));
    EXPECT_EQ(runOwn(cipher, false, at64), zero);
}

TEST(TeaCipher, CbcChainsBlocksFromTheIv) {
    // CBC built by hand from the published ECB block: C1 = E(P1 ^ IV), C2 = E(P2 ^ C1).
    // With IV 01020304 05060708 and P1 = 0, C1 is the TEA_4 vector 773dc179 878a81c0; P2 = C1 ^
    // 01020304 05060708 makes the second block the TEA_4 vector again.
    for (const auto& [algorithm, block] :
         {std::pair{kTeaCbc, "773dc179878a81c0"}, std::pair{kXteaCbc, "8c67155b2ef91ead"}}) {
        Cipher cipher;
        configure(cipher, algorithm, 32, hexBytes(kKey1));
        const Bytes iv = hexBytes("01020304 05060708");
        ASSERT_TRUE(cipher.setIv(iv.data(), 8));
        Bytes second = hexBytes(block);
        for (int i = 0; i < 8; ++i)
            second[i] ^= iv[i];
        Bytes plain(8, 0);
        plain.insert(plain.end(), second.begin(), second.end());
        Bytes expected = hexBytes(block);
        expected.insert(expected.end(), expected.begin(), expected.end());
        EXPECT_EQ(runOwn(cipher, true, plain), expected) << int(algorithm);
        EXPECT_EQ(runOwn(cipher, false, expected), plain) << int(algorithm);
    }
}

TEST(TeaCipher, HeldBackBytesJoinTheNextUpdate) {
    Cipher cipher;
    configure(cipher, kTeaEcb, 32, hexBytes(kKey1));
    const Bytes plain = hexBytes("00000000 00000000 01020304 05060708");
    StdBuf out;
    ASSERT_TRUE(cipher.start(true));
    ASSERT_TRUE(cipher.update(plain.data(), 12, out));  // one block done, four bytes held back
    ASSERT_TRUE(cipher.update(plain.data() + 12, 4, out));
    ASSERT_TRUE(cipher.finish(out));
    EXPECT_EQ(contents(out), hexBytes("34e943b0 900f5dcb 773dc179 878a81c0"));
}

TEST(TeaCipher, AnIncompleteBlockMakesFinishFail) {
    Cipher cipher;
    configure(cipher, kTeaEcb, 32, hexBytes(kKey1));
    const Bytes plain(12, 0);
    StdBuf out;
    ASSERT_TRUE(cipher.start(true));
    EXPECT_TRUE(cipher.update(plain.data(), 12, out));
    EXPECT_FALSE(cipher.finish(out));
    EXPECT_EQ(contents(out), hexBytes("34e943b0 900f5dcb"));  // what was produced
}

TEST(TeaCipher, RoundsOfZeroOrLessFail) {
    for (const std::uint8_t algorithm : {kTeaEcb, kXteaEcb, kTeaCbc, kXteaCbc}) {
        for (const int rounds : {0, -1}) {
            Cipher cipher;
            configure(cipher, algorithm, rounds, hexBytes(kKey1));
            const Bytes plain(8, 0x5A);
            StdBuf out;
            ASSERT_TRUE(cipher.start(true));
            EXPECT_FALSE(cipher.update(plain.data(), 8, out)) << int(algorithm) << " " << rounds;
            EXPECT_EQ(out.size(), 0u);
            EXPECT_FALSE(cipher.finish(out));  // the failed operation is over
        }
    }
}

TEST(XxteaCipher, OneWordIsNoBlock) {
    Cipher cipher;
    configure(cipher, kXxtea, 0, hexBytes(kKey2));
    const Bytes word = hexBytes("01020304");
    StdBuf out;
    ASSERT_TRUE(cipher.start(true));
    EXPECT_FALSE(cipher.update(word.data(), 4, out));
    EXPECT_EQ(out.size(), 0u);
}

TEST(XxteaCipher, EncryptsTheBufferItLiesIn) {
    Cipher cipher;
    configure(cipher, kXxtea, -5, hexBytes(kKey2));  // negative: the published count too
    const Bytes plain = hexBytes("00010203 04050607 08090A0B");
    StdBuf data(plain.data(), 12);
    ASSERT_TRUE(cipher.start(true));
    ASSERT_TRUE(cipher.update(data.data(), 12, data));
    ASSERT_TRUE(cipher.finish(data));
    EXPECT_EQ(contents(data), hexBytes("2E77CCEC 674F5149 A0E56496"));
    EXPECT_TRUE(cipher.decryptInPlace(data));
    EXPECT_EQ(contents(data), plain);
}
