#pragma once
// A buffer over memory it does not own.
//
// Kind 0: unbound; capacity and size 0, every growth fails.
// Kind 1: caller memory of a fixed capacity; the size may move between 0 and that capacity.
// Kind 2: a caller's std::string; capacity and size are the string's and growth grows the string.
//         std::string zero-fills what a resize adds, so bytes placed past its end (appendFill)
//         do not survive a later resize.

#include <string>

#include "crypto/buffer.hpp"

namespace Orvane {

class BindBuf : public IBuffer {
  public:
    enum Kind : int { kUnbound = 0, kMemory = 1, kString = 2 };

    BindBuf() = default;
    // The size is cut to the capacity when it is given larger.
    BindBuf(void* memory, std::uint32_t capacity, std::uint32_t size = 0) { bind(memory, capacity, size); }
    explicit BindBuf(std::string& text) { bind(text); }

    void bind(void* memory, std::uint32_t capacity, std::uint32_t size = 0);
    void bind(std::string& text);
    void unbind();
    Kind kind() const { return kind_; }

    std::uint32_t capacity() const override;
    bool reserve(std::uint32_t n) override;
    void release() override { clear(); }
    std::uint8_t* data() override;
    const std::uint8_t* data() const override;
    std::uint32_t size() const override;
    bool resize(std::uint32_t n) override;

  private:
    Kind kind_ = kUnbound;
    std::uint8_t* memory_ = nullptr;
    std::uint32_t capacity_ = 0;
    std::uint32_t size_ = 0;
    std::string* text_ = nullptr;
};

}  // namespace Orvane
