#include "reader/transport/serial_exchange.hpp"

namespace Orvane::serial_exchange {
namespace {

std::size_t readSome(serial::Serial& port, std::uint8_t* buffer, std::size_t size) {
    try {
        return port.read(buffer, size);
    } catch (...) {
        return 0;
    }
}

int exchange(serial::Serial& port, const Framing& framing, std::uint8_t* buf, int len, int maxLen) {
    try {
        port.flush();  // the previous request has left the line before this one starts
    } catch (...) {
        return -1;
    }
    try {
        if (port.write(buf, static_cast<std::size_t>(len)) != static_cast<std::size_t>(len)) return 0;
    } catch (...) {
        return 0;
    }

    const auto head = static_cast<std::size_t>(framing.headLength);
    const std::size_t got = readSome(port, buf, head);
    if (got < head) return static_cast<int>(got);  // the read timeout expired
    const int expected = framing.expectedTotal(buf);
    if (expected > maxLen || expected <= framing.headLength) return framing.headLength;
    const std::size_t rest = readSome(port, buf + head, static_cast<std::size_t>(expected) - head);
    return framing.headLength + static_cast<int>(rest);
}

}  // namespace

int transceive(serial::Serial& port, bool parked, const Framing& framing, std::uint8_t* buf, int len,
               int maxLen) {
    if (!buf || len < 1 || maxLen < framing.headLength) return -1;
    if (parked) {
        try {
            if (!port.isOpen()) port.open();
        } catch (...) {
            return -1;
        }
    }
    const int result = exchange(port, framing, buf, len, maxLen);
    if (parked) {
        try {
            port.close();
        } catch (...) {
        }
    }
    return result;
}

}  // namespace Orvane::serial_exchange
