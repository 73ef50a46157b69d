#include "service/session/login_throttle.hpp"

#include <algorithm>
#include <mutex>

#include "protocol/log.hpp"

namespace {

// Refused logins of the whole process, reported at most once per interval.
class RefusalReport {
  public:
    void note(const std::string& peer) {
        const auto now = std::chrono::steady_clock::now();
        std::lock_guard lock(mutex_);
        ++unreported_;
        if (now - lastReport_ < kInterval) return;
        logWarn("login refused from %s (%u refused logins since the last report)", peer.c_str(), unreported_);
        unreported_ = 0;
        lastReport_ = now;
    }

  private:
    static constexpr std::chrono::seconds kInterval{1};
    std::mutex mutex_;
    unsigned unreported_ = 0;
    std::chrono::steady_clock::time_point lastReport_{};
};

RefusalReport& refusalReport() {
    static RefusalReport report;
    return report;
}

}  // namespace

std::chrono::milliseconds LoginThrottle::refused(const std::string& peer) {
    refusalReport().note(peer.empty() ? std::string("?") : peer);
    ++failures_;
    if (failures_ <= kFreeFailures) return std::chrono::milliseconds{0};
    const unsigned doublings = std::min(failures_ - kFreeFailures - 1, 4u);
    return std::min(kFirstDelay * (1u << doublings), kMaxDelay);
}
