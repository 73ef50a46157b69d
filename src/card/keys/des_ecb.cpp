#include "card/keys/des_ecb.hpp"

#include <algorithm>
#include <vector>

#include "card/cpu/des_crypt.hpp"
#include "card/cpu/key_data.hpp"

namespace Orvane {

bool desEcb(std::span<const std::uint8_t> key, std::span<std::uint8_t> data, bool encrypt) {
    std::vector<std::uint8_t> block(data.begin(), data.end());
    Cipher cipher;
    const auto op = encrypt ? cos_7816::kEncrypt : cos_7816::kDecrypt;
    if (desCrypt(cipher, op, key, nullptr, block) != 0x0090 || block.size() != data.size()) return false;
    std::copy(block.begin(), block.end(), data.begin());
    return true;
}

}  // namespace Orvane
