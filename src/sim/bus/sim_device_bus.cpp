#include "sim/bus/sim_device_bus.hpp"

namespace rfsim {
namespace {

// Handles check the plug state first: a device pulled out fails every call, as hidapi and libusb
// report it (-1, LIBUSB_ERROR_NO_DEVICE).
class SimHidHandle : public Orvane::HidDevice {
  public:
    explicit SimHidHandle(std::shared_ptr<SimDevice> device) : device_(std::move(device)) {}

    int write(std::span<const std::uint8_t> report) override {
        return device_->plugged() ? device_->hidWrite(report) : -1;
    }
    int readTimeout(std::span<std::uint8_t> report, int) override {
        return device_->plugged() ? device_->hidRead(report) : -1;
    }
    int sendFeatureReport(std::span<const std::uint8_t> report) override {
        return device_->plugged() ? device_->hidSendFeature(report) : -1;
    }
    int getFeatureReport(std::span<std::uint8_t> report) override {
        return device_->plugged() ? device_->hidGetFeature(report) : -1;
    }

  private:
    std::shared_ptr<SimDevice> device_;
};

class SimUsbHandle : public Orvane::UsbDevice {
  public:
    explicit SimUsbHandle(std::shared_ptr<SimDevice> device) : device_(std::move(device)) {}

    int detachKernelDriver(int) override { return gone() ? kGone : Orvane::usb_error::kNotFound; }
    int attachKernelDriver(int) override { return gone() ? kGone : 0; }
    int claimInterface(int n) override {
        return gone() ? kGone : (n == 0 ? 0 : Orvane::usb_error::kNotFound);
    }
    int releaseInterface(int) override { return gone() ? kGone : 0; }
    int bulkTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data, int& transferred,
                     unsigned) override {
        transferred = 0;
        return gone() ? kGone : device_->usbBulk(endpoint, data, transferred);
    }
    int controlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                        std::uint16_t index, std::span<std::uint8_t>, unsigned) override {
        return gone() ? kGone : device_->usbControl(requestType, request, value, index);
    }
    int resetDevice() override { return gone() ? kGone : device_->usbReset(); }

  private:
    static constexpr int kGone = Orvane::usb_error::kNoDevice;
    bool gone() const { return !device_->plugged(); }

    std::shared_ptr<SimDevice> device_;
};

}  // namespace

std::shared_ptr<SimDevice> SimDeviceBus::attach(std::shared_ptr<SimDevice> device) {
    std::lock_guard lock(mutex_);
    devices_.push_back(device);
    return device;
}

void SimDeviceBus::addSerialPort(serial::PortInfo port) {
    std::lock_guard lock(mutex_);
    ports_.push_back(std::move(port));
}

std::shared_ptr<SimDevice> SimDeviceBus::find(std::uint16_t vendorId, std::uint16_t productId, bool hid) {
    std::lock_guard lock(mutex_);
    for (const auto& device : devices_) {
        if (device->vendorId() == vendorId && device->productId() == productId && device->isHid() == hid &&
            device->plugged())
            return device;
    }
    return nullptr;
}

std::unique_ptr<Orvane::HidDevice> SimDeviceBus::openHid(std::uint16_t vendorId, std::uint16_t productId) {
    auto device = find(vendorId, productId, true);
    return device ? std::make_unique<SimHidHandle>(std::move(device)) : nullptr;
}

std::unique_ptr<Orvane::UsbDevice> SimDeviceBus::openUsb(std::uint16_t vendorId, std::uint16_t productId) {
    auto device = find(vendorId, productId, false);
    return device ? std::make_unique<SimUsbHandle>(std::move(device)) : nullptr;
}

std::vector<serial::PortInfo> SimDeviceBus::listSerialPorts() {
    std::lock_guard lock(mutex_);
    return ports_;
}

}  // namespace rfsim
