#include "reader/probe_log.hpp"

#include <spdlog/spdlog.h>

namespace Orvane {

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

void logProbe(std::uint8_t readerType, const std::string& device, ProbeOutcome outcome,
              const std::string& detail) {
    // spdlog itself: the reader layer sits below the protocol layer's log helpers.
    if (detail.empty())
        spdlog::info("reader probe: type {} on {}: {}", int{readerType}, device, probeOutcomeText(outcome));
    else
        spdlog::info("reader probe: type {} on {}: {} ({})", int{readerType}, device,
                     probeOutcomeText(outcome), detail);
}

}  // namespace Orvane
