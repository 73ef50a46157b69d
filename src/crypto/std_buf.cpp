#include "crypto/std_buf.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace Orvane {

StdBuf::~StdBuf() {
    std::free(memory_);
}

StdBuf::StdBuf(StdBuf&& other) noexcept
    : memory_(std::exchange(other.memory_, nullptr)),
      capacity_(std::exchange(other.capacity_, 0)),
      size_(std::exchange(other.size_, 0)) {}

StdBuf& StdBuf::operator=(StdBuf&& other) noexcept {
    if (this != &other) {
        std::free(memory_);
        memory_ = std::exchange(other.memory_, nullptr);
        capacity_ = std::exchange(other.capacity_, 0);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

bool StdBuf::reserve(std::uint32_t n) {
    const std::uint32_t target = std::max(n, size_);
    if (target == capacity_) return true;
    if (target == 0) {
        release();
        return true;
    }
    auto* grown = static_cast<std::uint8_t*>(std::realloc(memory_, target));
    if (!grown) return false;
    if (target > capacity_) std::memset(grown + capacity_, 0, target - capacity_);
    memory_ = grown;
    capacity_ = target;
    return true;
}

void StdBuf::release() {
    std::free(memory_);
    memory_ = nullptr;
    capacity_ = size_ = 0;
}

bool StdBuf::resize(std::uint32_t n) {
    if (!ensure(n)) return false;
    size_ = n;
    return true;
}

}  // namespace Orvane
