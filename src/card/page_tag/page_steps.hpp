#pragma once
// Page reads and writes made of the tag's one-command steps, whatever reader sends them: READ
// answers four pages, a write takes one.

#include <algorithm>
#include <array>
#include <cstdint>

#include "card/page_tag/ipage_tag_reader.hpp"
#include "crypto/buffer.hpp"

namespace Orvane {

// Reads `count` pages from `first` with `readFour(page, out16)` (page numbers wrap after 255).
// False only when `out` cannot be sized; its size then tells how many bytes were read.
template <typename ReadFour>
bool readPagesByFour(std::uint8_t first, int count, IBuffer& out, ReadFour readFour) {
    if (count < 0 || !out.resize(static_cast<std::uint32_t>(kPageSize * count))) return false;
    std::uint32_t obtained = 0;
    std::array<std::uint8_t, 4 * kPageSize> four{};
    for (int k = 0; k < count; k += 4) {
        if (!readFour(static_cast<std::uint8_t>(first + k), four.data())) break;
        const int pages = std::min(4, count - k);
        const auto bytes = static_cast<std::uint32_t>(kPageSize * pages);
        std::copy_n(four.begin(), bytes, out.data() + kPageSize * k);
        obtained += bytes;
        if (pages < 4) break;
    }
    return out.resize(obtained);
}

// Writes `count` pages from `first` with `writeOne(page, data4)`; the number of bytes written.
template <typename WriteOne>
int writePagesOneByOne(std::uint8_t first, int count, const std::uint8_t* data, WriteOne writeOne) {
    if (data == nullptr) return 0;
    for (int i = 0; i < count; ++i) {
        if (!writeOne(static_cast<std::uint8_t>(first + i), data + kPageSize * i)) return kPageSize * i;
    }
    return kPageSize * std::max(count, 0);
}

}  // namespace Orvane
