#pragma once
// The bounded collection of a reply that arrives in pieces (reports, reads), its total length
// learnt from the family's reply head as soon as that is in.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace Orvane {

// A frame family's replyLength: the whole reply's length, nullopt until the head is in.
using ReplyLength = std::optional<std::size_t> (*)(std::span<const std::uint8_t> head);

// Appends reply pieces to the caller's buffer, never past maxLen.
class ReplyCollector {
  public:
    // `expected` is the total assumed until the head is in (-1: unknown).
    ReplyCollector(std::uint8_t* buf, int maxLen, ReplyLength replyLength, int expected = -1)
        : buf_(buf), maxLen_(maxLen), replyLength_(replyLength), expected_(expected) {}

    // Appends what fits; false when the reply is complete or has to end here (a length beyond
    // maxLen, or the buffer full).
    bool append(const std::uint8_t* bytes, int count);
    bool wantsMore() const { return !stopped_ && (expected_ < 0 || held_ < expected_); }

    int held() const { return held_; }
    int expected() const { return expected_; }

  private:
    std::uint8_t* buf_;
    int maxLen_;
    ReplyLength replyLength_;
    int expected_;
    int held_ = 0;
    bool stopped_ = false;
};

}  // namespace Orvane
