#include "reader/probe_log.hpp"

#include <fmt/printf.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <array>
#include <mutex>

#include "protocol/log_limit.hpp"

namespace Orvane {
namespace {

// A client can open readers in a loop, and every open writes these lines: each kind (reader type
// and outcome) is held to the service's log rate, what it holds back counted in a later line.
constexpr std::size_t kTypeSlots = 8;  // reader types 0 to 6; anything else shares the last slot
constexpr std::size_t kOutcomes = static_cast<std::size_t>(ProbeOutcome::refused) + 1;

LogRateLimit::Verdict passProbeLine(std::uint8_t readerType, ProbeOutcome outcome) {
    static std::mutex mutex;
    static std::array<std::array<LogRateLimit, kOutcomes>, kTypeSlots> limits;
    const auto now = LogRateLimit::Clock::now();
    std::lock_guard lock(mutex);
    return limits[std::min<std::size_t>(readerType, kTypeSlots - 1)]
                 [static_cast<std::size_t>(outcome) % kOutcomes]
                     .pass(now);
}

}  // namespace

const char* probeOutcomeText(ProbeOutcome outcome) {
    switch (outcome) {
        case ProbeOutcome::found:
            return "found";
        case ProbeOutcome::notPresent:
            return "not present";
        case ProbeOutcome::permissionDenied:
            return "permission denied";
        case ProbeOutcome::busy:
            return "busy";
        case ProbeOutcome::noAnswer:
            return "no answer";
        case ProbeOutcome::wrongAnswer:
            return "wrong answer";
        case ProbeOutcome::refused:
            return "refused";
    }
    return "unknown";
}

// The reader layer sits below the service's log helpers, so it writes to the default logger itself.
void logProbe(std::uint8_t readerType, const std::string& device, ProbeOutcome outcome,
              const std::string& detail) {
    if (!spdlog::should_log(spdlog::level::info)) return;
    const LogRateLimit::Verdict verdict = passProbeLine(readerType, outcome);
    if (verdict.suppressed > 0)
        spdlog::info(fmt::sprintf("reader probe: %d lines of type %d, %s, held back", verdict.suppressed,
                                  readerType, probeOutcomeText(outcome)));
    if (!verdict.write) return;
    if (detail.empty())
        spdlog::info(
            fmt::sprintf("reader probe: type %d on %s: %s", readerType, device, probeOutcomeText(outcome)));
    else
        spdlog::info(fmt::sprintf("reader probe: type %d on %s: %s (%s)", readerType, device,
                                  probeOutcomeText(outcome), detail));
}

}  // namespace Orvane
