#pragma once
// VC-family reader behind a serial port (type 5) at 115,200 baud.

#include "reader/device/serial_port.hpp"
#include "reader/frame/ivc_tsm_reader.hpp"

namespace Orvane {

class VCReaderSerial : public IVCTsmReader, public SerialPort {
  public:
    VCReaderSerial();
    ~VCReaderSerial() override = default;

    // maxLen >= 8. Reads 8 bytes, then the rest of LEN + 8.
    int transceive(std::uint8_t* buf, int len, int maxLen) override;

    bool parkedPort() const { return parkedPort_; }
    void setParkedPort(bool parked) { parkedPort_ = parked; }

  private:
    bool parkedPort_ = false;
};

}  // namespace Orvane
