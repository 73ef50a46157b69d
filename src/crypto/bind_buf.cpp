#include "crypto/bind_buf.hpp"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace Orvane {
namespace {

std::uint32_t clampTo32(std::size_t n) {
    return static_cast<std::uint32_t>(std::min<std::size_t>(n, UINT32_MAX));
}

}  // namespace

void BindBuf::bind(void* memory, std::uint32_t capacity, std::uint32_t size) {
    unbind();
    if (!memory) return;
    kind_ = kMemory;
    memory_ = static_cast<std::uint8_t*>(memory);
    capacity_ = capacity;
    size_ = std::min(size, capacity);
}

void BindBuf::bind(std::string& text) {
    unbind();
    kind_ = kString;
    text_ = &text;
}

void BindBuf::unbind() {
    kind_ = kUnbound;
    memory_ = nullptr;
    capacity_ = size_ = 0;
    text_ = nullptr;
}

std::uint32_t BindBuf::capacity() const {
    switch (kind_) {
        case kMemory:
            return capacity_;
        case kString:
            return clampTo32(text_->capacity());
        default:
            return 0;
    }
}

bool BindBuf::reserve(std::uint32_t n) {
    switch (kind_) {
        case kMemory:
            return n <= capacity_;
        case kString:
            try {
                text_->reserve(n);
                return true;
            } catch (const std::exception&) {
                return false;
            }
        default:
            return n == 0;
    }
}

std::uint8_t* BindBuf::data() {
    switch (kind_) {
        case kMemory:
            return memory_;
        case kString:
            return reinterpret_cast<std::uint8_t*>(text_->data());
        default:
            return nullptr;
    }
}

const std::uint8_t* BindBuf::data() const {
    return const_cast<BindBuf*>(this)->data();
}

std::uint32_t BindBuf::size() const {
    switch (kind_) {
        case kMemory:
            return size_;
        case kString:
            return clampTo32(text_->size());
        default:
            return 0;
    }
}

bool BindBuf::resize(std::uint32_t n) {
    switch (kind_) {
        case kMemory:
            if (n > capacity_) return false;
            size_ = n;
            return true;
        case kString:
            try {
                text_->resize(n);
                return true;
            } catch (const std::exception&) {
                return false;
            }
        default:
            return n == 0;
    }
}

}  // namespace Orvane
