#include "reader/frame/check_sums.hpp"

#include <array>
#include <cstddef>

namespace Orvane::check_sums {
namespace {

constexpr std::size_t kLanes = 16;

// Folds 16 lanes of byte-wise results; wrap-around of the lanes is the modulo 256 of the sum.
template <typename Combine>
std::uint8_t fold(std::span<const std::uint8_t> bytes, Combine combine) {
    std::array<std::uint8_t, kLanes> lanes{};
    std::size_t i = 0;
    for (; i + kLanes <= bytes.size(); i += kLanes) {
        for (std::size_t k = 0; k < kLanes; ++k)
            lanes[k] = combine(lanes[k], bytes[i + k]);
    }
    std::uint8_t result = 0;
    for (const std::uint8_t lane : lanes)
        result = combine(result, lane);
    for (; i < bytes.size(); ++i)
        result = combine(result, bytes[i]);
    return result;
}

}  // namespace

std::uint8_t sum8(std::span<const std::uint8_t> bytes) {
    return fold(bytes, [](std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>(a + b); });
}

std::uint8_t xor8(std::span<const std::uint8_t> bytes) {
    return fold(bytes, [](std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>(a ^ b); });
}

}  // namespace Orvane::check_sums
