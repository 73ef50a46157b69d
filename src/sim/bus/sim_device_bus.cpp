#include "sim/bus/sim_device_bus.hpp"

namespace rfsim {
namespace {

// Handles check their connection first: a device pulled out fails every call, as hidapi and libusb
// report it (-1, LIBUSB_ERROR_NO_DEVICE), and so does a handle from before a replug.
class SimHidHandle : public Orvane::HidDevice {
  public:
    SimHidHandle(std::shared_ptr<SimDevice> device, std::uint64_t connection)
        : device_(std::move(device)), connection_(connection) {}
    ~SimHidHandle() override { device_->hostClose(); }
    SimHidHandle(const SimHidHandle&) = delete;
    SimHidHandle& operator=(const SimHidHandle&) = delete;

    int write(std::span<const std::uint8_t> report) override {
        return live() ? device_->hidWrite(report) : -1;
    }
    int readTimeout(std::span<std::uint8_t> report, int) override {
        return live() ? device_->hidRead(report) : -1;
    }
    int sendFeatureReport(std::span<const std::uint8_t> report) override {
        return live() ? device_->hidSendFeature(report) : -1;
    }
    int getFeatureReport(std::span<std::uint8_t> report) override {
        return live() ? device_->hidGetFeature(report) : -1;
    }

  private:
    bool live() const { return device_->usable(connection_); }

    std::shared_ptr<SimDevice> device_;
    const std::uint64_t connection_;
};

class SimUsbHandle : public Orvane::UsbDevice {
  public:
    SimUsbHandle(std::shared_ptr<SimDevice> device, std::uint64_t connection)
        : device_(std::move(device)), connection_(connection) {}
    ~SimUsbHandle() override { device_->hostClose(); }
    SimUsbHandle(const SimUsbHandle&) = delete;
    SimUsbHandle& operator=(const SimUsbHandle&) = delete;

    int detachKernelDriver(int n) override { return interface(Request::detachKernel, n); }
    int attachKernelDriver(int n) override { return interface(Request::attachKernel, n); }
    int claimInterface(int n) override { return interface(Request::claim, n); }
    int releaseInterface(int n) override { return interface(Request::release, n); }
    int bulkTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data, int& transferred,
                     unsigned) override {
        transferred = 0;
        return gone() ? kGone : device_->usbBulk(endpoint, data, transferred);
    }
    int controlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                        std::uint16_t index, std::span<std::uint8_t> data, unsigned) override {
        return gone() ? kGone : device_->usbControl(requestType, request, value, index, data);
    }
    int resetDevice() override { return gone() ? kGone : device_->usbReset(); }

  private:
    using Request = SimDevice::InterfaceRequest;
    static constexpr int kGone = Orvane::usb_error::kNoDevice;
    int interface(Request request, int n) { return gone() ? kGone : device_->usbInterface(request, n); }
    bool gone() const { return !device_->usable(connection_); }

    std::shared_ptr<SimDevice> device_;
    const std::uint64_t connection_;
};

}  // namespace

std::shared_ptr<SimDevice> SimDeviceBus::attach(std::shared_ptr<SimDevice> device) {
    std::lock_guard lock(mutex_);
    devices_.push_back(device);
    return device;
}

void SimDeviceBus::addSerialPort(serial::PortInfo port, std::shared_ptr<const VirtualReader> reader) {
    std::lock_guard lock(mutex_);
    ports_.push_back({std::move(port), std::move(reader)});
}

SimDeviceBus::Opened SimDeviceBus::openDevice(std::uint16_t vendorId, std::uint16_t productId, bool hid) {
    std::vector<std::shared_ptr<SimDevice>> candidates;
    {
        std::lock_guard lock(mutex_);
        for (const auto& device : devices_)
            if (device->vendorId() == vendorId && device->productId() == productId && device->isHid() == hid)
                candidates.push_back(device);
    }
    // The first one plugged in. Opening takes the device's lock, never under the bus's.
    for (auto& device : candidates) {
        if (const auto connection = device->open(); connection && device->hostOpen())
            return {std::move(device), *connection};
    }
    return {};
}

std::unique_ptr<Orvane::HidDevice> SimDeviceBus::openHid(std::uint16_t vendorId, std::uint16_t productId) {
    auto [device, connection] = openDevice(vendorId, productId, true);
    return device ? std::make_unique<SimHidHandle>(std::move(device), connection) : nullptr;
}

std::unique_ptr<Orvane::UsbDevice> SimDeviceBus::openUsb(std::uint16_t vendorId, std::uint16_t productId) {
    auto [device, connection] = openDevice(vendorId, productId, false);
    return device ? std::make_unique<SimUsbHandle>(std::move(device), connection) : nullptr;
}

std::vector<Orvane::UsbDeviceNode> SimDeviceBus::listUsbDevices(std::uint16_t vendorId,
                                                                std::uint16_t productId) {
    std::lock_guard lock(mutex_);
    std::vector<Orvane::UsbDeviceNode> listed;
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        const SimDevice& device = *devices_[i];
        if (device.vendorId() == vendorId && device.productId() == productId && device.plugged())
            listed.push_back({vendorId, productId, "sim:" + std::to_string(i + 1), true});
    }
    return listed;
}

std::vector<serial::PortInfo> SimDeviceBus::listSerialPorts() {
    std::lock_guard lock(mutex_);
    std::vector<serial::PortInfo> listed;
    for (const auto& [port, reader] : ports_) {
        if (reader && !reader->plugged()) continue;
        listed.push_back(port);
        listed.back().backedByDevice = true;  // a pty here stands for a reader's USB-serial adapter
    }
    return listed;
}

}  // namespace rfsim
