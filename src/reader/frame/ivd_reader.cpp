#include "reader/frame/ivd_reader.hpp"

#include <algorithm>

namespace Orvane {

int IVDReader::exchange() {
    const std::size_t length = vd_frame::sealRequest(frame_, lengthField());
    if (length == 0) return -1;  // the data would not fit the LEN field
    frameLength_ = static_cast<int>(length);

    const int received = transceive(frame_.data(), frameLength_, kReplyCapacity);
    if (received < static_cast<int>(vd_frame::kMinReply)) return -1;
    if (received > kReplyCapacity) return -2;
    const auto reply = std::span(frame_).first(static_cast<std::size_t>(received));
    const int result = vd_frame::checkReply(reply);
    setLengthField(vd_frame::lengthField(reply));
    return result;
}

int IVDReader::exchange(std::uint8_t command, std::span<const std::uint8_t, 5> params,
                        std::span<const std::uint8_t> data) {
    if (data.size() > vd_frame::kMaxDataLength) return -1;
    setCommand(command);
    std::copy(params.begin(), params.end(), frame_.begin() + vd_frame::kParamsOffset);
    setLengthField(static_cast<std::uint16_t>(data.size()));
    std::copy(data.begin(), data.end(), frame_.begin() + vd_frame::kPayloadOffset);
    return exchange();
}

}  // namespace Orvane
