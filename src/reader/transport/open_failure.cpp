#include "reader/transport/open_failure.hpp"

#include <algorithm>

#include "reader/bus/device_bus.hpp"
#include "reader/device/node_access.hpp"
#include "reader/usb_reader_ids.hpp"

namespace Orvane {

ProbeReport explainFailedOpen(DeviceBus& bus, std::uint16_t vendorId, std::uint16_t productId) {
    const std::vector<UsbDeviceNode> listed = bus.listUsbDevices(vendorId, productId);
    if (listed.empty()) return {ProbeOutcome::notPresent, "no USB device with these ids"};
    const auto ours =
        std::find_if(listed.begin(), listed.end(), [](const UsbDeviceNode& d) { return d.openable; });
    if (ours == listed.end()) return {ProbeOutcome::permissionDenied, permissionDetail(listed.front().node)};
    return {ProbeOutcome::busy, ours->node +
                                    " may be opened by this process, yet the device did not open: another "
                                    "program holds it, or its kernel driver could not be detached"};
}

ProbeReport explainFailedClaim(int usbError, int interfaceNumber) {
    const std::string which = "interface " + std::to_string(interfaceNumber);
    if (usbError == usb_error::kAccess)
        return {ProbeOutcome::permissionDenied, which + " may not be claimed: " + kPermissionHint};
    if (usbError == usb_error::kNoDevice) return {ProbeOutcome::notPresent, "unplugged while being opened"};
    return {ProbeOutcome::busy, which + " could not be claimed (libusb error " + std::to_string(usbError) +
                                    "): another program or a kernel driver holds it"};
}

void logProbeReport(std::uint8_t readerType, std::uint16_t vendorId, std::uint16_t productId,
                    const ProbeReport& report) {
    logProbe(readerType, usbIdText(vendorId, productId), report.outcome, report.detail);
}

}  // namespace Orvane
