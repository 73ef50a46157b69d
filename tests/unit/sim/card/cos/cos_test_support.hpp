#pragma once
// Driving the simulated COS with hex APDUs, and the card's cryptography computed again in the test
// with plain OpenSSL calls (DES-CBC for the chained part of the MAC, DES-EDE-CBC for its last block)
// so a fault in the card's own DES code cannot agree with itself.

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <memory>
#include <string>

#include "crypto/hex.hpp"
#include "sim/card/cos/default_content.hpp"
#include "sim/card/cos/des.hpp"
#include "support/hex_bytes.hpp"

namespace cos_test {

inline std::string hex(std::span<const std::uint8_t> bytes) {
    return Orvane::hexEncode(bytes);
}

// One EVP pass without padding: `name` like "DES-ECB", "DES-EDE-ECB", "DES-CBC", "DES-EDE-CBC".
inline Bytes evp(const char* name, std::span<const std::uint8_t> key, std::span<const std::uint8_t> iv,
                 std::span<const std::uint8_t> data, bool encrypt = true) {
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    Bytes out(data.size() + 8);
    int n = 0, last = 0;
    const bool ok = cipher && ctx &&
                    EVP_CipherInit_ex2(ctx, cipher, key.data(), iv.empty() ? nullptr : iv.data(),
                                       encrypt ? 1 : 0, nullptr) == 1 &&
                    EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
                    EVP_CipherUpdate(ctx, out.data(), &n, data.data(), static_cast<int>(data.size())) == 1 &&
                    EVP_CipherFinal_ex(ctx, out.data() + n, &last) == 1;
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    EXPECT_TRUE(ok) << name;
    out.resize(ok ? static_cast<std::size_t>(n + last) : 0);
    return out;
}

inline Bytes ecb(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data, bool encrypt = true) {
    return evp(key.size() == 8 ? "DES-ECB" : "DES-EDE-ECB", key, {}, data, encrypt);
}

inline Bytes padded(std::span<const std::uint8_t> data) {
    Bytes out(data.begin(), data.end());
    out.push_back(0x80);
    while (out.size() % 8)
        out.push_back(0);
    return out;
}

// The 4-byte MAC: single-DES CBC under K1 over all blocks but the last, then the last block
// through two-key triple DES in CBC mode chained on from there.
inline Bytes mac4(std::span<const std::uint8_t> key16, std::span<const std::uint8_t> iv,
                  std::span<const std::uint8_t> data) {
    const Bytes p = padded(data);
    Bytes chain(iv.begin(), iv.end());
    if (p.size() > 8) {
        const Bytes head = evp("DES-CBC", key16.first(8), iv, std::span(p).first(p.size() - 8));
        chain.assign(head.end() - 8, head.end());
    }
    const Bytes last = evp("DES-EDE-CBC", key16, chain, std::span(p).last(8));
    return Bytes(last.begin(), last.begin() + 4);
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

template <std::size_t N>
Bytes bytes(const std::array<std::uint8_t, N>& a) {
    return Bytes(a.begin(), a.end());
}

// One command and the whole response expected (hex, status word included); tables of steps run in
// order on one card.
struct Step {
    std::string apdu;
    std::string response;
    const char* why = "";
};

class CosTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(rfsim::cos::loadDesProviders()) << "no OpenSSL legacy provider";
    }

    Bytes send(const Bytes& apdu) { return card->process(apdu); }
    // The response as hex, status word included.
    std::string sendHex(std::string_view apduHex) { return hex(send(hexBytes(apduHex))); }
    void selectApp() { ASSERT_EQ(sendHex("00A4040C08 F05246444F434B01"), "9000"); }
    // A fresh challenge of `length` bytes.
    Bytes challenge(std::uint8_t length = 8) {
        Bytes r = send(Bytes{0x00, 0x84, 0x00, 0x00, length});
        EXPECT_EQ(r.size(), length + 2u);
        EXPECT_EQ(hex(std::span(r).last(2)), "9000");
        r.resize(length);
        return r;
    }

    void run(std::span<const Step> steps) {
        for (const auto& step : steps)
            EXPECT_EQ(sendHex(step.apdu), hex(hexBytes(step.response)))
                << step.apdu << " (" << step.why << ")";
    }

    std::shared_ptr<rfsim::cos::CosCard> card = rfsim::cos::defaults::cos();
};

}  // namespace cos_test
