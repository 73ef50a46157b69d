#pragma once
// VA-family reader behind a CH340 USB-serial bridge driven raw over USB (type 6).

#include "reader/bus/system_device_bus.hpp"
#include "reader/device/usb.hpp"
#include "reader/frame/iva_reader.hpp"

namespace Orvane {

class VBReaderCH340 : public IVAReader, public Usb {
  public:
    explicit VBReaderCH340(DeviceBus& bus = currentDeviceBus()) : Usb(bus) {}
    ~VBReaderCH340() override = default;

    // Opens the bridge (if needed) and claims interface 0; a failed claim closes it again.
    bool connectDevice();
    // maxLen >= 6. One bulk OUT of the request, one bulk IN of up to maxLen bytes.
    int transceive(std::uint8_t* buf, int len, int maxLen) override;
};

}  // namespace Orvane
