#pragma once
// The CH340 USB-serial bridge as the VB readers use it, driven raw over USB.

#include <cstdint>
#include <optional>

namespace Orvane::ch340 {

inline constexpr std::uint16_t kVendorId = 0x1A86;
inline constexpr std::uint16_t kProductId = 0x7523;
inline constexpr std::uint8_t kEndpointOut = 0x02;
inline constexpr std::uint8_t kEndpointIn = 0x82;

// Vendor request that sets the UART rate: bmRequestType 0x40, bRequest 0x9A, wValue 0x1312
// (the prescaler/divisor register pair), wIndex from the chip's rate table.
inline constexpr std::uint8_t kRequestType = 0x40;
inline constexpr std::uint8_t kWriteRegisters = 0x9A;
inline constexpr std::uint16_t kBaudRegisters = 0x1312;
inline constexpr unsigned kControlTimeoutMs = 2000;

// wIndex for a rate the chip table knows.
std::optional<std::uint16_t> baudIndex(std::uint32_t baud);

}  // namespace Orvane::ch340
