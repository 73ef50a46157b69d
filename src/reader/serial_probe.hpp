#pragma once
// What trying one serial port found, in the probe log's words: why the port did not open, told from
// the errno the serial layer carries, and whether anything answered the handshake.

#include <cstddef>
#include <string>

#include "reader/probe_log.hpp"

namespace serial {
class Serial;
}

namespace Orvane {

// Why `path` did not open with `errorNumber`. A permission failure names the group that owns the
// device, which is what the user has to join.
ProbeReport openFailure(const std::string& path, int errorNumber);

// Opens the port: found when it opened, else why not. No exception leaves it.
ProbeReport openForProbe(serial::Serial& port);

// A handshake that got no good identify reply: "wrong answer" when `bytesBack` bytes came back
// anyway, else "no answer" at the `rates` tried.
ProbeReport unanswered(std::size_t bytesBack, const std::string& rates);

}  // namespace Orvane
