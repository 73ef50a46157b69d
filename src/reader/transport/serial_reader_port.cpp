#include "reader/transport/serial_reader_port.hpp"

namespace Orvane {

SerialReaderPort::SerialReaderPort(ReplyLength replyLength, int firstRead)
    : replyLength_(replyLength), firstRead_(firstRead) {
    port().setTimeout(kReaderTimeout);
}

int SerialReaderPort::transceiveFramed(std::uint8_t* buf, int len, int maxLen) {
    if (!buf || len < 1 || maxLen < firstRead_) return -1;
    if (parkedPort_) {
        try {
            if (!port().isOpen()) port().open();
        } catch (...) {
            return -1;
        }
    }
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
    try {
        port().flush();  // the previous request has left the line before this one starts
    } catch (...) {
        return -1;
    }
    try {
        if (port().write(buf, static_cast<std::size_t>(len)) != static_cast<std::size_t>(len)) return 0;
    } catch (...) {
        return 0;
    }

    const auto head = static_cast<std::size_t>(firstRead_);
    const std::size_t got = readSome(buf, head);
    if (got < head) return static_cast<int>(got);  // the read timeout expired
    const auto expected = replyLength_(std::span(buf, head));
    if (!expected || *expected > static_cast<std::size_t>(maxLen) || *expected <= head) return firstRead_;
    const std::size_t rest = readSome(buf + head, *expected - head);
    return firstRead_ + static_cast<int>(rest);
}

std::size_t SerialReaderPort::readSome(std::uint8_t* buffer, std::size_t size) {
    try {
        return port().read(buffer, size);
    } catch (...) {
        return 0;
    }
}

}  // namespace Orvane
