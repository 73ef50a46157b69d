#pragma once
// VA-family reader behind a serial port (type 2): 9,600 baud until its handshake moves reader and
// port to 57,600.

#include "reader/frame/iva_reader.hpp"
#include "reader/frame/va_frame.hpp"
#include "reader/reader_family.hpp"
#include "reader/transport/serial_reader_port.hpp"

namespace Orvane {

class VBReaderSerial : public IVAReader, public SerialReaderPort {
  public:
    static_assert(va_frame::kMinReply >= va_frame::kReplyHead);

    VBReaderSerial()
        : SerialReaderPort(va_frame::replyLength, static_cast<int>(va_frame::kMinReply), kReaderVbSerial) {}
    ~VBReaderSerial() override = default;

    // maxLen >= 6. Reads 6 bytes, then the rest of LEN + 5.
    int transceive(std::uint8_t* buf, int len, int maxLen) override {
        return transceiveFramed(buf, len, maxLen);
    }
};

}  // namespace Orvane
