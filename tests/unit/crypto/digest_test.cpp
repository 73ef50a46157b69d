#include "crypto/digest.hpp"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <string>

#include "support/crypto_support.hpp"

using Orvane::digest;
using Orvane::digestSize;
using Orvane::hexEncode;

namespace {

class DigestTest : public WithCryptoProviders {
  protected:
    // Digest (or HMAC) of text by code, as hexadecimal; "" when digest() fails.
    static std::string hexDigest(std::uint8_t code, const std::string& text, const Bytes* key = nullptr) {
        Bytes out(digestSize(code));
        const bool ok = digest(code, text.data(), text.size(), out, key ? key->data() : nullptr,
                               key ? static_cast<int>(key->size()) : -1);
        return ok ? Orvane::hexEncode(out) : std::string();
    }
};

struct AbcCase {
    std::uint8_t code;
    const char* hex;
};

}  // namespace

// The digest of "abc" for every code. The SHA-1, SHA-2 and SHA-3 values are those of FIPS 180 and
// FIPS 202, MD5 of RFC 1321, SM3 of GB/T 32905; the rest as computed by `openssl dgst`.
TEST_F(DigestTest, EveryCodeNamesItsAlgorithm) {
    const AbcCase cases[] = {
        {1, "a448017aaf21d8525fc10ae87aa6729d"},
        {2, "900150983cd24fb0d6963f7d28e17f72"},
        {3, "900150983cd24fb0d6963f7d28e17f72a9993e364706816aba3e25717850c26c9cd0d89d"},
        {4, "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {5, "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc"},
        {6, "66c7f0f462eeedd9d1f2d46bdc10e4e24167c4875cf2f7a2297da02b8f4ba8e0"},
        {7, "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7"},
        {8, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {9,
         "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed"
         "8086072ba1e7cc2358baeca134c825a7"},
        {10,
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
         "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
        {11, "4634270f707b6a54daae7530460842e20e37ed265ceee9a43e8924aa"},
        {12, "53048e2681941ef99b2e29b76b4c7dabe4c2d0c634fc6d46e0e2f13107e7af23"},
        {13, "e642824c3f8cf24ad09234ee7d3c766fc9a3a5168d0c94ad73b46fdf"},
        {14, "3a985da74fe225b2045c172d6bd390bd855f086e3e9d525b46bfe24511431532"},
        {15,
         "ec01498288516fc926459f58e2c6ad8df9b473cb0fc08c2596da7cf0e49be4b2"
         "98d88cea927ac7f539f1edf228376d25"},
        {16,
         "b751850b1a57168a5693cd924b6b096e08f621827444f70d884f5d0240d2712e"
         "10e116e9192af3c91a7ec57647e3934057340b4cf408d5a56592f8274eec53f0"},
        {17, "5881092dd818bf5cf8a3ddb793fbcba7"},
        {18, "483366601360a8771c6863080cc4114d8db44530f8f1e1ee4f94ea37e78b5739"},
        {19, "508c5e8c327c14e2e1a72ba34eeb452f37458b209ed63a294d999b4c86675982"},
        {20,
         "ba80a53f981c4d0d6a2797b69f12f6e94c212f14685ac4b74b12bb6fdbffa2d1"
         "7d87c5392aab792dc252d5de4533cc9518d38aa8dbf1925ab92386edd4009923"},
        {21,
         "4e2448a4c6f486bb16b6562c73b4020bf3043e3a731bce721ae1b303d97e6d4c"
         "7181eebdb6c57e277d0e34957114cbd6c797fc9d95d8b582d225292076d4eef5"},
    };
    for (const AbcCase& c : cases)
        EXPECT_EQ(hexDigest(c.code, "abc"), hexEncode(hexBytes(c.hex))) << int(c.code);
}

TEST_F(DigestTest, EmptyInputMd5) {
    EXPECT_EQ(hexDigest(2, ""), "D41D8CD98F00B204E9800998ECF8427E");
}

TEST_F(DigestTest, Mdc2WorksWhereTheProvidersOfferIt) {
    // Debian builds OpenSSL without MDC2; code 0 then fails like an unknown one.
    EVP_MD* offered = EVP_MD_fetch(nullptr, "MDC2", nullptr);
    Bytes out(16);
    EXPECT_EQ(digest(0, "abc", 3, out), offered != nullptr);
    EVP_MD_free(offered);
}

TEST_F(DigestTest, UnknownCodesAndShortOutputFail) {
    Bytes out(64, 0xAA);
    EXPECT_FALSE(digest(22, "abc", 3, out));
    EXPECT_FALSE(digest(255, "abc", 3, out));
    EXPECT_EQ(digestSize(22), 0u);
    Bytes shortOut(31, 0xAA);
    EXPECT_FALSE(digest(8, "abc", 3, shortOut));
    EXPECT_EQ(shortOut, Bytes(31, 0xAA));
}

// RFC 4231 test cases 1, 2 and 6 (a key longer than the block).
TEST_F(DigestTest, HmacSha256Rfc4231) {
    const Bytes key1(20, 0x0b);
    EXPECT_EQ(hexDigest(8, "Hi There", &key1),
              hexEncode(hexBytes("b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7")));
    const Bytes jefe{'J', 'e', 'f', 'e'};
    EXPECT_EQ(hexDigest(8, "what do ya want for nothing?", &jefe),
              hexEncode(hexBytes("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843")));
    const Bytes key6(131, 0xaa);
    EXPECT_EQ(hexDigest(8, "Test Using Larger Than Block-Size Key - Hash Key First", &key6),
              hexEncode(hexBytes("60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54")));
}
