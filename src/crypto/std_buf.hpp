#pragma once
// A buffer that owns growable heap memory.

#include "crypto/buffer.hpp"

namespace Orvane {

class StdBuf : public IBuffer {
  public:
    StdBuf() = default;
    // Starts with a copy of len bytes; empty when that allocation fails.
    StdBuf(const void* src, std::uint32_t len) { assign(src, len); }
    ~StdBuf() override;
    StdBuf(const StdBuf&) = delete;
    StdBuf& operator=(const StdBuf&) = delete;
    StdBuf(StdBuf&& other) noexcept;
    StdBuf& operator=(StdBuf&& other) noexcept;

    std::uint32_t capacity() const override { return capacity_; }
    // Reallocates to the larger of n and the size (so it may also give memory back); false only
    // when the allocation fails. Memory gained is zeroed.
    bool reserve(std::uint32_t n) override;
    // Frees the memory.
    void release() override;
    std::uint8_t* data() override { return memory_; }
    const std::uint8_t* data() const override { return memory_; }
    std::uint32_t size() const override { return size_; }
    bool resize(std::uint32_t n) override;

  private:
    std::uint8_t* memory_ = nullptr;
    std::uint32_t capacity_ = 0;
    std::uint32_t size_ = 0;
};

}  // namespace Orvane
