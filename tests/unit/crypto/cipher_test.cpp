// How the engine behaves around the algorithms: the code table, key and IV lengths, the output
// buffer contract and the failures.

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "crypto/bind_buf.hpp"
#include "crypto/cipher.hpp"
#include "support/crypto_support.hpp"

using Orvane::BindBuf;
using Orvane::Cipher;
using Orvane::StdBuf;

namespace {

class CipherTest : public WithCryptoProviders {
  protected:
    void useAes128Cbc() {
        ASSERT_TRUE(cipher.setAlgorithm(13, 16));
        ASSERT_TRUE(cipher.setKey(key.data(), 16));
        ASSERT_TRUE(cipher.setIv(iv.data(), 16));
    }

    void useAes128Gcm() {
        ASSERT_TRUE(cipher.setAlgorithm(23, 16));
        ASSERT_TRUE(cipher.setKey(key.data(), 16));
        ASSERT_TRUE(cipher.setIv(iv.data(), 12));
    }

    // One whole encryption of the two plaintext blocks.
    Bytes encryptPlain() {
        StdBuf out;
        EXPECT_TRUE(cipher.start(true));
        EXPECT_TRUE(cipher.update(plain.data(), 32, out));
        EXPECT_TRUE(cipher.finish(out));
        return contents(out);
    }

    Cipher cipher;
    const Bytes key = hexBytes("2b7e151628aed2a6abf7158809cf4f3c");
    const Bytes iv = hexBytes("000102030405060708090a0b0c0d0e0f");
    // SP 800-38A F.2.1, first two blocks.
    const Bytes plain = hexBytes("6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51");
    const Bytes encrypted = hexBytes("7649abac8119b246cee98e9b12e9197d 5086cb9b507219ee95db113a917678b2");
};

struct AlgorithmFacts {
    std::uint8_t code;
    std::uint8_t mode;
    std::uint32_t keyLength;
    std::uint32_t ivLength;
    std::uint32_t blockSize;
    bool aead;
};

}  // namespace

TEST_F(CipherTest, AlgorithmTable) {
    const AlgorithmFacts table[] = {
        {1, 2, 8, 0, 8, false},     {2, 2, 16, 0, 8, false},    {3, 2, 24, 0, 8, false},
        {4, 2, 16, 0, 16, false},   {5, 2, 24, 0, 16, false},   {6, 2, 32, 0, 16, false},
        {7, 2, 16, 0, 8, false},    {8, 2, 16, 0, 8, false},    {9, 2, 16, 0, 16, false},
        {10, 3, 8, 8, 8, false},    {11, 3, 16, 8, 8, false},   {12, 3, 24, 8, 8, false},
        {13, 3, 16, 16, 16, false}, {14, 3, 24, 16, 16, false}, {15, 3, 32, 16, 16, false},
        {16, 3, 16, 8, 8, false},   {17, 3, 16, 8, 8, false},   {18, 3, 16, 16, 16, false},
        {19, 8, 16, 12, 1, true},   {20, 8, 24, 12, 1, true},   {21, 8, 32, 12, 1, true},
        {23, 7, 16, 12, 1, true},   {24, 7, 24, 12, 1, true},   {25, 7, 32, 12, 1, true},
        {27, 0, 16, 0, 4, false},
    };
    for (const AlgorithmFacts& f : table) {
        ASSERT_TRUE(cipher.setAlgorithm(f.code, 16)) << int(f.code);
        EXPECT_EQ(cipher.algorithm(), f.code);
        EXPECT_EQ(cipher.mode(), f.mode) << int(f.code);
        EXPECT_EQ(cipher.keyLength(), f.keyLength) << int(f.code);
        EXPECT_EQ(cipher.ivLength(), f.ivLength) << int(f.code);
        EXPECT_EQ(cipher.blockSize(), f.blockSize) << int(f.code);
        EXPECT_EQ(cipher.aead(), f.aead) << int(f.code);
        EXPECT_EQ(cipher.tagLength(), f.aead ? 16u : 0u) << int(f.code);
    }
}

TEST_F(CipherTest, UnknownCodesChooseNothing) {
    for (const std::uint8_t code : {0, 28, 255}) {
        EXPECT_FALSE(cipher.setAlgorithm(code, 16)) << int(code);
        EXPECT_EQ(cipher.algorithm(), 0);
        EXPECT_FALSE(cipher.start(true));
    }
}

TEST_F(CipherTest, Sm4AeadModesFollowWhatTheProviderOffers) {
    for (const auto& [code, name] : {std::pair{22, "SM4-CCM"}, std::pair{26, "SM4-GCM"}}) {
        EVP_CIPHER* offered = EVP_CIPHER_fetch(nullptr, name, nullptr);
        EXPECT_EQ(cipher.setAlgorithm(static_cast<std::uint8_t>(code), 16), offered != nullptr) << name;
        EVP_CIPHER_free(offered);
    }
}

TEST_F(CipherTest, KeyLengthFollowsTheChosenAlgorithm) {
    const Bytes longKey(32, 0x11);
    ASSERT_TRUE(cipher.setAlgorithm(13, 16));
    EXPECT_TRUE(cipher.setKey(longKey.data(), 32));
    EXPECT_EQ(cipher.keyLength(), 16u);

    Cipher fresh;
    EXPECT_TRUE(fresh.setKey(longKey.data(), 32));
    EXPECT_EQ(fresh.keyLength(), 32u);
    EXPECT_TRUE(fresh.setIv(longKey.data(), 12));
    EXPECT_EQ(fresh.ivLength(), 12u);
}

TEST_F(CipherTest, OverlongKeyOrIvIsRefused) {
    useAes128Cbc();
    const Bytes tooLong(65, 0x22);
    EXPECT_FALSE(cipher.setKey(tooLong.data(), 65));
    EXPECT_FALSE(cipher.setIv(tooLong.data(), 17));
    EXPECT_TRUE(cipher.setKey(tooLong.data(), 64));
    EXPECT_TRUE(cipher.setIv(tooLong.data(), 16));
}

TEST_F(CipherTest, KeyAndIvRefusalsKeepTheOldValues) {
    useAes128Cbc();
    const Bytes tooLong(65, 0x22);
    ASSERT_FALSE(cipher.setKey(tooLong.data(), 65));
    ASSERT_FALSE(cipher.setIv(tooLong.data(), 17));
    EXPECT_EQ(encryptPlain(), encrypted);
}

TEST_F(CipherTest, PartialBlockFailsAtFinishWithTheWholeBlocksKept) {
    useAes128Cbc();
    StdBuf out;
    ASSERT_TRUE(cipher.start(true));
    ASSERT_TRUE(cipher.update(plain.data(), 20, out));
    EXPECT_FALSE(cipher.finish(out));
    EXPECT_EQ(contents(out), Bytes(encrypted.begin(), encrypted.begin() + 16));
}

TEST_F(CipherTest, OutputIntoBoundMemoryStopsAtItsEnd) {
    useAes128Cbc();
    std::uint8_t memory[24] = {};
    BindBuf out(memory, 20);
    ASSERT_TRUE(cipher.start(true));
    ASSERT_TRUE(cipher.update(plain.data(), 16, out));
    EXPECT_FALSE(cipher.update(plain.data() + 16, 16, out));  // 32 bytes do not fit in 20
    EXPECT_EQ(out.size(), 16u);
    EXPECT_EQ(Bytes(memory, memory + 16), Bytes(encrypted.begin(), encrypted.begin() + 16));
    EXPECT_EQ(Bytes(memory + 16, memory + 24), Bytes(8, 0));
    EXPECT_FALSE(cipher.update(plain.data() + 16, 16, out));  // the failed operation is over
}

TEST_F(CipherTest, InputMayLieInTheOutputBuffer) {
    useAes128Cbc();
    StdBuf data(plain.data(), 32);
    ASSERT_TRUE(data.reserve(32));  // full: the update's resize keeps the storage
    ASSERT_TRUE(cipher.start(true));
    ASSERT_TRUE(cipher.update(data.data(), 32, data));
    ASSERT_TRUE(cipher.finish(data));
    EXPECT_EQ(contents(data), encrypted);
}

TEST_F(CipherTest, CallsOutOfOrderFail) {
    StdBuf out;
    EXPECT_FALSE(cipher.update(plain.data(), 16, out));
    EXPECT_FALSE(cipher.finish(out));
    useAes128Cbc();
    EXPECT_FALSE(cipher.update(plain.data(), 16, out));  // no start yet
    ASSERT_TRUE(cipher.start(true));
    EXPECT_FALSE(cipher.aad(plain.data(), 16));  // not an AEAD mode
    EXPECT_FALSE(cipher.update(nullptr, 16, out));
    EXPECT_EQ(out.size(), 0u);
}

TEST_F(CipherTest, SwitchingAlgorithmsReusesTheCipher) {
    ASSERT_TRUE(cipher.setAlgorithm(27, 0));
    useAes128Cbc();
    EXPECT_EQ(encryptPlain(), encrypted);
}

TEST_F(CipherTest, CcmNeedsTheTotalLength) {
    ASSERT_TRUE(cipher.setAlgorithm(19, 8));
    ASSERT_TRUE(cipher.setKey(key.data(), 16));
    ASSERT_TRUE(cipher.setIv(iv.data(), 13));
    EXPECT_FALSE(cipher.start(true, nullptr, 0, 0));
    EXPECT_TRUE(cipher.start(true, nullptr, 0, 16));
}

TEST_F(CipherTest, AeadDecryptionRefusesUnusableTags) {
    useAes128Gcm();
    const Bytes tag(17, 0);
    EXPECT_FALSE(cipher.start(false, tag.data(), 0));
    EXPECT_FALSE(cipher.start(false, tag.data(), 17));
    EXPECT_TRUE(cipher.start(false, tag.data(), 16));
}

TEST_F(CipherTest, TagThatDoesNotFitIsNotAppended) {
    useAes128Gcm();
    std::uint8_t memory[8];
    BindBuf tagOut(memory, 8);
    StdBuf out;
    ASSERT_TRUE(cipher.start(true));
    ASSERT_TRUE(cipher.update(plain.data(), 16, out));
    EXPECT_FALSE(cipher.finish(out, &tagOut));
    EXPECT_EQ(tagOut.size(), 0u);
    EXPECT_EQ(out.size(), 16u);
}
