#pragma once
// Firmware of a VD-family reader (HID feature reports, type 1).
//   request AA CMD LEN_H LEN_L P0..P4 data C1 C2 (LEN = 5 + data), reply 55 STATUS LEN_H LEN_L data C1 C2
// Reader-level commands: 0xB0 version, 0xB4 beep, 0xBD protocol, 0x4E RF reset.

#include <string>

#include "sim/firmware/firmware.hpp"

namespace rfsim {

class VdFirmware : public Firmware {
  public:
    struct Options {
        std::string versionText = "VD-R13 13.56MHz HID reader V3.0";
    };

    VdFirmware() : VdFirmware(Options{}) {}
    explicit VdFirmware(Options options);

    std::optional<std::size_t> requestLength(std::span<const std::uint8_t> head) const override;

  protected:
    std::optional<Request> parse(std::span<const std::uint8_t> frame) const override;
    Bytes buildReply(std::span<const std::uint8_t> frame, const Request& request,
                     const Reply& reply) const override;
    std::uint8_t unknownCommandStatus() const override { return kStatusUnknownCommand; }
};

}  // namespace rfsim
