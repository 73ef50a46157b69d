#include "service/udp/udp_cipher.hpp"

#include "crypto/bind_buf.hpp"

namespace {
constexpr std::uint8_t kAes128Cbc = 13;  // algorithm code of the cipher engine
constexpr std::size_t kKeyLength = 16;
}  // namespace

void pkcs7Pad(std::vector<std::uint8_t>& data) {
    const std::size_t pad = kAesBlock - data.size() % kAesBlock;
    data.insert(data.end(), pad, static_cast<std::uint8_t>(pad));
}

std::size_t pkcs7Unpadded(std::span<const std::uint8_t> data) {
    if (data.empty()) return 0;
    const std::size_t pad = data.back();
    if (pad < 1 || pad > kAesBlock || pad > data.size()) return 0;
    return data.size() - pad;
}

std::unique_ptr<UdpCipher> UdpCipher::fromKeyText(std::string_view keyText) {
    if (keyText.size() != kKeyTextLength) return nullptr;
    std::unique_ptr<UdpCipher> udp(new UdpCipher());
    Orvane::Cipher& cipher = udp->cipher_;
    if (!cipher.setAlgorithm(kAes128Cbc, 0) || !cipher.setKey(keyText.data(), kKeyLength) ||
        !cipher.setIv(keyText.data() + kKeyLength, kKeyLength))
        return nullptr;
    return udp;
}

bool UdpCipher::seal(std::vector<std::uint8_t>& data) {
    pkcs7Pad(data);
    if (data.size() > UINT32_MAX) return false;
    const auto size = static_cast<std::uint32_t>(data.size());
    Orvane::BindBuf out(data.data(), size);
    return cipher_.start(true) && cipher_.update(data.data(), size, out) && cipher_.finish(out) &&
           out.size() == size;
}

std::size_t UdpCipher::open(std::span<std::uint8_t> data) {
    if (data.size() > UINT32_MAX) return 0;
    const auto size = static_cast<std::uint32_t>(data.size());
    Orvane::BindBuf buffer(data.data(), size, size);
    if (!cipher_.decryptInPlace(buffer) || buffer.size() != size) return 0;
    return pkcs7Unpadded(data);
}
