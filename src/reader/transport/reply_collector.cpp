#include "reader/transport/reply_collector.hpp"

#include <algorithm>
#include <limits>

namespace Orvane {

bool ReplyCollector::append(const std::uint8_t* bytes, int count) {
    const int take = std::clamp(count, 0, maxLen_ - held_);
    std::copy_n(bytes, take, buf_ + held_);
    held_ += take;
    if (const auto length = replyLength_(std::span(buf_, static_cast<std::size_t>(held_)))) {
        constexpr std::size_t kIntMax = static_cast<std::size_t>(std::numeric_limits<int>::max());
        expected_ = static_cast<int>(std::min(*length, kIntMax));
        if (expected_ > maxLen_) stopped_ = true;
    }
    if (held_ == maxLen_) stopped_ = true;
    return wantsMore();
}

}  // namespace Orvane
