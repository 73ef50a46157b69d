#include "crypto/digest.hpp"

#include <openssl/evp.h>

#include <array>
#include <memory>

namespace Orvane {
namespace {

constexpr std::array<const char*, 22> kNames = {
    "MDC2",     "MD4",      "MD5",      "MD5-SHA1",    "SHA1",        "RIPEMD160", "SM3",      "SHA224",
    "SHA256",   "SHA384",   "SHA512",   "SHA512-224",  "SHA512-256",  "SHA3-224",  "SHA3-256", "SHA3-384",
    "SHA3-512", "SHAKE128", "SHAKE256", "BLAKE2S-256", "BLAKE2B-512", "WHIRLPOOL"};

struct MdFree {
    void operator()(EVP_MD* md) const { EVP_MD_free(md); }
};
using MdPtr = std::unique_ptr<EVP_MD, MdFree>;

MdPtr fetch(std::uint8_t code) {
    const char* name = digestName(code);
    return MdPtr(name ? EVP_MD_fetch(nullptr, name, nullptr) : nullptr);
}

}  // namespace

const char* digestName(std::uint8_t code) {
    return code < kNames.size() ? kNames[code] : nullptr;
}

std::size_t digestSize(std::uint8_t code) {
    const MdPtr md = fetch(code);
    const int size = md ? EVP_MD_get_size(md.get()) : 0;
    return size > 0 ? static_cast<std::size_t>(size) : 0;
}

bool digest(std::uint8_t code, const void* data, std::size_t len, std::span<std::uint8_t> out,
            const void* key, int keyLen) {
    const MdPtr md = fetch(code);
    if (!md) return false;
    const int size = EVP_MD_get_size(md.get());
    if (size <= 0 || out.size() < static_cast<std::size_t>(size)) return false;
    if (!data && len > 0) return false;
    static const unsigned char kNothing = 0;
    const void* in = data ? data : &kNothing;

    std::size_t produced = 0;
    if (key && keyLen >= 0) {
        if (!EVP_Q_mac(nullptr, "HMAC", nullptr, digestName(code), nullptr, key,
                       static_cast<std::size_t>(keyLen), static_cast<const unsigned char*>(in), len,
                       out.data(), out.size(), &produced))
            return false;
    } else {
        unsigned int written = 0;
        if (!EVP_Digest(in, len, out.data(), &written, md.get(), nullptr)) return false;
        produced = written;
    }
    return produced >= 16;
}

}  // namespace Orvane
