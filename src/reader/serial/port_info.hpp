#pragma once
// One entry of the serial-port list. Kept apart from the port enumeration so that a device bus
// (real or simulated) can hand out port lists without linking the serial layer.

#include <string>

namespace serial {

struct PortInfo {
    std::string port;         // device path, e.g. /dev/ttyUSB0
    std::string description;  // "manufacturer product serial", else the device name
    std::string hardwareId;   // "USB VID:PID=1a86:7523 ...", else "n/a"
    // A device stands behind the port: the ports a search writes reader frames to. Virtual consoles,
    // ptys and the serial driver's placeholder ports (ttyS* with no UART fitted) have none.
    bool backedByDevice = false;

    bool operator==(const PortInfo&) const = default;
};

}  // namespace serial
