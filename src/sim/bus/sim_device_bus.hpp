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
    // The device is found by its USB ids from now on (the first attached wins).
    std::shared_ptr<SimDevice> attach(std::shared_ptr<SimDevice> device);
    void addSerialPort(serial::PortInfo port);

    std::unique_ptr<Orvane::HidDevice> openHid(std::uint16_t vendorId, std::uint16_t productId) override;
    std::unique_ptr<Orvane::UsbDevice> openUsb(std::uint16_t vendorId, std::uint16_t productId) override;
    // There are no system devices to wrap here.
    std::unique_ptr<Orvane::HidDevice> wrapHid(std::intptr_t, int) override { return nullptr; }
    std::unique_ptr<Orvane::UsbDevice> wrapUsb(std::intptr_t) override { return nullptr; }
    std::vector<serial::PortInfo> listSerialPorts() override;

  private:
    std::shared_ptr<SimDevice> find(std::uint16_t vendorId, std::uint16_t productId, bool hid);

    std::mutex mutex_;
    std::vector<std::shared_ptr<SimDevice>> devices_;
    std::vector<serial::PortInfo> ports_;
};

}  // namespace rfsim
