#pragma once
// What a reader probe found, in the words the open log and the device survey use. A user whose
// reader is not found reads these lines, so each outcome says what to look at.

#include <cstdint>
#include <string>

namespace Orvane {

enum class ProbeOutcome {
    found,             // a reader answered the handshake
    notPresent,        // no device with the reader's ids, or no port of the family
    permissionDenied,  // the device is there and this process may not open it
    busy,              // the device is there and held by another program or reader
    noAnswer,          // opened, nothing came back
    wrongAnswer,       // opened, something else answered
    refused,           // a port no reader may be (a terminal of a session, a console)
};

// What one probe found, with what there is to say about it.
struct ProbeReport {
    ProbeOutcome outcome = ProbeOutcome::found;
    std::string detail;

    bool found() const { return outcome == ProbeOutcome::found; }
};

const char* probeOutcomeText(ProbeOutcome outcome);

// One INFO line: "reader probe: type 4 on 0483:5751: permission denied (/dev/bus/usb/001/004 ...)".
// `device` names what was tried (VID:PID or port); `detail` says more where there is more to say.
void logProbe(std::uint8_t readerType, const std::string& device, ProbeOutcome outcome,
              const std::string& detail = {});

}  // namespace Orvane
