#include "reader/device/hid.hpp"

namespace Orvane {

bool Hid::open(int sysDevice, int interfaceNumber) {
    if (!device_) device_ = bus_.wrapHid(sysDevice, interfaceNumber);
    return device_ != nullptr;
}

bool Hid::openDevice(std::uint16_t vendorId, std::uint16_t productId) {
    if (!device_) device_ = bus_.openHid(vendorId, productId);
    return device_ != nullptr;
}

int Hid::writeReport(std::span<const std::uint8_t> report) {
    if (!device_) return -1;
    const int result = device_->write(report);
    noteResult(result < 0);
    return result;
}

int Hid::readReport(std::span<std::uint8_t> report, int timeoutMs) {
    if (!device_) return -1;
    const int result = device_->readTimeout(report, timeoutMs);
    noteResult(result < 0);
    return result;
}

void Hid::dropPendingInput(std::span<std::uint8_t> scratch) {
    // Bounded: a device that never runs dry must not hold the exchange for ever.
    constexpr int kMaxDropped = 64;
    for (int i = 0; i < kMaxDropped && readReport(scratch, 0) > 0; ++i) {
    }
}

int Hid::sendFeature(std::span<const std::uint8_t> report) {
    if (!device_) return -1;
    const int result = device_->sendFeatureReport(report);
    noteResult(result < 0);
    return result;
}

int Hid::getFeature(std::span<std::uint8_t> report) {
    return device_ ? device_->getFeatureReport(report) : -1;
}

}  // namespace Orvane
