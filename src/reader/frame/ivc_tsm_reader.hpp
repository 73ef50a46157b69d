#pragma once
// The VC frame family as the reader and card code use it: set the command and the data length
// (host order), write the data at data(), exchange, read the reply after its status at payload().

#include <array>
#include <cstdint>
#include <span>

#include "reader/frame/host_field.hpp"
#include "reader/frame/vc_frame.hpp"

namespace Orvane {

class IVCTsmReader {
  public:
    static constexpr int kReplyCapacity = static_cast<int>(vc_frame::kCapacity);

    // As IVAReader::transceive.
    virtual int transceive(std::uint8_t* buf, int len, int maxLen) = 0;

    // Exchanges the request prepared in the buffer. Returns the reader's status byte (0 = success)
    // or -1 (reply too short), -2 (header, length or echoed command wrong), -3 (checksum wrong). On
    // success lengthField() holds the reply data length and payload() addresses the reply data.
    int exchange();
    int exchange(std::uint8_t command, std::span<const std::uint8_t> data = {});

    std::uint8_t deviceAddress() const { return deviceAddress_; }
    std::uint8_t* header() { return frame_.data(); }
    std::uint8_t* data() { return frame_.data() + vc_frame::kDataOffset; }
    std::uint8_t* payload() { return frame_.data() + vc_frame::kPayloadOffset; }
    void setCommand(std::uint8_t command) { frame_[vc_frame::kCommandOffset] = command; }
    std::uint16_t lengthField() const { return loadHostField(frame_.data() + 4); }
    void setLengthField(std::uint16_t length) { storeHostField(frame_.data() + 4, length); }
    int frameLength() const { return frameLength_; }
    // The reply data after a successful exchange (after the status byte).
    std::span<const std::uint8_t> replyData() const {
        return {frame_.data() + vc_frame::kPayloadOffset, lengthField()};
    }

  protected:
    IVCTsmReader() = default;
    ~IVCTsmReader() = default;

  private:
    const std::uint8_t deviceAddress_ = 0;
    std::array<std::uint8_t, vc_frame::kCapacity> frame_{};
    int frameLength_ = 0;
};

}  // namespace Orvane
