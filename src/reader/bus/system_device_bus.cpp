#include "reader/bus/system_device_bus.hpp"

#include <hidapi/hidapi.h>
#include <hidapi/hidapi_libusb.h>
#include <libusb.h>

#include <cstdio>
#include <filesystem>
#include <mutex>

#include "reader/device/node_access.hpp"
#include "reader/pcsc/pcsc_api.hpp"
#include "reader/serial/port_list.hpp"
#include "reader/trace/device_trace.hpp"
#include "reader/trace/traced_bus.hpp"

namespace Orvane {

static_assert(usb_error::kIo == LIBUSB_ERROR_IO && usb_error::kInvalidParam == LIBUSB_ERROR_INVALID_PARAM &&
              usb_error::kAccess == LIBUSB_ERROR_ACCESS && usb_error::kNoDevice == LIBUSB_ERROR_NO_DEVICE &&
              usb_error::kNotFound == LIBUSB_ERROR_NOT_FOUND && usb_error::kBusy == LIBUSB_ERROR_BUSY &&
              usb_error::kTimeout == LIBUSB_ERROR_TIMEOUT && usb_error::kPipe == LIBUSB_ERROR_PIPE);

namespace {

class SystemHid : public HidDevice {
  public:
    explicit SystemHid(hid_device* handle) : handle_(handle) {}
    ~SystemHid() override { hid_close(handle_); }
    SystemHid(const SystemHid&) = delete;
    SystemHid& operator=(const SystemHid&) = delete;

    int write(std::span<const std::uint8_t> report) override {
        return hid_write(handle_, report.data(), report.size());
    }
    int readTimeout(std::span<std::uint8_t> report, int timeoutMs) override {
        return hid_read_timeout(handle_, report.data(), report.size(), timeoutMs);
    }
    int sendFeatureReport(std::span<const std::uint8_t> report) override {
        return hid_send_feature_report(handle_, report.data(), report.size());
    }
    int getFeatureReport(std::span<std::uint8_t> report) override {
        return hid_get_feature_report(handle_, report.data(), report.size());
    }

  private:
    hid_device* handle_;
};

class SystemUsb : public UsbDevice {
  public:
    explicit SystemUsb(libusb_device_handle* handle) : handle_(handle) {}
    ~SystemUsb() override { libusb_close(handle_); }
    SystemUsb(const SystemUsb&) = delete;
    SystemUsb& operator=(const SystemUsb&) = delete;

    int detachKernelDriver(int interfaceNumber) override {
        return libusb_detach_kernel_driver(handle_, interfaceNumber);
    }
    int attachKernelDriver(int interfaceNumber) override {
        return libusb_attach_kernel_driver(handle_, interfaceNumber);
    }
    int claimInterface(int interfaceNumber) override {
        return libusb_claim_interface(handle_, interfaceNumber);
    }
    int releaseInterface(int interfaceNumber) override {
        return libusb_release_interface(handle_, interfaceNumber);
    }
    int bulkTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data, int& transferred,
                     unsigned timeoutMs) override {
        transferred = 0;
        return libusb_bulk_transfer(handle_, endpoint, data.data(), static_cast<int>(data.size()),
                                    &transferred, timeoutMs);
    }
    int controlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                        std::uint16_t index, std::span<std::uint8_t> data, unsigned timeoutMs) override {
        return libusb_control_transfer(handle_, requestType, request, value, index, data.data(),
                                       static_cast<std::uint16_t>(data.size()), timeoutMs);
    }
    int resetDevice() override { return libusb_reset_device(handle_); }

  private:
    libusb_device_handle* handle_;
};

std::once_flag hidStarted;

void startHid() {
    std::call_once(hidStarted, [] { hid_init(); });
}

}  // namespace

SystemDeviceBus::SystemDeviceBus(std::string root) : root_(std::move(root)) {
    if (libusb_init(&usb_) != 0) usb_ = nullptr;
}

SystemDeviceBus::~SystemDeviceBus() {
    if (usb_) libusb_exit(usb_);
}

std::unique_ptr<HidDevice> SystemDeviceBus::openHid(std::uint16_t vendorId, std::uint16_t productId) {
    startHid();
    hid_device* handle = hid_open(vendorId, productId, nullptr);
    if (!handle) return nullptr;
    return std::make_unique<SystemHid>(handle);
}

std::unique_ptr<UsbDevice> SystemDeviceBus::openUsb(std::uint16_t vendorId, std::uint16_t productId) {
    if (!usb_) return nullptr;
    libusb_device_handle* handle = libusb_open_device_with_vid_pid(usb_, vendorId, productId);
    if (!handle) return nullptr;
    return std::make_unique<SystemUsb>(handle);
}

std::unique_ptr<HidDevice> SystemDeviceBus::wrapHid(std::intptr_t sysDevice, int interfaceNumber) {
    startHid();
    hid_device* handle = hid_libusb_wrap_sys_device(sysDevice, interfaceNumber);
    if (!handle) return nullptr;
    return std::make_unique<SystemHid>(handle);
}

std::unique_ptr<UsbDevice> SystemDeviceBus::wrapUsb(std::intptr_t sysDevice) {
    if (!usb_) return nullptr;
    libusb_device_handle* handle = nullptr;
    if (libusb_wrap_sys_device(usb_, sysDevice, &handle) != 0 || !handle) return nullptr;
    return std::make_unique<SystemUsb>(handle);
}

std::vector<serial::PortInfo> SystemDeviceBus::listSerialPorts() {
    return serial::listPorts(root_);
}

pcsc::PcscApi* SystemDeviceBus::pcscApi() {
    return root_ == "/" ? &pcsc::systemPcscApi() : nullptr;
}

std::vector<UsbDeviceNode> SystemDeviceBus::listUsbDevices(std::uint16_t vendorId, std::uint16_t productId) {
    std::vector<UsbDeviceNode> found;
    if (!usb_) return found;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(usb_, &list);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) != 0) continue;
        if (descriptor.idVendor != vendorId || descriptor.idProduct != productId) continue;
        // usbfs names a device by bus number and address; hidapi's libusb back end opens the same.
        char name[32];
        std::snprintf(name, sizeof name, "dev/bus/usb/%03u/%03u", unsigned{libusb_get_bus_number(list[i])},
                      unsigned{libusb_get_device_address(list[i])});
        const std::string node = (std::filesystem::path(root_.empty() ? "/" : root_) / name).string();
        found.push_back({vendorId, productId, node, mayReadWrite(node)});
    }
    if (count >= 0) libusb_free_device_list(list, 1);
    return found;
}

namespace {

std::mutex busMutex;
std::shared_ptr<DeviceBus> installedBus;
std::shared_ptr<DeviceBus> tracedBus;  // the installed bus seen through the device trace
// Transports keep a reference to the bus they were built with, so a replaced bus stays alive.
std::vector<std::shared_ptr<DeviceBus>> replacedBuses;

DeviceBus& installedLocked() {
    if (!installedBus) installedBus = std::make_shared<SystemDeviceBus>();
    return *installedBus;
}

}  // namespace

DeviceBus& currentDeviceBus() {
    std::lock_guard lock(busMutex);
    installedLocked();
    if (!tracedBus) {
        if (auto trace = deviceTrace())
            tracedBus = std::make_shared<TracedBus>(installedBus, std::move(trace));
    }
    return tracedBus ? *tracedBus : *installedBus;
}

DeviceBus& installedDeviceBus() {
    std::lock_guard lock(busMutex);
    return installedLocked();
}

void installDeviceBus(std::shared_ptr<DeviceBus> bus) {
    std::lock_guard lock(busMutex);
    if (installedBus) replacedBuses.push_back(std::move(installedBus));
    if (tracedBus) replacedBuses.push_back(std::move(tracedBus));
    installedBus = std::move(bus);
}

}  // namespace Orvane
