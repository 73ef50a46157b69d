#pragma once
// A bus on which nothing opens and a fixed list of devices is seen: what a machine looks like to a
// process whose readers are plugged in but not its to open, or held by another program.

#include <memory>
#include <vector>

#include "reader/bus/device_bus.hpp"

class ListedBus : public Orvane::DeviceBus {
  public:
    std::unique_ptr<Orvane::HidDevice> openHid(std::uint16_t, std::uint16_t) override { return nullptr; }
    std::unique_ptr<Orvane::UsbDevice> openUsb(std::uint16_t, std::uint16_t) override { return nullptr; }
    std::unique_ptr<Orvane::HidDevice> wrapHid(std::intptr_t, int) override { return nullptr; }
    std::unique_ptr<Orvane::UsbDevice> wrapUsb(std::intptr_t) override { return nullptr; }
    std::vector<serial::PortInfo> listSerialPorts() override { return ports; }
    std::vector<Orvane::UsbDeviceNode> listUsbDevices(std::uint16_t vid, std::uint16_t pid) override {
        std::vector<Orvane::UsbDeviceNode> matching;
        for (const auto& device : devices)
            if (device.vendorId == vid && device.productId == pid) matching.push_back(device);
        return matching;
    }

    std::vector<Orvane::UsbDeviceNode> devices;
    std::vector<serial::PortInfo> ports;
};
