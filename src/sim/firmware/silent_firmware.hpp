#pragma once
// Firmware that hears no frame: the VirtualReader of a reader played by a script keeps only its
// cable (plug state and connections); the script answers in its place.

#include "sim/firmware/firmware.hpp"

namespace rfsim {

class SilentFirmware : public Firmware {
  public:
    std::optional<std::size_t> requestLength(std::span<const std::uint8_t>) const override { return 0; }

  protected:
    std::optional<Request> parse(std::span<const std::uint8_t>) const override { return std::nullopt; }
    Bytes buildReply(std::span<const std::uint8_t>, const Request&, const Reply&) const override {
        return {};
    }
    std::uint8_t unknownCommandStatus() const override { return kStatusUnknownCommand; }
};

}  // namespace rfsim
