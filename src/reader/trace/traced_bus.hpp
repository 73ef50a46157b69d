#pragma once
// A device bus that passes every call to another bus and writes each device operation, with what
// came back, to a trace file. Listing devices and ports is not traced: it moves no bytes.

#include <memory>

#include "reader/bus/device_bus.hpp"
#include "reader/trace/trace_file.hpp"
#include "reader/trace/traced_devices.hpp"

namespace Orvane {

class TracedBus : public DeviceBus {
  public:
    TracedBus(std::shared_ptr<DeviceBus> inner, std::shared_ptr<TraceFile> file)
        : inner_(std::move(inner)), file_(std::move(file)) {}

    std::unique_ptr<HidDevice> openHid(std::uint16_t vendorId, std::uint16_t productId) override;
    std::unique_ptr<UsbDevice> openUsb(std::uint16_t vendorId, std::uint16_t productId) override;
    std::unique_ptr<HidDevice> wrapHid(std::intptr_t sysDevice, int interfaceNumber) override;
    std::unique_ptr<UsbDevice> wrapUsb(std::intptr_t sysDevice) override;
    std::vector<serial::PortInfo> listSerialPorts() override { return inner_->listSerialPorts(); }
    std::vector<UsbDeviceNode> listUsbDevices(std::uint16_t vendorId, std::uint16_t productId) override {
        return inner_->listUsbDevices(vendorId, productId);
    }

    // PC/SC readers go through pcscd, which this bus does not see: their APDUs are not traced.
    pcsc::PcscApi* pcscApi() override { return inner_->pcscApi(); }

    DeviceBus& inner() const { return *inner_; }

  private:
    TraceTarget target(std::uint16_t vendorId, std::uint16_t productId) const;

    std::shared_ptr<DeviceBus> inner_;
    std::shared_ptr<TraceFile> file_;
};

}  // namespace Orvane
