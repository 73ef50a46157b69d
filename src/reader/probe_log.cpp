#include "reader/probe_log.hpp"

#include <fmt/printf.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <mutex>

namespace Orvane {
namespace {

// A client can open readers in a loop, and every open writes these lines: each kind (reader type
// and outcome) writes at most this many a second, the rest counted and reported with the next line
// of that kind that is written.
constexpr int kLinesPerSecond = 10;
constexpr std::size_t kTypeSlots = 8;  // reader types 0 to 6; anything else shares the last slot
constexpr std::size_t kOutcomes = static_cast<std::size_t>(ProbeOutcome::refused) + 1;

struct LineBudget {
    std::chrono::steady_clock::time_point windowStart{};
    int inWindow = 0;
    int heldBack = 0;
};

// Whether a line of this kind may be written now; `heldBack` is set to the lines of the kind to
// report as held back first.
bool takeLine(std::uint8_t readerType, ProbeOutcome outcome, int& heldBack) {
    static std::mutex mutex;
    static std::array<std::array<LineBudget, kOutcomes>, kTypeSlots> budgets;
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex);
    LineBudget& budget = budgets[std::min<std::size_t>(readerType, kTypeSlots - 1)]
                                [static_cast<std::size_t>(outcome) % kOutcomes];
    if (now - budget.windowStart >= std::chrono::seconds(1)) {
        budget.windowStart = now;
        budget.inWindow = 0;
    }
    if (budget.inWindow >= kLinesPerSecond) {
        ++budget.heldBack;
        return false;
    }
    ++budget.inWindow;
    heldBack = budget.heldBack;
    budget.heldBack = 0;
    return true;
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
    int heldBack = 0;
    if (!takeLine(readerType, outcome, heldBack)) return;
    if (heldBack > 0) spdlog::info(fmt::sprintf("reader probe: %d lines like the next held back", heldBack));
    if (detail.empty())
        spdlog::info(
            fmt::sprintf("reader probe: type %d on %s: %s", readerType, device, probeOutcomeText(outcome)));
    else
        spdlog::info(fmt::sprintf("reader probe: type %d on %s: %s (%s)", readerType, device,
                                  probeOutcomeText(outcome), detail));
}

}  // namespace Orvane
