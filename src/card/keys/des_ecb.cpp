#include "card/keys/des_ecb.hpp"

#include "crypto/bind_buf.hpp"
#include "crypto/cipher.hpp"

namespace Orvane {

namespace {

// Algorithm codes of the cipher engine.
constexpr std::uint8_t kDesEcb = 1, kDesEdeEcb = 2, kDesEde3Ecb = 3;

}  // namespace

bool desEcb(std::span<const std::uint8_t> key, std::span<std::uint8_t> data, bool encrypt) {
    const std::uint8_t algorithm = key.size() == 8    ? kDesEcb
                                   : key.size() == 16 ? kDesEdeEcb
                                   : key.size() == 24 ? kDesEde3Ecb
                                                      : 0;
    if (algorithm == 0 || data.size() % 8 != 0 || data.size() > UINT32_MAX) return false;
    if (data.empty()) return true;
    Cipher cipher;
    const auto size = static_cast<std::uint32_t>(data.size());
    BindBuf out(data.data(), size);
    return cipher.setAlgorithm(algorithm, 0) &&
           cipher.setKey(key.data(), static_cast<std::uint32_t>(key.size())) && cipher.start(encrypt) &&
           cipher.update(data.data(), size, out) && cipher.finish(out) && out.size() == size;
}

}  // namespace Orvane
