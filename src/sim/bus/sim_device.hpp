#pragma once
// A simulated USB reader as the bus sees it: the USB ids, the plug state and the link between the
// host's reports or transfers and the reader's bytes. Each reader type has its own link.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
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

    // The reader's cable (VirtualReader::unplug). An unplugged device cannot be opened, and every
    // operation on a handle opened before fails, also after the device is plugged in again: the
    // host meets a new device then and has to open it anew.
    void unplug() { reader_->unplug(); }
    void plug() { reader_->plug(); }
    bool plugged() const { return reader_->plugged(); }

    // Opens the device: the connection the new handle belongs to, nullopt while unplugged. The
    // first handle of a new connection finds the device as it comes up, nothing left to read.
    std::optional<std::uint64_t> open();
    // False once the connection `opened` is gone.
    bool usable(std::uint64_t opened) const { return reader_->connected(opened); }

    // The host takes a handle on the device, which may refuse it, and lets it go again.
    virtual bool hostOpen() { return true; }
    virtual void hostClose() {}

    // HID side: hidapi's results (-1 for errors).
    virtual int hidWrite(std::span<const std::uint8_t>) { return -1; }
    virtual int hidRead(std::span<std::uint8_t>) { return -1; }
    virtual int hidSendFeature(std::span<const std::uint8_t>) { return -1; }
    virtual int hidGetFeature(std::span<std::uint8_t>) { return -1; }
    // USB side: libusb's results.
    virtual int usbBulk(std::uint8_t endpoint, std::span<std::uint8_t> data, int& transferred);
    virtual int usbControl(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                           std::uint16_t index, std::span<std::uint8_t> data);
    virtual int usbReset();
    // Kernel driver and interface requests; the readers have interface 0 and no kernel driver.
    enum class InterfaceRequest { detachKernel, attachKernel, claim, release };
    virtual int usbInterface(InterfaceRequest request, int interfaceNumber);

  protected:
    // The bridge chip's power-on state, for a device that was plugged in again. Called with
    // linkMutex_ held.
    virtual void resetLink() {}

    // Takes up to `size` bytes the reader has sent and the host has not read yet.
    Bytes takeFromReader(std::size_t size);
    // The device's buffers are small: when the host does not read, the oldest bytes are lost.
    void queueToHost(const Bytes& bytes);
    bool hasReply();

    std::mutex linkMutex_;

  private:
    const std::uint16_t vendorId_;
    const std::uint16_t productId_;
    const bool hid_;
    std::shared_ptr<VirtualReader> reader_;
    std::deque<std::uint8_t> toHost_;
    std::uint64_t linkConnection_ = 0;  // the connection toHost_ and the bridge state belong to
};

}  // namespace rfsim
