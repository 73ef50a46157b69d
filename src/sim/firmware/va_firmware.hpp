#pragma once
// Firmware of a VA-family reader (HID type 4, serial type 2, CH340 type 6).
//   request FE 02 LEN CMD data CRC_H CRC_L, reply FE 02 LEN STATUS data CRC_H CRC_L
// Reader-level commands: 0x10 identify (product text), 0x1B beep, 0x1C UART rate, 0x2D RF reset.

#include <string>

#include "sim/firmware/firmware.hpp"

namespace rfsim {

class VaFirmware : public Firmware {
  public:
    struct Options {
        std::string productText = "QX13 Zorla RF reader V2.1";
        std::uint32_t baud = 0;  // 9,600 at power-on for a reader behind a UART
    };

    VaFirmware() : VaFirmware(Options{}) {}
    explicit VaFirmware(Options options);

    std::optional<std::size_t> requestLength(std::span<const std::uint8_t> head) const override;

  protected:
    std::optional<Request> parse(std::span<const std::uint8_t> frame) const override;
    Bytes buildReply(std::span<const std::uint8_t> frame, const Request& request,
                     const Reply& reply) const override;
    std::uint8_t unknownCommandStatus() const override { return kStatusUnknownCommand; }
};

}  // namespace rfsim
