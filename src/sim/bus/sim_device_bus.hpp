#pragma once
// A device bus with simulated readers on it, for the service and the tests in place of the
// machine's USB: HID and raw USB readers are attached here, serial readers live on
// pseudo-terminals (pty_reader_host.hpp) and are listed here as serial ports.

#include <memory>
#include <mutex>
#include <vector>

#include "reader/bus/device_bus.hpp"
#include "sim/bus/sim_device.hpp"

namespace rfsim {

class SimDeviceBus : public Orvane::DeviceBus {
  public:
    // The device is found by its USB ids from now on (the first one attached and plugged in wins).
    std::shared_ptr<SimDevice> attach(std::shared_ptr<SimDevice> device);
    // The port is listed while `reader` (if given) is plugged in, as a USB-serial port comes and goes
    // with its cable.
    void addSerialPort(serial::PortInfo port, std::shared_ptr<const VirtualReader> reader = nullptr);

    std::unique_ptr<Orvane::HidDevice> openHid(std::uint16_t vendorId, std::uint16_t productId) override;
    std::unique_ptr<Orvane::UsbDevice> openUsb(std::uint16_t vendorId, std::uint16_t productId) override;
    // There are no system devices to wrap here.
    std::unique_ptr<Orvane::HidDevice> wrapHid(std::intptr_t, int) override { return nullptr; }
    std::unique_ptr<Orvane::UsbDevice> wrapUsb(std::intptr_t) override { return nullptr; }
    std::vector<serial::PortInfo> listSerialPorts() override;
    // The attached devices with these ids that are plugged in, named "sim:N" by the order they were
    // attached; a simulated device is always this process's to open.
    std::vector<Orvane::UsbDeviceNode> listUsbDevices(std::uint16_t vendorId,
                                                      std::uint16_t productId) override;

  private:
    struct Opened {
        std::shared_ptr<SimDevice> device;  // null when none opens
        std::uint64_t connection = 0;
    };
    Opened openDevice(std::uint16_t vendorId, std::uint16_t productId, bool hid);

    struct Port {
        serial::PortInfo info;
        std::shared_ptr<const VirtualReader> reader;
    };

    std::mutex mutex_;
    std::vector<std::shared_ptr<SimDevice>> devices_;
    std::vector<Port> ports_;
};

}  // namespace rfsim
