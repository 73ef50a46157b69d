#pragma once
// VC-family reader behind a serial port (type 5) at 115,200 baud.

#include "reader/frame/ivc_tsm_reader.hpp"
#include "reader/transport/serial_reader_port.hpp"

namespace Orvane {

class VCReaderSerial : public IVCTsmReader, public SerialReaderPort {
  public:
    VCReaderSerial();
    ~VCReaderSerial() override = default;

    // maxLen >= 8. Reads 8 bytes, then the rest of LEN + 8.
    int transceive(std::uint8_t* buf, int len, int maxLen) override {
        return transceiveFramed(buf, len, maxLen);
    }
};

}  // namespace Orvane
