// The OpenSSL-backed algorithms against published vectors. Single DES and the FIPS 81 examples:
// key 0123456789abcdef, "Now is the time for all "; triple DES: NIST SP 800-67 (three keys) and
// SP 800-20 (variable plaintext); AES: NIST SP 800-38A F.1/F.2; SM4: GB/T 32907 example 1. The
// vectors marked "openssl enc" have no published source and were computed with the openssl tool.

#include <gtest/gtest.h>

#include "crypto/cipher.hpp"
#include "support/crypto_support.hpp"

using Orvane::Cipher;
using Orvane::StdBuf;

namespace {

struct BlockVector {
    const char* name;
    std::uint8_t algorithm;
    const char* key;
    const char* iv;
    const char* plain;
    const char* cipher;
};

const char* const kNowIsTheTime = "4e6f772069732074 68652074696d6520 666f7220616c6c20";
const char* const kQufck = "5468652071756663 6B2062726F776E20 666F78206A756D70";
const char* const k38aPlain =
    "6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52ef f69f2445df4f9b17ad2b417be66c3710";
const char* const k38aIv = "000102030405060708090a0b0c0d0e0f";
const char* const kAes128 = "2b7e151628aed2a6abf7158809cf4f3c";
const char* const kAes192 = "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b";
const char* const kAes256 = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";

const BlockVector kBlockVectors[] = {
    {"DES_ECB_FIPS81", 1, "0123456789abcdef", "", kNowIsTheTime,
     "3fa40e8a984d4815 6a271787ab8883f9 893d51ec4b563b53"},
    {"DES_CBC_FIPS81", 10, "0123456789abcdef", "1234567890abcdef", kNowIsTheTime,
     "e5c7cdde872bf27c 43e934008c389c0f 683788499a7c05f6"},
    {"TDES2_ECB_SP800_20", 2, "0101010101010101 0101010101010101", "", "8000000000000000",
     "95f8a5e5dd31d900"},
    {"TDES2_ECB_openssl_enc", 2, "0123456789abcdef fedcba9876543210", "", kNowIsTheTime,
     "d80a0d8b2bae5e4e 6a0094171abcfc27 75d2235a706e232c"},
    {"TDES2_CBC_openssl_enc", 11, "0123456789abcdef fedcba9876543210", "1234567890abcdef", kNowIsTheTime,
     "f85d4ab92066789e 1d0430671f28ae7a b9627d35385d2e24"},
    {"TDES3_ECB_SP800_67", 3, "0123456789ABCDEF 23456789ABCDEF01 456789ABCDEF0123", "", kQufck,
     "A826FD8CE53B855F CCE21C8112256FE6 68D5C05DD9B6B900"},
    {"TDES3_CBC_openssl_enc", 12, "0123456789ABCDEF 23456789ABCDEF01 456789ABCDEF0123", "1234567890abcdef",
     kQufck, "38413d4ba2325cf1 141f707471ac2ced 57db530f0123b5ac"},
    {"AES128_ECB_SP800_38A", 4, kAes128, "", k38aPlain,
     "3ad77bb40d7a3660a89ecaf32466ef97 f5d3d58503b9699de785895a96fdbaaf"
     "43b1cd7f598ece23881b00e3ed030688 7b0c785e27e8ad3f8223207104725dd4"},
    {"AES192_ECB_SP800_38A", 5, kAes192, "", k38aPlain,
     "bd334f1d6e45f25ff712a214571fa5cc 974104846d0ad3ad7734ecb3ecee4eef"
     "ef7afd2270e2e60adce0ba2face6444e 9a4b41ba738d6c72fb16691603c18e0e"},
    {"AES256_ECB_SP800_38A", 6, kAes256, "", k38aPlain,
     "f3eed1bdb5d2a03c064b5a7e3db181f8 591ccb10d410ed26dc5ba74a31362870"
     "b6ed21b99ca6f4f9f153e7b1beafed1d 23304b7a39f9f3ff067d8d8f9e24ecc7"},
    {"AES128_CBC_SP800_38A", 13, kAes128, k38aIv, k38aPlain,
     "7649abac8119b246cee98e9b12e9197d 5086cb9b507219ee95db113a917678b2"
     "73bed6b8e3c1743b7116e69e22229516 3ff1caa1681fac09120eca307586e1a7"},
    {"AES192_CBC_SP800_38A", 14, kAes192, k38aIv, k38aPlain,
     "4f021db243bc633d7178183a9fa071e8 b4d9ada9ad7dedf4e5e738763f69145a"
     "571b242012fb7ae07fa9baac3df102e0 08b0e27988598881d920a9e64f5615cd"},
    {"AES256_CBC_SP800_38A", 15, kAes256, k38aIv, k38aPlain,
     "f58c4c04d6e5f1ba779eabfb5f7bfbd6 9cfc4e967edb808d679f777bc6702c7d"
     "39f23369a9d9bacfa530e26304231461 b2eb05e2c39be9fcda6c19078c6a9d1b"},
    {"SM4_ECB_GBT32907", 9, "0123456789abcdeffedcba9876543210", "", "0123456789abcdeffedcba9876543210",
     "681edf34d206965e86b3e94f536e4246"},
    {"SM4_CBC_openssl_enc", 18, "0123456789abcdeffedcba9876543210", k38aIv,
     "0123456789abcdeffedcba9876543210 0123456789abcdeffedcba9876543210",
     "a9a268883a336315bac0c9c9ff350ab1 b236a4a85616d4aabf0a83555c7d4115"},
};

class BlockCipherVectors : public WithCryptoProviders, public testing::WithParamInterface<BlockVector> {
  protected:
    void SetUp() override {
        const BlockVector& v = GetParam();
        const Bytes key = hexBytes(v.key);
        const Bytes iv = hexBytes(v.iv);
        ASSERT_TRUE(cipher.setAlgorithm(v.algorithm, 16));
        ASSERT_TRUE(cipher.setKey(key.data(), static_cast<std::uint32_t>(key.size())));
        ASSERT_TRUE(cipher.setIv(iv.data(), static_cast<std::uint32_t>(iv.size())));
        plain = hexBytes(v.plain);
        expected = hexBytes(v.cipher);
    }

    // Runs one operation, feeding the input in pieces of `piece` bytes (0: all at once).
    Bytes run(bool encrypt, const Bytes& input, std::size_t piece) {
        StdBuf out;
        EXPECT_TRUE(cipher.start(encrypt));
        const std::size_t step = piece ? piece : input.size();
        for (std::size_t at = 0; at < input.size(); at += step) {
            const auto n = static_cast<std::uint32_t>(std::min(step, input.size() - at));
            EXPECT_TRUE(cipher.update(input.data() + at, n, out));
        }
        EXPECT_TRUE(cipher.finish(out));
        return contents(out);
    }

    Cipher cipher;
    Bytes plain;
    Bytes expected;
};

}  // namespace

TEST_P(BlockCipherVectors, EncryptsAndDecrypts) {
    EXPECT_EQ(run(true, plain, 0), expected);
    EXPECT_EQ(run(false, expected, 0), plain);
}

TEST_P(BlockCipherVectors, PiecesThatSplitBlocksGiveTheSameBytes) {
    EXPECT_EQ(run(true, plain, 5), expected);
    EXPECT_EQ(run(false, expected, 3), plain);
}

TEST_P(BlockCipherVectors, DecryptsInPlace) {
    StdBuf data(expected.data(), static_cast<std::uint32_t>(expected.size()));
    EXPECT_TRUE(cipher.decryptInPlace(data));
    EXPECT_EQ(contents(data), plain);
}

INSTANTIATE_TEST_SUITE_P(Published, BlockCipherVectors, testing::ValuesIn(kBlockVectors),
                         [](const auto& info) { return std::string(info.param.name); });

// AEAD: CCM from NIST SP 800-38C C.1/C.2 and RFC 3610 packet vector #1; GCM from the test cases of
// McGrew and Viega's GCM submission (2, 4 and 16).
namespace {

struct AeadVector {
    const char* name;
    std::uint8_t algorithm;
    const char* key;
    const char* nonce;
    const char* aad;
    const char* plain;
    const char* cipher;
    const char* tag;
};

const char* const kGcmPlain =
    "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a72"
    "1c3c0c95956809532fcf0e2449a6b525b16aedf5aa0de657ba637b39";
const char* const kGcmAad = "feedfacedeadbeeffeedfacedeadbeefabaddad2";

const AeadVector kAeadVectors[] = {
    {"CCM_SP800_38C_1", 19, "404142434445464748494a4b4c4d4e4f", "10111213141516", "0001020304050607",
     "20212223", "7162015b", "4dac255d"},
    {"CCM_SP800_38C_2", 19, "404142434445464748494a4b4c4d4e4f", "1011121314151617",
     "000102030405060708090a0b0c0d0e0f", "202122232425262728292a2b2c2d2e2f",
     "d2a1f0e051ea5f62081a7792073d593d", "1fc64fbfaccd"},
    {"CCM_RFC3610_1", 19, "C0C1C2C3C4C5C6C7C8C9CACBCCCDCECF", "00000003020100A0A1A2A3A4A5",
     "0001020304050607", "08090A0B0C0D0E0F101112131415161718191A1B1C1D1E",
     "588C979A61C663D2F066D0C2C0F989806D5F6B61DAC384", "17E8D12CFDF926E0"},
    {"GCM_TC2", 23, "00000000000000000000000000000000", "000000000000000000000000", "",
     "00000000000000000000000000000000", "0388dace60b6a392f328c2b971b2fe78",
     "ab6e47d42cec13bdf53a67b21257bddf"},
    {"GCM_TC4", 23, "feffe9928665731c6d6a8f9467308308", "cafebabefacedbaddecaf888", kGcmAad, kGcmPlain,
     "42831ec2217774244b7221b784d0d49ce3aa212f2c02a4e035c17e2329aca12e"
     "21d514b25466931c7d8f6a5aac84aa051ba30b396a0aac973d58e091",
     "5bc94fbc3221a5db94fae95ae7121a47"},
    {"GCM_TC16", 25, "feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308",
     "cafebabefacedbaddecaf888", kGcmAad, kGcmPlain,
     "522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa"
     "8cb08e48590dbb3da7b08b1056828838c5f61e6393ba7a0abcc9f662",
     "76fc6ece0f4e1768cddf8853bb2d551b"},
};

class AeadVectors : public WithCryptoProviders, public testing::WithParamInterface<AeadVector> {
  protected:
    void SetUp() override {
        const AeadVector& v = GetParam();
        key = hexBytes(v.key);
        nonce = hexBytes(v.nonce);
        aad = hexBytes(v.aad);
        plain = hexBytes(v.plain);
        expected = hexBytes(v.cipher);
        tag = hexBytes(v.tag);
        ASSERT_TRUE(cipher.setAlgorithm(v.algorithm, static_cast<std::uint32_t>(tag.size())));
        ASSERT_TRUE(cipher.setKey(key.data(), static_cast<std::uint32_t>(key.size())));
        ASSERT_TRUE(cipher.setIv(nonce.data(), static_cast<std::uint32_t>(nonce.size())));
    }

    bool decrypt(StdBuf& data, const Bytes& withTag) {
        return cipher.decryptInPlace(data, aad.data(), static_cast<std::uint32_t>(aad.size()), withTag.data(),
                                     static_cast<std::uint32_t>(withTag.size()));
    }

    Cipher cipher;
    Bytes key, nonce, aad, plain, expected, tag;
};

}  // namespace

TEST_P(AeadVectors, EncryptsWithTag) {
    StdBuf out;
    StdBuf tagOut;
    ASSERT_TRUE(tagOut.assign("x", 1));  // the tag is appended to what is there
    ASSERT_TRUE(cipher.start(true, nullptr, 0, static_cast<std::uint32_t>(plain.size())));
    ASSERT_TRUE(cipher.aad(aad.data(), static_cast<std::uint32_t>(aad.size())));
    ASSERT_TRUE(cipher.update(plain.data(), static_cast<std::uint32_t>(plain.size()), out));
    ASSERT_TRUE(cipher.finish(out, &tagOut));
    EXPECT_EQ(contents(out), expected);
    Bytes expectedTag{'x'};
    expectedTag.insert(expectedTag.end(), tag.begin(), tag.end());
    EXPECT_EQ(contents(tagOut), expectedTag);
}

TEST_P(AeadVectors, DecryptsInPlaceWhenTheTagMatches) {
    StdBuf data(expected.data(), static_cast<std::uint32_t>(expected.size()));
    EXPECT_TRUE(decrypt(data, tag));
    EXPECT_EQ(contents(data), plain);
}

TEST_P(AeadVectors, AWrongTagYieldsNoPlaintext) {
    Bytes wrongTag = tag;
    wrongTag.back() ^= 0x01;
    StdBuf data(expected.data(), static_cast<std::uint32_t>(expected.size()));
    EXPECT_FALSE(decrypt(data, wrongTag));
    EXPECT_EQ(data.size(), 0u);

    Bytes wrongData = expected;
    wrongData.front() ^= 0x80;
    StdBuf tampered(wrongData.data(), static_cast<std::uint32_t>(wrongData.size()));
    EXPECT_FALSE(decrypt(tampered, tag));
    EXPECT_EQ(tampered.size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Published, AeadVectors, testing::ValuesIn(kAeadVectors),
                         [](const auto& info) { return std::string(info.param.name); });
