#include "crypto/providers.hpp"

#include <gtest/gtest.h>
#include <openssl/evp.h>

// A program directory without provider modules (the usual case on Debian) falls back to OpenSSL's
// own module directory, and single DES becomes available.
TEST(CryptoProviders, FallBackToOpenSslsOwnDirectory) {
    const Orvane::ProviderStatus status = Orvane::loadCryptoProviders("/nonexistent/rfdock-modules");
    EXPECT_TRUE(status.legacy);
    EXPECT_TRUE(status.defaults);
    EVP_CIPHER* des = EVP_CIPHER_fetch(nullptr, "DES-ECB", nullptr);
    EXPECT_NE(des, nullptr);
    EVP_CIPHER_free(des);
    // Loading again keeps what is loaded.
    const Orvane::ProviderStatus again = Orvane::loadCryptoProviders();
    EXPECT_TRUE(again.legacy);
    EXPECT_TRUE(again.defaults);
}
