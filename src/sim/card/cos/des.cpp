#include "sim/card/cos/des.hpp"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <memory>
#include <mutex>

namespace rfsim::cos {
namespace {

struct CipherFree {
    void operator()(EVP_CIPHER* c) const { EVP_CIPHER_free(c); }
};
struct ContextFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

const char* cipherName(std::size_t keyLength) {
    switch (keyLength) {
        case 8:
            return "DES-ECB";
        case 16:
            return "DES-EDE-ECB";
        case 24:
            return "DES-EDE3-ECB";
        default:
            return nullptr;
    }
}

}  // namespace

bool loadDesProviders() {
    // Held for the process's life: the providers stay loaded, and their memory stays reachable.
    static OSSL_PROVIDER* legacy = nullptr;
    static OSSL_PROVIDER* defaults = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        // Loading any provider by hand stops OpenSSL from loading "default" by itself.
        legacy = OSSL_PROVIDER_load(nullptr, "legacy");
        defaults = OSSL_PROVIDER_load(nullptr, "default");
    });
    return legacy != nullptr && defaults != nullptr;
}

std::optional<std::vector<std::uint8_t>> desEcb(std::span<const std::uint8_t> key,
                                                std::span<const std::uint8_t> data, bool encrypt) {
    const char* name = cipherName(key.size());
    if (!name || data.size() % 8 != 0 || data.size() > 0x10000) return std::nullopt;
    loadDesProviders();
    std::unique_ptr<EVP_CIPHER, CipherFree> cipher(EVP_CIPHER_fetch(nullptr, name, nullptr));
    std::unique_ptr<EVP_CIPHER_CTX, ContextFree> ctx(EVP_CIPHER_CTX_new());
    if (!cipher || !ctx) return std::nullopt;
    if (EVP_CipherInit_ex2(ctx.get(), cipher.get(), key.data(), nullptr, encrypt ? 1 : 0, nullptr) != 1)
        return std::nullopt;
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    std::vector<std::uint8_t> out(data.size() + 8);
    int written = 0;
    int last = 0;
    if (EVP_CipherUpdate(ctx.get(), out.data(), &written, data.data(), static_cast<int>(data.size())) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), out.data() + written, &last) != 1)
        return std::nullopt;
    out.resize(static_cast<std::size_t>(written + last));
    return out;
}

std::vector<std::uint8_t> pad80(std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> out(data.begin(), data.end());
    out.push_back(0x80);
    while (out.size() % 8 != 0)
        out.push_back(0x00);
    return out;
}

std::optional<Block> desMac(std::span<const std::uint8_t> key, const Block& iv,
                            std::span<const std::uint8_t> data) {
    if (key.size() != 8 && key.size() != 16 && key.size() != 24) return std::nullopt;
    const std::vector<std::uint8_t> padded = pad80(data);
    Block state = iv;
    for (std::size_t at = 0; at < padded.size(); at += 8) {
        for (std::size_t i = 0; i < 8; ++i)
            state[i] ^= padded[at + i];
        const bool lastBlock = at + 8 == padded.size();
        const auto step = desEcb(lastBlock ? key : key.first(8), state, true);
        if (!step) return std::nullopt;
        std::copy(step->begin(), step->end(), state.begin());
    }
    return state;
}

}  // namespace rfsim::cos
