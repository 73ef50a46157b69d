#pragma once
// A serial device handle: owns the port object for its whole life.

#include <memory>

#include "reader/serial/serial.hpp"

namespace Orvane {

class SerialPort {
  public:
    // No port name yet (nothing is opened), 9,600 baud 8N1, no flow control, 5 s timeouts. With a
    // device trace running, the port's traffic goes into it under `readerType`.
    explicit SerialPort(int readerType = 0);
    // Closes the port; a failure to close is of no use to anyone at this point.
    virtual ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    serial::Serial& port() { return *port_; }

  private:
    std::unique_ptr<serial::Serial> port_;
};

}  // namespace Orvane
