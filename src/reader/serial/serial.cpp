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

void Serial::tell(PortEvent::Kind kind, long result, std::span<const std::uint8_t> bytes,
                  std::size_t size) const {
    if (!watcher_) return;
    PortEvent event{kind, impl_->port(), bytes, size, 0, result};
    if (kind == PortEvent::Kind::baud || kind == PortEvent::Kind::open) event.baud = impl_->baudrate();
    watcher_->seen(event);
}

void Serial::open() {
    try {
        impl_->open();
    } catch (...) {
        tell(PortEvent::Kind::open, -1);
        throw;
    }
    tell(PortEvent::Kind::open, 0);
}
void Serial::close() {
    // Closing a closed port is a no-op callers use freely; only a real close is worth telling.
    const bool wasOpen = watcher_ && impl_->isOpen();
    impl_->close();
    if (wasOpen) tell(PortEvent::Kind::close, 0);
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
    tell(PortEvent::Kind::baud, 0);
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
    std::size_t got = 0;
    try {
        got = impl_->read(buffer, size);
    } catch (...) {
        tell(PortEvent::Kind::read, -1, {}, size);
        throw;
    }
    tell(PortEvent::Kind::read, static_cast<long>(got), {buffer, got}, size);
    return got;
}

std::size_t Serial::write(const std::uint8_t* data, std::size_t length) {
    std::lock_guard lock(impl_->writeMutex);
    std::size_t put = 0;
    try {
        put = impl_->write(data, length);
    } catch (...) {
        tell(PortEvent::Kind::write, -1, {data, length});
        throw;
    }
    tell(PortEvent::Kind::write, static_cast<long>(put), {data, length});
    return put;
}

}  // namespace serial
