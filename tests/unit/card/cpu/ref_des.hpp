#pragma once
// DES arithmetic for checking the card object, written straight on OpenSSL's EVP calls so that no
// code under test takes part. The MAC follows ISO/IEC 9797-1 block by block: padding method 2, a
// CBC chain of single-DES encryptions under K1, and for a 16-byte key the final decrypt under K2 and
// encrypt under K1 (MAC algorithm 3).

#include <openssl/evp.h>

#include "support/crypto_support.hpp"

namespace ref {

// One ECB run of an OpenSSL cipher ("DES-ECB", "DES-EDE-ECB", "DES-EDE3-ECB") without padding.
inline Bytes ecb(const char* name, const Bytes& key, const Bytes& data, bool encrypt = true) {
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    Bytes out(data.size() + 8);
    int n = 0, tail = 0;
    const bool ok = cipher != nullptr && ctx != nullptr &&
                    EVP_CipherInit_ex2(ctx, cipher, key.data(), nullptr, encrypt ? 1 : 0, nullptr) == 1 &&
                    EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
                    EVP_CipherUpdate(ctx, out.data(), &n, data.data(), static_cast<int>(data.size())) == 1 &&
                    EVP_CipherFinal_ex(ctx, out.data() + n, &tail) == 1;
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    EXPECT_TRUE(ok) << name;
    out.resize(static_cast<std::size_t>(n + tail));
    return out;
}

inline const char* ecbName(std::size_t keyLen) {
    return keyLen == 8 ? "DES-ECB" : keyLen == 16 ? "DES-EDE-ECB" : "DES-EDE3-ECB";
}

inline Bytes pad(Bytes data) {
    data.push_back(0x80);
    while (data.size() % 8 != 0)
        data.push_back(0x00);
    return data;
}

inline Bytes mac(const Bytes& key, const Bytes& iv, const Bytes& data) {
    const Bytes k1(key.begin(), key.begin() + 8);
    const Bytes padded = pad(data);
    Bytes chain = iv.empty() ? Bytes(8, 0) : iv;
    for (std::size_t at = 0; at < padded.size(); at += 8) {
        Bytes block(padded.begin() + static_cast<long>(at), padded.begin() + static_cast<long>(at) + 8);
        for (int i = 0; i < 8; ++i)
            block[i] ^= chain[i];
        const bool last = at + 8 == padded.size();
        if (!last || key.size() == 8) {
            chain = ecb("DES-ECB", k1, block);
        } else if (key.size() == 16) {
            const Bytes k2(key.begin() + 8, key.end());
            chain = ecb("DES-ECB", k1, ecb("DES-ECB", k2, ecb("DES-ECB", k1, block), false));
        } else {
            chain = ecb("DES-EDE3-ECB", key, block);
        }
    }
    return chain;
}

}  // namespace ref
