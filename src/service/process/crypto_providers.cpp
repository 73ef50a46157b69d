#include "service/process/crypto_providers.hpp"

#include <openssl/crypto.h>
#include <openssl/ssl.h>

#include "crypto/providers.hpp"
#include "protocol/log.hpp"

void loadCryptoProviders(const std::string& programDir) {
    const Orvane::ProviderStatus status = Orvane::loadCryptoProviders(programDir);
    if (!status.legacy) logError("OpenSSL provider \"%s\" not available", "legacy");
    if (!status.defaults) logError("OpenSSL provider \"%s\" not available", "default");
    OPENSSL_init_ssl(0, nullptr);
    OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
    OPENSSL_init_crypto(OPENSSL_INIT_ADD_ALL_CIPHERS | OPENSSL_INIT_ADD_ALL_DIGESTS, nullptr);
    OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
}
