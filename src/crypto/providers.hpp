#pragma once
// Loads the OpenSSL providers the cipher engine needs: "legacy" (single DES, MD4, MDC2, Whirlpool)
// and "default" (everything else). Once any provider is loaded by hand OpenSSL no longer loads
// "default" by itself, so both are always loaded together.

#include <string>

namespace Orvane {

struct ProviderStatus {
    bool legacy = false;
    bool defaults = false;
};

// Looks in programDir first (a program may ship its own modules), then in OpenSSL's own module
// directory, where Debian keeps legacy.so. Safe to call more than once and from several threads:
// providers already loaded are kept and reported as loaded.
ProviderStatus loadCryptoProviders(const std::string& programDir = {});

}  // namespace Orvane
