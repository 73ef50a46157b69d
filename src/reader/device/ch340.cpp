#include "reader/device/ch340.hpp"

#include <array>
#include <utility>

namespace Orvane::ch340 {

std::optional<std::uint16_t> baudIndex(std::uint32_t baud) {
    // Divisor (high byte) and prescaler (low byte) pairs of the CH340 for its common rates.
    static constexpr std::array<std::pair<std::uint32_t, std::uint16_t>, 13> kTable{{
        {110, 0x9680},
        {300, 0xD980},
        {600, 0x6481},
        {1200, 0xB281},
        {2400, 0xD981},
        {4800, 0x6482},
        {9600, 0xB282},
        {14400, 0xCC82},
        {19200, 0xD982},
        {38400, 0x6483},
        {56000, 0x9583},
        {57600, 0x9883},
        {115200, 0xCC83},
    }};
    for (const auto& [rate, index] : kTable) {
        if (rate == baud) return index;
    }
    return std::nullopt;
}

}  // namespace Orvane::ch340
