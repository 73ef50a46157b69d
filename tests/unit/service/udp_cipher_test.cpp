// Payload protection of UDP slots: PKCS#7 padding and AES-128-CBC keyed from a 32-byte text.

#include "service/udp/udp_cipher.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/hex_bytes.hpp"

namespace {

// NIST SP 800-38A, F.2.1 CBC-AES128.Encrypt: key, IV and the first plaintext block.
std::string nistKeyText() {
    const Bytes key = hexBytes("2B7E151628AED2A6ABF7158809CF4F3C 000102030405060708090A0B0C0D0E0F");
    return std::string(key.begin(), key.end());
}
const char* const kNistPlain = "6BC1BEE22E409F96E93D7E117393172A";
const char* const kNistCipher = "7649ABAC8119B246CEE98E9B12E9197D";
// The NIST block followed by its padding block, as `openssl enc -aes-128-cbc` gives it.
const char* const kNistSealed = "7649ABAC8119B246CEE98E9B12E9197D 8964E0B149C10B7B682E6E39AAEB731C";

}  // namespace

TEST(Pkcs7, PadsToTheNextWholeBlock) {
    const struct {
        std::size_t size;
        std::size_t padded;
    } cases[] = {{0, 16}, {1, 16}, {5, 16}, {15, 16}, {16, 32}, {17, 32}, {32, 48}};
    for (const auto& c : cases) {
        Bytes data(c.size, 0xAA);
        pkcs7Pad(data);
        ASSERT_EQ(data.size(), c.padded) << c.size;
        const auto pad = static_cast<std::uint8_t>(c.padded - c.size);
        for (std::size_t i = c.size; i < data.size(); ++i)
            EXPECT_EQ(data[i], pad) << c.size;
        EXPECT_EQ(pkcs7Unpadded(data), c.size) << c.size;
    }
}

TEST(Pkcs7, UnpadJudgesTheLastByte) {
    const struct {
        const char* data;
        std::size_t length;
    } cases[] = {
        {"", 0},
        {"41 42 43 01", 3},
        {"41 42 43 03", 1},
        {"41 42 43 04", 0},  // the whole datagram is padding
        {"41 42 43 05", 0},  // more padding than data
        {"41 42 43 00", 0},  // 0 is no padding length
        {"41 42 43 11", 0},  // 17 is longer than a block
        {"41 42 43 FF", 0},
        {"41 42 07 02", 2},  // only the last byte is looked at
    };
    for (const auto& c : cases)
        EXPECT_EQ(pkcs7Unpadded(hexBytes(c.data)), c.length) << c.data;
}

TEST(UdpCipher, KeyTextMustBe32Bytes) {
    EXPECT_EQ(UdpCipher::fromKeyText(std::string(31, 'k')), nullptr);
    EXPECT_EQ(UdpCipher::fromKeyText(std::string(33, 'k')), nullptr);
    EXPECT_NE(UdpCipher::fromKeyText(std::string(32, 'k')), nullptr);
}

TEST(UdpCipher, SealsTheNistVectorWithItsPaddingBlock) {
    auto cipher = UdpCipher::fromKeyText(nistKeyText());
    ASSERT_NE(cipher, nullptr);
    Bytes data = hexBytes(kNistPlain);
    ASSERT_TRUE(cipher->seal(data));
    EXPECT_EQ(data, hexBytes(kNistSealed));
    // The IV is the same for every datagram, so the same text seals the same way again.
    Bytes again = hexBytes(kNistPlain);
    ASSERT_TRUE(cipher->seal(again));
    EXPECT_EQ(again, data);

    EXPECT_EQ(cipher->open(data), 16u);
    data.resize(16);
    EXPECT_EQ(data, hexBytes(kNistPlain));
}

TEST(UdpCipher, OpenGivesNothingForBadInput) {
    auto cipher = UdpCipher::fromKeyText(nistKeyText());
    ASSERT_NE(cipher, nullptr);
    // Decrypts to the NIST plaintext, whose last byte 0x2A is no padding length.
    Bytes noPadding = hexBytes(kNistCipher);
    EXPECT_EQ(cipher->open(noPadding), 0u);
    EXPECT_EQ(noPadding, hexBytes(kNistPlain));
    Bytes partBlock = hexBytes(kNistSealed);
    partBlock.resize(20);
    EXPECT_EQ(cipher->open(partBlock), 0u);
    Bytes empty;
    EXPECT_EQ(cipher->open(empty), 0u);
}
