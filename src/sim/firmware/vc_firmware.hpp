#pragma once
// Firmware of a VC-family reader (CH9326 HID type 3, serial type 5).
//   request AA 66 ADDR 00 LEN_H LEN_L CMD data SUM, reply AA 55 ADDR 00 LEN_H LEN_L CMD STATUS data SUM
// Reader-level commands: 0x16 version, 0x1D beep, 0x6A LED, 0x3A protocol, 0x05 RF reset.

#include <array>

#include "sim/firmware/firmware.hpp"

namespace rfsim {

class VcFirmware : public Firmware {
  public:
    struct Options {
        std::array<std::uint8_t, 2> version{0x01, 0x25};
        std::uint32_t baud = 0;  // 115,200 for a reader on a serial line
    };

    VcFirmware() : VcFirmware(Options{}) {}
    explicit VcFirmware(Options options);

    std::optional<std::size_t> requestLength(std::span<const std::uint8_t> head) const override;

  protected:
    std::optional<Request> parse(std::span<const std::uint8_t> frame) const override;
    Bytes buildReply(std::span<const std::uint8_t> frame, const Request& request,
                     const Reply& reply) const override;
    std::uint8_t unknownCommandStatus() const override { return kStatusUnknownCommand; }
};

}  // namespace rfsim
