#include "sim/bus/sim_device.hpp"

#include "reader/bus/device_bus.hpp"

namespace rfsim {

namespace {

// Far more than any reply of the families (a VD reply is at most 65,541 bytes).
constexpr std::size_t kMaxQueued = 128 * 1024;

}  // namespace

std::optional<std::uint64_t> SimDevice::open() {
    std::lock_guard lock(linkMutex_);
    const std::optional<std::uint64_t> connection = reader_->connection();
    if (connection && *connection != linkConnection_) {
        toHost_.clear();
        resetLink();
        linkConnection_ = *connection;
    }
    return connection;
}

int SimDevice::usbBulk(std::uint8_t, std::span<std::uint8_t>, int& transferred) {
    transferred = 0;
    return Orvane::usb_error::kIo;
}

int SimDevice::usbControl(std::uint8_t, std::uint8_t, std::uint16_t, std::uint16_t, std::span<std::uint8_t>) {
    return Orvane::usb_error::kPipe;  // a request the device does not know stalls
}

int SimDevice::usbInterface(InterfaceRequest request, int interfaceNumber) {
    switch (request) {
        case InterfaceRequest::detachKernel:
            return Orvane::usb_error::kNotFound;
        case InterfaceRequest::claim:
            return interfaceNumber == 0 ? 0 : Orvane::usb_error::kNotFound;
        case InterfaceRequest::attachKernel:
        case InterfaceRequest::release:
            return 0;
    }
    return 0;
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
    if (toHost_.size() > kMaxQueued)
        toHost_.erase(toHost_.begin(), toHost_.end() - static_cast<std::ptrdiff_t>(kMaxQueued));
}

bool SimDevice::hasReply() {
    return !toHost_.empty();
}

}  // namespace rfsim
