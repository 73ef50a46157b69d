#include "reader/transport/vc_reader_serial.hpp"

#include "reader/transport/serial_exchange.hpp"

namespace Orvane {
namespace {

// AA 55 ADDR 00 LEN_H LEN_L ...: the frame is LEN + 8 bytes.
int expectedTotal(const std::uint8_t* head) {
    return (head[4] << 8 | head[5]) + 8;
}

constexpr serial_exchange::Framing kFraming{8, expectedTotal};

}  // namespace

VCReaderSerial::VCReaderSerial() {
    port().setTimeout(serial_exchange::kReaderTimeout);
    try {
        port().setBaudrate(115200);
    } catch (...) {
    }
}

int VCReaderSerial::transceive(std::uint8_t* buf, int len, int maxLen) {
    return serial_exchange::transceive(port(), parkedPort_, kFraming, buf, len, maxLen);
}

}  // namespace Orvane
