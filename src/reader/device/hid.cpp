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

}  // namespace Orvane
