#include "reader/frame/iva_reader.hpp"

#include <algorithm>

namespace Orvane {

int IVAReader::exchange() {
    const std::size_t length = va_frame::sealRequest(frame_, frame_[2]);
    if (length == 0) return -1;  // a data length of 255 does not fit the LEN byte
    frameLength_ = static_cast<int>(length);

    const int received = transceive(frame_.data(), frameLength_, kReplyCapacity);
    if (received < static_cast<int>(va_frame::kMinReply)) return -1;
    if (received > kReplyCapacity) return -2;
    const int result = va_frame::checkReply(std::span(frame_).first(static_cast<std::size_t>(received)));
    if (result < 0) return result;
    frame_[2] = static_cast<std::uint8_t>(frame_[2] - 1);  // LEN counted the status byte
    return result;
}

int IVAReader::exchange(std::uint8_t command, std::span<const std::uint8_t> data) {
    if (data.size() > va_frame::kMaxDataLength) return -1;
    frame_[2] = static_cast<std::uint8_t>(data.size());
    frame_[3] = command;
    std::copy(data.begin(), data.end(), frame_.begin() + va_frame::kDataOffset);
    return exchange();
}

}  // namespace Orvane
