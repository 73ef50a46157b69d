#pragma once
// VA-family reader behind a serial port (type 2): 9,600 baud until its handshake moves reader and
// port to 57,600.

#include "reader/device/serial_port.hpp"
#include "reader/frame/iva_reader.hpp"

namespace Orvane {

class VBReaderSerial : public IVAReader, public SerialPort {
  public:
    VBReaderSerial();
    ~VBReaderSerial() override = default;

    // maxLen >= 6. Reads 6 bytes, then the rest of LEN + 5.
    int transceive(std::uint8_t* buf, int len, int maxLen) override;

    // A parked port was found and closed again: each exchange opens it before and closes it after.
    bool parkedPort() const { return parkedPort_; }
    void setParkedPort(bool parked) { parkedPort_ = parked; }

  private:
    bool parkedPort_ = false;
};

}  // namespace Orvane
