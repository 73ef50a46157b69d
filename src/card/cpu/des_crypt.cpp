#include "card/cpu/des_crypt.hpp"

#include <algorithm>
#include <array>

#include "card/cpu/icpu_cos_reader.hpp"
#include "crypto/std_buf.hpp"

namespace Orvane {

namespace {

constexpr std::size_t kBlock = 8;
// Cipher engine codes: single DES in CBC mode, and the ECB member for 8, 16 and 24 key bytes.
constexpr std::uint8_t kDesCbc = 10;

std::uint8_t ecbAlgorithm(std::size_t keyLen) {
    switch (keyLen) {
        case 8:
            return 1;
        case 16:
            return 2;
        case 24:
            return 3;
        default:
            return 0;
    }
}

// One run of the engine over whole blocks: `data` is replaced by the output.
bool run(Cipher& cipher, std::uint8_t algorithm, bool encrypt, std::span<const std::uint8_t> key,
         const std::uint8_t* iv, std::span<const std::uint8_t> in, std::vector<std::uint8_t>& data) {
    if (in.size() % kBlock != 0) return false;
    if (!cipher.setAlgorithm(algorithm, 0)) return false;
    if (!cipher.setKey(key.data(), static_cast<std::uint32_t>(key.size()))) return false;
    const std::array<std::uint8_t, kBlock> zero{};
    if (!cipher.setIv(iv != nullptr ? iv : zero.data(), kBlock)) return false;
    StdBuf out;
    if (!cipher.start(encrypt) || !cipher.update(in.data(), static_cast<std::uint32_t>(in.size()), out) ||
        !cipher.finish(out) || out.size() != in.size()) {
        return false;
    }
    data.assign(out.data(), out.data() + out.size());
    return true;
}

bool mac(Cipher& cipher, std::span<const std::uint8_t> key, const std::uint8_t* iv,
         std::vector<std::uint8_t>& data) {
    padMethod2(data);
    std::array<std::uint8_t, kBlock> last{};
    std::copy_n(data.end() - kBlock, kBlock, last.begin());
    std::array<std::uint8_t, kBlock> chain{};
    if (iv != nullptr) std::copy_n(iv, kBlock, chain.begin());
    if (data.size() > kBlock) {
        std::vector<std::uint8_t> head;
        const std::span<const std::uint8_t> body(data.data(), data.size() - kBlock);
        if (!run(cipher, kDesCbc, true, key.first(kBlock), chain.data(), body, head)) return false;
        std::copy_n(head.end() - kBlock, kBlock, chain.begin());
    }
    for (std::size_t i = 0; i < kBlock; ++i)
        last[i] ^= chain[i];
    return run(cipher, ecbAlgorithm(key.size()), true, key, nullptr, last, data);
}

}  // namespace

void padMethod2(std::vector<std::uint8_t>& data) {
    data.push_back(0x80);
    data.resize((data.size() + kBlock - 1) / kBlock * kBlock, 0x00);
}

std::uint16_t desCrypt(Cipher& cipher, std::uint8_t op, std::span<const std::uint8_t> key,
                       const std::uint8_t* iv, std::vector<std::uint8_t>& data) {
    const std::uint8_t ecb = ecbAlgorithm(key.size());
    if (ecb == 0) return sw::kBadParam;
    bool ok = false;
    switch (op) {
        case cos_7816::kEncrypt:
        case cos_7816::kDecrypt: {
            const std::vector<std::uint8_t> in = data;
            ok = run(cipher, ecb, op == cos_7816::kEncrypt, key, nullptr, in, data);
            break;
        }
        case cos_7816::kMac:
            ok = mac(cipher, key, iv, data);
            break;
        case cos_7816::kTacMac: {
            if (key.size() != 16) {
                ok = mac(cipher, key, iv, data);
                break;
            }
            // The TAC key is single DES: the two halves of the 16-byte key XORed.
            std::array<std::uint8_t, kBlock> tacKey{};
            for (std::size_t i = 0; i < kBlock; ++i)
                tacKey[i] = key[i] ^ key[i + kBlock];
            ok = mac(cipher, tacKey, iv, data);
            break;
        }
        default:
            break;
    }
    return ok ? sw::kOk : sw::kBadParam;
}

std::uint16_t keyCrypt(Cipher& cipher, std::uint8_t op, const cos_7816::_KeyData& key, const std::uint8_t* iv,
                       std::vector<std::uint8_t>& data) {
    // A record holds at most key.size() bytes: a longer keyLen names bytes that are not there.
    if (key.alg != cos_7816::kDesFamily || key.keyLen > key.key.size()) return sw::kBadParam;
    return desCrypt(cipher, op, std::span(key.key.data(), key.keyLen), iv, data);
}

}  // namespace Orvane
