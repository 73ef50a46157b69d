#pragma once
// VA-family reader on USB HID (type 4): 65-byte output and input reports.

#include <array>

#include "reader/bus/system_device_bus.hpp"
#include "reader/device/hid.hpp"
#include "reader/frame/iva_reader.hpp"

namespace Orvane {

class VAReaderHid : public IVAReader, public Hid {
  public:
    static constexpr std::uint16_t kVendorId = 0x0483;
    static constexpr std::uint16_t kProductId = 0x5751;

    explicit VAReaderHid(DeviceBus& bus = currentDeviceBus()) : Hid(bus) {}
    ~VAReaderHid() override = default;

    // Opens the reader (if needed); a failed open is logged with its reason.
    bool connectDevice();
    // maxLen > 64. Request in 64-byte blocks behind report ID 0; the reply is LEN + 5 bytes.
    int transceive(std::uint8_t* buf, int len, int maxLen) override;

  private:
    std::array<std::uint8_t, 65> report_{};
};

}  // namespace Orvane
