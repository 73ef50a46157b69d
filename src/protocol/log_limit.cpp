#include "protocol/log_limit.hpp"

#include <mutex>
#include <unordered_map>

LogRateLimit::Verdict LogRateLimit::pass(Clock::time_point now) {
    if (now - windowStart_ >= std::chrono::seconds(1)) {
        windowStart_ = now;
        inWindow_ = 0;
    }
    Verdict verdict;
    verdict.write = inWindow_ < kLinesPerSecond;
    if (verdict.write)
        ++inWindow_;
    else if (suppressed_++ == 0)
        summaryDue_ = now + kSummaryEvery;
    if (suppressed_ > 0 && now >= summaryDue_) {
        verdict.suppressed = suppressed_;
        suppressed_ = 0;
    }
    return verdict;
}

LogRateLimit::Verdict passLogLine(const char* kind) {
    // Kinds are the format texts in the code, so the map stays small; the bound is for a format
    // built at run time, which would otherwise add a kind per line.
    static constexpr std::size_t kMaxKinds = 4096;
    static std::mutex mutex;
    static std::unordered_map<const char*, LogRateLimit> limits;
    const auto now = LogRateLimit::Clock::now();
    std::lock_guard lock(mutex);
    if (limits.size() >= kMaxKinds && !limits.contains(kind)) limits.clear();
    return limits[kind].pass(now);
}
