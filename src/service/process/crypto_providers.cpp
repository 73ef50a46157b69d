#include "service/process/crypto_providers.hpp"

#include <openssl/crypto.h>
#include <openssl/provider.h>
#include <openssl/ssl.h>

#include "service/protocol/log.hpp"

void loadCryptoProviders(const std::string& programDir) {
    for (const char* name : {"legacy", "default"}) {
        OSSL_PROVIDER_set_default_search_path(nullptr, programDir.c_str());
        if (OSSL_PROVIDER_load(nullptr, name)) continue;
        OSSL_PROVIDER_set_default_search_path(nullptr, nullptr);  // back to OpenSSL's own directory
        if (!OSSL_PROVIDER_load(nullptr, name)) logError("OpenSSL provider \"%s\" not available", name);
    }
    OSSL_PROVIDER_set_default_search_path(nullptr, nullptr);
    OPENSSL_init_ssl(0, nullptr);
    OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
    OPENSSL_init_crypto(OPENSSL_INIT_ADD_ALL_CIPHERS | OPENSSL_INIT_ADD_ALL_DIGESTS, nullptr);
    OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
}
