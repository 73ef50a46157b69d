#include "sim/bus/sim_device.hpp"

#include "reader/bus/device_bus.hpp"

namespace rfsim {

void SimDevice::unplug() {
    plugged_ = false;
    std::lock_guard lock(linkMutex_);
    toHost_.clear();
}

int SimDevice::usbBulk(std::uint8_t, std::span<std::uint8_t>, int& transferred) {
    transferred = 0;
    return Orvane::usb_error::kIo;
}

int SimDevice::usbControl(std::uint8_t, std::uint8_t, std::uint16_t, std::uint16_t) {
    return Orvane::usb_error::kPipe;  // a request the device does not know stalls
}

int SimDevice::usbReset() {
    return 0;
}

Bytes SimDevice::takeFromReader(std::size_t size) {
    const std::size_t n = std::min(size, toHost_.size());
    Bytes bytes(toHost_.begin(), toHost_.begin() + static_cast<std::ptrdiff_t>(n));
    toHost_.erase(toHost_.begin(), toHost_.begin() + static_cast<std::ptrdiff_t>(n));
    return bytes;
}

void SimDevice::queueToHost(const Bytes& bytes) {
    toHost_.insert(toHost_.end(), bytes.begin(), bytes.end());
}

bool SimDevice::hasReply() {
    return !toHost_.empty();
}

}  // namespace rfsim
