#pragma once
// The seam between the reader transports and the machine's USB and serial devices. Transports reach
// hardware only through a DeviceBus: the system bus calls hidapi and libusb, the simulator's bus
// hosts virtual readers. Header only, so a bus can be written without linking the reader code.
//
// Results follow the libraries they stand for: hidapi's byte counts and -1, libusb's error codes.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "reader/serial/port_info.hpp"

namespace Orvane {

namespace pcsc {
class PcscApi;
}

// libusb's error codes, for buses that do not include libusb.
namespace usb_error {
inline constexpr int kIo = -1;
inline constexpr int kInvalidParam = -2;
inline constexpr int kAccess = -3;
inline constexpr int kNoDevice = -4;
inline constexpr int kNotFound = -5;
inline constexpr int kBusy = -6;
inline constexpr int kTimeout = -7;
inline constexpr int kPipe = -9;
}  // namespace usb_error

// One opened HID device; destroying it closes the device (hid_close).
class HidDevice {
  public:
    virtual ~HidDevice() = default;
    // Output report, report ID first (hid_write): bytes written or -1.
    virtual int write(std::span<const std::uint8_t> report) = 0;
    // Input report (hid_read_timeout): bytes read, 0 on timeout, -1 on error.
    virtual int readTimeout(std::span<std::uint8_t> report, int timeoutMs) = 0;
    // Feature reports, report ID first (hid_send/get_feature_report): bytes including the ID, or -1.
    virtual int sendFeatureReport(std::span<const std::uint8_t> report) = 0;
    virtual int getFeatureReport(std::span<std::uint8_t> report) = 0;
};

// One opened USB device; destroying it closes the device (libusb_close).
class UsbDevice {
  public:
    virtual ~UsbDevice() = default;
    virtual int detachKernelDriver(int interfaceNumber) = 0;
    virtual int attachKernelDriver(int interfaceNumber) = 0;
    virtual int claimInterface(int interfaceNumber) = 0;
    virtual int releaseInterface(int interfaceNumber) = 0;
    // Bulk transfer in the direction of the endpoint's bit 7; `transferred` is set also on errors.
    virtual int bulkTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data, int& transferred,
                             unsigned timeoutMs) = 0;
    // Control transfer: bytes transferred or a libusb error.
    virtual int controlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                std::uint16_t index, std::span<std::uint8_t> data, unsigned timeoutMs) = 0;
    virtual int resetDevice() = 0;
};

// A USB device with the ids asked for, as a user looking for their reader needs to see it.
struct UsbDeviceNode {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string node;       // its device file (/dev/bus/usb/BBB/DDD), or the name a simulated bus gives it
    bool openable = false;  // this process may read and write that file
};

class DeviceBus {
  public:
    virtual ~DeviceBus() = default;
    // The first device with these ids (no serial-number filter); null when none opens.
    virtual std::unique_ptr<HidDevice> openHid(std::uint16_t vendorId, std::uint16_t productId) = 0;
    virtual std::unique_ptr<UsbDevice> openUsb(std::uint16_t vendorId, std::uint16_t productId) = 0;
    // Wraps a device the system already opened (an Android-style file descriptor); null on failure.
    virtual std::unique_ptr<HidDevice> wrapHid(std::intptr_t sysDevice, int interfaceNumber) = 0;
    virtual std::unique_ptr<UsbDevice> wrapUsb(std::intptr_t sysDevice) = 0;
    // Serial ports with description and hardware id.
    virtual std::vector<serial::PortInfo> listSerialPorts() = 0;
    // The devices with these ids plugged in now, whether or not this process may open them, in the
    // order an open by ids meets them. Tells "not there" from "there, but not ours" after an open
    // failed; a bus that cannot tell lists none.
    virtual std::vector<UsbDeviceNode> listUsbDevices(std::uint16_t /*vendorId*/,
                                                      std::uint16_t /*productId*/) {
        return {};
    }
    // The PC/SC service of this machine (reader type 7); null when the bus has none, as a
    // simulated bus or one over a fake machine folder.
    virtual pcsc::PcscApi* pcscApi() { return nullptr; }
};

}  // namespace Orvane
