#include "reader/serial/serial.hpp"

#include <mutex>

#include "reader/serial/serial_impl.hpp"

namespace serial {

Serial::Serial(const std::string& port, std::uint32_t baudrate, Timeout timeout, ByteSize bytesize,
               Parity parity, StopBits stopbits, FlowControl flowcontrol)
    : impl_(std::make_unique<SerialImpl>(port, baudrate, bytesize, parity, stopbits, flowcontrol)) {
    impl_->setTimeout(timeout);
}

Serial::~Serial() = default;

void Serial::open() {
    impl_->open();
}
void Serial::close() {
    impl_->close();
}
bool Serial::isOpen() const {
    return impl_->isOpen();
}

void Serial::setPort(const std::string& port) {
    std::scoped_lock lock(impl_->readMutex, impl_->writeMutex);
    const bool wasOpen = impl_->isOpen();
    if (wasOpen) impl_->close();
    impl_->setPort(port);
    if (wasOpen) impl_->open();
}

std::string Serial::getPort() const {
    return impl_->port();
}

void Serial::setBaudrate(std::uint32_t baudrate) {
    impl_->setBaudrate(baudrate);
}
std::uint32_t Serial::getBaudrate() const {
    return impl_->baudrate();
}
void Serial::setBytesize(ByteSize bytesize) {
    impl_->setBytesize(bytesize);
}
void Serial::setParity(Parity parity) {
    impl_->setParity(parity);
}
void Serial::setStopbits(StopBits stopbits) {
    impl_->setStopbits(stopbits);
}
void Serial::setFlowcontrol(FlowControl flowcontrol) {
    impl_->setFlowcontrol(flowcontrol);
}
void Serial::setTimeout(const Timeout& timeout) {
    impl_->setTimeout(timeout);
}
Timeout Serial::getTimeout() const {
    return impl_->timeout();
}
std::uint32_t Serial::byteTimeNs() const {
    return impl_->byteTimeNs();
}

void Serial::flush() {
    impl_->flush();
}
void Serial::flushInput() {
    impl_->flushInput();
}
void Serial::flushOutput() {
    impl_->flushOutput();
}

std::size_t Serial::read(std::uint8_t* buffer, std::size_t size) {
    std::lock_guard lock(impl_->readMutex);
    return impl_->read(buffer, size);
}

std::size_t Serial::write(const std::uint8_t* data, std::size_t length) {
    std::lock_guard lock(impl_->writeMutex);
    return impl_->write(data, length);
}

}  // namespace serial
