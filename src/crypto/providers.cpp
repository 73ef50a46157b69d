#include "crypto/providers.hpp"

#include <openssl/provider.h>

#include <mutex>

namespace Orvane {
namespace {

std::mutex providersMutex;
OSSL_PROVIDER* legacyProvider = nullptr;
OSSL_PROVIDER* defaultProvider = nullptr;

// nullptr as the directory is OpenSSL's own module directory (OPENSSL_MODULES or the built-in one).
OSSL_PROVIDER* loadFrom(const char* dir, const char* name) {
    if (!OSSL_PROVIDER_set_default_search_path(nullptr, dir)) return nullptr;
    return OSSL_PROVIDER_load(nullptr, name);
}

OSSL_PROVIDER* load(const std::string& programDir, const char* name) {
    OSSL_PROVIDER* provider = programDir.empty() ? nullptr : loadFrom(programDir.c_str(), name);
    return provider ? provider : loadFrom(nullptr, name);
}

}  // namespace

ProviderStatus loadCryptoProviders(const std::string& programDir) {
    std::lock_guard lock(providersMutex);
    if (!legacyProvider) legacyProvider = load(programDir, "legacy");
    if (!defaultProvider) defaultProvider = load(programDir, "default");
    OSSL_PROVIDER_set_default_search_path(nullptr, nullptr);
    return {legacyProvider != nullptr, defaultProvider != nullptr};
}

}  // namespace Orvane
