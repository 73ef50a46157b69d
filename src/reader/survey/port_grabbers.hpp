#pragma once
// Programs known to take serial ports away from a reader: ModemManager probes every new port with
// modem commands and holds it meanwhile; brltty claims CH340 bridges (1a86:7523) as braille
// displays, so the port vanishes or stays held.

#include <string>
#include <vector>

namespace Orvane {

struct PortGrabber {
    std::string program;  // as /proc/PID/comm names it
    int pid = 0;
    std::string effect;  // what it does to a reader's port
};

// The running processes of those programs, found through <root>/proc/PID/comm, by process id.
// An empty root looks at nothing.
std::vector<PortGrabber> findPortGrabbers(const std::string& root);

}  // namespace Orvane
