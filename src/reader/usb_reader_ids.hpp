#pragma once
// The reader types found by their USB ids (HID and raw USB), as the open log and the device survey
// name them. The ids themselves belong to the transports; this is the one list of them.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace Orvane {

enum class UsbLink { hid, raw };

struct UsbReaderId {
    std::uint8_t readerType = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    UsbLink link = UsbLink::hid;
};

// Types 1, 3, 4 and 6, in the order detection probes them.
std::span<const UsbReaderId> usbReaderIds();
// The ids of a type; nullopt for the serial types and numbers no reader has.
std::optional<UsbReaderId> usbReaderIdOf(std::uint8_t readerType);
// "0483:5751": lower-case hex, as lsusb and sysfs write them.
std::string usbIdText(std::uint16_t vendorId, std::uint16_t productId);

// Whether a serial port's hardware id names the CH340 bridge of the VB readers (1a86:7523), as sysfs
// or a Windows-style id (VID_1A86 ... PID_7523) writes it.
bool isCh340HardwareId(const std::string& hardwareId);

}  // namespace Orvane
