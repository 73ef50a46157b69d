#pragma once
// VC-family reader behind a CH9326 HID-to-UART bridge (type 3): 33-byte reports carrying a byte
// count and up to 31 data bytes.

#include <array>

#include "reader/bus/system_device_bus.hpp"
#include "reader/device/hid.hpp"
#include "reader/frame/ivc_tsm_reader.hpp"

namespace Orvane {

class VCReaderCH9326 : public IVCTsmReader, public Hid {
  public:
    static constexpr std::uint16_t kVendorId = 0x1A86;
    static constexpr std::uint16_t kProductId = 0xE010;
    // The bridge's UART set-up, sent unchanged as a feature report after opening.
    static constexpr std::array<std::uint8_t, 6> kBridgeSetup{0x00, 0xFF, 0xC7, 0x83, 0xCC, 0x10};

    explicit VCReaderCH9326(DeviceBus& bus = currentDeviceBus()) : Hid(bus) {}
    ~VCReaderCH9326() override = default;

    // Opens the bridge (if needed) and sends the set-up report; true when the bridge took it.
    bool connectDevice();
    // maxLen >= 33.
    int transceive(std::uint8_t* buf, int len, int maxLen) override;

  private:
    std::array<std::uint8_t, 33> report_{};
};

}  // namespace Orvane
