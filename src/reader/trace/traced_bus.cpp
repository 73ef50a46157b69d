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

// One "open" line, whether or not a device opened; the device traced when one did.
template <typename Traced, typename Device>
std::unique_ptr<Device> traceOpen(TraceTarget target, const char* link, std::unique_ptr<Device> device) {
    nlohmann::json line = target.record("open");
    line["link"] = link;
    line["result"] = device ? 0 : -1;
    target.write(line);
    if (!device) return nullptr;
    return std::make_unique<Traced>(std::move(device), std::move(target));
}

TraceTarget sysTarget(std::shared_ptr<TraceFile> file, std::intptr_t sysDevice) {
    // A device the system opened is known only by its descriptor here.
    return {std::move(file), 0, "sys:" + std::to_string(sysDevice)};
}

}  // namespace

TraceTarget TracedBus::target(std::uint16_t vendorId, std::uint16_t productId) const {
    return {file_, readerTypeOf(vendorId, productId), usbIdText(vendorId, productId)};
}

std::unique_ptr<HidDevice> TracedBus::openHid(std::uint16_t vendorId, std::uint16_t productId) {
    return traceOpen<TracedHid>(target(vendorId, productId), "hid", inner_->openHid(vendorId, productId));
}

std::unique_ptr<UsbDevice> TracedBus::openUsb(std::uint16_t vendorId, std::uint16_t productId) {
    return traceOpen<TracedUsb>(target(vendorId, productId), "usb", inner_->openUsb(vendorId, productId));
}

std::unique_ptr<HidDevice> TracedBus::wrapHid(std::intptr_t sysDevice, int interfaceNumber) {
    return traceOpen<TracedHid>(sysTarget(file_, sysDevice), "hid",
                                inner_->wrapHid(sysDevice, interfaceNumber));
}

std::unique_ptr<UsbDevice> TracedBus::wrapUsb(std::intptr_t sysDevice) {
    return traceOpen<TracedUsb>(sysTarget(file_, sysDevice), "usb", inner_->wrapUsb(sysDevice));
}

}  // namespace Orvane
