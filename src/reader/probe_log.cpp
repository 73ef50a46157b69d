#include "reader/probe_log.hpp"

#include "protocol/log.hpp"

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
    if (detail.empty())
        logInfo("reader probe: type %d on %s: %s", readerType, device, probeOutcomeText(outcome));
    else
        logInfo("reader probe: type %d on %s: %s (%s)", readerType, device, probeOutcomeText(outcome),
                detail);
}

}  // namespace Orvane
