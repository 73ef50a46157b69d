#include "reader/transport/reply_collector.hpp"

#include <algorithm>

namespace Orvane {

bool ReplyCollector::append(const std::uint8_t* bytes, int count) {
    const int take = std::clamp(count, 0, maxLen_ - held_);
    std::copy_n(bytes, take, buf_ + held_);
    held_ += take;
    if (held_ >= head_.bytes) {
        expected_ = head_.total(buf_);
        if (expected_ > maxLen_) stopped_ = true;
    }
    if (held_ == maxLen_) stopped_ = true;
    return wantsMore();
}

}  // namespace Orvane
