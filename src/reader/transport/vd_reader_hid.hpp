#pragma once
// VD-family reader on USB HID feature reports (type 1): 255-byte reports with ID 6.

#include <array>

#include "reader/bus/system_device_bus.hpp"
#include "reader/device/hid.hpp"
#include "reader/frame/ivd_reader.hpp"

namespace Orvane {

class VDReaderHid : public IVDReader, public Hid {
  public:
    static constexpr std::uint16_t kVendorId = 0x10C4;
    static constexpr std::uint16_t kProductId = 0x0210;
    static constexpr std::uint8_t kReportId = 6;

    explicit VDReaderHid(DeviceBus& bus = currentDeviceBus()) : Hid(bus) {}
    ~VDReaderHid() override = default;

    // Opens the reader (if needed); a failed open is logged with its reason.
    bool connectDevice();
    // maxLen >= 255. The reply is polled until LEN + 6 bytes are in.
    int transceive(std::uint8_t* buf, int len, int maxLen) override;

  private:
    int pollReport();

    std::array<std::uint8_t, 255> report_{};
};

}  // namespace Orvane
