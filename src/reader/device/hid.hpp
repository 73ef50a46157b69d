#pragma once
// A HID device handle on the device bus.

#include <cstdint>
#include <memory>
#include <span>

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
    void close() override {
        device_.reset();
        forgetLoss();
    }
    bool isOpen() override { return device_ != nullptr; }

  protected:
    // hidapi's calls on the open device: -1 without one. hidapi tells no failure apart, and a device
    // that was unplugged fails every call at once, so a failing call counts as the device lost.
    int writeReport(std::span<const std::uint8_t> report);
    int readReport(std::span<std::uint8_t> report, int timeoutMs);
    // Reads away input reports already waiting, using `scratch`: what is left of a reply that came
    // after its read gave up (late under load) would otherwise be taken for the next request's
    // reply and put every later exchange one reply behind.
    void dropPendingInput(std::span<std::uint8_t> scratch);
    int sendFeature(std::span<const std::uint8_t> report);
    // A reader may answer a feature read with an error while it is busy: that tells nothing.
    int getFeature(std::span<std::uint8_t> report);
    bool hasDevice() const { return device_ != nullptr; }
    DeviceBus& bus() const { return bus_; }

  private:
    DeviceBus& bus_;
    std::unique_ptr<HidDevice> device_;
};

}  // namespace Orvane
