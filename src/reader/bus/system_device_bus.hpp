#pragma once
// The bus of the real machine: HID through hidapi (libusb back end), raw USB through libusb,
// serial ports from /dev and sysfs.

#include <memory>
#include <string>

#include "reader/bus/device_bus.hpp"

struct libusb_context;

namespace Orvane {

class SystemDeviceBus : public DeviceBus {
  public:
    // `root` is where /dev, /sys and /proc are looked up: "/" on a machine, a folder holding fake
    // ones in tests.
    explicit SystemDeviceBus(std::string root = "/");
    ~SystemDeviceBus() override;
    SystemDeviceBus(const SystemDeviceBus&) = delete;
    SystemDeviceBus& operator=(const SystemDeviceBus&) = delete;

    std::unique_ptr<HidDevice> openHid(std::uint16_t vendorId, std::uint16_t productId) override;
    std::unique_ptr<UsbDevice> openUsb(std::uint16_t vendorId, std::uint16_t productId) override;
    std::unique_ptr<HidDevice> wrapHid(std::intptr_t sysDevice, int interfaceNumber) override;
    std::unique_ptr<UsbDevice> wrapUsb(std::intptr_t sysDevice) override;
    std::vector<serial::PortInfo> listSerialPorts() override;
    // Device files are looked up under the root, as serial ports are.
    std::vector<UsbDeviceNode> listUsbDevices(std::uint16_t vendorId, std::uint16_t productId) override;
    // pcscd's sockets live in the real /run: a bus over a fake machine folder has no PC/SC.
    pcsc::PcscApi* pcscApi() override;

    const std::string& root() const { return root_; }

  private:
    std::string root_;
    libusb_context* usb_ = nullptr;  // null when libusb could not start: USB opens then fail
};

// The bus transports use unless told otherwise: the one installed, else the system bus; seen
// through the device trace while one runs (device_trace.hpp).
DeviceBus& currentDeviceBus();
// The installed bus itself, for what needs to know which bus it is.
DeviceBus& installedDeviceBus();
// Makes `bus` the current bus (the simulator installs its own at start, before any reader exists).
void installDeviceBus(std::shared_ptr<DeviceBus> bus);

}  // namespace Orvane
