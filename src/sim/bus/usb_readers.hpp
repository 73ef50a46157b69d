#pragma once
// The four USB reader kinds: their USB ids and how their link carries frames.

#include <cstdint>
#include <optional>

#include "sim/bus/sim_device.hpp"

namespace rfsim {

struct UsbIds {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    bool hid = true;
};

inline constexpr UsbIds kVdHidIds{0x10C4, 0x0210, true};   // type 1
inline constexpr UsbIds kCh9326Ids{0x1A86, 0xE010, true};  // type 3
inline constexpr UsbIds kVaHidIds{0x0483, 0x5751, true};   // type 4
inline constexpr UsbIds kCh340Ids{0x1A86, 0x7523, false};  // type 6

// The ids the readers of the USB types 1, 3, 4 and 6 have; nullopt for the serial types.
std::optional<UsbIds> usbIdsOfType(int type);

// VA HID reader (type 4): 64-byte output reports behind report ID 0, 64-byte input reports.
class VaHidDevice : public SimDevice {
  public:
    explicit VaHidDevice(std::shared_ptr<VirtualReader> reader)
        : SimDevice(kVaHidIds.vendorId, kVaHidIds.productId, kVaHidIds.hid, std::move(reader)) {}
    int hidWrite(std::span<const std::uint8_t> report) override;
    int hidRead(std::span<std::uint8_t> report) override;
};

// VC reader behind a CH9326 HID-to-UART bridge (type 3): reports carry a byte count and up to 31
// bytes. The bridge passes bytes only once the host has sent its UART set-up feature report.
class Ch9326Device : public SimDevice {
  public:
    explicit Ch9326Device(std::shared_ptr<VirtualReader> reader)
        : SimDevice(kCh9326Ids.vendorId, kCh9326Ids.productId, kCh9326Ids.hid, std::move(reader)) {}
    int hidWrite(std::span<const std::uint8_t> report) override;
    int hidRead(std::span<std::uint8_t> report) override;
    int hidSendFeature(std::span<const std::uint8_t> report) override;

  protected:
    void resetLink() override { configured_ = false; }

  private:
    bool configured_ = false;
};

// VD reader on feature reports (type 1): report ID 6, 254 data bytes each way. A feature read
// fails until the reader has its reply ready.
class VdHidDevice : public SimDevice {
  public:
    explicit VdHidDevice(std::shared_ptr<VirtualReader> reader)
        : SimDevice(kVdHidIds.vendorId, kVdHidIds.productId, kVdHidIds.hid, std::move(reader)) {}
    int hidSendFeature(std::span<const std::uint8_t> report) override;
    int hidGetFeature(std::span<std::uint8_t> report) override;
};

// VA reader behind a CH340 USB-serial bridge (type 6), bulk endpoints 0x02 out and 0x82 in. The
// bridge's UART rate comes from vendor request 0x9A; bytes reach the reader only when both rates
// agree within a UART's tolerance.
class Ch340Device : public SimDevice {
  public:
    explicit Ch340Device(std::shared_ptr<VirtualReader> reader)
        : SimDevice(kCh340Ids.vendorId, kCh340Ids.productId, kCh340Ids.hid, std::move(reader)) {}
    int usbBulk(std::uint8_t endpoint, std::span<std::uint8_t> data, int& transferred) override;
    int usbControl(std::uint8_t requestType, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                   std::span<std::uint8_t> data) override;
    int usbReset() override;

    std::uint32_t chipBaud();

  protected:
    void resetLink() override { chipBaud_ = 9600; }

  private:
    std::uint32_t chipBaud_ = 9600;  // the bridge's rate after power-on or reset
};

// The bridge rate a CH340 divisor register value sets, from the chip's clock:
// rate = 1,532,620,800 / ((256 - divisor) x 256 x 8^(3 - prescaler)).
std::uint32_t ch340RateOf(std::uint16_t index);

}  // namespace rfsim
