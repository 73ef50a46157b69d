#include "reader/transport/serial_reader_port.hpp"

#include <cerrno>

#include "reader/serial/serial_errors.hpp"
#include "reader/transport/held_serial_ports.hpp"

namespace Orvane {

template <typename Step>
bool SerialReaderPort::attempt(Step&& step) {
    try {
        step();
        return true;
    } catch (const serial::IOException& e) {
        const int error = e.errorNumber();
        noteResult(error == EIO || error == ENXIO || error == ENODEV || error == ENOENT);
    } catch (const serial::SerialException&) {
        noteResult(true);  // ready to read or write, yet nothing moved: the other end hung up
    } catch (...) {
    }
    return false;
}

SerialReaderPort::SerialReaderPort(ReplyLength replyLength, int firstRead, int readerType)
    : SerialPort(readerType), replyLength_(replyLength), firstRead_(firstRead) {
    port().setTimeout(kReaderTimeout);
}

SerialReaderPort::~SerialReaderPort() {
    releasePort();
}

void SerialReaderPort::holdPort() {
    held_serial_ports::hold(port().getPort(), this);
}

void SerialReaderPort::releasePort() {
    held_serial_ports::release(this);
}

bool SerialReaderPort::portHeldElsewhere(const std::string& path) const {
    return held_serial_ports::heldByOther(path, this);
}

int SerialReaderPort::transceiveFramed(std::uint8_t* buf, int len, int maxLen) {
    if (!buf || len < 1 || maxLen < firstRead_) return -1;
    if (parkedPort_ && !attempt([this] {
            if (!port().isOpen()) port().open();
        }))
        return -1;
    const int result = writeThenRead(buf, len, maxLen);
    if (parkedPort_) {
        try {
            port().close();
        } catch (...) {
        }
    }
    return result;
}

int SerialReaderPort::writeThenRead(std::uint8_t* buf, int len, int maxLen) {
    // The previous request has left the line before this one starts, and whatever came after its
    // read gave up (a reply late under load) is dropped: taken for this request's reply, it would
    // put every later exchange one reply behind.
    if (!attempt([this] {
            port().flush();
            port().flushInput();
        }))
        return -1;
    std::size_t written = 0;
    if (!attempt([&] { written = port().write(buf, static_cast<std::size_t>(len)); })) return 0;
    forgetLoss();
    if (written != static_cast<std::size_t>(len)) return 0;

    const auto head = static_cast<std::size_t>(firstRead_);
    const std::size_t got = readSome(buf, head);
    if (got < head) return static_cast<int>(got);  // the read timeout expired
    const auto expected = replyLength_(std::span(buf, head));
    if (!expected || *expected > static_cast<std::size_t>(maxLen) || *expected <= head) return firstRead_;
    const std::size_t rest = readSome(buf + head, *expected - head);
    return firstRead_ + static_cast<int>(rest);
}

std::size_t SerialReaderPort::readSome(std::uint8_t* buffer, std::size_t size) {
    std::size_t got = 0;
    attempt([&] { got = port().read(buffer, size); });
    bytesReceived_ += got;
    return got;
}

}  // namespace Orvane
