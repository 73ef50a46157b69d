#pragma once
// The exchange both serial transports share: write the request, read a fixed head, read the rest
// the head's length field announces. Serial-layer exceptions end the step they come from.

#include <cstdint>

#include "reader/serial/serial.hpp"

namespace Orvane::serial_exchange {

// 1 ms between bytes, 200 ms for a read or a write.
inline constexpr serial::Timeout kReaderTimeout{1, 200, 0, 200, 0};

struct Framing {
    int headLength;                             // bytes read first
    int (*expectedTotal)(const std::uint8_t*);  // frame length from the head
};

// When `parked`, the port is opened before and closed after the exchange. Returns the bytes read,
// 0 when the request could not be written whole, -1 when nothing could be sent.
int transceive(serial::Serial& port, bool parked, const Framing& framing, std::uint8_t* buf, int len,
               int maxLen);

}  // namespace Orvane::serial_exchange
