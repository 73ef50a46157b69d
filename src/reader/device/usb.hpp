#pragma once
// A raw USB device handle on the device bus, with the claimed-interface list and the CH340 serial
// chip's baud-rate request.

#include <array>
#include <cstdint>
#include <memory>

#include "reader/bus/device_bus.hpp"
#include "reader/device/iusb.hpp"

namespace Orvane {

class Usb : public IUsb {
  public:
    static constexpr int kMaxInterfaces = 32;
    static constexpr int kNoHandle = -99;  // result of operations without an open device

    explicit Usb(DeviceBus& bus) : bus_(bus) { claimed_.fill(-1); }
    ~Usb() override { close(); }
    Usb(const Usb&) = delete;
    Usb& operator=(const Usb&) = delete;

    // Wraps a system device and, for interfaceNumber >= 0, claims that interface.
    bool open(int sysDevice, int interfaceNumber) override;
    // The first device with these ids; true if a device is held afterwards.
    bool openDevice(std::uint16_t vendorId, std::uint16_t productId);
    // Releases and re-attaches every claimed interface, then closes the device.
    void close() override;
    bool isOpen() override { return device_ != nullptr; }

    // 0 or a libusb error; kNoHandle for n >= 32 or without a device.
    int claimInterface(int n);
    // One bulk transfer; for an IN endpoint with a continuation timeout, further transfers (their
    // packets stripped of `headerLength` bytes each) fill the buffer up to `length` bytes.
    int bulkRead(std::uint8_t endpoint, std::uint8_t* buffer, int length, unsigned timeoutMs);
    int bulkWrite(std::uint8_t endpoint, const std::uint8_t* data, int length, unsigned timeoutMs);
    // CH340 baud set-up: 0, -2 for a rate the chip table lacks (nothing sent), or a libusb error.
    // The continuation timeout becomes `continuationMs`, the per-packet header length 0.
    int setCh340Baud(std::uint32_t baud, int continuationMs);
    int resetDevice();

    void setContinuation(int timeoutMs, int headerLength);

  protected:
    DeviceBus& bus() const { return bus_; }

  private:
    // Notes whether `result` says the device has gone; returns it.
    int noted(int result);
    int bulkReadMore(std::uint8_t endpoint, std::uint8_t* buffer, int length, int held, unsigned timeoutMs);
    int stripHeaders(std::uint8_t* data, int count) const;

    DeviceBus& bus_;
    std::unique_ptr<UsbDevice> device_;
    std::array<int, kMaxInterfaces> claimed_{};
    int continuationMs_ = 0;
    int headerLength_ = 0;
};

}  // namespace Orvane
