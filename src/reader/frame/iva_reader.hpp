#pragma once
// The VA frame family as the reader and card code use it: fill the command and data in the frame
// buffer, exchange, read the reply data from the same buffer.

#include <array>
#include <cstdint>
#include <span>

#include "reader/frame/va_frame.hpp"

namespace Orvane {

class IVAReader {
  public:
    static constexpr int kReplyCapacity = static_cast<int>(va_frame::kCapacity);

    // Sends the `len`-byte request in `buf` and writes the reply over it, never more than `maxLen`
    // bytes; returns the reply byte count, or -1 when nothing could be sent.
    virtual int transceive(std::uint8_t* buf, int len, int maxLen) = 0;

    // Exchanges the request prepared in the buffer: command at byte 3, data length n at byte 2,
    // data at data(). Returns 0 (reader reported success), the reader's status byte, or -1 (reply
    // too short), -2 (header or length wrong), -3 (CRC wrong). On 0, byte 2 holds the reply data
    // length and data() addresses the reply data.
    int exchange();
    // Fills command and data (at most 254 bytes), then exchanges.
    int exchange(std::uint8_t command, std::span<const std::uint8_t> data = {});

    std::uint8_t* header() { return frame_.data(); }
    std::uint8_t* data() { return frame_.data() + va_frame::kDataOffset; }
    int frameLength() const { return frameLength_; }
    // The reply data after a successful exchange.
    std::span<const std::uint8_t> replyData() const {
        return {frame_.data() + va_frame::kDataOffset, frame_[2]};
    }

  protected:
    IVAReader() = default;
    // Transports are owned and deleted as their own class.
    ~IVAReader() = default;

  private:
    std::array<std::uint8_t, va_frame::kCapacity> frame_{};
    int frameLength_ = 0;
};

}  // namespace Orvane
