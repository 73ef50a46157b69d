#pragma once
// A simulated USB reader as the bus sees it: the USB ids, the plug state and the link between the
// host's reports or transfers and the reader's bytes. Each reader type has its own link.

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>

#include "sim/firmware/virtual_reader.hpp"

namespace rfsim {

class SimDevice {
  public:
    SimDevice(std::uint16_t vendorId, std::uint16_t productId, bool hid,
              std::shared_ptr<VirtualReader> reader)
        : vendorId_(vendorId), productId_(productId), hid_(hid), reader_(std::move(reader)) {}
    virtual ~SimDevice() = default;
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    std::uint16_t vendorId() const { return vendorId_; }
    std::uint16_t productId() const { return productId_; }
    bool isHid() const { return hid_; }
    VirtualReader& reader() { return *reader_; }

    // An unplugged device fails every operation on handles opened before, and cannot be opened.
    void unplug();
    void plug() { plugged_ = true; }
    bool plugged() const { return plugged_; }

    // HID side: hidapi's results (-1 for errors).
    virtual int hidWrite(std::span<const std::uint8_t>) { return -1; }
    virtual int hidRead(std::span<std::uint8_t>) { return -1; }
    virtual int hidSendFeature(std::span<const std::uint8_t>) { return -1; }
    virtual int hidGetFeature(std::span<std::uint8_t>) { return -1; }
    // USB side: libusb's results.
    virtual int usbBulk(std::uint8_t endpoint, std::span<std::uint8_t> data, int& transferred);
    virtual int usbControl(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                           std::uint16_t index);
    virtual int usbReset();

  protected:
    // Takes up to `size` bytes the reader has sent and the host has not read yet.
    Bytes takeFromReader(std::size_t size);
    void queueToHost(const Bytes& bytes);
    bool hasReply();

    std::mutex linkMutex_;

  private:
    const std::uint16_t vendorId_;
    const std::uint16_t productId_;
    const bool hid_;
    std::shared_ptr<VirtualReader> reader_;
    std::atomic<bool> plugged_{true};
    std::deque<std::uint8_t> toHost_;
};

}  // namespace rfsim
