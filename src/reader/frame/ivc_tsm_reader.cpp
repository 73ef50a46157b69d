#include "reader/frame/ivc_tsm_reader.hpp"

#include <algorithm>

namespace Orvane {

int IVCTsmReader::exchange() {
    const std::uint8_t command = frame_[vc_frame::kCommandOffset];
    const std::size_t length = vc_frame::sealRequest(frame_, lengthField(), deviceAddress_);
    if (length == 0) return -1;
    frameLength_ = static_cast<int>(length);

    const int received = transceive(frame_.data(), frameLength_, kReplyCapacity);
    if (received < static_cast<int>(vc_frame::kMinReply)) return -1;
    if (received > kReplyCapacity) return -2;
    const auto reply = std::span(frame_).first(static_cast<std::size_t>(received));
    const int result = vc_frame::checkReply(reply, command);
    if (result < 0) return result;
    setLengthField(static_cast<std::uint16_t>(vc_frame::lengthField(reply) - 1));  // LEN counted the status
    return result;
}

int IVCTsmReader::exchange(std::uint8_t command, std::span<const std::uint8_t> data) {
    if (data.size() > vc_frame::kCapacity - vc_frame::kMinReply) return -1;
    setCommand(command);
    setLengthField(static_cast<std::uint16_t>(data.size()));
    std::copy(data.begin(), data.end(), frame_.begin() + vc_frame::kDataOffset);
    return exchange();
}

}  // namespace Orvane
