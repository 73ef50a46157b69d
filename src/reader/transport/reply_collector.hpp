#pragma once
// How long a reply frame of each family is, learnt from its first bytes, and the bounded collection
// of a reply that arrives in pieces (reports, reads).

#include <cstdint>

namespace Orvane {

struct ReplyHead {
    int bytes;                               // bytes needed before the total is known
    int (*total)(const std::uint8_t* head);  // the frame's full length
};

// FE 02 LEN ...: LEN + 5.
inline constexpr ReplyHead kVaReplyHead{4, [](const std::uint8_t* h) { return h[2] + 5; }};
// AA 55 ADDR 00 LEN_H LEN_L CMD STATUS ...: LEN + 8.
inline constexpr ReplyHead kVcReplyHead{7, [](const std::uint8_t* h) { return (h[4] << 8 | h[5]) + 8; }};
// 55 STATUS LEN_H LEN_L ...: LEN + 6.
inline constexpr ReplyHead kVdReplyHead{4, [](const std::uint8_t* h) { return (h[2] << 8 | h[3]) + 6; }};

// Appends reply pieces to the caller's buffer, never past maxLen.
class ReplyCollector {
  public:
    // `expected` is the total assumed until the head is in (-1: unknown).
    ReplyCollector(std::uint8_t* buf, int maxLen, const ReplyHead& head, int expected = -1)
        : buf_(buf), maxLen_(maxLen), head_(head), expected_(expected) {}

    // Appends what fits; false when the reply is complete or has to end here (a length beyond
    // maxLen, or the buffer full).
    bool append(const std::uint8_t* bytes, int count);
    bool wantsMore() const { return !stopped_ && (expected_ < 0 || held_ < expected_); }

    int held() const { return held_; }
    int expected() const { return expected_; }

  private:
    std::uint8_t* buf_;
    int maxLen_;
    ReplyHead head_;
    int expected_;
    int held_ = 0;
    bool stopped_ = false;
};

}  // namespace Orvane
