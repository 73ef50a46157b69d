#include "reader/device/serial_port.hpp"

namespace Orvane {

SerialPort::SerialPort()
    : port_(std::make_unique<serial::Serial>("", 9600, serial::Timeout{1, 5000, 0, 5000, 0},
                                             serial::ByteSize::eight, serial::Parity::none,
                                             serial::StopBits::one, serial::FlowControl::none)) {}

SerialPort::~SerialPort() {
    try {
        port_->close();
    } catch (...) {
    }
}

}  // namespace Orvane
