#include "reader/transport/vb_reader_serial.hpp"

#include "reader/transport/serial_exchange.hpp"

namespace Orvane {
namespace {

// FE 02 LEN ...: the frame is LEN + 5 bytes.
int expectedTotal(const std::uint8_t* head) {
    return head[2] + 5;
}

constexpr serial_exchange::Framing kFraming{6, expectedTotal};

}  // namespace

VBReaderSerial::VBReaderSerial() {
    port().setTimeout(serial_exchange::kReaderTimeout);
}

int VBReaderSerial::transceive(std::uint8_t* buf, int len, int maxLen) {
    return serial_exchange::transceive(port(), parkedPort_, kFraming, buf, len, maxLen);
}

}  // namespace Orvane
