#include "crypto/cipher_table.hpp"

#include <array>
#include <atomic>

namespace Orvane {
namespace {

constexpr std::array<const char*, 28> kEvpNames = {
    nullptr,       "DES-ECB",     "DES-EDE-ECB", "DES-EDE3-ECB", "AES-128-ECB", "AES-192-ECB",  "AES-256-ECB",
    nullptr,       nullptr,       "SM4-ECB",     "DES-CBC",      "DES-EDE-CBC", "DES-EDE3-CBC", "AES-128-CBC",
    "AES-192-CBC", "AES-256-CBC", nullptr,       nullptr,        "SM4-CBC",     "AES-128-CCM",  "AES-192-CCM",
    "AES-256-CCM", "SM4-CCM",     "AES-128-GCM", "AES-192-GCM",  "AES-256-GCM", "SM4-GCM",      nullptr};

std::array<std::atomic<EVP_CIPHER*>, kEvpNames.size()> fetched{};

}  // namespace

OwnAlgorithm ownAlgorithm(std::uint8_t code) {
    switch (code) {
        case 7:
            return OwnAlgorithm::kTeaEcb;
        case 8:
            return OwnAlgorithm::kXteaEcb;
        case 16:
            return OwnAlgorithm::kTeaCbc;
        case 17:
            return OwnAlgorithm::kXteaCbc;
        case 27:
            return OwnAlgorithm::kXxtea;
        default:
            return OwnAlgorithm::kNone;
    }
}

const EVP_CIPHER* evpCipher(std::uint8_t code) {
    if (code >= kEvpNames.size() || !kEvpNames[code]) return nullptr;
    if (EVP_CIPHER* known = fetched[code].load(std::memory_order_acquire)) return known;
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, kEvpNames[code], nullptr);
    if (!cipher) return nullptr;
    EVP_CIPHER* expected = nullptr;
    if (!fetched[code].compare_exchange_strong(expected, cipher, std::memory_order_acq_rel)) {
        EVP_CIPHER_free(cipher);  // another thread was first
        return expected;
    }
    return cipher;
}

CipherMode modeOf(const EVP_CIPHER* cipher) {
    switch (EVP_CIPHER_get_mode(cipher)) {
        case EVP_CIPH_STREAM_CIPHER:
            return kModeStream;
        case EVP_CIPH_ECB_MODE:
            return kModeEcb;
        case EVP_CIPH_CBC_MODE:
            return kModeCbc;
        case EVP_CIPH_CFB_MODE:
            return kModeCfb;
        case EVP_CIPH_OFB_MODE:
            return kModeOfb;
        case EVP_CIPH_CTR_MODE:
            return kModeCtr;
        case EVP_CIPH_GCM_MODE:
            return kModeGcm;
        case EVP_CIPH_CCM_MODE:
            return kModeCcm;
        case EVP_CIPH_XTS_MODE:
            return kModeXts;
        case EVP_CIPH_WRAP_MODE:
            return kModeWrap;
        case EVP_CIPH_OCB_MODE:
            return kModeOcb;
        case EVP_CIPH_SIV_MODE:
            return kModeSiv;
        default:
            return kModeUnknown;
    }
}

}  // namespace Orvane
