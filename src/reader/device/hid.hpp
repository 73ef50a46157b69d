#pragma once
// A HID device handle on the device bus.

#include <cstdint>
#include <memory>

#include "reader/bus/device_bus.hpp"
#include "reader/device/iusb.hpp"

namespace Orvane {

class Hid : public IUsb {
  public:
    explicit Hid(DeviceBus& bus) : bus_(bus) {}
    ~Hid() override = default;
    Hid(const Hid&) = delete;
    Hid& operator=(const Hid&) = delete;

    bool open(int sysDevice, int interfaceNumber) override;
    // The first device with these ids; true if a device is held afterwards.
    bool openDevice(std::uint16_t vendorId, std::uint16_t productId);
    void close() override { device_.reset(); }
    bool isOpen() override { return device_ != nullptr; }

  protected:
    HidDevice* hidDevice() { return device_.get(); }

  private:
    DeviceBus& bus_;
    std::unique_ptr<HidDevice> device_;
};

}  // namespace Orvane
