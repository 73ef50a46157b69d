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

namespace {

struct Limits {
    std::mutex mutex;
    std::unordered_map<const char*, LogRateLimit> byKind;
};

Limits& limits() {
    static Limits all;
    return all;
}

}  // namespace

LogRateLimit::Verdict passLogLine(const char* kind) {
    // Kinds are the format texts in the code, so the map stays small; the bound is for a format
    // built at run time, which would otherwise add a kind per line.
    static constexpr std::size_t kMaxKinds = 4096;
    Limits& all = limits();
    const auto now = LogRateLimit::Clock::now();
    std::lock_guard lock(all.mutex);
    if (all.byKind.size() >= kMaxKinds && !all.byKind.contains(kind)) all.byKind.clear();
    return all.byKind[kind].pass(now);
}

void forgetLogLimits() {
    Limits& all = limits();
    std::lock_guard lock(all.mutex);
    all.byKind.clear();
}
