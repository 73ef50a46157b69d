#pragma once
// The serial ports of the machine with a description and a hardware id from sysfs.

#include <string>
#include <vector>

#include "reader/serial/port_info.hpp"

namespace serial {

// Lists <root>/dev/tty?*, then <root>/dev/cu.* and <root>/dev/rfcomm*, in glob order; sysfs is read
// under <root>/sys, which also tells whether a device backs each port. The root is "/" on a real machine;
// tests pass a folder with a fake /dev and /sys.
std::vector<PortInfo> listPorts(const std::string& root = "/");

}  // namespace serial
