#include "crypto/secure_equals.hpp"

#include <openssl/crypto.h>
#include <openssl/sha.h>

namespace Orvane {

bool secureEquals(std::string_view given, std::string_view secret) {
    unsigned char a[SHA256_DIGEST_LENGTH];
    unsigned char b[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(given.data()), given.size(), a);
    SHA256(reinterpret_cast<const unsigned char*>(secret.data()), secret.size(), b);
    // Digests decide; the length check only guards against a (theoretical) digest collision.
    return CRYPTO_memcmp(a, b, sizeof a) == 0 && given.size() == secret.size();
}

}  // namespace Orvane
