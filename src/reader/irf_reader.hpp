#pragma once
// The reader as the card library sees it: protocol selection and the reader-level operations.

#include <cstdint>

#include "reader/device/iusb.hpp"

namespace Orvane {

// Protocol mode bits: the card interface a reader's RF front end is set to.
namespace rf_mode {
inline constexpr std::uint8_t kIso14443A = 1;
inline constexpr std::uint8_t kIso14443B = 2;
inline constexpr std::uint8_t kIso15693 = 4;
}  // namespace rf_mode

class IRfReader {
  public:
    // True when the reader is (or was switched) into a mode sharing a bit with `mode`; without
    // `force` a reader already set to another mode is left alone and the answer is false.
    virtual bool setProtocol(std::uint8_t mode, bool force) = 0;
    virtual int query() { return 0; }
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual void onOpened() {}
    virtual void onClosed() {}
    virtual bool beep(std::uint8_t ms) = 0;
    virtual bool setLed(bool on) = 0;
    virtual bool resetField() = 0;
    virtual ~IRfReader() = default;
    virtual int isTransportOpen(IUsb& handle) { return handle.isOpen() ? 1 : 0; }
    virtual void closeTransport(IUsb& handle) { handle.close(); }
};

}  // namespace Orvane
