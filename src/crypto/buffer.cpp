#include "crypto/buffer.hpp"

#include <cstring>
#include <functional>

namespace Orvane {

std::uint8_t* IMalloc::at(std::uint32_t pos) {
    std::uint8_t* base = data();
    return base ? base + pos : nullptr;
}

const std::uint8_t* IBuffer::at(std::uint32_t pos) const {
    const std::uint8_t* base = data();
    return base ? base + pos : nullptr;
}

std::int64_t IBuffer::offsetInStorage(const void* p) const {
    const auto* base = data();
    const auto* q = static_cast<const std::uint8_t*>(p);
    // std::less gives a total order even for pointers into unrelated objects.
    const std::less<const std::uint8_t*> before;
    if (!base || !q || before(q, base) || !before(q, base + capacity())) return -1;
    return q - base;
}

bool IBuffer::write(std::uint32_t pos, const void* src, std::uint32_t len) {
    if (len == 0) return true;
    if (!src || pos > UINT32_MAX - len) return false;
    const std::int64_t inside = offsetInStorage(src);
    if (inside >= 0 && static_cast<std::uint64_t>(inside) + len > capacity()) return false;
    if (pos + len > size() && !resize(pos + len)) return false;
    const std::uint8_t* from = inside >= 0 ? data() + inside : static_cast<const std::uint8_t*>(src);
    std::memmove(data() + pos, from, len);
    return true;
}

bool IBuffer::fill(std::uint32_t pos, std::uint8_t byte, std::uint32_t len) {
    if (len == 0) return true;
    if (pos > UINT32_MAX - len || !ensure(pos + len)) return false;
    std::memset(data() + pos, byte, len);
    return true;
}

bool IBuffer::assign(const void* src, std::uint32_t len) {
    const std::int64_t inside = offsetInStorage(src);
    if (inside >= 0 && len > 0) {
        // Own bytes: move them to the front before the size changes under them.
        if (static_cast<std::uint64_t>(inside) + len > capacity()) return false;
        std::memmove(data(), data() + inside, len);
        return resize(len);
    }
    clear();
    return write(0, src, len);
}

bool IBuffer::grow(std::uint8_t byte, std::uint32_t len) {
    const std::uint32_t old = size();
    if (len == 0) return true;
    if (old > UINT32_MAX - len || !resize(old + len)) return false;
    std::memset(data() + old, byte, len);
    return true;
}

bool IBuffer::erase(std::uint32_t pos, std::uint32_t len) {
    const std::uint32_t n = size();
    if (pos >= n || len == 0) return true;
    if (len > n - pos) len = n - pos;
    std::memmove(data() + pos, data() + pos + len, n - pos - len);
    return resize(n - len);
}

}  // namespace Orvane
