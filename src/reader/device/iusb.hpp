#pragma once
// What the reader needs from a USB device handle, HID or raw.

#include "reader/device/device_loss.hpp"

namespace Orvane {

class IUsb : public DeviceLoss {
  public:
    // Takes over a device the system already opened; true if a device is held afterwards.
    virtual bool open(int sysDevice, int interfaceNumber) = 0;
    virtual void close() = 0;
    virtual bool isOpen() = 0;
    virtual ~IUsb() = default;
};

}  // namespace Orvane
