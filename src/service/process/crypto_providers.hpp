#pragma once
#include <string>

// Loads OpenSSL's "legacy" and "default" providers, first from the program's directory and, where
// one is not there, from OpenSSL's own module directory, then initialises libssl and libcrypto.
// Single DES (card MACs) lives only in "legacy"; a failure to load it is logged.
void loadCryptoProviders(const std::string& programDir);
