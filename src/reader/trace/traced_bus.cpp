#include "reader/trace/traced_bus.hpp"

#include "reader/trace/traced_devices.hpp"
#include "reader/usb_reader_ids.hpp"

namespace Orvane {
namespace {

int readerTypeOf(std::uint16_t vendorId, std::uint16_t productId) {
    for (const UsbReaderId& id : usbReaderIds())
        if (id.vendorId == vendorId && id.productId == productId) return id.readerType;
    return 0;
}

// One "open" line, whether or not a device opened.
template <typename Device>
void traceOpen(const TraceTarget& target, const char* link, const std::unique_ptr<Device>& device) {
    nlohmann::json line = target.record("open");
    line["link"] = link;
    line["result"] = device ? 0 : -1;
    target.write(line);
}

}  // namespace

std::unique_ptr<HidDevice> TracedBus::openHid(std::uint16_t vendorId, std::uint16_t productId) {
    TraceTarget target{file_, readerTypeOf(vendorId, productId), usbIdText(vendorId, productId)};
    auto device = inner_->openHid(vendorId, productId);
    traceOpen(target, "hid", device);
    if (!device) return nullptr;
    return std::make_unique<TracedHid>(std::move(device), std::move(target));
}

std::unique_ptr<UsbDevice> TracedBus::openUsb(std::uint16_t vendorId, std::uint16_t productId) {
    TraceTarget target{file_, readerTypeOf(vendorId, productId), usbIdText(vendorId, productId)};
    auto device = inner_->openUsb(vendorId, productId);
    traceOpen(target, "usb", device);
    if (!device) return nullptr;
    return std::make_unique<TracedUsb>(std::move(device), std::move(target));
}

// A device the system opened is known only by its descriptor here.
std::unique_ptr<HidDevice> TracedBus::wrapHid(std::intptr_t sysDevice, int interfaceNumber) {
    TraceTarget target{file_, 0, "sys:" + std::to_string(sysDevice)};
    auto device = inner_->wrapHid(sysDevice, interfaceNumber);
    traceOpen(target, "hid", device);
    if (!device) return nullptr;
    return std::make_unique<TracedHid>(std::move(device), std::move(target));
}

std::unique_ptr<UsbDevice> TracedBus::wrapUsb(std::intptr_t sysDevice) {
    TraceTarget target{file_, 0, "sys:" + std::to_string(sysDevice)};
    auto device = inner_->wrapUsb(sysDevice);
    traceOpen(target, "usb", device);
    if (!device) return nullptr;
    return std::make_unique<TracedUsb>(std::move(device), std::move(target));
}

}  // namespace Orvane
