#pragma once
// The lines of a device trace that one device took part in, read for a replay.

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace rfsim {

struct TraceLine {
    std::size_t number = 0;  // in the file, from 1
    nlohmann::json value;
};

struct DeviceLines {
    std::string device;  // the device the lines are of: "10c4:0210" or a serial port's path
    std::vector<TraceLine> lines;
    std::string error;  // why there are none
};

// The lines of the trace at `path` for the reader of `type`. The device is `device` when given,
// else for a USB type the device with that type's ids (`usbName`), and for a serial type the port
// where a reader of that type first read an answer (before it, a search may have tried other
// ports). Every line of the device is kept, whichever transport wrote it: the device heard them all.
DeviceLines loadDeviceLines(const std::string& path, int type, const std::string& usbName,
                            const std::string& device);

}  // namespace rfsim
