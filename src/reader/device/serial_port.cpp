#include "reader/device/serial_port.hpp"

#include "reader/trace/port_trace.hpp"

namespace Orvane {

SerialPort::SerialPort(int readerType)
    : port_(std::make_unique<serial::Serial>("", 9600, serial::Timeout{1, 5000, 0, 5000, 0},
                                             serial::ByteSize::eight, serial::Parity::none,
                                             serial::StopBits::one, serial::FlowControl::none)) {
    tracePort(*port_, readerType);
}

SerialPort::~SerialPort() {
    try {
        port_->close();
    } catch (...) {
    }
}

}  // namespace Orvane
