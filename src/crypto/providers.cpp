#include "crypto/providers.hpp"

#include <openssl/crypto.h>
#include <openssl/provider.h>

#include <mutex>

namespace Orvane {
namespace {

std::mutex providersMutex;
OSSL_PROVIDER* legacyProvider = nullptr;
OSSL_PROVIDER* defaultProvider = nullptr;

OSSL_PROVIDER* loadFrom(const std::string& dir, const char* name) {
    if (dir.empty()) return nullptr;
    if (!OSSL_PROVIDER_set_default_search_path(nullptr, dir.c_str())) return nullptr;
    return OSSL_PROVIDER_load(nullptr, name);
}

OSSL_PROVIDER* load(const std::string& programDir, const char* name) {
    if (OSSL_PROVIDER* p = loadFrom(programDir, name)) return p;
    const char* builtIn = OPENSSL_info(OPENSSL_INFO_MODULES_DIR);
    if (OSSL_PROVIDER* p = loadFrom(builtIn ? builtIn : "", name)) return p;
    // "default" is built into libcrypto and loads without any module file.
    return OSSL_PROVIDER_load(nullptr, name);
}

}  // namespace

ProviderStatus loadCryptoProviders(const std::string& programDir) {
    std::lock_guard lock(providersMutex);
    if (!legacyProvider) legacyProvider = load(programDir, "legacy");
    if (!defaultProvider) defaultProvider = load(programDir, "default");
    return {legacyProvider != nullptr, defaultProvider != nullptr};
}

}  // namespace Orvane
