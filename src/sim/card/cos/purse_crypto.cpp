#include "sim/card/cos/purse_crypto.hpp"

#include <algorithm>

namespace rfsim::cos {

std::optional<Block> purseSessionKey(std::span<const std::uint8_t> key, std::span<const std::uint8_t> input) {
    if (input.size() != 8) return std::nullopt;
    const auto enciphered = desEcb(key, input, true);
    if (!enciphered) return std::nullopt;
    Block out{};
    std::copy_n(enciphered->begin(), out.size(), out.begin());
    return out;
}

std::optional<Mac4> purseMac(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data) {
    const auto full = desMac(key, Block{}, data);
    if (!full) return std::nullopt;
    Mac4 out{};
    std::copy_n(full->begin(), out.size(), out.begin());
    return out;
}

Bytes foldKey(std::span<const std::uint8_t> key16) {
    if (key16.size() != 16) return Bytes(key16.begin(), key16.end());
    Bytes out(8);
    for (std::size_t i = 0; i < 8; ++i)
        out[i] = key16[i] ^ key16[i + 8];
    return out;
}

void appendBig(Bytes& out, std::uint32_t value, std::size_t length) {
    for (std::size_t i = length; i-- > 0;)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint32_t readBig(std::span<const std::uint8_t> data, std::size_t at, std::size_t length) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < length; ++i)
        value = value << 8 | data[at + i];
    return value;
}

}  // namespace rfsim::cos
