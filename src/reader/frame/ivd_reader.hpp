#pragma once
// The VD frame family as the reader and card code use it: set the command, the five-byte parameter
// block, the data length (host order) and the data at payload(), exchange, read the reply from
// byte 4 (params()).

#include <array>
#include <cstdint>
#include <span>

#include "reader/frame/host_field.hpp"
#include "reader/frame/vd_frame.hpp"
#include "reader/frame/vd_opcodes.hpp"

namespace Orvane {

class IVDReader {
  public:
    static constexpr int kReplyCapacity = static_cast<int>(vd_frame::kCapacity);
    // The parameter block of every reader-level command.
    static constexpr vd::Params kReaderParams = vd::kReaderParams;

    // As IVAReader::transceive.
    virtual int transceive(std::uint8_t* buf, int len, int maxLen) = 0;

    // Exchanges the request prepared in the buffer. Returns the reader's status byte (0 = success)
    // or -1 (reply too short), -2 (header or length wrong), -3 (check bytes wrong). Afterwards
    // lengthField() holds the reply length and the reply data starts at params().
    int exchange();
    int exchange(std::uint8_t command, std::span<const std::uint8_t, 5> params,
                 std::span<const std::uint8_t> data = {});

    std::uint8_t* header() { return frame_.data(); }
    std::uint8_t* params() { return frame_.data() + vd_frame::kParamsOffset; }
    std::uint8_t* payload() { return frame_.data() + vd_frame::kPayloadOffset; }
    void setCommand(std::uint8_t command) { frame_[1] = command; }
    std::uint16_t lengthField() const { return loadHostField(frame_.data() + 2); }
    void setLengthField(std::uint16_t length) { storeHostField(frame_.data() + 2, length); }
    int frameLength() const { return frameLength_; }
    // The reply data after a successful exchange.
    std::span<const std::uint8_t> replyData() const {
        return {frame_.data() + vd_frame::kParamsOffset, lengthField()};
    }

  protected:
    IVDReader() = default;
    ~IVDReader() = default;

  private:
    std::array<std::uint8_t, vd_frame::kCapacity + 3> frame_{};  // room for the largest request too
    int frameLength_ = 0;
};

}  // namespace Orvane
