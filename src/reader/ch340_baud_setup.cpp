#include "reader/ch340_baud_setup.hpp"

#include "reader/frame/va_frame.hpp"
#include "reader/frame/va_opcodes.hpp"
#include "reader/transport/vb_reader_ch340.hpp"

namespace Orvane {
namespace {

constexpr std::uint32_t kPowerOnRate = 9600;  // the reader's UART after power-on

}  // namespace

bool setUpCh340Rate(VBReaderCH340& reader, std::uint32_t baud) {
    const auto code = va_frame::baudCode(baud);
    if (!code) return false;
    const std::uint8_t rate[] = {*code};

    // 1. The reader may already run at the rate (opened before in this power cycle).
    if (reader.setCh340Baud(baud, 0) != 0) return false;
    if (reader.exchange(va::kSetBaud, rate) == 0) return true;

    // 2. Tell it at its power-on rate, reset the bridge (drops what the switch left in its FIFO),
    //    then follow with the bridge and confirm at the new rate.
    if (reader.setCh340Baud(kPowerOnRate, 0) != 0) return false;
    if (reader.exchange(va::kSetBaud, rate) != 0) return false;
    reader.resetDevice();
    if (reader.setCh340Baud(baud, 0) != 0) return false;
    if (reader.exchange(va::kSetBaud, rate) == 0) return true;

    // 3. No confirmation: ask once more at the power-on rate and leave the bridge freshly reset for
    //    the next attempt.
    if (reader.setCh340Baud(kPowerOnRate, 0) != 0) return false;
    if (reader.exchange(va::kSetBaud, rate) != 0) return false;
    reader.resetDevice();
    return false;
}

}  // namespace Orvane
