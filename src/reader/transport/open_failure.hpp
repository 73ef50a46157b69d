#pragma once
// Why a HID or USB reader did not open, for the open log. hidapi and libusb's open by ids only say
// "no": what the bus lists with those ids tells "not plugged in" from "not ours to open" from
// "held by someone else".

#include <cstdint>
#include <string>

#include "reader/probe_log.hpp"

namespace Orvane {

class DeviceBus;

// After an open by these ids failed: nothing listed is not present; nothing this process may open
// is permission denied, naming the first device file and what to do; a device file it may open
// is busy (another program holds the device, or its kernel driver could not be detached).
ProbeReport explainFailedOpen(DeviceBus& bus, std::uint16_t vendorId, std::uint16_t productId);
// After the device opened and claiming `interfaceNumber` failed with libusb error `usbError`.
ProbeReport explainFailedClaim(int usbError, int interfaceNumber);

void logProbeReport(std::uint8_t readerType, std::uint16_t vendorId, std::uint16_t productId,
                    const ProbeReport& report);

}  // namespace Orvane
